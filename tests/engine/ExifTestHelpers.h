// Helpers of the metadata tests: hand-made TIFF blocks and JPEG files that carry them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "engine/exif/ByteOrder.h"

namespace exiftest {

using engine::exif::Endianness;

struct Entry {
  uint16_t Id;
  uint16_t Type;
  uint32_t Count;
  uint32_t Value;  // the inline value (left-aligned as 16 or 32 bits by type) or an offset
};

// A TIFF block written byte by byte at chosen offsets, so that tests can build any layout,
// broken ones included.
class TiffBlock {
public:
  explicit TiffBlock(Endianness order, uint32_t size = 512, uint32_t ifd0 = 8) : order_(order), bytes_(size, 0) {
    bytes_[0] = bytes_[1] = order == Endianness::LittleEndian ? 'I' : 'M';
    Put16(2, 42);
    Put32(4, ifd0);
  }
  void Put16(uint32_t at, uint16_t v) { engine::exif::Put16(Room(at, 2), v, order_); }
  void Put32(uint32_t at, uint32_t v) { engine::exif::Put32(Room(at, 4), v, order_); }
  void PutBytes(uint32_t at, const std::vector<uint8_t>& data) {
    if (!data.empty()) std::memcpy(Room(at, data.size()), data.data(), data.size());
  }
  // The text and its terminating 00.
  void PutText(uint32_t at, const std::string& text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    PutBytes(at, data);
  }
  // An IFD at `at` with the entries as given (order included) and the next-IFD offset.
  void Ifd(uint32_t at, const std::vector<Entry>& entries, uint32_t next = 0) {
    Put16(at, static_cast<uint16_t>(entries.size()));
    uint32_t p = at + 2;
    for (const Entry& e : entries) {
      Put16(p, e.Id);
      Put16(p + 2, e.Type);
      Put32(p + 4, e.Count);
      if (e.Type == 3 && e.Count <= 2)
        Put16(p + 8, static_cast<uint16_t>(e.Value));
      else
        Put32(p + 8, e.Value);
      p += 12;
    }
    Put32(p, next);
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }

private:
  uint8_t* Room(size_t at, size_t size) {
    if (at + size > bytes_.size()) bytes_.resize(at + size);
    return &bytes_[at];
  }

  Endianness order_;
  std::vector<uint8_t> bytes_;
};

// APP segment bytes: FF, marker, length, data.
inline std::vector<uint8_t> Segment(uint8_t marker, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> s(4 + data.size());
  s[0] = 0xFF;
  s[1] = marker;
  s[2] = static_cast<uint8_t>((data.size() + 2) >> 8);
  s[3] = static_cast<uint8_t>(data.size() + 2);
  std::copy(data.begin(), data.end(), s.begin() + 4);
  return s;
}

inline std::vector<uint8_t> ExifSegment(const std::vector<uint8_t>& tiff) {
  std::vector<uint8_t> data = {'E', 'x', 'i', 'f', 0, 0};
  data.insert(data.end(), tiff.begin(), tiff.end());
  return Segment(0xE1, data);
}

inline std::vector<uint8_t> XmpSegment(const std::string& packet) {
  std::string data = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + packet;
  return Segment(0xE1, std::vector<uint8_t>(data.begin(), data.end()));
}

// The small metadata-free JPEG of the fixtures (24 x 16, JFIF APP0 first).
inline std::vector<uint8_t> PlainJpeg() {
  return testsupport::ReadFileBytes(testsupport::TestDataDir() / "exif" / "plain.jpg");
}

// `jpeg` with the given segments inserted right after its SOI.
inline std::vector<uint8_t> WithSegments(const std::vector<uint8_t>& jpeg, const std::vector<std::vector<uint8_t>>& segments) {
  size_t size = jpeg.size();
  for (const auto& s : segments) size += s.size();
  std::vector<uint8_t> out(size);
  auto at = std::copy(jpeg.begin(), jpeg.begin() + 2, out.begin());
  for (const auto& s : segments) at = std::copy(s.begin(), s.end(), at);
  std::copy(jpeg.begin() + 2, jpeg.end(), at);
  return out;
}

}  // namespace exiftest
