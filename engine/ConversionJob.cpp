#include "engine/ConversionJob.h"

#include <algorithm>

#include "imaging/Imaging.h"
#include "forms/NumberText.h"
#include "base/Text.h"

namespace vexilo {

ConversionJob ReadConversionJob(const forms::Form& tprog, const forms::Form& toptionen) {
  ConversionJob job;
  // The buttons form one group, so at most one is checked; a configuration can leave none.
  if (tprog.Checked("rb_pixel")) job.sizeMode = SizeMode::Preset;
  else if (tprog.Checked("rb_benutzer")) job.sizeMode = SizeMode::Custom;
  else if (tprog.Checked("rb_prozent")) job.sizeMode = SizeMode::Percent;
  else if (tprog.Checked("rb_faktor")) job.sizeMode = SizeMode::Factor;
  else if (tprog.Checked("rb_filesize")) job.sizeMode = SizeMode::FileSize;

  struct Preset {
    const char* name;
    int32_t width, height;
  };
  const Preset presets[] = {{"act_size240x320", 240, 320},
                            {"act_size640x480", 640, 480},
                            {"act_size800x600", 800, 600},
                            {"act_size1024x768", 1024, 768}};
  for (const Preset& p : presets) {
    if (tprog.Checked(p.name)) {
      job.presetWidth = p.width;
      job.presetHeight = p.height;
      break;
    }
  }
  job.keepPreset = tprog.Checked("act_sizeprop");
  job.customWidthText = tprog.Text("act_sizebenutzer_x");
  job.customHeightText = tprog.Text("act_sizebenutzer_y");
  job.keepCustom = tprog.Checked("act_propbenutzer_prop");
  job.percentWidthText = tprog.Text("act_sizeprozent_x");
  job.percentHeightText = tprog.Text("act_sizeprozent_y");
  job.keepPercent = tprog.Checked("act_propprozent");
  job.factorText = tprog.Text("ed_faktor");
  job.fileSizeText = tprog.Text("ed_filesize");

  job.overwrite = tprog.Checked("out_overwrite");
  job.folderPattern = tprog.Text("out_ordner");
  job.namePattern = tprog.Text("out_name");
  job.formatItem = tprog.Text("out_format");

  job.orientation = toptionen.Checked("act_sizehochquerformat");
  job.changeIfLarger = toptionen.Checked("act_sizebigger");
  job.changeIfSmaller = toptionen.Checked("act_sizekleiner");
  job.methodText = toptionen.Text("act_sizemethode");
  job.qualityText = toptionen.Text("out_quality");
  job.qualityPosition = toptionen.Position("ScrollBar1");
  job.progressive = toptionen.Checked("progressivaktiv");
  job.psdLayer = toptionen.Checked("psdlayers");
  return job;
}

void KonvertierWerteSetzen(const ConversionJob& job, imaging::ResizeFilter& filter) {
  const std::string& t = job.methodText;
  // "Nä" is three bytes in UTF-8, so the prefixes are compared as texts, not by length 3.
  if (base::StartsWith(t, "Bic") || base::StartsWith(t, "Bik")) filter = imaging::ResizeFilter::Bicubic;
  else if (base::StartsWith(t, "Bil")) filter = imaging::ResizeFilter::Bilinear;
  else if (base::StartsWith(t, "Näc") || base::StartsWith(t, "Nea")) filter = imaging::ResizeFilter::Nearest;
}

int32_t OutputQuality(const ConversionJob& job) {
  const auto value = forms::ParseIntegerText(job.qualityText);
  return std::clamp(value ? *value : job.qualityPosition, 1, 100);
}

imaging::CodecOptions OutputOptions(const ConversionJob& job, imaging::CodecOptions options) {
  const int32_t quality = OutputQuality(job);
  options.Set(imaging::ImagingJpegQuality, quality);
  options.Set(imaging::ImagingJNGQuality, quality);
  options.Set(imaging::ImagingMNGQuality, quality);
  options.Set(imaging::ImagingPSDSaveAsLayer, job.psdLayer ? 1 : 0);
  const int32_t progressive = job.progressive ? 1 : 0;
  options.Set(imaging::ImagingJpegProgressive, progressive);
  options.Set(imaging::ImagingJNGProgressive, progressive);
  options.Set(imaging::ImagingMNGProgressive, progressive);
  return options;
}

}  // namespace vexilo
