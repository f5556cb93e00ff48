// On-disk structures of Windows and OS/2 bitmap files and a bounds-checked reader and writer
// for them. All integers are little-endian.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/Types.h"

namespace imaging::formats::bmp {

inline constexpr uint16_t kSignature = 0x4D42;  // "BM"
inline constexpr int32_t kFileHeaderSize = 14;
inline constexpr uint32_t kCoreHeaderSize = 12;  // OS/2 1.x BITMAPCOREHEADER
inline constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
inline constexpr uint32_t kOS2V2HeaderSize = 64;  // OS/2 2.x BITMAPINFOHEADER2
inline constexpr uint32_t kV4HeaderSize = 108;   // BITMAPV4HEADER
inline constexpr uint32_t kMaxInfoFields = 104;  // bytes after the size field that we interpret

// Compression values of the info header.
enum : uint32_t {
  BI_RGB = 0,
  BI_RLE8 = 1,
  BI_RLE4 = 2,
  BI_BITFIELDS = 3,
  BI_ALPHABITFIELDS = 6,  // Windows CE: BI_BITFIELDS with an alpha mask after a 40-byte header
};

// BITMAPFILEHEADER (14 bytes).
struct BitmapFileHeader {
  uint16_t Type;      // "BM"
  uint32_t Size;      // bytes of the whole file (unreliable in the wild; only written)
  uint32_t Reserved;  // hot spot of OS/2 pointers, else 0
  uint32_t Offset;    // pixel data, from the start of this header
};

// BITMAPINFOHEADER with the V4 fields (mask and colour-space part). Older and shorter headers
// fill a prefix and leave the rest zero; the V5 fields after these are not interpreted.
struct BitmapInfoHeader {
  uint32_t Size;           // bytes of the info header, this field included
  int32_t Width;           // pixels
  int32_t Height;          // pixels; negative for rows stored top-down
  uint16_t Planes;         // 1
  uint16_t BitCount;       // bits per pixel
  uint32_t Compression;    // BI_RGB, BI_RLE8, ...
  uint32_t SizeImage;      // bytes of pixel data; may be 0 for uncompressed files
  int32_t XPelsPerMeter;   // horizontal resolution
  int32_t YPelsPerMeter;   // vertical resolution
  uint32_t ClrUsed;        // palette entries; 0 means 2^BitCount
  uint32_t ClrImportant;   // palette entries needed for display, 0 for all
  uint32_t RedMask;        // bit-field masks (V2 header and later)
  uint32_t GreenMask;
  uint32_t BlueMask;
  uint32_t AlphaMask;      // V3 header and later
  uint32_t CSType;         // colour-space type (V4)
  int32_t Endpoints[9];    // CIEXYZTRIPLE of the red, green and blue end points (V4)
  uint32_t GammaRed;       // gamma curves (V4)
  uint32_t GammaGreen;
  uint32_t GammaBlue;
};

// Reads little-endian values from a byte array; a read past the end raises instead of reading
// outside it.
class ByteReader {
public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t U8() { return *Take(1); }
  uint16_t U16() {
    const uint8_t* p = Take(2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  uint32_t U32() {
    const uint8_t* p = Take(4);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  size_t Position() const { return position_; }

private:
  const uint8_t* Take(size_t n) {
    if (n > size_ - position_) RaiseImaging("BMP header: field at byte %zu lies beyond the header", position_);
    const uint8_t* p = data_ + position_;
    position_ += n;
    return p;
  }
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Appends little-endian values to a fixed byte array sized by the caller.
class ByteWriter {
public:
  explicit ByteWriter(uint8_t* data) : data_(data) {}
  void U16(uint16_t v) {
    data_[position_++] = static_cast<uint8_t>(v);
    data_[position_++] = static_cast<uint8_t>(v >> 8);
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) data_[position_++] = static_cast<uint8_t>(v >> (8 * i));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Zeros(size_t n) {
    std::memset(data_ + position_, 0, n);
    position_ += n;
  }
  size_t Position() const { return position_; }

private:
  uint8_t* data_;
  size_t position_ = 0;
};

}  // namespace imaging::formats::bmp
