#include <gtest/gtest.h>

#include "engine/exif/Errors.h"
#include "engine/exif/JpegHeaderParser.h"

using namespace engine::exif;

namespace {

struct Found {
  uint8_t Marker;
  size_t Offset;
  size_t DataSize;
  bool operator==(const Found&) const = default;
};

std::vector<Found> Scan(const std::vector<uint8_t>& data, std::initializer_list<uint8_t> markers,
                        JpegHeaderParser::ScanEnd* end = nullptr) {
  std::vector<Found> found;
  JpegHeaderParser parser(data, MakeMarkerSet(markers));
  FoundJpegSegment s;
  while (parser.Next(s)) found.push_back({s.Marker, s.Offset, s.Data.size()});
  if (end) *end = parser.End();
  return found;
}

}  // namespace

TEST(ExifJpegParser, FillBytesAndMarkersWithoutLength) {
  // SOI, fill bytes before APP1, TEM and RST0 without length, APP0, SOS, scan data, EOI.
  const std::vector<uint8_t> data = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xE1, 0x00, 0x04, 0xAA, 0xBB,
                                     0xFF, 0x01, 0xFF, 0xD0, 0xFF, 0xE0, 0x00, 0x02,
                                     0xFF, 0xDA, 0x00, 0x03, 0x01, 0x12, 0x34, 0xFF, 0xD9};
  JpegHeaderParser::ScanEnd end;
  EXPECT_EQ(Scan(data, {0xE0, 0xE1, 0x01, 0xD0}, &end),
            (std::vector<Found>{{0xE1, 4, 2}, {0x01, 10, 0}, {0xD0, 12, 0}, {0xE0, 14, 0}}));
  EXPECT_EQ(end, JpegHeaderParser::ScanEnd::HeaderEnd);
  // The EOI after the scan data is found only by the search.
  EXPECT_EQ(Scan(data, {0xD9}, &end), (std::vector<Found>{{0xD9, 25, 0}}));
  EXPECT_EQ(end, JpegHeaderParser::ScanEnd::EndOfImage);
}

TEST(ExifJpegParser, EndOfImageSearchStepsOverMarkerPairs) {
  // Scan data: FF 00 (stuffed), FF D0 (restart), FF FF (a pair stepped over whole, so the D9
  // right after it is no EOI), then the real FF D9.
  const std::vector<uint8_t> data = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x11, 0xFF, 0x00, 0xFF,
                                     0xD0, 0x22, 0xFF, 0xFF, 0xD9, 0x33, 0xFF, 0xD9, 0x44};
  EXPECT_EQ(Scan(data, {0xD9}), (std::vector<Found>{{0xD9, 16, 0}}));
}

TEST(ExifJpegParser, SearchOnlyBehindScanAndOnlyForEndOfImage) {
  // The header ends at a byte that is not FF after an APP0: no search, though FF D9 follows.
  const std::vector<uint8_t> afterApp = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x55, 0xFF, 0xD9};
  EXPECT_TRUE(Scan(afterApp, {0xD9}).empty());
  // Behind SOS without EOI requested nothing is searched.
  const std::vector<uint8_t> afterScan = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x55, 0xFF, 0xD9};
  EXPECT_TRUE(Scan(afterScan, {0xE1}).empty());
  // Segments after the first scan are never seen.
  const std::vector<uint8_t> later = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x55, 0xFF, 0xE1, 0x00, 0x02, 0xFF, 0xD9};
  EXPECT_TRUE(Scan(later, {0xE1}).empty());
  // An EOI in the header ends the scan.
  const std::vector<uint8_t> early = {0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xE1, 0x00, 0x02};
  EXPECT_EQ(Scan(early, {0xE1, 0xD9}), (std::vector<Found>{{0xD9, 2, 0}}));
}

TEST(ExifJpegParser, DamagedHeaders) {
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    JpegHeaderParser::ScanEnd end;
  } cases[] = {
      {"length beyond the data", {0xFF, 0xD8, 0xFF, 0xE1, 0x10, 0x00, 0x01}, JpegHeaderParser::ScanEnd::DataEnd},
      {"length field cut off", {0xFF, 0xD8, 0xFF, 0xE1, 0x10}, JpegHeaderParser::ScanEnd::DataEnd},
      {"only fill bytes", {0xFF, 0xD8, 0xFF, 0xFF}, JpegHeaderParser::ScanEnd::DataEnd},
      {"length below 2", {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 0xFF, 0xE1, 0x00, 0x02},
       JpegHeaderParser::ScanEnd::BadLength},
      {"nothing after SOI", {0xFF, 0xD8}, JpegHeaderParser::ScanEnd::DataEnd},
  };
  for (const Case& c : cases) {
    JpegHeaderParser::ScanEnd end;
    EXPECT_TRUE(Scan(c.data, {0xE1, 0xD9}, &end).empty()) << c.name;
    EXPECT_EQ(end, c.end) << c.name;
  }
  for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>{}, std::vector<uint8_t>{0xFF},
                                          std::vector<uint8_t>{0x89, 'P', 'N', 'G'}}) {
    try {
      JpegHeaderParser parser(bad, MakeMarkerSet({0xE1}));
      ADD_FAILURE() << "accepted data without SOI";
    } catch (const InvalidJpegHeader& e) {
      EXPECT_STREQ(e.what(), "JPEG header is not valid");
    }
  }
}

TEST(ExifJpegParser, WritesSegmentsWithinTheLengthLimit) {
  std::vector<uint8_t> out;
  UserJpegSegment{0xE1, {1, 2, 3}}.WriteTo(out);
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xE1, 0x00, 0x05, 1, 2, 3}));
  out.clear();
  UserJpegSegment{0xE1, std::vector<uint8_t>(65533, 7)}.WriteTo(out);
  EXPECT_EQ(out.size(), 65537u);
  EXPECT_EQ(out[2], 0xFF);
  EXPECT_EQ(out[3], 0xFF);
  EXPECT_THROW(UserJpegSegment({0xE1, std::vector<uint8_t>(65534, 7)}).WriteTo(out), ExifError);
}
