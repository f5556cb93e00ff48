// Helpers of the codecs of ISO base media files (AVIF, HEIF): the brands of the leading file
// type box, walking boxes and reading their fields, reading a whole file for the libraries that
// parse from memory, and the orientation of an Exif block.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "imaging/Stream.h"
#include "imaging/Types.h"

namespace imaging::formats::isomedia {

// Bytes enough for the file type box of any file these codecs know (size, 'ftyp', the major
// brand, the minor version and a dozen compatible brands).
inline constexpr size_t kFileTypeProbeSize = 64;

inline uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Whether the bytes start with a file type box whose major or compatible brands include one of
// `brands` (four-character codes). Only the part of the box within `size` is looked at.
inline bool HasFileTypeBrand(const uint8_t* data, size_t size, std::initializer_list<const char*> brands) {
  if (size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0) return false;
  const uint32_t boxSize = BigEndian32(data);
  if (boxSize < 16) return false;
  const size_t end = std::min<size_t>(boxSize, size);
  auto matches = [&](const uint8_t* brand) {
    for (const char* b : brands)
      if (std::memcmp(brand, b, 4) == 0) return true;
    return false;
  };
  if (matches(data + 8)) return true;
  for (size_t at = 16; at + 4 <= end; at += 4)
    if (matches(data + at)) return true;
  return false;
}

// Big-endian fields of a box's payload; a read past the end yields 0 and clears `ok`.
struct BoxCursor {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool ok = true;

  uint64_t Read(size_t bytes) {
    if (!ok || bytes > size - at) {
      ok = false;
      return 0;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value = (value << 8) | data[at + i];
    at += bytes;
    return value;
  }
  void Skip(size_t bytes) {
    if (!ok || bytes > size - at) ok = false;
    else at += bytes;
  }
};

// Calls visit(type, payload, payloadSize) for each box of the range, in order; stops at the
// first box that does not fit.
template <typename Visit>
inline void ForEachBox(const uint8_t* data, size_t size, Visit visit) {
  size_t at = 0;
  while (size - at >= 8) {
    uint64_t boxSize = BigEndian32(data + at);
    size_t header = 8;
    if (boxSize == 1) {
      if (size - at < 16) return;
      boxSize = (uint64_t(BigEndian32(data + at + 8)) << 32) | BigEndian32(data + at + 12);
      header = 16;
    } else if (boxSize == 0) {
      boxSize = size - at;
    }
    if (boxSize < header || boxSize > size - at) return;
    visit(data + at + 4, data + at + header, size_t(boxSize) - header);
    at += size_t(boxSize);
  }
}

inline bool IsType(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

// The payload of an item location box (iloc), read item by item: ReadItem gives an item's id,
// construction method (0 an offset in the file, 1 in the idat box, 2 in another item), base
// offset and number of extents, then ReadExtent each of its extents. Reads past the end leave
// the cursor's `ok` false.
struct ItemLocationBox {
  ItemLocationBox(const uint8_t* payload, size_t size) : cursor{payload, size} {
    version = cursor.Read(1);
    cursor.Skip(3);
    const uint64_t sizes = cursor.Read(1), moreSizes = cursor.Read(1);
    offsetSize = size_t(sizes >> 4);
    lengthSize = size_t(sizes & 15);
    baseSize = size_t(moreSizes >> 4);
    indexSize = version == 1 || version == 2 ? size_t(moreSizes & 15) : 0;
    count = cursor.Read(version < 2 ? 2 : 4);
  }
  void ReadItem(uint32_t& id, uint64_t& method, uint64_t& base, uint64_t& extents) {
    id = uint32_t(cursor.Read(version < 2 ? 2 : 4));
    method = version == 1 || version == 2 ? cursor.Read(2) & 15 : 0;
    cursor.Skip(2);  // data reference index
    base = cursor.Read(baseSize);
    extents = cursor.Read(2);
  }
  void ReadExtent(uint64_t& offset, uint64_t& length) {
    cursor.Skip(indexSize);
    offset = cursor.Read(offsetSize);
    length = cursor.Read(lengthSize);
  }

  BoxCursor cursor;
  uint64_t version = 0;
  uint64_t count = 0;  // items
  size_t offsetSize = 0, lengthSize = 0, baseSize = 0, indexSize = 0;
};

// Whether a top-level box states a size that reaches beyond the end of the data: the sign of
// a file that was cut short.
inline bool TopLevelBoxBeyondEnd(const uint8_t* data, size_t size) {
  size_t at = 0;
  while (size - at >= 8) {
    uint64_t boxSize = BigEndian32(data + at);
    if (boxSize == 1) {
      if (size - at < 16) return true;
      boxSize = (uint64_t(BigEndian32(data + at + 8)) << 32) | BigEndian32(data + at + 12);
    } else if (boxSize == 0) {
      return false;  // the box runs to the end
    }
    if (boxSize < 8) return false;  // damaged, but not cut
    if (boxSize > size - at) return true;
    at += size_t(boxSize);
  }
  return at != size;
}

// Reads up to kFileTypeProbeSize bytes and returns the stream to where it was.
inline size_t PeekFileType(Stream& stream, uint8_t (&bytes)[kFileTypeProbeSize]) {
  const int64_t n = std::max<int64_t>(stream.Read(bytes, int64_t(kFileTypeProbeSize)), 0);
  stream.Seek(-n, SeekOrigin::Current);
  return size_t(n);
}

// Everything from the stream's position to the end. `format` names the file type in messages.
inline std::vector<uint8_t> ReadRemaining(Stream& stream, const char* format) {
  const int64_t available = stream.Remaining();
  if (available < 16) RaiseImaging("%s: the file is too short for a file type box.", format);
  std::vector<uint8_t> data(static_cast<size_t>(available));
  stream.ReadExact(data.data(), available, format);
  return data;
}

// The orientation (tag 274, 1 to 8) of the first directory of an Exif block that starts with
// its TIFF header ("II*\0" or "MM\0*"); 0 when the block holds none or is damaged.
inline int32_t ExifOrientation(const uint8_t* tiff, size_t size) {
  if (size < 8) return 0;
  const bool little = tiff[0] == 'I' && tiff[1] == 'I';
  if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return 0;
  auto u16 = [&](size_t at) -> uint32_t {
    return little ? uint32_t(tiff[at]) | (uint32_t(tiff[at + 1]) << 8) : (uint32_t(tiff[at]) << 8) | tiff[at + 1];
  };
  auto u32 = [&](size_t at) -> uint32_t {
    return little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
  };
  if (u16(2) != 42) return 0;
  const uint32_t ifd = u32(4);
  if (ifd < 8 || uint64_t(ifd) + 2 > size) return 0;
  const uint32_t count = u16(ifd);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = size_t(ifd) + 2 + size_t(i) * 12;
    if (entry + 12 > size) return 0;
    if (u16(entry) != 274) continue;
    // One SHORT, stored in the first two bytes of the value field.
    if (u16(entry + 2) != 3 || u32(entry + 4) != 1) return 0;
    const uint32_t value = u16(entry + 8);
    return value >= 1 && value <= 8 ? int32_t(value) : 0;
  }
  return 0;
}

}  // namespace imaging::formats::isomedia
