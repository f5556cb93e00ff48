#include "imaging/IO.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/AtomicFile.h"
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

// ---- Stream and MemoryStream ---------------------------------------------------------------

int64_t Stream::Size() {
  const int64_t position = Seek(0, smFromCurrent);
  const int64_t size = Seek(0, smFromEnd);
  Seek(position, smFromBeginning);
  return size;
}

int64_t MemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = static_cast<int64_t>(data_.size());
  if (count <= 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t MemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ > INT64_MAX - count) RaiseImaging("TMemoryStream.Write: stream too large");
  const size_t end = static_cast<size_t>(position_ + count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t MemoryStream::Seek(int64_t offset, int32_t origin) {
  int64_t base;
  switch (origin) {
    case smFromBeginning: base = 0; break;
    case smFromCurrent: base = position_; break;
    case smFromEnd: base = static_cast<int64_t>(data_.size()); break;
    default: RaiseImaging("TMemoryStream.Seek: invalid origin");
  }
  // A position before the start has no meaning for a memory stream; a position past the end
  // is allowed and a later write fills the gap with zeros.
  position_ = std::max<int64_t>(0, SaturatingAdd(base, offset));
  return position_;
}

// ---- BufferedFile: the stream behind FileIO -----------------------------------------------

namespace {

constexpr int64_t kBufferSize = 16384;

// A file wrapped in one buffer that covers one kBufferSize-aligned block at a time. Bytes of
// the buffer past the end of the file read so far (`bufferLength_`) are not valid. A changed
// buffer is written back before the buffer moves to another block and on close.
class BufferedFile {
public:
  // Reading: opens an existing file. Writing: creates a fresh file beside `path` that replaces
  // `path` only when the handle is committed, so a failed save leaves an existing file intact.
  BufferedFile(const char* path, bool forWriting);
  ~BufferedFile();
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;

  int64_t Read(void* buffer, int64_t count);
  int64_t Write(const void* buffer, int64_t count);
  int64_t Seek(int64_t offset, int32_t origin);
  int64_t Position() const { return position_; }
  bool Eof() const { return position_ >= size_; }

  // Writes back the buffer and, for a file opened for writing, moves it into place.
  void Commit();
  // Drops a file opened for writing; a file opened for reading is just closed.
  void Abandon() noexcept;

private:
  void LoadBlock(int64_t blockStart);  // makes the buffer cover the block
  void FlushBuffer();                   // writes a changed buffer back
  void ReadFailed() const { RaiseImaging("TBufferedStream.ReadBuffer: read failed"); }

  int fd_ = -1;             // the file read, or the descriptor of output_
  bool writing_ = false;
  base::AtomicFile output_;  // the file written, renamed over the target on commit
  int64_t position_ = 0;
  int64_t size_ = 0;
  int64_t blockStart_ = -1;  // block the buffer covers, -1 for none
  int64_t bufferLength_ = 0;
  bool dirty_ = false;
  uint8_t buffer_[kBufferSize];
};

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

BufferedFile::BufferedFile(const char* path, bool forWriting) : writing_(forWriting) {
  if (!forWriting) {
    // Windows opens with "deny writers"; POSIX has no mandatory share modes, so a concurrent
    // writer cannot be kept out. Reading only through this descriptor is what we can promise.
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) RaiseImaging("Cannot open file \"%s\": %s.", path, std::strerror(errno));
    struct stat st;
    const char* problem = nullptr;
    if (::fstat(fd_, &st) != 0) problem = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) problem = "it is a folder";
    else if (!S_ISREG(st.st_mode)) problem = "it is not a regular file";
    if (problem) {
      ::close(fd_);
      fd_ = -1;
      RaiseImaging("Cannot open file \"%s\": %s.", path, problem);
    }
    size_ = st.st_size;
    return;
  }
  output_ = base::AtomicFile(path);
  if (!output_.IsOpen()) RaiseImaging("Cannot create file \"%s\": %s.", path, output_.Cause().c_str());
  fd_ = output_.Descriptor();
}

BufferedFile::~BufferedFile() { Abandon(); }

void BufferedFile::LoadBlock(int64_t blockStart) {
  if (blockStart == blockStart_) return;
  FlushBuffer();
  if (blockStart < 0) RaiseImaging("TBufferedStream.ReadBuffer: seek failed");
  const int64_t n = FullPread(fd_, buffer_, kBufferSize, blockStart);
  if (n < 0) {
    blockStart_ = -1;
    ReadFailed();
  }
  blockStart_ = blockStart;
  bufferLength_ = n;
}

void BufferedFile::FlushBuffer() {
  if (!dirty_) return;
  if (blockStart_ < 0) RaiseImaging("TBufferedStream.WriteBuffer: seek failed");
  if (!FullPwrite(fd_, buffer_, bufferLength_, blockStart_)) RaiseImaging("TBufferedStream.WriteBuffer: write failed");
  dirty_ = false;
}

