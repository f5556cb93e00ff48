#include "engine/FileSizeSearch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "base/AtomicFile.h"
#include "base/Error.h"
#include "engine/ImageFiles.h"

namespace engine {

namespace {

// Deletes the trial file when a trial ends, also when it ends by an error.
class TrialFile {
public:
  explicit TrialFile(const std::string& path) : path_(path) {}
  ~TrialFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TrialFile(const TrialFile&) = delete;
  TrialFile& operator=(const TrialFile&) = delete;

private:
  const std::string& path_;
};

// Saves a copy of the source scaled to `size` at the trial path and returns its size in
// kilobytes; K when nothing was written.
long double Trial(const FileSizeSearchInput& in, Size size) {
  imaging::Image copy;
  imaging::CopyImage(*in.source, copy);
  ResizeForRun(copy, size, in.filter);
  if (in.trialPath.empty()) return in.targetKilobytes;
  PrepareForOutput(copy, in.trialPath);
  // A signal that ends the process while the trial exists removes it.
  const base::PendingFile pending(in.trialPath);
  // A save that fails writes nothing at T (outputs are written beside it and renamed into
  // place), so only a trial that was written is measured and deleted.
  if (!SaveImageFile(in.trialPath, copy, in.options)) return in.targetKilobytes;
  TrialFile trial(in.trialPath);
  struct stat info {};
  if (::stat(in.trialPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return in.targetKilobytes;
  if (info.st_size == 0) throw base::Error("A trial save of " + in.trialPath + " wrote 0 bytes");
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

Size SearchFileSize(const FileSizeSearchInput& in) {
  const long double k = in.targetKilobytes;
  const int32_t w = in.source->Width(), h = in.source->Height();
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
