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

// ---- FileIO: a FileStream behind the handle ------------------------------------------------

namespace {

FileStream* AsFile(RawHandle handle) { return static_cast<FileStream*>(handle); }

RawHandle FileOpen(const void* name) { return new FileStream(static_cast<const char*>(name), FileStream::Access::Read); }
RawHandle FileOpenWrite(const void* name) {
  return new FileStream(static_cast<const char*>(name), FileStream::Access::Write);
}
void FileClose(RawHandle handle) {
  FileStream* file = AsFile(handle);
  try {
    file->Commit();
  } catch (...) {
    delete file;
    throw;
  }
  delete file;
}
bool FileEof(RawHandle handle) { return AsFile(handle)->AtEnd(); }
int64_t FileSeek(RawHandle handle, int64_t offset, int32_t origin) {
  return AsFile(handle)->Seek(offset, static_cast<SeekOrigin>(origin));
}
int64_t FileTell(RawHandle handle) { return AsFile(handle)->Position(); }
int64_t FileRead(RawHandle handle, void* buffer, int64_t count) { return AsFile(handle)->Read(buffer, count); }
int64_t FileWrite(RawHandle handle, const void* buffer, int64_t count) {
  return AsFile(handle)->Write(buffer, count);
}

// ---- StreamIO ----------------------------------------------------------------------------------

Stream* AsStream(RawHandle handle) { return static_cast<Stream*>(handle); }

RawHandle StreamOpen(const void* name) { return const_cast<void*>(name); }
void StreamClose(RawHandle) {}
bool StreamEof(RawHandle handle) { return AsStream(handle)->AtEnd(); }
int64_t StreamSeek(RawHandle handle, int64_t offset, int32_t origin) {
  return AsStream(handle)->Seek(offset, static_cast<SeekOrigin>(origin));
}
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

// A FileStream destroyed without Commit leaves an existing file as it was.
void AbandonFileIOHandle(RawHandle handle) noexcept { delete AsFile(handle); }

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
