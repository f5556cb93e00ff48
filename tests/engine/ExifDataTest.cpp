#include <gtest/gtest.h>

#include "tests/engine/ExifTestHelpers.h"
#include "engine/exif/Data.h"
#include "engine/exif/Errors.h"
#include "engine/exif/JpegHeaderParser.h"

using namespace engine::exif;
using exiftest::Entry;
using exiftest::TiffBlock;

namespace {

constexpr auto kGeneral = ExifSectionKind::esGeneral;
constexpr auto kDetails = ExifSectionKind::esDetails;
constexpr auto kInterop = ExifSectionKind::esInterop;
constexpr auto kGPS = ExifSectionKind::esGPS;
constexpr auto kThumb = ExifSectionKind::esThumbnail;

std::vector<uint8_t> JpegWith(const std::vector<uint8_t>& tiff) {
  return exiftest::WithSegments(exiftest::PlainJpeg(), {exiftest::ExifSegment(tiff)});
}

// A tiny JPEG thumbnail: the plain fixture's data.
std::vector<uint8_t> ThumbnailBytes() { return exiftest::PlainJpeg(); }

// The TIFF block of the first Exif segment of a JPEG.
std::vector<uint8_t> ExifBlockOf(const std::vector<uint8_t>& jpeg) {
  for (const FoundJpegSegment& s : FindJPEGSegments(jpeg, MakeMarkerSet({0xE1})))
    if (s.Data.size() > 6 && std::memcmp(s.Data.data(), "Exif\0\0", 6) == 0)
      return std::vector<uint8_t>(s.Data.begin() + 6, s.Data.end());
  return {};
}

// Loads the metadata of `source`, writes it into the plain fixture and loads the result.
void RoundTrip(const std::vector<uint8_t>& source, ExifData& written, ExifData& reloaded) {
  written.LoadFromJPEG(source);
  written.SetSoftware("Corvana Vexilo");
  reloaded.LoadFromJPEG(written.InsertIntoJPEG(exiftest::PlainJpeg()));
}

}  // namespace

TEST(ExifLoad, ReadsTheSectionsOfCameraFiles) {
  VEXILO_REQUIRE_CORPUS();
  struct Case {
    const char* file;
    Endianness order;
    size_t counts[5];        // sections 1 to 5
    size_t thumbnailBytes;
    uint32_t makerNoteOffset;  // source offset of tag 37500, 0 without
  } cases[] = {
      {"Canon_40D.jpg", Endianness::LittleEndian, {11, 30, 2, 1, 6}, 1378, 0},
      {"Canon_DIGITAL_IXUS_400.jpg", Endianness::LittleEndian, {9, 30, 4, 0, 6}, 1805, 670},
      {"Fujifilm_FinePix6900ZOOM.jpg", Endianness::BigEndian, {11, 28, 2, 0, 8}, 1428, 672},
      {"Fujifilm_FinePix_E500.jpg", Endianness::BigEndian, {12, 36, 2, 0, 0}, 0, 816},
      {"Samsung_Digimax_i50_MP3.jpg", Endianness::LittleEndian, {12, 35, 2, 0, 7}, 1418, 836},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ExifData data;
    data.LoadFromJPEG(testsupport::CorpusFile(std::string("exif-samples/jpg/") + c.file).string());
    EXPECT_EQ(data.ByteOrder(), c.order);
    EXPECT_EQ(data.OffsetBase(), 30);
    const ExifSectionKind kinds[] = {kGeneral, kDetails, kInterop, kGPS, kThumb};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(data.Section(kinds[i]).Count(), c.counts[i]) << "section " << i + 1;
    EXPECT_EQ(data.Thumbnail().size(), c.thumbnailBytes);
    if (c.thumbnailBytes > 0) {
      EXPECT_EQ(data.Thumbnail()[0], 0xFF);
      EXPECT_EQ(data.Thumbnail()[1], 0xD8);
      EXPECT_EQ(data.Thumbnail()[c.thumbnailBytes - 2], 0xFF);
      EXPECT_EQ(data.Thumbnail()[c.thumbnailBytes - 1], 0xD9);
    }
    const ExifTag* note = data.Section(kDetails).Find(ttag::MakerNote);
    EXPECT_EQ(note ? note->OriginalDataOffset : 0u, c.makerNoteOffset);
    const auto& tags = data.Section(kDetails).Tags();
    EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end(), [](auto& a, auto& b) { return a.ID < b.ID; }));
  }
}

