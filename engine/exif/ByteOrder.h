// Byte order of an Exif block and the reads and writes of 16-, 32- and 64-bit values in it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/exif/Errors.h"

namespace engine::exif {

enum class Endianness : uint8_t {
  LittleEndian,  // "II"
  BigEndian,     // "MM"
};

inline uint16_t Get16(const uint8_t* p, Endianness order) {
  return order == Endianness::LittleEndian ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                                           : static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t Get32(const uint8_t* p, Endianness order) {
  return order == Endianness::LittleEndian
             ? uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24)
             : (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void Put16(uint8_t* p, uint16_t v, Endianness order) {
  if (order == Endianness::LittleEndian) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  } else {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
  }
}
inline void Put32(uint8_t* p, uint32_t v, Endianness order) {
  if (order == Endianness::LittleEndian) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  } else {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  }
}

// Reads of a TIFF block that check every offset against its end. Offsets are 64-bit so that
// offset + size never wraps.
class TiffReader {
public:
  TiffReader(std::span<const uint8_t> data, Endianness order) : data_(data), order_(order) {}
  size_t Size() const { return data_.size(); }
  Endianness Order() const { return order_; }
  bool Has(uint64_t offset, uint64_t size) const { return offset <= data_.size() && size <= data_.size() - offset; }
  // Each read raises InvalidTiffData when it would leave the block.
  uint16_t U16(uint64_t offset) const {
    Require(offset, 2);
    return Get16(data_.data() + offset, order_);
  }
  uint32_t U32(uint64_t offset) const {
    Require(offset, 4);
    return Get32(data_.data() + offset, order_);
  }
  std::span<const uint8_t> Bytes(uint64_t offset, uint64_t size) const {
    Require(offset, size);
    return data_.subspan(offset, size);
  }

private:
  void Require(uint64_t offset, uint64_t size) const {
    if (!Has(offset, size)) throw InvalidTiffData();
  }

  std::span<const uint8_t> data_;
  Endianness order_;
};

}  // namespace engine::exif
