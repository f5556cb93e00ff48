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
    imaging::Image image;
    PhotoOutcome photo;
    std::string loadCause;
    std::vector<std::string> notes;
    const bool loaded = LoadSourceForRun(source, job, image, runOptions, photo, loadCause, notes);
    std::optional<std::string> outputProblem;
    preview.outputPath = OutputPathForRun(job, source, request.position, request.listSize, image.Width(),
                                          image.Height(), outputProblem);
    if (!loaded) return Failed(std::move(preview), msg::kLoadError, loadCause);
    preview.sourceWidth = image.Width();
    preview.sourceHeight = image.Height();
    if (outputProblem) return Failed(std::move(preview), msg::kSaveError, *outputProblem);

    imaging::CodecOptions options = runOptions;
    options.profile = photo.profile;
    try {
      const TargetSizeInput target{.source = source,
                                   .output = preview.outputPath,
                                   .decimalSeparator = request.decimalSeparator,
                                   .filter = request.filter,
                                   .options = options,
                                   .stop = request.stop,
                                   .trials = TrialPlace::InMemory};
      if (const auto size = TargetSizeForRun(job, image, target)) ResizeForRun(image, *size, request.filter);
    } catch (const ScalingError& e) {
      return Failed(std::move(preview), msg::kConversionError, e.what());
    }
    PrepareForOutput(image, preview.outputPath);
    preview.width = image.Width();
    preview.height = image.Height();
    std::optional<std::vector<uint8_t>> bytes;
    try {
      bytes = EncodeImageFile(preview.outputPath, image, options);
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
