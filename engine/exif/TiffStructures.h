// On-disk layout of an Exif block (TIFF 6.0 sections 2 and 4, Exif 2.32 section 4.5) and of
// the JPEG segments that carry metadata (ITU T.81 annex B, Exif 2.32 section 4.5.4, XMP part 3
// section 1.1.3). Private to the metadata classes.
#pragma once

#include <cstdint>

namespace engine::exif::layout {

// "Exif" 00 00: the first six bytes of the APP1 segment that carries an Exif block.
inline constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
inline constexpr uint32_t kExifHeaderSize = 6;

// XMP namespace identifier that starts an XMP APP1 segment, its terminating 00 included.
inline constexpr char kXmpIdentifier[] = "http://ns.adobe.com/xap/1.0/";
inline constexpr uint32_t kXmpIdentifierSize = 29;

// TIFF header, 8 bytes.
struct TiffHeader {
  static constexpr uint32_t ByteOrder = 0;    // "II" little-endian or "MM" big-endian
  static constexpr uint32_t Magic = 2;        // 42 in the block's byte order
  static constexpr uint32_t FirstIfd = 4;     // 32-bit offset of IFD0
  static constexpr uint32_t Size = 8;
};
inline constexpr uint16_t kTiffMagic = 42;

// Image file directory: a 16-bit entry count, the entries, a 32-bit offset of the next IFD.
struct IfdLayout {
  static constexpr uint32_t CountSize = 2;    // number of entries
  static constexpr uint32_t EntrySize = 12;   // one entry, see IfdEntry
  static constexpr uint32_t NextSize = 4;     // offset of the next IFD, 0 at the end of the chain
};

// One directory entry, 12 bytes.
struct IfdEntry {
  static constexpr uint32_t Tag = 0;          // 16-bit tag id
  static constexpr uint32_t Type = 2;         // 16-bit field type (1..13)
  static constexpr uint32_t Count = 4;        // 32-bit number of elements
  static constexpr uint32_t Value = 8;        // the data when 4 bytes or fewer, else their offset
  static constexpr uint32_t InlineSize = 4;   // largest data that fit in the entry
};

// Every value offset written here is even, as TIFF 6.0 section 2 asks of value offsets and
// directories.
inline constexpr uint32_t kValueAlignment = 2;

// Largest data of one JPEG marker segment: the 16-bit length counts itself.
inline constexpr uint32_t kMaxSegmentData = 65533;

// Thumbnail limits: data above this size are re-encoded at the reduced size below.
inline constexpr uint32_t kMaxThumbnailBytes = 61440;
inline constexpr int32_t kThumbnailMaxWidth = 160;
inline constexpr int32_t kThumbnailMaxHeight = 120;
inline constexpr int32_t kThumbnailQuality = 90;

// JPEG markers (the byte after FF).
inline constexpr uint8_t kMarkerSOI = 0xD8;
inline constexpr uint8_t kMarkerEOI = 0xD9;
inline constexpr uint8_t kMarkerSOS = 0xDA;
inline constexpr uint8_t kMarkerAPP0 = 0xE0;
inline constexpr uint8_t kMarkerAPP1 = 0xE1;

// Start-of-frame segment data: precision, height, width, component count.
struct FrameHeader {
  static constexpr uint32_t Precision = 0;    // sample precision in bits
  static constexpr uint32_t Height = 1;       // 16-bit big-endian number of lines
  static constexpr uint32_t Width = 3;        // 16-bit big-endian samples per line
  static constexpr uint32_t MinSize = 6;      // data needed to read both dimensions
};

}  // namespace engine::exif::layout
