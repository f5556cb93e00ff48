#include "engine/JobFromForms.h"

#include <algorithm>

#include "base/Text.h"
#include "forms/ControlNames.h"
#include "forms/NumberText.h"
#include "forms/OptionsForm.h"

namespace engine {

namespace ctl = forms::ctl;

namespace {

SizeMode SizeModeOf(const forms::Form& tprog) {
  // The buttons form one group, so at most one is checked; a configuration can leave none.
  if (tprog.Checked(ctl::kPresetSizeMode)) return SizeMode::Preset;
  if (tprog.Checked(ctl::kCustomSizeMode)) return SizeMode::Custom;
  if (tprog.Checked(ctl::kPercentSizeMode)) return SizeMode::Percent;
  if (tprog.Checked(ctl::kFactorSizeMode)) return SizeMode::Factor;
  if (tprog.Checked(ctl::kFileSizeMode)) return SizeMode::FileSize;
  return SizeMode::None;
}

void ReadPreset(const forms::Form& tprog, ConversionJob& job) {
  struct Preset {
    std::string_view name;
    int32_t width, height;
  };
  static constexpr Preset presets[] = {{ctl::kPreset240x320, 240, 320},
                                       {ctl::kPreset640x480, 640, 480},
                                       {ctl::kPreset800x600, 800, 600},
                                       {ctl::kPreset1024x768, 1024, 768}};
  for (const Preset& p : presets) {
    if (tprog.Checked(p.name)) {
      job.presetWidth = p.width;
      job.presetHeight = p.height;
      return;
    }
  }
}

}  // namespace

ConversionJob JobFromForms(const forms::Form& tprog, const forms::Form& toptionen) {
  ConversionJob job;
  job.sizeMode = SizeModeOf(tprog);
  ReadPreset(tprog, job);
  job.keepPreset = tprog.Checked(ctl::kKeepPresetProportions);
  job.customWidthText = tprog.Text(ctl::kCustomWidth);
  job.customHeightText = tprog.Text(ctl::kCustomHeight);
  job.keepCustom = tprog.Checked(ctl::kKeepCustomProportions);
  job.percentWidthText = tprog.Text(ctl::kPercentWidth);
  job.percentHeightText = tprog.Text(ctl::kPercentHeight);
  job.keepPercent = tprog.Checked(ctl::kKeepPercentProportions);
  job.factorText = tprog.Text(ctl::kFactor);
  job.fileSizeText = tprog.Text(ctl::kFileSize);

  job.saveMode = tprog.Checked(ctl::kOverwriteSource) ? SaveMode::Overwrite : SaveMode::NewFile;
  job.folderPattern = tprog.Text(ctl::kOutputFolder);
  job.namePattern = tprog.Text(ctl::kOutputName);
  job.formatItem = tprog.Text(ctl::kOutputFormat);

  job.orientation = toptionen.Checked(ctl::kRotateBox);
  job.changeIfLarger = toptionen.Checked(ctl::kShrinkLarger);
  job.changeIfSmaller = toptionen.Checked(ctl::kEnlargeSmaller);
  job.filter = FilterOfMethodText(toptionen.Text(ctl::kResizeMethod));
  job.quality = QualityOfText(toptionen.Text(ctl::kQuality), toptionen.Position(ctl::kQualityScrollBar));
  job.progressive = toptionen.Checked(ctl::kProgressive);
  job.psdLayer = toptionen.Checked(ctl::kPhotoshopLayer);
  job.keepDates = toptionen.Checked(ctl::kKeepDates);
  job.keepOrientation = toptionen.Checked(ctl::kKeepOrientation);
  job.toSRGB = toptionen.Checked(ctl::kToSrgb);
  job.stripLocation = toptionen.Checked(ctl::kStripLocation);
  return job;
}

JobSource JobSourceFromForms(const forms::Form& tprog, const forms::Form& toptionen) {
  return [&tprog, &toptionen] { return JobFromForms(tprog, toptionen); };
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
