// JPEG 2000 codec on top of OpenJPEG: signatures, the rate rule and the codec class.
#pragma once

#include <cstdint>

#include "imaging/Codec.h"

namespace imaging::formats {

namespace jp2 {

// JP2 files open with the JPEG 2000 signature box: length 12, type "jP  ".
inline constexpr uint8_t kJP2Signature[8] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
// Code streams open with the SOC marker followed by the SIZ marker.
inline constexpr uint8_t kCodeStreamSignature[4] = {0xFF, 0x4F, 0xFF, 0x51};

inline constexpr int32_t kDefaultQuality = 80;
// Resolution levels of written code streams (fewer when the image is too small for them).
inline constexpr int kResolutionLevels = 6;

// Ratio of raw to compressed size for the single quality layer of a lossy save.
float CompressionRate(int32_t width, int32_t height, int32_t bytesPerPixel, int32_t channels, int32_t quality);

}  // namespace jp2

// Reads JP2 files and raw code streams; writes either, as Jpeg2000Options::codeStreamOnly says.
class Jpeg2000Codec : public Codec {
public:
  Jpeg2000Codec();

  bool ProbeStream(Stream& stream) const override;
  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

}  // namespace imaging::formats