TEST(ExifLoad, RefusesAMalformedTiffHeader) {
  for (const std::vector<uint8_t>& tiff :
       {std::vector<uint8_t>{'I', 'M', 42, 0, 8, 0, 0, 0}, std::vector<uint8_t>{'I', 'I', 43, 0, 8, 0, 0, 0},
        std::vector<uint8_t>{'M', 'M', 42, 0, 0, 0, 0, 8}, std::vector<uint8_t>{'I', 'I', 42, 0}}) {
    ExifData data;
    try {
      data.LoadFromJPEG(JpegWith(tiff));
      ADD_FAILURE() << "accepted a malformed TIFF header";
    } catch (const InvalidTiffData& e) {
      EXPECT_STREQ(e.what(), "Malformed TIFF data");
    }
  }
  ExifData data;
  EXPECT_THROW(data.LoadFromJPEG(std::vector<uint8_t>{'G', 'I', 'F', '8'}), InvalidJpegHeader);
}

TEST(ExifLoad, CyclesOfIfdPointersEnd) {
  TiffBlock t(Endianness::LittleEndian);
  // IFD0 at 8 points to itself as next IFD, as Exif IFD and as GPS IFD; the Exif IFD would
  // point back to IFD0 as interoperability IFD.
  t.Ifd(8, {{271, 2, 4, 0x006E6163}, {34665, 4, 1, 8}, {34853, 4, 1, 8}}, 8);
  ExifData data;
  data.LoadFromJPEG(JpegWith(t.Bytes()));
  EXPECT_EQ(data.Section(kGeneral).Count(), 3u);
  EXPECT_TRUE(data.Section(kDetails).Empty());
  EXPECT_TRUE(data.Section(kGPS).Empty());
  EXPECT_TRUE(data.Section(kThumb).Empty());

  TiffBlock u(Endianness::BigEndian);
  u.Ifd(8, {{34665, 4, 1, 40}}, 40);  // IFD1 and the Exif IFD are the same directory
  u.Ifd(40, {{40965, 4, 1, 8}, {36864, 7, 4, 0x30323331}});
  data.LoadFromJPEG(JpegWith(u.Bytes()));
  EXPECT_EQ(data.Section(kThumb).Count(), 2u);
  EXPECT_TRUE(data.Section(kDetails).Empty());
  EXPECT_TRUE(data.Section(kInterop).Empty());
}

TEST(ExifLoad, SkipsEntriesThatLeaveTheBlock) {
  TiffBlock t(Endianness::LittleEndian, 200);
  t.Ifd(8, {
               {270, 2, 20, 150},          // ImageDescription: in range
               {271, 2, 200, 150},         // data past the end of the block
               {272, 12, 0x20000000, 20},  // count x 8 overflows 32 bits
               {273, 0, 1, 0},             // type 0: size unknown
               {274, 99, 1, 0},            // type 99: size unknown
               {270, 3, 1, 5},             // a second 270: the first one counts
               {34665, 4, 1, 5000},        // Exif IFD outside the block
               {34853, 4, 1, 2},           // GPS IFD inside the TIFF header
           },
        190);                              // IFD1 cut off by the end of the block
  t.PutText(150, "nineteen characters");
  ExifData data;
  data.LoadFromJPEG(JpegWith(t.Bytes()));
  const ExifSection& ifd0 = data.Section(kGeneral);
  EXPECT_EQ(ifd0.Count(), 3u);
  ASSERT_NE(ifd0.Find(270), nullptr);
  EXPECT_EQ(data.GetString(kGeneral, 270), "nineteen characters");
  EXPECT_EQ(ifd0.Find(270)->OriginalDataOffset, 150u);
  EXPECT_TRUE(data.Section(kDetails).Empty());
  EXPECT_TRUE(data.Section(kGPS).Empty());
  EXPECT_TRUE(data.Section(kThumb).Empty());

  // A directory whose count promises more entries than the block holds keeps the whole ones.
  TiffBlock cut(Endianness::LittleEndian, 8 + 2 + 12 * 2 + 6);
  cut.Ifd(8, {{256, 3, 1, 10}, {257, 3, 1, 20}});
  cut.Put16(8, 0xFFFF);
  cut.Bytes().resize(8 + 2 + 12 * 2 + 6);
  data.LoadFromJPEG(JpegWith(cut.Bytes()));
  EXPECT_EQ(data.Section(kGeneral).Count(), 2u);
}

