// Shared by the AVIF and HEIF fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Pictures the library accepts may still take the fuzzer many seconds to decode: an AV1 or
// HEVC frame of tens of millions of pixels fits in a few hundred bytes. Such inputs prove
// nothing the small ones do not, so any size property (ispe) above 2^22 pixels skips the input.
inline bool DeclaresLargeItem(const uint8_t* data, size_t size) {
  for (size_t i = 4; i + 16 <= size; ++i) {
    if (std::memcmp(data + i, "ispe", 4) != 0) continue;
    auto u32 = [&](size_t at) {
      return (uint64_t(data[at]) << 24) | (uint64_t(data[at + 1]) << 16) | (uint64_t(data[at + 2]) << 8) | data[at + 3];
    };
    if (u32(i + 8) * u32(i + 12) > (uint64_t(1) << 22)) return true;
  }
  return false;
}
