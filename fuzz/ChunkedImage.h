// Shared body of the PNG, MNG and JNG targets: the chunk reader of one codec on arbitrary
// bytes. Whatever decodes is written as PNG and read back: PNG stores every format the reader
// gives without loss, so the pixels must come back unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/Codec.h"

namespace fuzzing {

using namespace imaging;

// Headers (IHDR, JHDR, MHDR) asking for more than the fuzzer's memory limit allows.
inline bool DeclaresLargeImage(const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 12 <= size; ++i) {
    if (std::memcmp(data + i, "IHDR", 4) != 0 && std::memcmp(data + i, "JHDR", 4) != 0 &&
        std::memcmp(data + i, "MHDR", 4) != 0)
      continue;
    const uint8_t* p = data + i + 4;
    const uint64_t width = uint64_t(p[0]) << 24 | uint64_t(p[1]) << 16 | uint64_t(p[2]) << 8 | p[3];
    const uint64_t height = uint64_t(p[4]) << 24 | uint64_t(p[5]) << 16 | uint64_t(p[6]) << 8 | p[7];
    if (width * height > (uint64_t(1) << 22)) return true;
  }
  return false;
}

inline int FuzzChunkedImage(const uint8_t* data, size_t size, const char* extension) {
  if (size < 8 || DeclaresLargeImage(data, size)) return 0;
  const Codec* codec = FindFormatByExtension(extension);
  const Codec* png = FindFormatByExtension("png");
  if (!codec || !png) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (!codec->LoadFromStream(input, images, size & 1)) return 0;
    CodecOptions options = CurrentOptions();
    options.png.preFilter = int32_t(size % 7);
    MemoryStream output;
    if (!png->SaveToStream(output, std::span(images.data(), 1), false, options)) __builtin_trap();
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    if (!png->LoadFromStream(output, again)) __builtin_trap();
    const Image& a = images[0];
    const Image& b = again[0];
    if (a.Format() != b.Format() || a.Size() != b.Size() || std::memcmp(a.Bits(), b.Bits(), size_t(a.Size())) != 0)
      __builtin_trap();
    if (a.Palette() && std::memcmp(a.Palette(), b.Palette(), 256 * sizeof(Color32)) != 0) __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}

}  // namespace fuzzing
