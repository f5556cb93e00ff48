// TIFF codec on top of libtiff: the codec class and the compression table of its option.
#pragma once

#include <cstdint>

#include "imaging/Codec.h"

namespace imaging::formats {

namespace tiff {

// TIFF compression codes selected by TiffOptions::compressionScheme (its value is the index).
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

  bool ProbeStream(Stream& stream) const override;
  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

}  // namespace imaging::formats