TEST(ExifLoad, ThumbnailNeedsSoiAndEndsAtItsEoi) {
  const std::vector<uint8_t> thumb = ThumbnailBytes();
  TiffBlock t(Endianness::LittleEndian, 100);
  t.Ifd(8, {{274, 3, 1, 1}}, 40);
  t.Ifd(40, {{513, 4, 1, 100}, {514, 4, 1, 99999}});
  t.PutBytes(100, thumb);
  t.PutBytes(100 + static_cast<uint32_t>(thumb.size()), {0xAA, 0xBB, 0xCC});  // trailing bytes
  ExifData data;
  data.LoadFromJPEG(JpegWith(t.Bytes()));
  EXPECT_EQ(data.Thumbnail(), thumb);

  t.PutBytes(100, {0x00, 0xD8});  // no SOI: no thumbnail
  data.LoadFromJPEG(JpegWith(t.Bytes()));
  EXPECT_TRUE(data.Thumbnail().empty());
  EXPECT_EQ(data.Section(kThumb).Count(), 2u);

  // Without EOI the thumbnail runs to the end of the block.
  TiffBlock open(Endianness::LittleEndian, 100);
  open.Ifd(8, {}, 40);
  open.Ifd(40, {{513, 4, 1, 100}});
  open.PutBytes(100, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x12});
  data.LoadFromJPEG(JpegWith(open.Bytes()));
  EXPECT_EQ(data.Thumbnail().size(), 7u);
}

TEST(ExifLoad, OnlyTheFirstExifAndXmpSegmentsCount) {
  TiffBlock first(Endianness::LittleEndian), second(Endianness::BigEndian);
  first.Ifd(8, {{274, 3, 1, 1}});
  second.Ifd(8, {{274, 3, 1, 3}, {275, 3, 1, 3}});
  ExifData data;
  data.LoadFromJPEG(exiftest::WithSegments(
      exiftest::PlainJpeg(), {exiftest::XmpSegment("<a/>"), exiftest::ExifSegment(first.Bytes()),
                              exiftest::ExifSegment(second.Bytes()), exiftest::XmpSegment("<b/>")}));
  EXPECT_EQ(data.ByteOrder(), Endianness::LittleEndian);
  EXPECT_EQ(data.Section(kGeneral).Count(), 1u);
  EXPECT_EQ(data.OffsetBase(), 2 + 4 + 29 + 4 + 4 + 6);
  EXPECT_TRUE(data.HasRawXMP());
  EXPECT_NE(data.XMPPacket().SaveToData().size(), 0u);
  EXPECT_FALSE(data.HasRawXMP());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.XMPPacket().SaveToData().data()), 4), "<a/>");
}

