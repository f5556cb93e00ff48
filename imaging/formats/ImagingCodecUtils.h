// Small helpers shared by the hand-written codecs.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/ImagingPixelFormats.h"

namespace imaging {

// Releases a converted copy made by PrepareForSave on every way out of WriteImage.
class TConvertedImage {
public:
  TConvertedImage() = default;
  ~TConvertedImage() {
    if (!mustFree_) return;
    try {
      ReleaseImage(image_);
    } catch (...) {
    }
  }
  TConvertedImage(const TConvertedImage&) = delete;
  TConvertedImage& operator=(const TConvertedImage&) = delete;
  ImageData& Image() { return image_; }
  bool& MustFree() { return mustFree_; }

private:
  ImageData image_;
  bool mustFree_ = false;
};

// Reverses the pixel order of every row (for files stored right to left).
inline void MirrorImageRows(ImageData& image, int32_t bytesPerPixel) {
  const size_t rowBytes = size_t(image.Width) * size_t(bytesPerPixel);
  uint8_t pixel[16];
  for (int32_t y = 0; y < image.Height; ++y) {
    uint8_t* row = image.Bits + size_t(y) * rowBytes;
    for (int32_t l = 0, r = image.Width - 1; l < r; ++l, --r) {
      uint8_t* a = row + size_t(l) * size_t(bytesPerPixel);
      uint8_t* b = row + size_t(r) * size_t(bytesPerPixel);
      std::memcpy(pixel, a, size_t(bytesPerPixel));
      std::memcpy(a, b, size_t(bytesPerPixel));
      std::memcpy(b, pixel, size_t(bytesPerPixel));
    }
  }
}

}  // namespace imaging
