// On-disk record of ZSoft PCX files (little-endian).
#pragma once

#include <cstddef>
#include <cstdint>

namespace imaging::formats {

// File header, 128 bytes.
struct PcxHeader {
  uint8_t Id;              // manufacturer, always 10
  uint8_t Version;         // 0, 2, 3, 4 or 5
  uint8_t Encoding;        // 0 raw, 1 run-length encoded
  uint8_t BitsPerPixel;    // bits per pixel in each plane: 1, 2, 4 or 8
  uint16_t XMin;           // left edge of the image window
  uint16_t YMin;           // top edge
  uint16_t XMax;           // right edge (inclusive)
  uint16_t YMax;           // bottom edge (inclusive)
  uint16_t DpiX;           // horizontal resolution
  uint16_t DpiY;           // vertical resolution
  uint8_t ColorMap[48];    // 16-colour palette as R, G, B triples
  uint8_t Reserved;        // 0
  uint8_t Planes;          // colour planes: 1, 3 or 4
  uint16_t BytesPerLine;   // bytes of one scan line of one plane
  uint16_t PaletteInfo;    // 1 colour or black and white, 2 gray
  uint8_t Filler[58];      // up to 128 bytes
};
inline constexpr size_t kPCXHeaderSize = 128;
inline constexpr uint8_t kPCXManufacturer = 10;
// The 256-colour palette of 8-bit files follows the image data after this byte.
inline constexpr uint8_t kPCXPaletteMarker = 12;
inline constexpr size_t kPCXPaletteSize = 768;

}  // namespace imaging::formats
