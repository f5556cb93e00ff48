// The steps of one file that the run and its preview share: the load with the photo settings,
// the output path, the target size. One copy of each, so that what the preview shows is what
// the run does.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/ConversionJob.h"
#include "engine/TargetSize.h"
#include "imaging/ColorProfile.h"
#include "imaging/Image.h"
#include "imaging/Options.h"

namespace engine {

// What a loaded photo brings to its outputs besides the pixels.
struct PhotoOutcome {
  int32_t uprightFrom = 1;        // the Exif orientation the pixels were turned upright from
  imaging::ColorProfile profile;  // the colour profile the outputs embed, null for none
};

// The picture of a file, and when the output keeps them the frames or pages after it.
struct LoadedFrames {
  std::vector<imaging::Image> frames;  // at least one once loaded
  imaging::Animation animation;        // how an animation plays; empty for a still picture or pages
};

// The run's load of a source: the picture in the format the run keeps, turned upright unless
// keep_orientation, its colours converted with to_srgb. With `allFrames` every frame or page is
// loaded, and the photo settings apply to each. A source that cannot be read goes on as one
// empty image, whether the codec says so or raises an error; `cause` then tells why (false).
// Warnings of a load that gave a picture are kept in `notes`.
bool LoadSourceForRun(const std::string& source, const ConversionJob& job, bool allFrames, LoadedFrames& loaded,
                      const imaging::CodecOptions& options, PhotoOutcome& photo, std::string& cause,
                      std::vector<std::string>& notes);

// The output path of the file at `position` of a list of `listSize` files whose loaded picture
// is `width` × `height`, and why it cannot be written before anything is made for it (a name
// that leads out of the output folder, or a path longer than any file operation takes).
std::string OutputPathForRun(const ConversionJob& job, const std::string& source, int position, int listSize,
                             int32_t width, int32_t height, std::optional<std::string>& problem);

// A path of the type the file's output will have, known before the load: the source's own in
// overwrite mode, else the output path for a picture of no size yet.
std::string OutputTypePathForRun(const ConversionJob& job, const std::string& source, int position, int listSize);

// Where the file-size search puts its trials.
enum class TrialPlace {
  BesideOutput,  // temporary files in the output's folder, which is made for them (the run)
  InMemory,      // encoded and measured in memory; nothing is made (the preview)
};

// What the target size needs besides the job and the picture.
struct TargetSizeInput {
  std::string source;
  std::string output;
  std::string decimalSeparator;
  imaging::ResizeFilter filter = imaging::ResizeFilter::Nearest;
  imaging::CodecOptions options = {};  // the save's options, which the file-size trials encode with
  std::stop_token stop = {};
  TrialPlace trials = TrialPlace::BesideOutput;
};

// The target size of the size mode for the first frame, or of the file-size search over all
// frames; none keeps the size. Raises the size computation's errors.
std::optional<Size> TargetSizeForRun(const ConversionJob& job, std::span<const imaging::Image> frames,
                                     const TargetSizeInput& in);

// The scaling step of a file: the first frame to the target size, each frame after it to the
// first's target when it has the first's size, in file-size mode by the same factor, otherwise
// by the size rules on its own size (pages of a TIFF file differ). Raises ScalingError (and the
// size computation's errors).
void ScaleFramesForRun(const ConversionJob& job, std::vector<imaging::Image>& frames, const TargetSizeInput& in);

// The key under which an output path is remembered: two spellings of one file give one key.
std::string OutputKey(const std::string& path);

}  // namespace engine
