// On-disk records of Truevision Targa files (all little-endian).
#pragma once

#include <cstddef>
#include <cstdint>

namespace imaging::formats {

// File header, 18 bytes.
struct TargaHeader {
  uint8_t IDLength;        // bytes of the image ID that follows the header
  uint8_t ColorMapType;    // 1 when a colour map follows the image ID
  uint8_t ImageType;       // 1, 2, 3 uncompressed; 9, 10, 11 run-length encoded; 0 no image
  uint16_t ColorMapOff;    // index of the first colour map entry
  uint16_t ColorMapLength; // number of colour map entries
  uint8_t ColorEntrySize;  // bits per colour map entry: 15, 16, 24 or 32
  uint16_t XOrg;           // x origin on screen
  uint16_t YOrg;           // y origin on screen
  uint16_t Width;          // pixels
  uint16_t Height;         // pixels
  uint8_t PixelSize;       // bits per pixel
  uint8_t Desc;            // bits 0-3 alpha bits, bit 4 right-to-left, bit 5 top-down
};
inline constexpr size_t kTargaHeaderSize = 18;

// Image types.
inline constexpr uint8_t kTargaNoImage = 0;
inline constexpr uint8_t kTargaColorMapped = 1;
inline constexpr uint8_t kTargaTrueColor = 2;
inline constexpr uint8_t kTargaGray = 3;
inline constexpr uint8_t kTargaRLEColorMapped = 9;
inline constexpr uint8_t kTargaRLETrueColor = 10;
inline constexpr uint8_t kTargaRLEGray = 11;

// Image descriptor bits.
inline constexpr uint8_t kTargaDescRightToLeft = 16;
inline constexpr uint8_t kTargaDescTopDown = 32;

// Extension area: starts with its own size, 495 bytes in version 2.0 files.
inline constexpr uint16_t kTargaExtensionSize = 495;
// Footer, 26 bytes: extension offset (4), developer directory offset (4), signature (16),
// "." and a zero byte.
inline constexpr size_t kTargaFooterSize = 26;
inline constexpr size_t kTargaSignatureOffset = 8;
inline constexpr char kTargaSignature[] = "TRUEVISION-XFILE";

}  // namespace imaging::formats