TEST(ExifSoftware, SetsAsciiTag305) {
  ExifData data;
  data.SetSoftware("Corvana Vexilo");
  const ExifTag* tag = data.Section(kGeneral).Find(305);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->DataType, ExifDataType::Ascii);
  EXPECT_EQ(tag->ElementCount, 15u);
  EXPECT_EQ(data.Software(), "Corvana Vexilo");
  try {
    data.SetSoftware("Corvana Vexil\xC3\xB6");
    ADD_FAILURE() << "accepted text outside ASCII";
  } catch (const NotOnlyAsciiError& e) {
    EXPECT_STREQ(e.what(), "Tag may contain only ASCII string data");
  }
  EXPECT_EQ(data.Software(), "Corvana Vexilo");
  data.EnforceASCII = false;
  data.SetSoftware("Corvana Vexil\xC3\xB6");
  EXPECT_EQ(data.Software(), "Corvana Vexil\xC3\xB6");
}

TEST(ExifWrite, JpegWithoutMetadataGainsOnlyTag305) {
  const std::vector<uint8_t> plain = exiftest::PlainJpeg();
  ExifData data;
  data.LoadFromJPEG(plain);
  EXPECT_FALSE(data.HasTags());
  data.SetSoftware("Corvana Vexilo");
  const std::vector<uint8_t> out = data.InsertIntoJPEG(plain);
  // SOI, JFIF APP0, the Exif APP1, then everything after the source's APP0.
  const size_t app0 = 4 + ((plain[4] << 8) | plain[5]);
  ASSERT_EQ(plain[3], 0xE0);
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + app0, out.begin()));
  const std::vector<uint8_t> block = ExifBlockOf(out);
  // Header, IFD0 with one entry at 8, then "Corvana Vexilo" 00 at 26.
  const std::vector<uint8_t> expected = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x31, 0x01, 2, 0, 15, 0, 0, 0,
                                         26, 0, 0, 0, 0, 0, 0, 0, 'C', 'o', 'r', 'v', 'a', 'n', 'a', ' ',
                                         'V', 'e', 'x', 'i', 'l', 'o', 0, 0};
  EXPECT_EQ(block, expected);
  EXPECT_EQ(out[app0], 0xFF);
  EXPECT_EQ(out[app0 + 1], 0xE1);
  const size_t exifEnd = app0 + 2 + ((out[app0 + 2] << 8) | out[app0 + 3]);
  EXPECT_TRUE(std::equal(plain.begin() + app0, plain.end(), out.begin() + exifEnd, out.end()));
}

TEST(ExifWrite, SegmentOrderAppZeroExifXmpRest) {
  TiffBlock t(Endianness::LittleEndian);
  t.Ifd(8, {{274, 3, 1, 6}});
  const std::vector<uint8_t> source = exiftest::WithSegments(
      exiftest::PlainJpeg(), {exiftest::XmpSegment("<x/>"), exiftest::ExifSegment(t.Bytes())});
  ExifData data;
  data.LoadFromJPEG(source);
  // The target carries an old Exif and XMP segment, a comment and a second APP0 after them.
  const std::vector<uint8_t> target = exiftest::WithSegments(
      exiftest::PlainJpeg(), {exiftest::ExifSegment(t.Bytes()), exiftest::Segment(0xFE, {'c'}),
                              exiftest::XmpSegment("<old/>"), exiftest::Segment(0xE0, {'A', 'V', 'I', '1'})});
  const std::vector<uint8_t> out = data.InsertIntoJPEG(target);
  std::vector<std::pair<uint8_t, std::string>> order;
  for (const FoundJpegSegment& s : FindJPEGSegments(out, MakeMarkerSet({0xE0, 0xE1, 0xFE, 0xDB})))
    order.emplace_back(s.Marker, std::string(s.Data.begin(), s.Data.begin() + std::min<size_t>(4, s.Data.size())));
  const std::vector<std::pair<uint8_t, std::string>> expected = {
      {0xE0, "AVI1"}, {0xE0, "JFIF"}, {0xE1, std::string("Exif")}, {0xE1, "http"}, {0xFE, "c"}, {0xDB, order[5].second}};
  ASSERT_GE(order.size(), 6u);
  order.resize(6);
  EXPECT_EQ(order, expected);
  // Unparsed XMP goes back byte for byte.
  EXPECT_NE(std::search(out.begin(), out.end(), source.begin() + 2, source.begin() + 2 + 4 + 29 + 4), out.end());
}

