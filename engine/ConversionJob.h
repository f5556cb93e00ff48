// The settings of a run as the engine reads them from the controls of the main window (size
// and save pages) and the options dialog. Texts stay texts where the run interprets them per
// image: a text that is not a number falls back to the image's own dimension.
#pragma once

#include <cstdint>
#include <string>

#include "forms/Form.h"
#include "imaging/Imaging.h"
#include "imaging/ImagingPixelFormats.h"

namespace vexilo {

enum class SizeMode { None, Preset, Custom, Percent, Factor, FileSize };

struct ConversionJob {
  // Size page (ts_skalieren).
  SizeMode sizeMode = SizeMode::None;  // None when a configuration left no mode checked
  int32_t presetWidth = 0;             // 0 × 0 when no preset button is checked
  int32_t presetHeight = 0;
  bool keepPreset = true;              // act_sizeprop
  std::string customWidthText;         // act_sizebenutzer_x
  std::string customHeightText;        // act_sizebenutzer_y
  bool keepCustom = true;              // act_propbenutzer_prop
  std::string percentWidthText;        // act_sizeprozent_x
  std::string percentHeightText;       // act_sizeprozent_y
  bool keepPercent = true;             // act_propprozent
  std::string factorText;              // ed_faktor
  std::string fileSizeText;            // ed_filesize, kilobytes

  // Save page (ts_speichern).
  bool overwrite = false;  // out_overwrite
  std::string folderPattern;  // out_ordner
  std::string namePattern;    // out_name
  std::string formatItem;     // out_format

  // Options dialog.
  bool orientation = true;      // act_sizehochquerformat
  bool changeIfLarger = true;   // act_sizebigger
  bool changeIfSmaller = true;  // act_sizekleiner
  std::string methodText;       // act_sizemethode
  std::string qualityText;      // out_quality
  int32_t qualityPosition = 95; // ScrollBar1
  bool progressive = true;      // progressivaktiv
  bool psdLayer = true;         // psdlayers
};

ConversionJob ReadConversionJob(const forms::Form& tprog, const forms::Form& toptionen);

// Tprog.KonvertierWerteSetzen: the resampling filter from the first three characters of the
// method text ("Bic"/"Bik" bicubic, "Bil" bilinear, "Näc"/"Nea" nearest). Any other text leaves
// `filter` as the previous run left it.
void KonvertierWerteSetzen(const ConversionJob& job, imaging::ResizeFilter& filter);

// The quality passed to the codecs: the integer value of the quality text clamped to 1..100,
// or the scroll bar's position when the text is not an integer (empty, typed over, or set so
// by a configuration).
int32_t OutputQuality(const ConversionJob& job);

// Tprog.AusgabeWerteSetzen: the codec options of a run, `options` with the job's values in this
// order: JPEG, JNG and MNG quality (10, 43, 32), Photoshop layer (70), JPEG, JNG and MNG
// progressive (11, 44, 33). The run saves with them; the process values stay as they are.
imaging::CodecOptions OutputOptions(const ConversionJob& job, imaging::CodecOptions options);

}  // namespace vexilo
