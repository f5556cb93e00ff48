#include "imaging/Headers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/Text.h"
#include "imaging/Codec.h"

namespace imaging {

namespace {

// A file opened for reading headers: one 16 KiB window over the file, refilled with pread, so
// a reader never holds more than that whatever the file declares.
class HeaderFile {
public:
  explicit HeaderFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) RaiseImaging("The file \"%s\" cannot be opened: %s.", path.c_str(), std::strerror(errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd_);
      RaiseImaging("\"%s\" is no regular file.", path.c_str());
    }
    size_ = info.st_size;
  }
  ~HeaderFile() { ::close(fd_); }
  HeaderFile(const HeaderFile&) = delete;
  HeaderFile& operator=(const HeaderFile&) = delete;

  int64_t Size() const { return size_; }
  int64_t Tell() const { return position_; }
  int64_t Seek(int64_t offset, int32_t origin) {
    int64_t base = 0;
    if (origin == smFromCurrent) base = position_;
    else if (origin == smFromEnd) base = size_;
    else if (origin != smFromBeginning) return position_;
    const int64_t target = base + offset;
    if (target >= 0) position_ = target;
    return position_;
  }
  int64_t Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ >= size_) return 0;
    count = std::min(count, size_ - position_);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
      if (position_ < windowStart_ || position_ >= windowStart_ + windowLength_) {
        if (count - done >= kWindow) {
          // A large read goes straight into the caller's buffer.
          const ssize_t n = ::pread(fd_, out + done, size_t(count - done), position_);
          if (n <= 0) break;
          done += n;
          position_ += n;
          continue;
        }
        const ssize_t n = ::pread(fd_, window_, kWindow, position_);
        if (n <= 0) break;
        windowStart_ = position_;
        windowLength_ = n;
      }
      const int64_t offset = position_ - windowStart_;
      const int64_t take = std::min(count - done, windowLength_ - offset);
      std::memcpy(out + done, window_ + offset, size_t(take));
      done += take;
      position_ += take;
    }
    return done;
  }

private:
  static constexpr int64_t kWindow = 16384;
  int fd_ = -1;
  int64_t size_ = 0;
  int64_t position_ = 0;
  int64_t windowStart_ = 0;
  int64_t windowLength_ = 0;
  uint8_t window_[kWindow];
};

HeaderFile& FileOf(RawHandle handle) { return *static_cast<HeaderFile*>(handle); }

// An input/output table over a HeaderFile; it reads only. Its state lives in the handle.
const IOFunctions kHeaderIO = {
    [](const void*) -> RawHandle { return nullptr; },
    [](const void*) -> RawHandle { return nullptr; },
    [](RawHandle) {},
    [](RawHandle h) { return FileOf(h).Tell() >= FileOf(h).Size(); },
    [](RawHandle h, int64_t offset, int32_t origin) { return FileOf(h).Seek(offset, origin); },
    [](RawHandle h) { return FileOf(h).Tell(); },
    [](RawHandle h, void* buffer, int64_t count) { return FileOf(h).Read(buffer, count); },
    [](RawHandle, const void*, int64_t) -> int64_t { return 0; },
};

struct ReaderEntry {
  const char* extension;
  HeaderReader reader;
};

// Keyed by the codecs' default extensions; XPM has no header that gives its size cheaply.
const ReaderEntry kReaders[] = {
    {"bmp", ReadBitmapHeader},       {"jpg", ReadJpegHeader},         {"png", ReadPNGHeader},
    {"mng", ReadMNGHeader},          {"jng", ReadJNGHeader},          {"gif", ReadGIFHeader},
    {"dds", ReadDDSHeader},          {"tga", ReadTargaHeader},        {"pbm", ReadPortableMapHeader},
    {"pgm", ReadPortableMapHeader},  {"ppm", ReadPortableMapHeader},  {"pam", ReadPortableMapHeader},
    {"pfm", ReadPortableMapHeader},  {"jp2", ReadJpeg2000Header},     {"tif", ReadTiffHeader},
    {"psd", ReadPSDHeader},          {"pcx", ReadPCXHeader},          {"ico", ReadIconHeader},
    {"cur", ReadIconHeader},         {"webp", ReadWebPHeader},        {"avif", ReadAvifHeader},
    {"heic", ReadHeifHeader},
};

}  // namespace

HeaderOptions CurrentHeaderOptions() {
  HeaderOptions options;
  options.GifLoadAnimated = GetOption(ImagingGIFLoadAnimated) != 0;
  return options;
}

HeaderReader FindHeaderReader(const std::string& extension) {
  for (const ReaderEntry& entry : kReaders)
    if (base::EqualNoCase(extension, entry.extension)) return entry.reader;
  return nullptr;
}

bool ReadImageHeader(const std::string& path, const std::string& extension, const HeaderOptions& options,
                     ImageHeader& header) {
  const HeaderReader reader = FindHeaderReader(extension);
  if (!reader) return false;
  HeaderFile file(path);
  header = ImageHeader{};
  reader(IOHandle{&kHeaderIO, &file}, options, header);
  CheckImageDimensions(header.Width, header.Height, "image header");
  return true;
}

}  // namespace imaging
