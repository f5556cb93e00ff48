#include "engine/FilePreview.h"

#include <cerrno>
#include <stdexcept>

#include "base/Paths.h"
#include "engine/ImageFiles.h"
#include "engine/RunSteps.h"
#include "engine/TargetSize.h"
#include "forms/MessageKeys.h"
#include "imaging/Codec.h"
#include "imaging/Stream.h"

namespace engine {

namespace {

namespace msg = forms::msg;

FilePreview Failed(FilePreview preview, const char* key, std::string cause) {
  preview.key = key;
  preview.cause = std::move(cause);
  return preview;
}

}  // namespace

// The order of the steps and the message key of each failure are those of the run's Begin and
// Prepare (engine/ConversionRun.cpp).
FilePreview PreviewFile(const FilePreviewRequest& request) {
  FilePreview preview;
  const std::string& source = request.source;
  const ConversionJob& job = request.job;
  const base::FileKind kind = base::KindOf(source);
  if (kind.error == ENOENT || kind.error == ENOTDIR) return Failed(std::move(preview), msg::kSourceMissing, "");
  if (!kind.Regular()) return Failed(std::move(preview), msg::kLoadError, kind.Problem(source));
  try {
    preview.sourceBytes = base::FileBytes(source);
    const imaging::CodecOptions runOptions = OutputOptions(job, request.codecOptions);
    const std::string sourceFormat = imaging::DetectFileFormat(source);
    const bool allFrames =
        MayHoldFrames(sourceFormat) &&
        RunKeepsFrames(sourceFormat, OutputTypePathForRun(job, source, request.position, request.listSize));
    LoadedFrames loaded;
    PhotoOutcome photo;
    std::string loadCause;
    std::vector<std::string> notes;
    const bool loadedOk = LoadSourceForRun(source, job, allFrames, loaded, runOptions, photo, loadCause, notes);
    std::vector<imaging::Image>& frames = loaded.frames;
    std::optional<std::string> outputProblem;
    preview.outputPath = OutputPathForRun(job, source, request.position, request.listSize, frames[0].Width(),
                                          frames[0].Height(), outputProblem);
    if (!loadedOk) return Failed(std::move(preview), msg::kLoadError, loadCause);
    preview.sourceWidth = frames[0].Width();
    preview.sourceHeight = frames[0].Height();
    preview.frames = static_cast<int32_t>(frames.size());
    if (outputProblem) return Failed(std::move(preview), msg::kSaveError, *outputProblem);

    imaging::CodecOptions options = runOptions;
    options.profile = photo.profile;
    options.animation = std::move(loaded.animation);
    try {
      const TargetSizeInput target{.source = source,
                                   .output = preview.outputPath,
                                   .decimalSeparator = request.decimalSeparator,
                                   .filter = request.filter,
                                   .options = options,
                                   .stop = request.stop,
                                   .trials = TrialPlace::InMemory};
      ScaleFramesForRun(job, frames, target);
    } catch (const ScalingError& e) {
      return Failed(std::move(preview), msg::kConversionError, e.what());
    }
    for (imaging::Image& frame : frames) PrepareForOutput(frame, preview.outputPath);
    preview.width = frames[0].Width();
    preview.height = frames[0].Height();
    std::optional<std::vector<uint8_t>> bytes;
    try {
      bytes = EncodeImageFile(preview.outputPath, frames, options);
    } catch (const std::exception& e) {
      return Failed(std::move(preview), msg::kSaveError, e.what());
    }
    if (!bytes) return Failed(std::move(preview), msg::kSaveError, "No image format writes files of this type");
    preview.outputBytes = bytes->size();
    if (request.keepBytes) preview.bytes = std::move(*bytes);
    return preview;
  } catch (const std::exception& e) {
    return Failed(std::move(preview), msg::kSaveError, e.what());
  }
}

bool DecodePreviewBytes(const std::vector<uint8_t>& bytes, imaging::Image& image) {
  try {
    imaging::MemoryStream stream = imaging::MemoryStream::ViewOf(bytes);
    if (!imaging::LoadImageFromStream(stream, image) || !imaging::IsImageValid(image)) return false;
    return imaging::ConvertImageFormat(image, imaging::PixelFormat::A8R8G8B8);
  } catch (const std::exception&) {
    image.Reset();
    return false;
  }
}

}  // namespace engine
