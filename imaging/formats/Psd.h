// Photoshop PSD codec: the on-disk layout and the codec class.
#pragma once

#include <cstdint>

#include "imaging/Codec.h"

namespace imaging::formats {

namespace psd {

// File header, 26 bytes at offset 0; every number in a PSD file is big-endian.
struct PsdHeader {
  char Signature[4];    // "8BPS"
  uint16_t Version;     // 1; 2 marks the large-document variant (PSB), which is not read
  uint8_t Reserved[6];  // zero
  uint16_t Channels;    // channels of the merged image, colour channels first
  uint32_t Height;      // rows
  uint32_t Width;       // columns
  uint16_t Depth;       // bits per channel: 1, 8, 16 or 32
  uint16_t Mode;        // colour mode, PsdColorMode
};
inline constexpr int kHeaderSize = 26;

// Colour modes of the header.
enum PsdColorMode : uint16_t {
  cmBitmap = 0,
  cmGrayscale = 1,
  cmIndexed = 2,
  cmRGB = 3,
  cmCMYK = 4,
  cmMultichannel = 7,
  cmDuotone = 8,
  cmLab = 9,
};

// Compression of the merged image data and of layer channels.
enum PsdCompression : uint16_t {
  ctRaw = 0,  // rows of big-endian samples, channel after channel
  ctRLE = 1,  // a table of 16-bit packed row lengths, then PackBits rows
};

// Length of the colour-mode data of an indexed file: 256 red, 256 green and 256 blue values.
inline constexpr uint32_t kIndexedColorDataSize = 768;

// One layer record as written (the reader never interprets layers):
//   rectangle top, left, bottom, right  4 × int32
//   channel count                       uint16
//   per channel: id (int16; -1 alpha), data length (uint32, includes its compression field)
//   blend-mode signature "8BIM", blend-mode key "norm"
//   opacity, clipping, flags, filler    4 × uint8
//   extra data length (uint32), then mask data length 0, blending ranges length 0 and the
//   layer name as a Pascal string padded to a multiple of four bytes
inline constexpr char kLayerName[] = "Layer 0";

}  // namespace psd

// Reads the merged image of PSD files; writes the image as merged image and, on request, as one
// layer.
class PsdCodec : public Codec {
public:
  PsdCodec();

  bool ProbeStream(Stream& stream) const override;
  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

}  // namespace imaging::formats
