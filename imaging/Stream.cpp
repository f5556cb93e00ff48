#include "imaging/Stream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging/Types.h"

namespace imaging {

namespace {

// Offsets come from files; an absurd one must not overflow.
int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
  return sum;
}

}  // namespace

// ---- Stream ----------------------------------------------------------------------------------

int64_t Stream::Remaining() {
  const int64_t position = Position();
  const int64_t size = Size();
  return size > position ? size - position : 0;
}

void Stream::ReadExact(void* buffer, int64_t count, const char* what) {
  if (count <= 0) return;
  if (Read(buffer, count) != count) RaiseImaging("Unexpected end of data in %s", what);
}

void Stream::WriteExact(const void* buffer, int64_t count, const char* what) {
  if (count <= 0) return;
  if (Write(buffer, count) != count) RaiseImaging("Error while writing %s", what);
}

// ---- FileStream ------------------------------------------------------------------------------

namespace {

constexpr int64_t kBlockSize = 16384;

[[noreturn]] void ReadFailed() { RaiseImaging("TBufferedStream.ReadBuffer: read failed"); }
[[noreturn]] void WriteFailed() { RaiseImaging("TBufferedStream.WriteBuffer: write failed"); }

// Loops over EINTR and short transfers; returns the bytes moved or -1 on an error.
int64_t FullPread(int fd, void* buffer, int64_t count, int64_t offset) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, static_cast<uint8_t*>(buffer) + done, static_cast<size_t>(count - done), offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

bool FullPwrite(int fd, const void* buffer, int64_t count, int64_t offset) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::pwrite(fd, static_cast<const uint8_t*>(buffer) + done, static_cast<size_t>(count - done), offset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += n;
  }
  return true;
}

}  // namespace

FileStream::FileStream(const std::string& path, Access access)
    : writing_(access == Access::Write), buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBlockSize)) {
  if (!writing_) {
    // POSIX has no mandatory share modes, so a concurrent writer cannot be kept out; reading
    // only through this descriptor is what we can promise. O_NONBLOCK lets the open of a FIFO
    // or a device return at once, so fstat can refuse it instead of the open waiting for a
    // writer; it changes nothing for the regular files that are read.
    descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor_ < 0) RaiseImaging("Cannot open file \"%s\": %s.", path.c_str(), std::strerror(errno));
    struct stat st;
    const char* problem = nullptr;
    if (::fstat(descriptor_, &st) != 0) problem = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) problem = "it is a folder";
    else if (!S_ISREG(st.st_mode)) problem = "it is not a regular file";
    if (problem) {
      Close();
      RaiseImaging("Cannot open file \"%s\": %s.", path.c_str(), problem);
    }
    size_ = st.st_size;
    return;
  }
  output_ = base::AtomicFile(path);
  if (!output_.IsOpen()) RaiseImaging("Cannot create file \"%s\": %s.", path.c_str(), output_.Cause().c_str());
  descriptor_ = output_.Descriptor();
}

FileStream::~FileStream() { Close(); }

void FileStream::Close() noexcept {
  if (writing_) output_.Abandon();
  else if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

void FileStream::LoadBlock(int64_t blockStart) {
  if (blockStart == blockStart_) return;
  FlushBuffer();
  if (blockStart < 0) RaiseImaging("TBufferedStream.ReadBuffer: seek failed");
  const int64_t n = FullPread(descriptor_, buffer_.get(), kBlockSize, blockStart);
  if (n < 0) {
    blockStart_ = -1;
    ReadFailed();
  }
  blockStart_ = blockStart;
  bufferLength_ = n;
}

void FileStream::FlushBuffer() {
  if (!dirty_) return;
  if (blockStart_ < 0) RaiseImaging("TBufferedStream.WriteBuffer: seek failed");
  if (!FullPwrite(descriptor_, buffer_.get(), bufferLength_, blockStart_)) WriteFailed();
  dirty_ = false;
}

int64_t FileStream::Read(void* buffer, int64_t count) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  if (position_ < 0 && count > 0) RaiseImaging("TBufferedStream.ReadBuffer: seek failed");
  while (done < count && position_ < size_) {
    const int64_t wanted = std::min(count - done, size_ - position_);
    const int64_t inBlock = position_ - blockStart_;
    if (blockStart_ >= 0 && inBlock >= 0 && inBlock < bufferLength_) {
      const int64_t n = std::min(wanted, bufferLength_ - inBlock);
      std::memcpy(out + done, buffer_.get() + inBlock, static_cast<size_t>(n));
      done += n;
      position_ += n;
      continue;
    }
    if (wanted >= kBlockSize) {
      // Large requests skip the buffer. The file must hold any changed bytes first.
      FlushBuffer();
      const int64_t n = FullPread(descriptor_, out + done, wanted, position_);
      if (n < 0) ReadFailed();
      done += n;
      position_ += n;
      if (n < wanted) break;
      continue;
    }
    const int64_t blockStart = position_ - position_ % kBlockSize;
    if (blockStart == blockStart_) {
      // The file grew past what the buffer read (a direct write further on); read it again.
      FlushBuffer();
      blockStart_ = -1;
    }
    LoadBlock(blockStart);
    if (position_ - blockStart_ >= bufferLength_) break;
  }
  return done;
}