TEST(ExifWrite, PixelDimensionsFollowTheFrameHeader) {
  // The plain fixture is 24 x 16.
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    ExifDataType xType, yType;  // expected; Undefined = absent
  } cases[] = {
      {"single SHORTs stay SHORT", {{40962, 3, 1, 3000}, {40963, 3, 1, 2000}}, ExifDataType::Word, ExifDataType::Word},
      {"LONGs stay LONG", {{40962, 4, 1, 3000}, {40963, 4, 1, 2000}}, ExifDataType::LongWord, ExifDataType::LongWord},
      {"SHORT pairs become LONG", {{40962, 3, 2, 3000}, {40963, 3, 2, 2000}}, ExifDataType::LongWord,
       ExifDataType::LongWord},
      {"missing height added as LONG", {{40962, 3, 1, 3000}}, ExifDataType::Word, ExifDataType::LongWord},
      {"missing width added as LONG", {{40963, 3, 1, 3000}}, ExifDataType::LongWord, ExifDataType::Word},
      {"nothing without both", {{36864, 7, 4, 0x30323230}}, ExifDataType::Undefined, ExifDataType::Undefined},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (Endianness order : {Endianness::LittleEndian, Endianness::BigEndian}) {
      TiffBlock t(order);
      t.Ifd(8, {{34665, 4, 1, 26}});
      t.Ifd(26, c.entries);
      ExifData written, reloaded;
      RoundTrip(JpegWith(t.Bytes()), written, reloaded);
      const ExifSection& exif = reloaded.Section(kDetails);
      const ExifTag* x = exif.Find(40962);
      const ExifTag* y = exif.Find(40963);
      EXPECT_EQ(x ? x->DataType : ExifDataType::Undefined, c.xType);
      EXPECT_EQ(y ? y->DataType : ExifDataType::Undefined, c.yType);
      if (x) {
        EXPECT_EQ(reloaded.ReadInteger(*x), 24u);
        EXPECT_EQ(x->ElementCount, 1u);
      }
      if (y) {
        EXPECT_EQ(reloaded.ReadInteger(*y), 16u);
      }
    }
  }
}

