// Scanning and writing the marker segments of a JPEG file (ITU T.81 annex B).
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace engine::exif {

// A set of marker bytes (the byte after FF).
using JpegMarkers = std::bitset<256>;
JpegMarkers MakeMarkerSet(std::initializer_list<uint8_t> markers);

// A segment found in JPEG data. Data views the parsed buffer and lives as long as it.
struct FoundJpegSegment {
  uint8_t Marker = 0;
  std::span<const uint8_t> Data;  // the bytes after the length field (empty for markers without one)
  size_t Offset = 0;              // position of the FF byte right before the marker
  bool HasLength = false;         // false for markers 00, 01 and D0 to D9
  // Bytes from Offset to the end of the segment.
  size_t TotalSize() const { return HasLength ? 4 + Data.size() : 2; }
};

// A segment to be written: FF, the marker, the 16-bit length and the data.
struct UserJpegSegment {
  uint8_t Marker = 0;
  std::vector<uint8_t> Data;
  // Appends the segment; raises ExifError when the data do not fit into one segment.
  void WriteTo(std::vector<uint8_t>& out) const;
};

// Walks the header segments of JPEG data and yields those whose marker is requested. The
// scan starts after SOI, skips FF fill bytes, ends at EOI or at the first byte that is not
// FF (the entropy-coded data of the first scan). When EOI is requested and the scan ended
// right behind an SOS segment, the rest of the data is searched for the first FF D9, which
// is then yielded as the EOI segment.
class JpegHeaderParser {
public:
  enum class ScanEnd {
    Scanning,     // not finished yet
    HeaderEnd,    // a byte that is not FF: the header segments are over
    EndOfImage,   // EOI met (or found after the scan data)
    DataEnd,      // the data ran out inside the header or inside a segment
    BadLength,    // a segment length below 2
  };

  // Raises InvalidJpegHeader when the data do not start with FF D8.
  JpegHeaderParser(std::span<const uint8_t> data, const JpegMarkers& markers);

  // The next requested segment; false when the scan is over.
  bool Next(FoundJpegSegment& segment);
  // Why the scan ended (Scanning while Next can still yield segments).
  ScanEnd End() const { return end_; }

private:
  bool SearchEndOfImage(FoundJpegSegment& segment);

  std::span<const uint8_t> data_;
  JpegMarkers markers_;
  size_t pos_ = 2;
  uint8_t lastMarker_ = 0;
  ScanEnd end_ = ScanEnd::Scanning;
};

// Scans all requested segments at once.
std::vector<FoundJpegSegment> FindJPEGSegments(std::span<const uint8_t> data, const JpegMarkers& markers);

// True when the data start with the SOI marker FF D8.
bool HasJPEGSignature(std::span<const uint8_t> data);

}  // namespace engine::exif