int64_t FileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ < 0) RaiseImaging("TBufferedStream.WriteBuffer: seek failed");
  if (!writing_) WriteFailed();
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t blockStart = position_ - position_ % kBlockSize;
    const int64_t inBlock = position_ - blockStart;
    const int64_t n = std::min(count - done, kBlockSize - inBlock);
    if (n == kBlockSize) {
      // A whole block: write it directly and forget a buffer that covered it.
      FlushBuffer();
      if (!FullPwrite(descriptor_, in + done, n, position_)) WriteFailed();
      if (blockStart_ == blockStart) blockStart_ = -1, bufferLength_ = 0;
    } else {
      LoadBlock(blockStart);
      if (inBlock > bufferLength_)
        std::memset(buffer_.get() + bufferLength_, 0, static_cast<size_t>(inBlock - bufferLength_));
      std::memcpy(buffer_.get() + inBlock, in + done, static_cast<size_t>(n));
      bufferLength_ = std::max(bufferLength_, inBlock + n);
      dirty_ = true;
    }
    done += n;
    position_ += n;
    size_ = std::max(size_, position_);
  }
  return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
  switch (origin) {
    case SeekOrigin::Begin: position_ = offset; break;
    case SeekOrigin::Current: position_ = SaturatingAdd(position_, offset); break;
    case SeekOrigin::End: position_ = SaturatingAdd(size_, offset); break;
    default: RaiseImaging("TBufferedStream.Seek: invalid origin");
  }
  return position_;
}

void FileStream::Commit() {
  if (descriptor_ < 0) return;
  if (!writing_) {
    Close();
    return;
  }
  FlushBuffer();
  descriptor_ = -1;
  if (!output_.Commit()) RaiseImaging(output_.Error());
}

// ---- MemoryStream ----------------------------------------------------------------------------

MemoryStream::MemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

MemoryStream MemoryStream::ViewOf(std::span<const uint8_t> bytes) {
  MemoryStream stream;
  stream.fixed_ = true;
  stream.view_ = bytes.data();
  stream.viewSize_ = static_cast<int64_t>(bytes.size());
  return stream;
}

MemoryStream MemoryStream::WindowOver(std::span<uint8_t> bytes) {
  MemoryStream stream = ViewOf(bytes);
  stream.window_ = bytes.data();
  return stream;
}

int64_t MemoryStream::Size() const { return fixed_ ? viewSize_ : static_cast<int64_t>(data_.size()); }

int64_t MemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, (fixed_ ? view_ : data_.data()) + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t MemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (fixed_) {
    if (window_ == nullptr || position_ >= viewSize_) return 0;
    const int64_t n = std::min(count, viewSize_ - position_);
    std::memcpy(window_ + position_, buffer, static_cast<size_t>(n));
    position_ += n;
    return n;
  }
  if (position_ > INT64_MAX - count) RaiseImaging("TMemoryStream.Write: stream too large");
  const size_t end = static_cast<size_t>(position_ + count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base;
  switch (origin) {
    case SeekOrigin::Begin: base = 0; break;
    case SeekOrigin::Current: base = position_; break;
    case SeekOrigin::End: base = Size(); break;
    default:
      if (fixed_) return position_;
      RaiseImaging("TMemoryStream.Seek: invalid origin");
  }
  const int64_t target = SaturatingAdd(base, offset);
  // A view never grows, so a position outside it could only lead to a stray access. For a
  // growable stream a position before the start has no meaning; past the end is allowed.
  position_ = fixed_ ? std::clamp<int64_t>(target, 0, viewSize_) : std::max<int64_t>(0, target);
  return position_;
}

}  // namespace imaging
