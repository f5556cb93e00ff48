// What the current settings will do to one image, for the line under the size and save pages:
// its size before and after and the path of its output, computed by the run's own size and
// naming rules but without touching the file system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/ConversionJob.h"
#include "engine/TargetSize.h"

namespace engine {

struct OutputPreview {
  std::string sourcePath;
  int32_t width = 0;  // of the source
  int32_t height = 0;
  bool fileSizeSearch = false;  // the size is found by trial saves at run time
  std::optional<Size> scaled;   // nullopt: the image keeps its size (or fileSizeSearch)
  std::string outputPath;
  std::string problem;  // a size the run would refuse ("2/0"), else empty
  // The frames of an animation or pages of a multi-page source (from its header); the line
  // says "12 frames" after the source's size when there are several.
  int32_t frames = 1;
  bool pages = false;  // the source's several images are pages (TIFF), not frames
};

// The image is row `index` of `rowCount` rows; `width` and `height` are its stored size and
// `orientation` its Exif orientation, by which the run turns it upright (and so the preview
// shows the upright size) unless the job keeps the orientation.
OutputPreview PreviewOutput(const ConversionJob& job, const std::string& sourcePath, int32_t width, int32_t height,
                            int index, int rowCount, int32_t orientation = 1);

// "IMG_0001.jpg 4000 × 3000 → 1024 × 768 → /home/me/Pictures/small/IMG_0001.jpg"; the file-size
// mode shows the target ("→ ≤ 100 KB") in place of the size.
std::string PreviewLine(const OutputPreview& preview, const std::string& fileSizeText);

// The same line in parts, so that a narrow window can shorten the file names and keep the rest
// whole; joined they are PreviewLine. A size the run would refuse stands in `sizes` after the
// arrow, with no output.
struct PreviewLineParts {
  std::string sourceName;    // "IMG_0001.jpg"
  std::string sizes;         // " 4000 × 3000 → 1024 × 768 → "
  std::string outputFolder;  // "/home/me/Pictures/small/"
  std::string outputName;    // "IMG_0001.jpg"
};
PreviewLineParts SplitPreviewLine(const OutputPreview& preview, const std::string& fileSizeText);

}  // namespace engine
