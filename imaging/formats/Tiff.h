// TIFF codec on top of libtiff: the codec class and the compression table of its option.
#pragma once

#include <cstdint>

#include "imaging/Codec.h"

namespace imaging {

namespace tiff {

// TIFF compression codes selected by the CompressionScheme option (its value is the index).
inline constexpr uint16_t kCompressionCodes[] = {
    1,      // none
    5,      // LZW
    32773,  // PackBits
    32946,  // Deflate, old code
    7,      // JPEG
};
inline constexpr int32_t kDefaultCompressionScheme = 1;
inline constexpr int32_t kJpegCompressionScheme = 4;

}  // namespace tiff

// Reads every page of a TIFF file as one image and writes one page per image, through libtiff
// opened on the codec's stream.
class TiffCodec : public Codec {
public:
  TiffCodec();

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;
  bool ProbeStream(Stream& stream) const override;

  int32_t CompressionScheme = tiff::kDefaultCompressionScheme;  // option 65
};

}  // namespace imaging