int64_t BufferedFile::Read(void* buffer, int64_t count) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  if (position_ < 0 && count > 0) RaiseImaging("TBufferedStream.ReadBuffer: seek failed");
  while (done < count && position_ < size_) {
    const int64_t wanted = std::min(count - done, size_ - position_);
    const int64_t inBlock = position_ - blockStart_;
    if (blockStart_ >= 0 && inBlock >= 0 && inBlock < bufferLength_) {
      const int64_t n = std::min(wanted, bufferLength_ - inBlock);
      std::memcpy(out + done, buffer_ + inBlock, static_cast<size_t>(n));
      done += n;
      position_ += n;
      continue;
    }
    if (wanted >= kBufferSize) {
      // Large requests skip the buffer. The file must hold any changed bytes first.
      FlushBuffer();
      const int64_t n = FullPread(fd_, out + done, wanted, position_);
      if (n < 0) ReadFailed();
      done += n;
      position_ += n;
      if (n < wanted) break;
      continue;
    }
    const int64_t blockStart = position_ - position_ % kBufferSize;
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

int64_t BufferedFile::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (position_ < 0) RaiseImaging("TBufferedStream.WriteBuffer: seek failed");
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t blockStart = position_ - position_ % kBufferSize;
    const int64_t inBlock = position_ - blockStart;
    const int64_t n = std::min(count - done, kBufferSize - inBlock);
    if (n == kBufferSize) {
      // A whole block: write it directly and forget a buffer that covered it.
      FlushBuffer();
      if (!FullPwrite(fd_, in + done, n, position_)) RaiseImaging("TBufferedStream.WriteBuffer: write failed");
      if (blockStart_ == blockStart) blockStart_ = -1, bufferLength_ = 0;
    } else {
      LoadBlock(blockStart);
      if (inBlock > bufferLength_) std::memset(buffer_ + bufferLength_, 0, static_cast<size_t>(inBlock - bufferLength_));
      std::memcpy(buffer_ + inBlock, in + done, static_cast<size_t>(n));
      bufferLength_ = std::max(bufferLength_, inBlock + n);
      dirty_ = true;
    }
    done += n;
    position_ += n;
    size_ = std::max(size_, position_);
  }
  return done;
}

int64_t BufferedFile::Seek(int64_t offset, int32_t origin) {
  switch (origin) {
    case smFromBeginning: position_ = offset; break;
    case smFromCurrent: position_ = SaturatingAdd(position_, offset); break;
    case smFromEnd: position_ = SaturatingAdd(size_, offset); break;
    default: RaiseImaging("TBufferedStream.Seek: invalid origin");
  }
  return position_;
}

void BufferedFile::Commit() {
  if (fd_ < 0) return;
  if (!writing_) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  FlushBuffer();
  fd_ = -1;
  if (!output_.Commit()) RaiseImaging(output_.Error());
}

