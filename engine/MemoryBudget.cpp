#include "engine/MemoryBudget.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <limits>

#include "base/Paths.h"
#include "engine/FileSizeSearch.h"
#include "engine/ImageFiles.h"
#include "engine/OutputPreview.h"
#include "forms/NumberText.h"
#include "imaging/Codec.h"

namespace engine {

namespace {

constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

uint64_t SaturatingProduct(uint64_t a, uint64_t b) { return b != 0 && a > kNoLimit / b ? kNoLimit : a * b; }

uint64_t SaturatingSum(uint64_t a, uint64_t b) { return a > kNoLimit - b ? kNoLimit : a + b; }

// The size the job scales the previewed (upright) picture to.
Size ScaledForEstimate(const OutputPreview& preview, const ConversionJob& job, uint64_t sourceBytes,
                       const std::string& decimalSeparator) {
  const Size source{preview.width, preview.height};
  if (preview.fileSizeSearch) {
    const auto kilobytes = forms::ParseDecimalText(job.fileSizeText, decimalSeparator);
    if (!kilobytes || *kilobytes <= 0 || sourceBytes == 0) return source;
    return BoundTrialSize(FileSizeFirstEstimate(source.width, source.height, sourceBytes, *kilobytes), source.width,
                          source.height);
  }
  return preview.scaled.value_or(source);
}

}  // namespace

uint64_t HeldPictureBytes(int32_t width, int32_t height, imaging::PixelFormat format) {
  const imaging::PixelFormatInfo* info = imaging::FindFormatInfo(format);
  const uint64_t bytesPerPixel = info != nullptr && info->BytesPerPixel > 4 ? static_cast<uint64_t>(info->BytesPerPixel) : 4;
  const uint64_t pixels = static_cast<uint64_t>(std::max(width, 0)) * static_cast<uint64_t>(std::max(height, 0));
  return SaturatingProduct(pixels, bytesPerPixel);
}

uint64_t EstimateHeldBytes(const std::string& source, const ConversionJob& job, const imaging::CodecOptions& options,
                           const std::string& decimalSeparator) {
  const uint64_t sourceBytes = base::FileBytes(source);
  try {
    // One open for the detection and the header.
    imaging::FileStream file(source, imaging::FileStream::Access::Read);
    const std::string extension = IsIconPath(source) ? "ico" : imaging::DetectStreamFormat(file, source);
    imaging::ImageHeader header;
    if (!extension.empty() && imaging::ReadImageHeader(file, extension, options, header)) {
      const OutputPreview preview = PreviewOutput(job, source, header.Width, header.Height, 0, 1, header.Orientation);
      const Size scaled = ScaledForEstimate(preview, job, sourceBytes, decimalSeparator);
      const uint64_t picture = SaturatingSum(HeldPictureBytes(preview.width, preview.height, header.Format),
                                             HeldPictureBytes(scaled.width, scaled.height, header.Format));
      // Every frame or page is held when the output keeps them (pages are counted at the
      // first's size).
      const bool allFrames = header.Frames > 1 && RunKeepsFrames(extension, preview.outputPath);
      return allFrames ? SaturatingProduct(picture, static_cast<uint64_t>(header.Frames)) : picture;
    }
  } catch (const std::exception&) {
    // A header that cannot be read: the file is counted by its bytes.
  }
  return SaturatingProduct(sourceBytes, 8);
}

void MemoryBudget::Hold(uint64_t bytes) {
  held_ = SaturatingSum(held_, bytes);
  ++inFlight_;
}

void MemoryBudget::Release(uint64_t bytes) {
  held_ -= std::min(held_, bytes);
  if (inFlight_ > 0) --inFlight_;
  if (inFlight_ == 0) held_ = 0;  // a saturated sum cannot be taken apart again
}

uint64_t DefaultMemoryBudget() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kNoLimit;
  return SaturatingProduct(static_cast<uint64_t>(pages), static_cast<uint64_t>(pageSize)) / 2;
}

std::string BudgetBelowPictureNote(uint64_t pictureBytes, uint64_t budgetBytes) {
  const auto megabytes = [](uint64_t bytes) { return std::to_string(SaturatingSum(bytes, (1u << 20) - 1) >> 20); };
  return "The picture needs about " + megabytes(pictureBytes) + " MB while it is converted, more than the memory budget of " +
         megabytes(budgetBytes) + " MB; it is converted with no other file at the same time";
}

}  // namespace engine
