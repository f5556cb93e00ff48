// On-disk records of Windows icon and cursor files (all little-endian).
#pragma once

#include <cstddef>
#include <cstdint>

namespace imaging::formats {

// File header, 6 bytes.
struct IconFileHeader {
  uint16_t Reserved;  // must be 0
  uint16_t Kind;      // 1 icon, 2 cursor
  uint16_t Count;     // directory entries that follow, 1 to 64
};
inline constexpr size_t kIconFileHeaderSize = 6;
inline constexpr uint16_t kIconKindIcon = 1;
inline constexpr uint16_t kIconKindCursor = 2;
inline constexpr uint16_t kIconMaxCount = 64;
// Largest side a directory entry can state (its size byte 0 stands for 256).
inline constexpr int32_t kIconMaxSide = 256;

// Directory entry, 16 bytes, one per image.
struct IconDirEntry {
  uint8_t Width;         // pixels; 0 stands for 256
  uint8_t Height;        // pixels; 0 stands for 256
  uint8_t ColorCount;    // palette entries; 0 for 256 or more
  uint8_t Reserved;      // 0
  uint16_t Planes;       // colour planes (icons) or hotspot x (cursors)
  uint16_t BitCount;     // bits per pixel (icons) or hotspot y (cursors)
  uint32_t BytesInRes;   // size of the image data
  uint32_t ImageOffset;  // start of the image data, from the start of the file
};
inline constexpr size_t kIconDirEntrySize = 16;

// BITMAPINFOHEADER at the start of each image's data. Its height covers the colour (XOR)
// bitmap and the AND mask together, so it is twice the image's height. Later header versions
// (108, 124 bytes) start with the same fields.
struct IconBitmapInfoHeader {
  uint32_t Size;           // header size in bytes; the palette follows it
  int32_t Width;           // pixels
  int32_t Height;          // twice the image height (XOR bitmap plus AND mask)
  uint16_t Planes;         // 1
  uint16_t BitCount;       // 1, 4, 8, 24 or 32
  uint32_t Compression;    // 0 (uncompressed) is the only form icons use
  uint32_t SizeImage;      // bytes of both bitmaps, may be 0
  int32_t XPelsPerMeter;   // unused
  int32_t YPelsPerMeter;   // unused
  uint32_t ClrUsed;        // palette entries, 0 for the full 2^BitCount
  uint32_t ClrImportant;   // unused
};
inline constexpr size_t kIconBitmapInfoHeaderSize = 40;
// Offset of BitCount inside the header.
inline constexpr size_t kIconBitCountOffset = 14;

// The 124-byte BITMAPV5HEADER can carry a colour profile inside the image data: its colour
// space field ("MBED" as a little-endian number) and the profile's offset from the header's
// start.
inline constexpr size_t kIconV5HeaderSize = 124;
inline constexpr size_t kIconColorSpaceOffset = 56;
inline constexpr uint32_t kIconEmbeddedProfile = 0x4D424544;  // "MBED"
inline constexpr size_t kIconProfileDataOffset = 112;

// Colour types of an icon image, by the bit count of its bitmap or the kind of its PNG image.
enum class IconColorType : int32_t {
  Mono = 0,       // 1 bit, 2 colours
  Colors16 = 1,   // 4 bits
  Colors256 = 2,  // 8 bits
  Gray256 = 3,    // 8 bits, gray (read only from gray PNG images)
  RGB = 4,        // 24 bits
  RGBA = 5,       // 32 bits
};

}  // namespace imaging::formats
