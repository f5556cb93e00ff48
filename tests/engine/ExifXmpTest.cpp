#include <gtest/gtest.h>

#include "tests/engine/ExifTestHelpers.h"
#include "engine/exif/Data.h"
#include "engine/exif/Errors.h"
#include "engine/exif/JpegHeaderParser.h"
#include "engine/exif/Xmp.h"

using namespace engine::exif;

namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

ContainedXmpPacket Parse(const std::string& xml) {
  ContainedXmpPacket packet;
  packet.LoadFromData(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(xml.data()), xml.size()));
  return packet;
}

// The prefixes differ from the usual ones on purpose: properties are found by namespace.
const char* const kPacket =
    "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
    " <r:RDF xmlns:r=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
    "  <r:Description r:about=\"\" xmlns:basic=\"http://ns.adobe.com/xap/1.0/\"\n"
    "    xmlns:t=\"http://ns.adobe.com/tiff/1.0/\" basic:CreatorTool=\"Old Tool\" t:software=\"lower\"/>\n"
    "  <r:Description r:about=\"\" xmlns:e=\"http://ns.adobe.com/exif/1.0/\" xmlns:t=\"http://ns.adobe.com/tiff/1.0/\"\n"
    "    xmlns:o=\"http://example.com/other/\">\n"
    "   <t:Software>Old &amp; Software</t:Software>\n"
    "   <e:PixelXDimension>3000</e:PixelXDimension>\n"
    "   <o:CreatorTool>not the XMP basic schema</o:CreatorTool>\n"
    "   <t:SOFTWARE>other case</t:SOFTWARE>\n"
    "   <e:Flash><r:Description><e:PixelYDimension>nested</e:PixelYDimension></r:Description></e:Flash>\n"
    "  </r:Description>\n"
    " </r:RDF>\n"
    "</x:xmpmeta>\n"
    "<?xpacket end=\"w\"?>";

}  // namespace

TEST(ExifXmp, UpdatesAttributeAndElementFormsByNamespace) {
  ContainedXmpPacket packet = Parse(kPacket);
  EXPECT_EQ(packet.UpdateProperty(xmpns::XMPBasic, "CreatorTool", "Corvana Vexilo"), 1);
  EXPECT_EQ(packet.UpdateProperty(xmpns::Tiff, "Software", "Corvana Vexilo"), 1);
  EXPECT_EQ(packet.UpdateProperty(xmpns::Tiff, "software", "Corvana Vexilo"), 1);
  EXPECT_EQ(packet.UpdateProperty(xmpns::Exif, "PixelXDimension", "24"), 1);
  // Only top-level properties count; the nested one and absent ones are left alone.
  EXPECT_EQ(packet.UpdateProperty(xmpns::Exif, "PixelYDimension", "16"), 0);

  // Serialised and parsed again, the packet reads as changed, and nothing else moved.
  const std::string xml = Text(packet.SaveToData());
  ContainedXmpPacket again = Parse(xml);
  EXPECT_EQ(again.GetProperty(xmpns::XMPBasic, "CreatorTool"), "Corvana Vexilo");
  EXPECT_EQ(again.GetProperty(xmpns::Tiff, "Software"), "Corvana Vexilo");
  EXPECT_EQ(again.GetProperty(xmpns::Tiff, "software"), "Corvana Vexilo");
  EXPECT_EQ(again.GetProperty(xmpns::Exif, "PixelXDimension"), "24");
  EXPECT_EQ(again.GetProperty("http://example.com/other/", "CreatorTool"), "not the XMP basic schema");
  EXPECT_EQ(again.GetProperty(xmpns::Tiff, "SOFTWARE"), "other case");
  EXPECT_NE(xml.find("<e:PixelYDimension>nested</e:PixelYDimension>"), std::string::npos);
  EXPECT_EQ(xml.rfind("<?xpacket begin=", 0), 0u) << "no XML declaration in front of the packet";
  EXPECT_NE(xml.find("<?xpacket end=\"w\"?>"), std::string::npos);
  EXPECT_EQ(xml.find("Old"), std::string::npos);
}

