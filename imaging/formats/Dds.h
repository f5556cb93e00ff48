// DirectDraw Surface codec: the on-disk layout and the codec class.
#pragma once

#include <cstdint>

#include "imaging/Codec.h"

namespace imaging::formats {

namespace dds {

// Pixel format block of the surface description, 32 bytes at file offset 76 (little-endian).
struct DdsPixelFormat {
  uint32_t Size;         // 32
  uint32_t Flags;        // DDPF_* below
  uint32_t FourCC;       // compressed or extended format code when DDPF_FOURCC is set
  uint32_t BitCount;     // bits per pixel of uncompressed layouts
  uint32_t RedMask;      // bits of red (or luminance)
  uint32_t GreenMask;    // bits of green
  uint32_t BlueMask;     // bits of blue
  uint32_t AlphaMask;    // bits of alpha
};

// Magic "DDS " followed by the 124-byte surface description; 128 bytes at offset 0.
struct DdsFileHeader {
  uint32_t Magic;              // "DDS "
  uint32_t Size;               // 124
  uint32_t Flags;              // DDSD_* below: which fields are valid
  uint32_t Height;             // rows of the main surface
  uint32_t Width;              // columns of the main surface
  uint32_t PitchOrLinearSize;  // bytes per row (DDSD_PITCH) or of the main surface (DDSD_LINEARSIZE)
  uint32_t Depth;              // slices of a volume texture
  uint32_t MipMapCount;        // levels including the main surface
  uint32_t Reserved1[11];      // unused
  DdsPixelFormat PixelFormat;  // layout of the pixels
  uint32_t Caps1;              // DDSCAPS_* below
  uint32_t Caps2;              // DDSCAPS2_* below: cube faces and volumes
  uint32_t Reserved2[3];       // unused
};
inline constexpr int kHeaderSize = 128;
inline constexpr uint32_t kMagic = 0x20534444;  // "DDS "

// Surface description flags.
inline constexpr uint32_t DDSD_CAPS = 0x1;
inline constexpr uint32_t DDSD_HEIGHT = 0x2;
inline constexpr uint32_t DDSD_WIDTH = 0x4;
inline constexpr uint32_t DDSD_PITCH = 0x8;
inline constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;
inline constexpr uint32_t DDSD_MIPMAPCOUNT = 0x20000;
inline constexpr uint32_t DDSD_LINEARSIZE = 0x80000;
inline constexpr uint32_t DDSD_DEPTH = 0x800000;

// Pixel format flags.
inline constexpr uint32_t DDPF_ALPHAPIXELS = 0x1;
inline constexpr uint32_t DDPF_FOURCC = 0x4;
inline constexpr uint32_t DDPF_RGB = 0x40;
inline constexpr uint32_t DDPF_LUMINANCE = 0x20000;
inline constexpr uint32_t DDPF_BUMPLUMINANCE = 0x40000;
inline constexpr uint32_t DDPF_BUMPDUDV = 0x80000;

// Capability flags.
inline constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
inline constexpr uint32_t DDSCAPS_TEXTURE = 0x1000;
inline constexpr uint32_t DDSCAPS_MIPMAP = 0x400000;
inline constexpr uint32_t DDSCAPS2_CUBEMAP = 0x200;
inline constexpr uint32_t DDSCAPS2_CUBEMAP_POSITIVEX = 0x400;  // the five further faces follow as 0x800..0x8000
inline constexpr uint32_t DDSCAPS2_CUBEMAP_ALLFACES = 0xFC00;
inline constexpr uint32_t DDSCAPS2_VOLUME = 0x200000;

// Direct3D format numbers used as FourCC codes for float and wide layouts.
inline constexpr uint32_t D3DFMT_A16B16G16R16 = 36;
inline constexpr uint32_t D3DFMT_R16F = 111;
inline constexpr uint32_t D3DFMT_A16B16G16R16F = 113;
inline constexpr uint32_t D3DFMT_R32F = 114;
inline constexpr uint32_t D3DFMT_A32B32G32R32F = 116;

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
         (uint32_t(uint8_t(d)) << 24);
}
inline constexpr uint32_t FOURCC_DXT1 = MakeFourCC('D', 'X', 'T', '1');
inline constexpr uint32_t FOURCC_DXT3 = MakeFourCC('D', 'X', 'T', '3');
inline constexpr uint32_t FOURCC_DXT5 = MakeFourCC('D', 'X', 'T', '5');
inline constexpr uint32_t FOURCC_ATI1 = MakeFourCC('A', 'T', 'I', '1');
inline constexpr uint32_t FOURCC_ATI2 = MakeFourCC('A', 'T', 'I', '2');

}  // namespace dds

// Reads and writes DDS textures: plain, mipmapped, cube maps and volumes. Every surface is one
// image of the array.
class DdsCodec : public Codec {
public:
  DdsCodec();

  bool ProbeStream(Stream& stream) const override;
  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

}  // namespace imaging::formats
