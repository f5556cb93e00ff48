#include "engine/FileSizeSearch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "base/AtomicFile.h"
#include "base/Error.h"
#include "engine/ImageFiles.h"

namespace engine {

namespace {

// Saves a copy of the source scaled to `size` (with its frames) as a trial file beside the
// output and returns its size in kilobytes; K when the output's type writes nothing.
long double Trial(const FileSizeSearchInput& in, Size size) {
  const imaging::Image& first = in.frames[0];
  std::vector<imaging::Image> copies(in.frames.size());
  for (size_t i = 0; i < in.frames.size(); ++i) {
    imaging::CopyImage(in.frames[i], copies[i]);
    ResizeForRun(copies[i],
                 ProportionalFrameSize({copies[i].Width(), copies[i].Height()}, {first.Width(), first.Height()}, size),
                 in.filter);
  }
  if (in.outputPath.empty()) return in.targetKilobytes;
  for (imaging::Image& copy : copies) PrepareForOutput(copy, in.outputPath);
  if (in.trialsInMemory) {
    const std::optional<std::vector<uint8_t>> bytes = EncodeImageFile(in.outputPath, copies, in.options);
    if (!bytes) return in.targetKilobytes;
    if (bytes->empty()) throw base::Error("A trial save of " + in.outputPath + " wrote 0 bytes");
    return static_cast<long double>(bytes->size()) / 1024;
  }
  // Made before the encoding, so that a place for it is known to exist before the work is
  // done. Never committed: the destructor removes it, also when the encoding or a measure
  // fails, and a signal that ends the process meanwhile removes it too (it is a pending file
  // from before its creation).
  base::AtomicFile trial(in.outputPath);
  if (!trial.IsOpen()) throw base::Error(trial.Error());
  const std::optional<std::vector<uint8_t>> bytes = EncodeImageFile(in.outputPath, copies, in.options);
  if (!bytes) return in.targetKilobytes;
  if (!trial.Write(bytes->data(), bytes->size())) throw base::Error(trial.Error());
  struct stat info {};
  if (::fstat(trial.Descriptor(), &info) != 0)
    throw base::Error("Cannot measure a trial save beside " + in.outputPath + ": " + std::strerror(errno));
  if (info.st_size == 0) throw base::Error("A trial save of " + in.outputPath + " wrote 0 bytes");
  return static_cast<long double>(info.st_size) / 1024;
}

}  // namespace

Size FileSizeFirstEstimate(int32_t width, int32_t height, uint64_t sourceBytes, double targetKilobytes) {
  if (targetKilobytes < 0) throw base::Error("The target file size is negative");
  if (sourceBytes == 0) throw base::Error("The source file is empty");
  const long double s = static_cast<long double>(sourceBytes) / 1024;
  const long double f = std::sqrt(static_cast<long double>(targetKilobytes) / s);
  return {RoundHalfEven(f * width), RoundHalfEven(f * height)};
}

Size BoundTrialSize(Size size, int32_t sourceWidth, int32_t sourceHeight) {
  const long double limit = std::min(4.0L * sourceWidth * sourceHeight, static_cast<long double>(imaging::kMaxImagePixels));
  long double f = 1;
  const long double area = static_cast<long double>(size.width) * size.height;
  if (area > limit) f = std::sqrt(limit / area);
  const long double side = static_cast<long double>(imaging::kMaxImageSide);
  if (size.width * f > side) f = side / size.width;
  if (size.height * f > side) f = side / size.height;
  if (f >= 1) return size;
  return {static_cast<int32_t>(std::floor(size.width * f)), static_cast<int32_t>(std::floor(size.height * f))};
}

Size ProportionalFrameSize(Size frameSize, Size firstSize, Size firstTarget) {
  if (frameSize.width == firstSize.width && frameSize.height == firstSize.height) return firstTarget;
  const auto scale = [](int32_t side, int32_t from, int32_t to) {
    return std::max<int32_t>(1, RoundHalfEven(static_cast<long double>(side) * to / std::max(from, 1)));
  };
  return {scale(frameSize.width, firstSize.width, firstTarget.width),
          scale(frameSize.height, firstSize.height, firstTarget.height)};
}

Size SearchFileSize(const FileSizeSearchInput& in) {
  const long double k = in.targetKilobytes;
  const int32_t w = in.frames[0].Width(), h = in.frames[0].Height();
  Size size = BoundTrialSize(FileSizeFirstEstimate(w, h, in.sourceBytes, in.targetKilobytes), w, h);

  auto correct = [&](long double t) {
    const long double r = k / t;
    const long double g = std::sqrt(r);
    size = BoundTrialSize({RoundHalfEven(g * size.width), RoundHalfEven(g * size.height)}, w, h);
    return r;
  };
  if (in.stop.stop_requested()) return size;
  correct(Trial(in, size));
  for (int repetition = 1; repetition <= 10; ++repetition) {
    if (in.stop.stop_requested()) break;
    const long double r = correct(Trial(in, size));
    if (r > 0.99L && r < 1.01L) break;
  }
  return size;
}

}  // namespace engine