TEST(ExifXmp, EmptyAndInvalidPackets) {
  for (const std::string& blank : {std::string(), std::string("  \n\t "), std::string("\0\0 \0", 4)}) {
    ContainedXmpPacket packet = Parse(blank);
    EXPECT_TRUE(packet.Empty());
    EXPECT_TRUE(packet.SaveToData().empty());
    EXPECT_EQ(packet.UpdateProperty(xmpns::XMPBasic, "CreatorTool", "x"), 0);
  }
  // Writers pad after the packet with blanks and NUL bytes.
  EXPECT_FALSE(Parse(std::string("<a/>\n \0\0", 8)).Empty());
  for (const char* bad : {"<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">", "not xml", "<a></b>",
                          "<a xmlns:p=\"u\" p:x=\"1\" p:x=\"2\"/>", "<?xml version=\"1.0\"?>"}) {
    SCOPED_TRACE(bad);
    ContainedXmpPacket packet;
    try {
      packet = Parse(bad);
      ADD_FAILURE() << "accepted";
    } catch (const InvalidXmpPacket& e) {
      EXPECT_STREQ(e.what(), "XMP packet is not valid");
    }
  }
}

TEST(ExifXmp, SoftwareAndPixelSizeReachThePacketInTheJpeg) {
  const std::string packet =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
      "<rdf:Description xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
      "xmp:CreatorTool=\"GIMP\" exif:PixelXDimension=\"640\" exif:PixelYDimension=\"480\" xmp:Rating=\"3\"/>"
      "</rdf:RDF></x:xmpmeta>";
  ExifData data;
  data.LoadFromJPEG(exiftest::WithSegments(exiftest::PlainJpeg(), {exiftest::XmpSegment(packet)}));
  data.SetSoftware("Corvana Vexilo");
  const std::vector<uint8_t> out = data.InsertIntoJPEG(exiftest::PlainJpeg());
  std::string xmp;
  for (const FoundJpegSegment& s : FindJPEGSegments(out, MakeMarkerSet({0xE1})))
    if (s.Data.size() > 29 && s.Data[0] == 'h') xmp.assign(s.Data.begin() + 29, s.Data.end());
  ASSERT_FALSE(xmp.empty());
  EXPECT_EQ(xmp.back(), ' ');
  ContainedXmpPacket written = Parse(xmp);
  EXPECT_EQ(written.GetProperty(xmpns::XMPBasic, "CreatorTool"), "Corvana Vexilo");
  EXPECT_EQ(written.GetProperty(xmpns::Exif, "PixelXDimension"), "24");
  EXPECT_EQ(written.GetProperty(xmpns::Exif, "PixelYDimension"), "16");
  EXPECT_EQ(written.GetProperty(xmpns::XMPBasic, "Rating"), "3");
  // The Exif tags are only those the source had, plus Software.
  ExifData back;
  back.LoadFromJPEG(out);
  EXPECT_EQ(back.Section(ExifSectionKind::esGeneral).Count(), 1u);
  EXPECT_TRUE(back.Section(ExifSectionKind::esDetails).Empty());

  // A broken packet fails when Software touches it.
  ExifData broken;
  broken.LoadFromJPEG(exiftest::WithSegments(exiftest::PlainJpeg(), {exiftest::XmpSegment("<x:xmpmeta>")}));
  EXPECT_THROW(broken.SetSoftware("Corvana Vexilo"), InvalidXmpPacket);
}

TEST(ExifXmp, MatchesTheExpectedPacketOfTheImageRsSample) {
  VEXILO_REQUIRE_CORPUS();
  // The sample's XMP read back untouched equals the packet its suite expects.
  ExifData data;
  data.LoadFromJPEG(testsupport::CorpusFile("image-rs-tests/images/jpg/exif-xmp-metadata.jpg").string());
  const std::vector<uint8_t> out = data.InsertIntoJPEG(exiftest::PlainJpeg());
  const std::vector<uint8_t> expected = testsupport::ReadFileBytes(testsupport::CorpusFile("image-rs-tests/assets/jpg/expected_xmp.bin"));
  std::vector<uint8_t> xmp;
  for (const FoundJpegSegment& s : FindJPEGSegments(out, MakeMarkerSet({0xE1})))
    if (s.Data.size() > 29 && s.Data[0] == 'h') xmp.assign(s.Data.begin() + 29, s.Data.end());
  EXPECT_EQ(xmp, expected);
}
