#include "engine/JobFromForms.h"

#include <algorithm>

#include "base/Text.h"
#include "forms/ControlNames.h"
#include "forms/NumberText.h"
#include "forms/OptionsForm.h"

namespace engine {

namespace ctl = forms::ctl;

namespace {

SizeMode SizeModeOf(const forms::Form& mainForm) {
  // The buttons form one group, so at most one is checked; a configuration can leave none.
  if (mainForm.Checked(ctl::kPresetSizeMode)) return SizeMode::Preset;
  if (mainForm.Checked(ctl::kCustomSizeMode)) return SizeMode::Custom;
  if (mainForm.Checked(ctl::kPercentSizeMode)) return SizeMode::Percent;
  if (mainForm.Checked(ctl::kFactorSizeMode)) return SizeMode::Factor;
  if (mainForm.Checked(ctl::kFileSizeMode)) return SizeMode::FileSize;
  return SizeMode::None;
}

void ReadPreset(const forms::Form& mainForm, ConversionJob& job) {
  struct Preset {
    std::string_view name;
    int32_t width, height;
  };
  static constexpr Preset presets[] = {{ctl::kPreset240x320, 240, 320},
                                       {ctl::kPreset640x480, 640, 480},
                                       {ctl::kPreset800x600, 800, 600},
                                       {ctl::kPreset1024x768, 1024, 768}};
  for (const Preset& p : presets) {
    if (mainForm.Checked(p.name)) {
      job.presetWidth = p.width;
      job.presetHeight = p.height;
      return;
    }
  }
}

}  // namespace

ConversionJob JobFromForms(const forms::Form& mainForm, const forms::Form& options) {
  ConversionJob job;
  job.sizeMode = SizeModeOf(mainForm);
  ReadPreset(mainForm, job);
  job.keepPreset = mainForm.Checked(ctl::kKeepPresetProportions);
  job.customWidthText = mainForm.Text(ctl::kCustomWidth);
  job.customHeightText = mainForm.Text(ctl::kCustomHeight);
  job.keepCustom = mainForm.Checked(ctl::kKeepCustomProportions);
  job.percentWidthText = mainForm.Text(ctl::kPercentWidth);
  job.percentHeightText = mainForm.Text(ctl::kPercentHeight);
  job.keepPercent = mainForm.Checked(ctl::kKeepPercentProportions);
  job.factorText = mainForm.Text(ctl::kFactor);
  job.fileSizeText = mainForm.Text(ctl::kFileSize);

  job.saveMode = mainForm.Checked(ctl::kOverwriteSource) ? SaveMode::Overwrite : SaveMode::NewFile;
  job.folderPattern = mainForm.Text(ctl::kOutputFolder);
  job.namePattern = mainForm.Text(ctl::kOutputName);
  job.formatItem = mainForm.Text(ctl::kOutputFormat);

  job.orientation = options.Checked(ctl::kRotateBox);
  job.changeIfLarger = options.Checked(ctl::kShrinkLarger);
  job.changeIfSmaller = options.Checked(ctl::kEnlargeSmaller);
  job.filter = FilterOfMethodText(options.Text(ctl::kResizeMethod));
  job.quality = QualityOfText(options.Text(ctl::kQuality), options.Position(ctl::kQualityScrollBar));
  job.progressive = options.Checked(ctl::kProgressive);
  job.psdLayer = options.Checked(ctl::kPhotoshopLayer);
  job.keepDates = options.Checked(ctl::kKeepDates);
  job.keepOrientation = options.Checked(ctl::kKeepOrientation);
  job.toSRGB = options.Checked(ctl::kToSrgb);
  job.stripLocation = options.Checked(ctl::kStripLocation);
  return job;
}

JobSource JobSourceFromForms(const forms::Form& mainForm, const forms::Form& options) {
  return [&mainForm, &options] { return JobFromForms(mainForm, options); };
}

std::optional<imaging::ResizeFilter> FilterOfMethodText(const std::string& t) {
  const std::optional<std::string_view> method = forms::ResizeMethodOf(t);
  if (!method) return std::nullopt;
  if (*method == "bicubic") return imaging::ResizeFilter::Bicubic;
  if (*method == "bilinear") return imaging::ResizeFilter::Bilinear;
  return imaging::ResizeFilter::Nearest;
}

int32_t QualityOfText(const std::string& text, int32_t scrollPosition) {
  const auto value = forms::ParseIntegerText(text);
  return std::clamp(value ? *value : scrollPosition, 1, 100);
}

}  // namespace engine
