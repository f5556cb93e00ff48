// The settings of a conversion as typed values: the size page and the save page of the main
// window and the options dialog. Built from the controls by one adapter (engine/JobFromForms.h);
// the run itself never reads a control. Texts stay texts where the run interprets them per image:
// a size text that is not a number falls back to the image's own side, a factor ratio that
// divides by zero fails for each image, and the patterns are filled in per file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "imaging/Codec.h"
#include "imaging/PixelFormats.h"

namespace engine {

enum class SizeMode { None, Preset, Custom, Percent, Factor, FileSize };

// out_overwrite writes over the source; otherwise (out_newimage) a new file is named by the
// folder, name and type settings.
enum class SaveMode { NewFile, Overwrite };

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
  std::string factorText;              // ed_faktor: "n", "a/b" or "a:b"
  std::string fileSizeText;            // ed_filesize, kilobytes in the locale's decimal notation

  // Save page (ts_speichern). The patterns keep their special entries ("<keep>" or
  // "<beibehalten>", "%folder%" or "%ordner%" ...), which the naming reads in either language.
  SaveMode saveMode = SaveMode::NewFile;  // out_overwrite, out_newimage
  std::string folderPattern;              // out_ordner
  std::string namePattern;                // out_name
  std::string formatItem;                 // out_format: "<keep>" or "*.ext - description"

  // Options dialog.
  bool orientation = true;      // act_sizehochquerformat
  bool changeIfLarger = true;   // act_sizebigger
  bool changeIfSmaller = true;  // act_sizekleiner
  // act_sizemethode; none when its text names no method (the previous run's filter stays).
  std::optional<imaging::ResizeFilter> filter = imaging::ResizeFilter::Bicubic;
  int32_t quality = 95;         // out_quality, or ScrollBar1 when the text is no integer; 1 to 100
  bool progressive = true;      // progressivaktiv
  bool psdLayer = true;         // psdlayers
  // keep_dates (Vexilo's own): every output gets its source's modification and access times.
  bool keepDates = false;
  // Photos (section VX): a JPEG's Exif orientation is applied to the pixels unless
  // keepOrientation; an embedded colour profile is carried into outputs that hold one unless
  // toSRGB, which converts the pixels to sRGB and embeds none; stripLocation leaves GPS and
  // personal tags out of the metadata carried into a JPEG output.
  bool keepOrientation = false;  // keep_orientation
  bool toSRGB = false;           // to_srgb
  bool stripLocation = false;    // strip_location
};

// Where a run takes its settings from: called once at the run's start (start checks, filter,
// codec options) and again before every file (sizes, naming, save mode and the option check
// boxes), always on the run's own thread. JobSourceFromForms (engine/JobFromForms.h) reads the
// controls; a fixed job serves as `[job] { return job; }`.
using JobSource = std::function<ConversionJob()>;

// The run's resampling filter from the job; a job that names no method leaves `filter` as the
// previous run left it.
void ChooseResizeFilter(const ConversionJob& job, imaging::ResizeFilter& filter);

// The codec options of a run, `options` with the job's values in this order: JPEG, JNG, MNG,
// WebP, AVIF, HEIF and JPEG XL quality (10, 43, 32, 80, 85, 90, 95), Photoshop layer (70), JPEG, JNG and MNG
// progressive (11, 44, 33). The run saves with them; the process values stay as they are.
imaging::CodecOptions OutputOptions(const ConversionJob& job, imaging::CodecOptions options);

}  // namespace engine
