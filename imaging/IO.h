// The input/output tables every codec reads and writes through.
#pragma once

#include <cstdint>

#include "imaging/Stream.h"

namespace imaging {

// Seek origins of the tables: the values of SeekOrigin.
enum : int32_t { smFromBeginning = 0, smFromCurrent = 1, smFromEnd = 2 };

// The record behind a MemoryIO handle. A memory handle never grows: reads and writes move at
// most Size - Position bytes.
struct MemoryIORecord {
  uint8_t* Data = nullptr;
  int64_t Position = 0;
  int64_t Size = 0;
};

using RawHandle = void*;

// One input/output table: the eight operations every codec uses for all file access.
// The meaning of `name` depends on the table: a UTF-8 path as const char* (FileIO), a Stream*
// (StreamIO), a MemoryIORecord* (MemoryIO). FileIO's Open and OpenWrite raise ImagingError when
// the file cannot be opened or created. A file opened with FileIO's OpenWrite is written under a
// temporary name in the same folder and replaces the named file only on Close, so a failed save
// never damages an existing file (see ScopedIOHandle::Abandon).
struct IOFunctions {
  RawHandle (*Open)(const void* name);
  RawHandle (*OpenWrite)(const void* name);
  void (*Close)(RawHandle handle);
  bool (*Eof)(RawHandle handle);
  int64_t (*Seek)(RawHandle handle, int64_t offset, int32_t origin);
  int64_t (*Tell)(RawHandle handle);
  int64_t (*Read)(RawHandle handle, void* buffer, int64_t count);
  int64_t (*Write)(RawHandle handle, const void* buffer, int64_t count);
};

extern const IOFunctions FileIO;
extern const IOFunctions StreamIO;
extern const IOFunctions MemoryIO;

// The table in use. It is per thread: every thread loads and saves through its own.
const IOFunctions& CurrentImageIO();
void SetCurrentImageIO(const IOFunctions& io);

// An open handle together with the table it was opened through; what codecs receive.
struct IOHandle {
  const IOFunctions* IO = nullptr;
  RawHandle Raw = nullptr;

  int64_t Read(void* buffer, int64_t count) const { return IO->Read(Raw, buffer, count); }
  int64_t Write(const void* buffer, int64_t count) const { return IO->Write(Raw, buffer, count); }
  int64_t Seek(int64_t offset, int32_t origin) const { return IO->Seek(Raw, offset, origin); }
  int64_t Tell() const { return IO->Tell(Raw); }
  bool Eof() const { return IO->Eof(Raw); }
  // Bytes from the current position to the end; the position is left unchanged.
  int64_t Remaining() const;
  // Reads exactly `count` bytes or raises "Unexpected end of data in <what>".
  void ReadExact(void* buffer, int64_t count, const char* what) const;
  // Writes exactly `count` bytes or raises "Error while writing <what>".
  void WriteExact(const void* buffer, int64_t count, const char* what) const;
};

// Opens through `io` and closes on destruction; used by the load and save procedures. When the
// destructor runs because an error is propagating, the handle is abandoned instead of closed.
class ScopedIOHandle {
public:
  ScopedIOHandle(const IOFunctions& io, const void* name, bool forWriting);
  ~ScopedIOHandle();
  ScopedIOHandle(const ScopedIOHandle&) = delete;
  ScopedIOHandle& operator=(const ScopedIOHandle&) = delete;
  bool IsOpen() const { return handle_.Raw != nullptr; }
  const IOHandle& Handle() const { return handle_; }
  // Closes now (a FileIO file opened for writing takes its place); the destructor then does
  // nothing. Raises when the last buffered bytes cannot be written.
  void Close();
  // Closes without keeping what was written: a FileIO file opened for writing is deleted and an
  // existing file of that name stays as it was.
  void Abandon() noexcept;

private:
  IOHandle handle_;
  int uncaught_ = 0;
};

}  // namespace imaging
