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
  if (tprog.Checked(ctl::rb_pixel)) return SizeMode::Preset;
  if (tprog.Checked(ctl::rb_benutzer)) return SizeMode::Custom;
  if (tprog.Checked(ctl::rb_prozent)) return SizeMode::Percent;
  if (tprog.Checked(ctl::rb_faktor)) return SizeMode::Factor;
  if (tprog.Checked(ctl::rb_filesize)) return SizeMode::FileSize;
  return SizeMode::None;
}

void ReadPreset(const forms::Form& tprog, ConversionJob& job) {
  struct Preset {
    std::string_view name;
    int32_t width, height;
  };
  static constexpr Preset presets[] = {{ctl::act_size240x320, 240, 320},
                                       {ctl::act_size640x480, 640, 480},
                                       {ctl::act_size800x600, 800, 600},
                                       {ctl::act_size1024x768, 1024, 768}};
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
  job.keepPreset = tprog.Checked(ctl::act_sizeprop);
  job.customWidthText = tprog.Text(ctl::act_sizebenutzer_x);
  job.customHeightText = tprog.Text(ctl::act_sizebenutzer_y);
  job.keepCustom = tprog.Checked(ctl::act_propbenutzer_prop);
  job.percentWidthText = tprog.Text(ctl::act_sizeprozent_x);
  job.percentHeightText = tprog.Text(ctl::act_sizeprozent_y);
  job.keepPercent = tprog.Checked(ctl::act_propprozent);
  job.factorText = tprog.Text(ctl::ed_faktor);
  job.fileSizeText = tprog.Text(ctl::ed_filesize);

  job.saveMode = tprog.Checked(ctl::out_overwrite) ? SaveMode::Overwrite : SaveMode::NewFile;
  job.folderPattern = tprog.Text(ctl::out_ordner);
  job.namePattern = tprog.Text(ctl::out_name);
  job.formatItem = tprog.Text(ctl::out_format);

  job.orientation = toptionen.Checked(ctl::act_sizehochquerformat);
  job.changeIfLarger = toptionen.Checked(ctl::act_sizebigger);
  job.changeIfSmaller = toptionen.Checked(ctl::act_sizekleiner);
  job.filter = FilterOfMethodText(toptionen.Text(ctl::act_sizemethode));
  job.quality = QualityOfText(toptionen.Text(ctl::out_quality), toptionen.Position(ctl::ScrollBar1));
  job.progressive = toptionen.Checked(ctl::progressivaktiv);
  job.psdLayer = toptionen.Checked(ctl::psdlayers);
  job.keepDates = toptionen.Checked(ctl::keep_dates);
  job.keepOrientation = toptionen.Checked(ctl::keep_orientation);
  job.toSRGB = toptionen.Checked(ctl::to_srgb);
  job.stripLocation = toptionen.Checked(ctl::strip_location);
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
