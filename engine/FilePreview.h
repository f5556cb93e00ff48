// What a run would do with one file, without doing it: the source's size, the output's size and
// path, and the output encoded in memory. It takes the run's own steps (engine/RunSteps.h: the
// load with orientation and colour handling, the naming, the size rules and the file-size
// search, the filter, the preparation for the output type and the encoder), so a dry run and the
// window's preview agree with the run by construction. Nothing is written or created: the
// file-size search measures its trials in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/ConversionJob.h"
#include "forms/NumberText.h"
#include "imaging/Options.h"
#include "imaging/PixelFormats.h"

namespace engine {

struct FilePreviewRequest {
  std::string source;
  int position = 0;  // the file's place in the list (0-based), which the numbering sees
  int listSize = 1;  // the list's row count
  ConversionJob job;
  // The codec options a run would start from; the job's quality and progression go over them.
  imaging::CodecOptions codecOptions = imaging::CurrentOptions();
  // The run's resampling filter (engine::RunMemory, after ChooseResizeFilter).
  imaging::ResizeFilter filter = imaging::ResizeFilter::Nearest;
  std::string decimalSeparator = forms::UserDecimalSeparator();
  bool keepBytes = false;  // keep the encoded output (the preview pane); else only its size
  std::stop_token stop = {};  // ends a file-size search early, as a run's stop does
};

struct FilePreview {
  // Empty when the run would write the output; else the message key the run reports for the file
  // (kSourceMissing, kLoadError, kSaveError, kConversionError) and the cause.
  std::string key;
  std::string cause;
  int32_t sourceWidth = 0;  // the picture as the run sees it (upright unless keep_orientation);
  int32_t sourceHeight = 0; // 0 when it could not be read
  uint64_t sourceBytes = 0;
  int32_t frames = 0;       // the frames or pages the output keeps (1 for a still picture)
  std::string outputPath;   // empty when the file fails before its output is known
  int32_t width = 0;        // the output picture's size
  int32_t height = 0;
  uint64_t outputBytes = 0;  // the encoded output's size, before any carried metadata
  std::vector<uint8_t> bytes;  // the encoded output, with keepBytes
};

FilePreview PreviewFile(const FilePreviewRequest& request);

// Decodes the bytes of a preview for showing them, in A8R8G8B8. False when no codec of the
// registry reads them back (icons and cursors) or they give no picture.
bool DecodePreviewBytes(const std::vector<uint8_t>& bytes, imaging::Image& image);

}  // namespace engine
