#include "engine/exif/JpegHeaderParser.h"

#include <string>

#include "engine/exif/Errors.h"
#include "engine/exif/TiffStructures.h"

namespace engine::exif {

namespace {

// Markers that stand alone, without a length field: TEM, RSTn, SOI, EOI.
bool HasNoLength(uint8_t marker) { return marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9); }

}  // namespace

JpegMarkers MakeMarkerSet(std::initializer_list<uint8_t> markers) {
  JpegMarkers set;
  for (uint8_t m : markers) set.set(m);
  return set;
}

bool HasJPEGSignature(std::span<const uint8_t> data) {
  return data.size() >= 2 && data[0] == 0xFF && data[1] == layout::kMarkerSOI;
}

void UserJpegSegment::WriteTo(std::vector<uint8_t>& out) const {
  if (Data.size() > layout::kMaxSegmentData)
    throw ExifError("JPEG segment of " + std::to_string(Data.size()) + " bytes exceeds the limit of " +
                     std::to_string(layout::kMaxSegmentData) + " bytes");
  const size_t length = Data.size() + 2;
  out.push_back(0xFF);
  out.push_back(Marker);
  out.push_back(static_cast<uint8_t>(length >> 8));
  out.push_back(static_cast<uint8_t>(length));
  out.insert(out.end(), Data.begin(), Data.end());
}

JpegHeaderParser::JpegHeaderParser(std::span<const uint8_t> data, const JpegMarkers& markers)
    : data_(data), markers_(markers) {
  if (!HasJPEGSignature(data)) throw InvalidJpegHeader();
}

bool JpegHeaderParser::Next(FoundJpegSegment& segment) {
  while (end_ == ScanEnd::Scanning) {
    if (pos_ >= data_.size()) {
      end_ = ScanEnd::DataEnd;
      break;
    }
    if (data_[pos_] != 0xFF) {
      end_ = ScanEnd::HeaderEnd;
      if (markers_.test(layout::kMarkerEOI) && lastMarker_ == layout::kMarkerSOS) return SearchEndOfImage(segment);
      break;
    }
    while (pos_ < data_.size() && data_[pos_] == 0xFF) ++pos_;
    if (pos_ >= data_.size()) {
      end_ = ScanEnd::DataEnd;
      break;
    }
    const uint8_t marker = data_[pos_];
    const size_t offset = pos_ - 1;
    ++pos_;
    lastMarker_ = marker;
    segment = FoundJpegSegment{};
    segment.Marker = marker;
    segment.Offset = offset;
    if (HasNoLength(marker)) {
      if (marker == layout::kMarkerEOI) end_ = ScanEnd::EndOfImage;
      if (markers_.test(marker)) return true;
      continue;
    }
    if (data_.size() - pos_ < 2) {
      end_ = ScanEnd::DataEnd;
      break;
    }
    const size_t length = (size_t(data_[pos_]) << 8) | data_[pos_ + 1];
    if (length < 2) {
      end_ = ScanEnd::BadLength;
      break;
    }
    if (data_.size() - pos_ < length) {
      end_ = ScanEnd::DataEnd;
      break;
    }
    segment.HasLength = true;
    segment.Data = data_.subspan(pos_ + 2, length - 2);
    pos_ += length;
    if (markers_.test(marker)) return true;
  }
  return false;
}

bool JpegHeaderParser::SearchEndOfImage(FoundJpegSegment& segment) {
  // Inside entropy-coded data FF is always followed by a stuffed 00 or a restart marker, so
  // every pair starting with FF is stepped over whole.
  size_t i = pos_;
  while (i + 1 < data_.size()) {
    if (data_[i] != 0xFF) {
      ++i;
      continue;
    }
    if (data_[i + 1] == layout::kMarkerEOI) {
      end_ = ScanEnd::EndOfImage;
      segment = FoundJpegSegment{};
      segment.Marker = layout::kMarkerEOI;
      segment.Offset = i;
      return true;
    }
    i += 2;
  }
  return false;
}

std::vector<FoundJpegSegment> FindJPEGSegments(std::span<const uint8_t> data, const JpegMarkers& markers) {
  std::vector<FoundJpegSegment> found;
  JpegHeaderParser parser(data, markers);
  FoundJpegSegment segment;
  while (parser.Next(segment)) found.push_back(segment);
  return found;
}

}  // namespace engine::exif