TEST(ExifWrite, RemovesTheFirstPaddingTag) {
  struct Case {
    const char* name;
    uint16_t type;
    uint32_t count;
    uint16_t firstValue;
    bool removePadding;
    bool expectKept;
  } cases[] = {
      {"padding", 7, 40, 0xEA1C, true, false},
      {"option off", 7, 40, 0xEA1C, false, true},
      {"other content", 7, 40, 0x1234, true, true},
      {"count 1", 7, 1, 0xEA1C, true, true},
      {"not UNDEFINED", 1, 40, 0xEA1C, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (Endianness order : {Endianness::LittleEndian, Endianness::BigEndian}) {
      TiffBlock t(order);
      t.Ifd(8, {{274, 3, 1, 1}, {34665, 4, 1, 60}, {59932, c.type, c.count, 100}});
      t.Ifd(60, {{59932, c.type, c.count, 100}});
      t.Put16(100, c.firstValue);
      t.Bytes().resize(150);
      ExifData written, reloaded;
      written.RemovePaddingTagsOnSave = c.removePadding;
      RoundTrip(JpegWith(t.Bytes()), written, reloaded);
      for (ExifSectionKind kind : {kGeneral, kDetails}) {
        if (c.count == 1 && kind == kDetails) continue;
        EXPECT_EQ(reloaded.Section(kind).Find(59932) != nullptr, c.expectKept);
      }
    }
  }
}

TEST(ExifWrite, PointerTagsFollowTheSections) {
  TiffBlock t(Endianness::BigEndian);
  // Pointers to a GPS IFD that is empty and an interoperability IFD that is not.
  t.Ifd(8, {{34665, 4, 1, 40}, {34853, 4, 1, 100}});
  t.Ifd(40, {{36864, 7, 4, 0x30323230}, {40965, 4, 1, 70}});
  t.Ifd(70, {{1, 2, 4, 0x52393800}});
  t.Ifd(100, {});
  ExifData written, reloaded;
  RoundTrip(JpegWith(t.Bytes()), written, reloaded);
  EXPECT_NE(reloaded.Section(kGeneral).Find(34665), nullptr);
  EXPECT_EQ(reloaded.Section(kGeneral).Find(34853), nullptr);
  EXPECT_EQ(reloaded.Section(kInterop).Count(), 1u);
  EXPECT_EQ(reloaded.ByteOrder(), Endianness::BigEndian);

  // Interoperability tags alone still get an Exif IFD to hang from.
  ExifData only;
  only.SetWord(kInterop, 2, 7);
  ExifData back;
  back.LoadFromJPEG(only.InsertIntoJPEG(exiftest::PlainJpeg()));
  EXPECT_EQ(back.Section(kDetails).Count(), 1u);
  EXPECT_EQ(back.Section(kInterop).Count(), 1u);
}

TEST(ExifWrite, ThumbnailIsKeptAndDescribed) {
  const std::vector<uint8_t> thumb = ThumbnailBytes();
  TiffBlock t(Endianness::LittleEndian, 100);
  t.Ifd(8, {{274, 3, 1, 1}}, 40);
  t.Ifd(40, {{259, 3, 1, 1}, {513, 4, 1, 100}, {514, 4, 1, 5}});  // wrong compression, wrong length
  t.PutBytes(100, thumb);
  ExifData written, reloaded;
  RoundTrip(JpegWith(t.Bytes()), written, reloaded);
  EXPECT_EQ(reloaded.Thumbnail(), thumb);
  const ExifSection& ifd1 = reloaded.Section(kThumb);
  EXPECT_EQ(reloaded.ReadInteger(*ifd1.Find(259)), 6u);
  EXPECT_EQ(reloaded.ReadInteger(*ifd1.Find(514)), thumb.size());
  EXPECT_EQ(ifd1.Find(514)->DataType, ExifDataType::LongWord);

  // IFD1 without a thumbnail loses the offsets that pointed at one.
  t.PutBytes(100, {0, 0});
  written.LoadFromJPEG(JpegWith(t.Bytes()));
  reloaded.LoadFromJPEG(written.InsertIntoJPEG(exiftest::PlainJpeg()));
  EXPECT_EQ(reloaded.Section(kThumb).Count(), 1u);
  EXPECT_EQ(reloaded.Section(kThumb).Find(513), nullptr);
}

TEST(ExifWrite, MakerNoteStaysAtItsSourceOffset) {
  // The maker note sits at 70, close behind the Exif IFD; the Exif IFD and its data will not
  // fit in front of it once Software has grown.
  std::vector<uint8_t> note(40);
  for (size_t i = 0; i < note.size(); ++i) note[i] = static_cast<uint8_t>(i + 1);
  for (Endianness order : {Endianness::LittleEndian, Endianness::BigEndian}) {
    TiffBlock t(order, 130);
    t.Ifd(8, {{305, 2, 3, 0x00006968}, {34665, 4, 1, 38}});
    t.Ifd(38, {{37500, 7, 40, 70}, {37510, 7, 8, 110}});
    t.PutBytes(70, note);
    t.PutText(110, "comment");
    ExifData written, reloaded;
    RoundTrip(JpegWith(t.Bytes()), written, reloaded);
    const ExifTag* mn = reloaded.Section(kDetails).Find(37500);
    ASSERT_NE(mn, nullptr);
    EXPECT_EQ(mn->OriginalDataOffset, 70u);
    EXPECT_EQ(mn->Data, note);
    EXPECT_EQ(reloaded.Section(kDetails).Find(37510)->Data, (std::vector<uint8_t>{'c', 'o', 'm', 'm', 'e', 'n', 't', 0}));
    EXPECT_EQ(reloaded.Software(), "Corvana Vexilo");
    // Nothing else lies on the maker note's bytes.
    for (ExifSectionKind kind : {kGeneral, kDetails})
      for (const ExifTag& tag : reloaded.Section(kind).Tags())
        if (tag.ID != 37500 && tag.OriginalDataOffset != 0) {
          EXPECT_TRUE(tag.OriginalDataOffset + tag.Data.size() <= 70 || tag.OriginalDataOffset >= 110) << tag.ID;
        }

    written.MakerNotePosition = MakerNotePlacement::mnWithSection;
    written.LoadFromJPEG(JpegWith(t.Bytes()));
    reloaded.LoadFromJPEG(written.InsertIntoJPEG(exiftest::PlainJpeg()));
    EXPECT_EQ(reloaded.Section(kDetails).Find(37500)->Data, note);
  }
}

TEST(ExifWrite, OffsetSchemaMovesTheMakerNoteBack) {
  struct Case {
    int32_t schema;
    uint32_t expectedOffset;
    int32_t expectedSchema;
  } cases[] = {
      {20, 60, 0},     // written 20 bytes later than first: back to 60
      {-40, 120, 0},   // written 40 bytes earlier
      {75, 80, 75},    // 80 - 75 = 5 is not above 6: stays
      {73, 80, 73},    // 7 would overlap the TIFF header: stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.schema);
    TiffBlock t(Endianness::LittleEndian, 200);
    t.Ifd(8, {{34665, 4, 1, 30}});
    t.Ifd(30, {{37500, 7, 10, 80}, {59933, 9, 1, static_cast<uint32_t>(c.schema)}});
    t.PutText(80, "MakerNote");
    ExifData written, reloaded;
    RoundTrip(JpegWith(t.Bytes()), written, reloaded);
    const ExifSection& exif = reloaded.Section(kDetails);
    EXPECT_EQ(exif.Find(37500)->OriginalDataOffset, c.expectedOffset);
    EXPECT_EQ(static_cast<int32_t>(*reloaded.ReadInteger(*exif.Find(59933))), c.expectedSchema);
  }
}

TEST(ExifWrite, MakerNoteOffsetInsideTheTiffHeaderMovesToTheSectionData) {
  // A damaged file whose maker note claims offset 1: kept there, its bytes would cover the
  // new TIFF header and lead readers to an old copy of IFD0.
  const std::vector<uint8_t> file =
      testsupport::ReadFileBytes(testsupport::TestDataDir() / "exif" / "makernote-offset-inside-tiff-header.jpg");
  ExifData written, reloaded;
  written.LoadFromJPEG(file);
  const ExifTag* note = written.Section(kDetails).Find(37500);
  ASSERT_NE(note, nullptr);
  ASSERT_EQ(note->OriginalDataOffset, 1u);
  const std::vector<uint8_t> noteData = note->Data;
  written.SetSoftware("Corvana Vexilo");
  reloaded.LoadFromJPEG(written.InsertIntoJPEG(file));
  EXPECT_EQ(reloaded.Software(), "Corvana Vexilo");
  EXPECT_EQ(reloaded.ByteOrder(), Endianness::BigEndian);
  const ExifTag* moved = reloaded.Section(kDetails).Find(37500);
  ASSERT_NE(moved, nullptr);
  EXPECT_GE(moved->OriginalDataOffset, 8u);
  EXPECT_EQ(moved->Data, noteData);
}

TEST(ExifWrite, TooLargeBlockDropsTheThumbnailFirst) {
  const std::vector<uint8_t> thumb = ThumbnailBytes();
  ExifData data;
  data.SetString(kGeneral, 270, std::string(64900, 'd'));
  data.SetWord(kThumb, 259, 6);
  data.SetThumbnail(thumb);
  ExifData back;
  back.LoadFromJPEG(data.InsertIntoJPEG(exiftest::PlainJpeg()));
  EXPECT_EQ(back.GetString(kGeneral, 270).size(), 64900u);
  EXPECT_TRUE(back.Thumbnail().empty());
  EXPECT_TRUE(back.Section(kThumb).Empty());

  const std::vector<uint8_t> plain = exiftest::PlainJpeg();
  data.SetString(kGeneral, 270, std::string(65600, 'd'));
  data.SetThumbnail(thumb);
  EXPECT_THROW(data.InsertIntoJPEG(plain), ExifError);
  EXPECT_EQ(plain, exiftest::PlainJpeg());
}

TEST(ExifWrite, OffsetsAreEvenAndSectionsInOrder) {
  TiffBlock t(Endianness::LittleEndian);
  t.Ifd(8, {{270, 2, 5, 200}, {271, 2, 7, 210}, {34665, 4, 1, 70}, {34853, 4, 1, 150}}, 120);
  t.Ifd(70, {{33434, 5, 1, 220}, {40965, 4, 1, 100}});
  t.Ifd(100, {{1, 2, 4, 0x52393800}});
  t.Ifd(120, {{282, 5, 1, 230}});
  t.Ifd(150, {{0, 1, 4, 0x02020000}});
  t.PutText(200, "abcd");
  t.PutText(210, "abcdef");
  ExifData written;
  written.LoadFromJPEG(JpegWith(t.Bytes()));
  written.SetSoftware("Corvana Vexilo");
  const std::vector<uint8_t> block = ExifBlockOf(written.InsertIntoJPEG(exiftest::PlainJpeg()));
  ExifData reloaded;
  reloaded.LoadFromTiffData(block, 0);
  const TiffReader r(block, Endianness::LittleEndian);
  const uint32_t ifd0 = r.U32(4);
  const uint32_t exif = *reloaded.ReadInteger(*reloaded.Section(kGeneral).Find(34665));
  const uint32_t interop = *reloaded.ReadInteger(*reloaded.Section(kDetails).Find(40965));
  const uint32_t gps = *reloaded.ReadInteger(*reloaded.Section(kGeneral).Find(34853));
  const uint32_t ifd1 = r.U32(ifd0 + 2 + 12 * r.U16(ifd0));
  EXPECT_EQ(ifd0, 8u);
  EXPECT_LT(ifd0, exif);
  EXPECT_LT(exif, interop);
  EXPECT_LT(interop, gps);
  EXPECT_LT(gps, ifd1);
  for (ExifSectionKind kind : {kGeneral, kDetails, kInterop, kGPS, kThumb})
    for (const ExifTag& tag : reloaded.Section(kind).Tags()) EXPECT_EQ(tag.OriginalDataOffset % 2, 0u) << tag.ID;
  for (uint32_t offset : {exif, interop, gps, ifd1}) EXPECT_EQ(offset % 2, 0u);
}

TEST(ExifWrite, RewritesTheFileInOneStepOrNotAtAll) {
  testsupport::TempDir dir;
  const auto path = dir / "out.jpg";
  const std::vector<uint8_t> plain = exiftest::PlainJpeg();
  testsupport::WriteFileBytes(path, plain);
  ExifData data;
  data.SetSoftware("Corvana Vexilo");
  data.SaveToJPEG(path.string());
  EXPECT_EQ(testsupport::ReadFileBytes(path), data.InsertIntoJPEG(plain));

  // A block that cannot be stored leaves the file as it was and nothing beside it.
  testsupport::WriteFileBytes(path, plain);
  data.SetString(kGeneral, 270, std::string(70000, 'd'));
  EXPECT_THROW(data.SaveToJPEG(path.string()), ExifError);
  EXPECT_EQ(testsupport::ReadFileBytes(path), plain);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
  // So do a file that is no JPEG and a missing file.
  testsupport::WriteFileBytes(path, {'G', 'I', 'F', '8', '9', 'a'});
  EXPECT_THROW(data.SaveToJPEG(path.string()), InvalidJpegHeader);
  EXPECT_EQ(testsupport::ReadFileBytes(path), (std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a'}));
  EXPECT_THROW(data.SaveToJPEG((dir / "missing.jpg").string()), ExifError);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.jpg"));
}
