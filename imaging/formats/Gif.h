// GIF87a/GIF89a reading with animation composing, GIF89a writing; the LZW coder is our own.
#pragma once

#include "imaging/Codec.h"

namespace imaging::formats {

// ---- On-disk records (multi-byte values little-endian) --------------------------------------

// Logical screen descriptor after the 6-byte signature; 13 bytes with the signature.
struct GifHeader {
  char Signature[3];        // "GIF"
  char Version[3];          // "87a" or "89a"
  uint16_t ScreenWidth;     // logical screen width in pixels
  uint16_t ScreenHeight;    // logical screen height in pixels
  uint8_t PackedFields;     // bit 7 global colour table, bits 0-2 its size as 2^(n+1)
  uint8_t BackgroundColor;  // index into the global colour table
  uint8_t AspectRatio;      // pixel aspect ratio, ignored
};
inline constexpr size_t kGIFHeaderSize = 13;

// Image descriptor after the 0x2C separator; 9 bytes.
struct ImageDescriptor {
  uint16_t Left;         // position on the logical screen
  uint16_t Top;
  uint16_t Width;        // frame size in pixels
  uint16_t Height;
  uint8_t PackedFields;  // bit 7 local colour table, bit 6 interlaced, bits 0-2 table size
};
inline constexpr size_t kImageDescriptorSize = 9;

// Graphic Control Extension after 0x21 0xF9; 6 bytes.
struct GraphicControlExtension {
  uint8_t BlockSize;         // 4
  uint8_t PackedFields;      // bits 2-4 disposal method, bit 0 transparent colour present
  uint16_t DelayTime;        // hundredths of a second; bit 1 of the packed fields asks to wait for input
  uint8_t TransparentColor;  // palette index of the transparent colour
  uint8_t Terminator;        // 0
};
inline constexpr size_t kGraphicControlExtensionSize = 6;

inline constexpr uint8_t kGIFExtensionIntroducer = 0x21;
inline constexpr uint8_t kGIFImageSeparator = 0x2C;
inline constexpr uint8_t kGIFTrailer = 0x3B;
inline constexpr uint8_t kGIFGraphicControlLabel = 0xF9;
inline constexpr uint8_t kGIFApplicationLabel = 0xFF;

class GifCodec : public Codec {
public:
  GifCodec();

  bool ProbeStream(Stream& stream) const override;
  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

// The LZW coder, exposed for tests and fuzzing. Decodes `data` (the concatenated sub-blocks)
// into width × height indices, of which `pixels` holds the first `storedRows` rows, and answers
// how many pixels the data gave (in the order they are stored: by rows, or by the interlace
// passes). Data that end, or stop at an end code, before the frame is full give the pixels up
// to there; raises "Error when decoding GIF LZW data" on bad data and on data that give no pixel.
size_t DecodeGIFLZW(const uint8_t* data, size_t size, int32_t minCodeSize, uint8_t* pixels, int32_t width,
                    int32_t height, bool interlaced, int32_t storedRows);
// The most pixels `size` bytes of LZW data of the minimum code size can give; 0 for a minimum
// code size outside 2 to 9.
int64_t MaxLZWPixels(size_t size, int32_t minCodeSize);
// Encodes 8-bit indices with minimum code size 8; the result has no sub-block framing.
std::vector<uint8_t> EncodeGIFLZW(const uint8_t* pixels, size_t count);

}  // namespace imaging::formats