void BufferedFile::Abandon() noexcept {
  if (writing_) output_.Abandon();
  else if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

BufferedFile* AsFile(RawHandle handle) { return static_cast<BufferedFile*>(handle); }

RawHandle FileOpen(const void* name) { return new BufferedFile(static_cast<const char*>(name), false); }
RawHandle FileOpenWrite(const void* name) { return new BufferedFile(static_cast<const char*>(name), true); }
void FileClose(RawHandle handle) {
  BufferedFile* file = AsFile(handle);
  try {
    file->Commit();
  } catch (...) {
    delete file;
    throw;
  }
  delete file;
}
bool FileEof(RawHandle handle) { return AsFile(handle)->Eof(); }
int64_t FileSeek(RawHandle handle, int64_t offset, int32_t origin) { return AsFile(handle)->Seek(offset, origin); }
int64_t FileTell(RawHandle handle) { return AsFile(handle)->Position(); }
int64_t FileRead(RawHandle handle, void* buffer, int64_t count) { return AsFile(handle)->Read(buffer, count); }
int64_t FileWrite(RawHandle handle, const void* buffer, int64_t count) {
  return AsFile(handle)->Write(buffer, count);
}

// ---- StreamIO ----------------------------------------------------------------------------------

Stream* AsStream(RawHandle handle) { return static_cast<Stream*>(handle); }

RawHandle StreamOpen(const void* name) { return const_cast<void*>(name); }
void StreamClose(RawHandle) {}
bool StreamEof(RawHandle handle) { return AsStream(handle)->Position() >= AsStream(handle)->Size(); }
int64_t StreamSeek(RawHandle handle, int64_t offset, int32_t origin) { return AsStream(handle)->Seek(offset, origin); }
int64_t StreamTell(RawHandle handle) { return AsStream(handle)->Position(); }
int64_t StreamRead(RawHandle handle, void* buffer, int64_t count) { return AsStream(handle)->Read(buffer, count); }
int64_t StreamWrite(RawHandle handle, const void* buffer, int64_t count) {
  return AsStream(handle)->Write(buffer, count);
}

// ---- MemoryIO ----------------------------------------------------------------------------------

MemoryIORecord* AsMemory(RawHandle handle) { return static_cast<MemoryIORecord*>(handle); }

RawHandle MemoryOpen(const void* name) { return const_cast<void*>(name); }
void MemoryClose(RawHandle) {}
bool MemoryEof(RawHandle handle) { return AsMemory(handle)->Position >= AsMemory(handle)->Size; }
int64_t MemorySeek(RawHandle handle, int64_t offset, int32_t origin) {
  MemoryIORecord* rec = AsMemory(handle);
  int64_t position;
  switch (origin) {
    case smFromBeginning: position = offset; break;
    case smFromCurrent: position = SaturatingAdd(rec->Position, offset); break;
    case smFromEnd: position = SaturatingAdd(rec->Size, offset); break;
    default: return rec->Position;
  }
  // The record never grows, so a position outside it could only lead to a stray access.
  rec->Position = std::clamp<int64_t>(position, 0, rec->Size);
  return rec->Position;
}
int64_t MemoryTell(RawHandle handle) { return AsMemory(handle)->Position; }
int64_t MemoryAvailable(const MemoryIORecord* rec, int64_t count) {
  if (count <= 0 || rec->Position < 0 || rec->Position >= rec->Size) return 0;
  return std::min(count, rec->Size - rec->Position);
}
int64_t MemoryRead(RawHandle handle, void* buffer, int64_t count) {
  MemoryIORecord* rec = AsMemory(handle);
  const int64_t n = MemoryAvailable(rec, count);
  if (n > 0) std::memcpy(buffer, rec->Data + rec->Position, static_cast<size_t>(n));
  rec->Position += n;
  return n;
}
int64_t MemoryWrite(RawHandle handle, const void* buffer, int64_t count) {
  MemoryIORecord* rec = AsMemory(handle);
  const int64_t n = MemoryAvailable(rec, count);
  if (n > 0) std::memcpy(rec->Data + rec->Position, buffer, static_cast<size_t>(n));
  rec->Position += n;
  return n;
}

void AbandonFileIOHandle(RawHandle handle) noexcept {
  BufferedFile* file = AsFile(handle);
  file->Abandon();
  delete file;
}

}  // namespace

namespace {
thread_local const IOFunctions* tCurrentImageIO = &FileIO;
}  // namespace

const IOFunctions FileIO = {FileOpen, FileOpenWrite, FileClose, FileEof, FileSeek, FileTell, FileRead, FileWrite};
const IOFunctions StreamIO = {StreamOpen,  StreamOpen, StreamClose, StreamEof,
                               StreamSeek,  StreamTell, StreamRead,  StreamWrite};
const IOFunctions MemoryIO = {MemoryOpen,  MemoryOpen, MemoryClose, MemoryEof,
                               MemorySeek,  MemoryTell, MemoryRead,  MemoryWrite};

const IOFunctions& CurrentImageIO() { return *tCurrentImageIO; }
void SetCurrentImageIO(const IOFunctions& io) { tCurrentImageIO = &io; }

// ---- IOHandle ----------------------------------------------------------------------------

int64_t IOHandle::Remaining() const {
  const int64_t position = Tell();
  const int64_t end = Seek(0, smFromEnd);
  Seek(position, smFromBeginning);
  return end > position ? end - position : 0;
}

void IOHandle::ReadExact(void* buffer, int64_t count, const char* what) const {
  if (count <= 0) return;
  if (Read(buffer, count) != count) RaiseImaging("Unexpected end of data in %s", what);
}

void IOHandle::WriteExact(const void* buffer, int64_t count, const char* what) const {
  if (count <= 0) return;
  if (Write(buffer, count) != count) RaiseImaging("Error while writing %s", what);
}

// ---- ScopedIOHandle -----------------------------------------------------------------------------

ScopedIOHandle::ScopedIOHandle(const IOFunctions& io, const void* name, bool forWriting)
    : uncaught_(std::uncaught_exceptions()) {
  handle_.IO = &io;
  handle_.Raw = forWriting ? io.OpenWrite(name) : io.Open(name);
}

ScopedIOHandle::~ScopedIOHandle() {
  if (std::uncaught_exceptions() > uncaught_) {
    Abandon();
    return;
  }
  try {
    Close();
  } catch (...) {
    Abandon();
  }
}

void ScopedIOHandle::Close() {
  if (!handle_.Raw) return;
  const RawHandle raw = handle_.Raw;
  handle_.Raw = nullptr;
  handle_.IO->Close(raw);
}

void ScopedIOHandle::Abandon() noexcept {
  if (!handle_.Raw) return;
  const RawHandle raw = handle_.Raw;
  handle_.Raw = nullptr;
  if (handle_.IO == &FileIO) {
    AbandonFileIOHandle(raw);
    return;
  }
  try {
    handle_.IO->Close(raw);
  } catch (...) {
  }
}

}  // namespace imaging
