// Small helpers shared by the hand-written codecs.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "imaging/PixelFormats.h"

namespace imaging::formats {

// Reverses the pixel order of every row (for files stored right to left).
inline void MirrorImageRows(Image& image, int32_t bytesPerPixel) {
  const size_t rowBytes = size_t(image.Width()) * size_t(bytesPerPixel);
  uint8_t pixel[16];
  for (int32_t y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.Bits() + size_t(y) * rowBytes;
    for (int32_t l = 0, r = image.Width() - 1; l < r; ++l, --r) {
      uint8_t* a = row + size_t(l) * size_t(bytesPerPixel);
      uint8_t* b = row + size_t(r) * size_t(bytesPerPixel);
      std::memcpy(pixel, a, size_t(bytesPerPixel));
      std::memcpy(a, b, size_t(bytesPerPixel));
      std::memcpy(b, pixel, size_t(bytesPerPixel));
    }
  }
}

// Reports a picture whose data end before its last pixel: "<format> data end early; the
// missing part is ...", where the missing part holds zero bytes, which the picture's pixel
// format shows as transparent (a format with alpha), as the palette's first colour, or black.
inline void WarnDataEndEarly(const char* format, const Image& image) {
  const PixelFormatInfo* info = FindFormatInfo(image.Format());
  const char* missing = info && info->HasAlphaChannel ? "transparent"
                        : info && info->IsIndexed     ? "the palette's first colour"
                                                      : "black";
  AddLoadWarning(std::string(format) + " data end early; the missing part is " + missing);
}

}  // namespace imaging::formats
