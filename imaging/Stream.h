// Byte streams: what every codec reads and writes through. A codec gets one Stream and touches
// nothing else, so two loads or saves on two threads never share any input/output state.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/AtomicFile.h"

namespace imaging {

enum class SeekOrigin { Begin, Current, End };

// A positioned sequence of bytes.
class Stream {
public:
  virtual ~Stream() = default;

  // Move up to `count` bytes and return how many moved; a read returns 0 at the end.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Size() const = 0;

  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  // Bytes from the current position to the end (0 beyond it); the position stays.
  int64_t Remaining();
  bool AtEnd() { return Position() >= Size(); }
  // Reads exactly `count` bytes or raises "Unexpected end of data in <what>".
  void ReadExact(void* buffer, int64_t count, const char* what);
  // Writes exactly `count` bytes or raises "Error while writing <what>".
  void WriteExact(const void* buffer, int64_t count, const char* what);

protected:
  Stream() = default;
  Stream(const Stream&) = default;
  Stream& operator=(const Stream&) = default;
};

// A file, read or written through one buffer that covers one 16384-byte block of the file at a
// time (a changed buffer is written back before it moves to another block); reads and writes
// of a whole block or more go straight between the file and the caller's memory.
class FileStream final : public Stream {
public:
  enum class Access {
    // An existing regular file, opened with O_RDONLY|O_CLOEXEC. Raises ImagingError
    // ("Cannot open file ...") when it cannot be opened or is a folder or a device.
    Read,
    // A new file written beside the path (base::AtomicFile) that takes the path's place only
    // on Commit; a stream destroyed without Commit leaves an existing file as it was. Raises
    // ImagingError ("Cannot create file ...") when it cannot be created. It can read back what
    // was written.
    Write,
  };

  FileStream(const std::string& path, Access access);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // A position before the start is kept; the next read or write raises.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() const override { return size_; }

  // Writes back the buffer and puts a written file in its place; raises ImagingError when that
  // fails, with the target left as it was. Closes a file opened for reading.
  void Commit();

private:
  void LoadBlock(int64_t blockStart);  // makes the buffer cover the block
  void FlushBuffer();                   // writes a changed buffer back
  void Close() noexcept;                // a written file not committed is removed

  int descriptor_ = -1;  // the file read, or the descriptor of output_
  bool writing_ = false;
  base::AtomicFile output_;  // the file written, renamed over the target on commit
  int64_t position_ = 0;
  int64_t size_ = 0;
  int64_t blockStart_ = -1;  // block the buffer covers, -1 for none
  int64_t bufferLength_ = 0;  // bytes of the buffer that hold file data
  bool dirty_ = false;
  std::unique_ptr<uint8_t[]> buffer_;
};

// Bytes in memory: a growable buffer the stream owns, or a fixed view of bytes the caller owns
// and keeps alive while the stream is used (a PNG inside an icon, the JPEG data of a JNG).
class MemoryStream final : public Stream {
public:
  // A growable stream, empty or holding `data`, at position 0. A seek may go past the end; a
  // write there fills the gap with zeros.
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> data);
  // Reads `bytes` in place, without copying them; a write moves nothing.
  static MemoryStream ViewOf(std::span<const uint8_t> bytes);
  // Reads and writes the caller's `bytes` in place.
  static MemoryStream WindowOver(std::span<uint8_t> bytes);
  // A view or window never grows: reads and writes move at most Size - Position bytes, a seek
  // stays between 0 and Size, and a seek from an unknown origin leaves the position.

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() const override;

  // The bytes of a growable stream (those of a view or window stay the caller's).
  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }

private:
  std::vector<uint8_t> data_;
  bool fixed_ = false;              // a view or window
  const uint8_t* view_ = nullptr;   // the caller's bytes
  uint8_t* window_ = nullptr;       // the same when they may be written
  int64_t viewSize_ = 0;
  int64_t position_ = 0;
};

}  // namespace imaging
