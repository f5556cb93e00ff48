// A bounds-checked reader over bytes in memory, shared by the hand-written codecs: every read
// past the end raises an error that names the format and the field instead of reading on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Types.h"

namespace imaging::formats {

class ByteReader {
public:
  // `format` names the file type in messages ("Targa", "icon").
  ByteReader(const uint8_t* data, size_t size, const char* format) : data_(data), size_(size), format_(format) {}

  size_t Position() const { return position_; }
  size_t Size() const { return size_; }
  size_t Remaining() const { return size_ - position_; }
  const uint8_t* Data() const { return data_; }

  void Seek(size_t position, const char* what) {
    if (position > size_) Truncated(what);
    position_ = position;
  }
  void Skip(size_t count, const char* what) {
    if (count > Remaining()) Truncated(what);
    position_ += count;
  }
  // A pointer to the next `count` bytes, which are then consumed.
  const uint8_t* Bytes(size_t count, const char* what) {
    if (count > Remaining()) Truncated(what);
    const uint8_t* p = data_ + position_;
    position_ += count;
    return p;
  }
  uint8_t U8(const char* what) { return *Bytes(1, what); }
  uint16_t U16LE(const char* what) {
    const uint8_t* p = Bytes(2, what);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  uint32_t U32LE(const char* what) {
    const uint8_t* p = Bytes(4, what);
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
  }
  int32_t I32LE(const char* what) { return static_cast<int32_t>(U32LE(what)); }

private:
  [[noreturn]] void Truncated(const char* what) const {
    RaiseImaging("Unexpected end of %s data in %s.", format_, what);
  }

  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
  const char* format_;
};

// Little-endian stores for the writers.
inline void PutU16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32LE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace imaging::formats
