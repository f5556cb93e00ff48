#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "tests/imaging/CodecTestHelpers.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Loads bytes with the codec the content is detected as.
bool LoadMap(const std::string& text, std::vector<Image>& images) {
  MemoryStream stream(Bytes(text));
  const std::string extension = DetectStreamFormat(stream);
  return FindFormatByExtension(extension.empty() ? "ppm" : extension)->LoadFromStream(stream, images, true);
}

// R32F holds its value as red; a gray float map written from it holds that value as gray.
void RedAsGray(Image& image) {
  for (int32_t i = 0; i < image.Size(); i += 4) image.Bits()[i] = image.Bits()[i + 1] = image.Bits()[i + 2];
}

void MakeGradient(Image& image, PixelFormat format, int32_t width = 9, int32_t height = 4) {
  ASSERT_TRUE(CreateImage(width, height, format, image));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      SetPixel32(image, x, y, MakeColor32(uint8_t(255 - x * 20), uint8_t(x * 29), uint8_t(y * 60), uint8_t(x * 7 + y)));
}

}  // namespace

TEST(PortableMaps, CorpusFilesDecodeLikeTheReference) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  struct Case {
    const char* file;
    const char* reference;  // a PNG of the same picture, or null for ImageMagick on the file
  };
  const Case cases[] = {
      {"pillow-tests/16_bit_binary.pgm", nullptr},
      {"pillow-tests/hopper.pnm", nullptr},
      {"pillow-tests/hopper.ppm", nullptr},
      {"pillow-tests/hopper_8bit.ppm", nullptr},
      {"pillow-tests/hopper_8bit_plain.ppm", nullptr},
      {"pillow-tests/hopper_8bit.pgm", nullptr},
      {"pillow-tests/hopper_8bit_plain.pgm", nullptr},
      {"pillow-tests/hopper_16bit.pgm", nullptr},
      {"pillow-tests/hopper_16bit_plain.pgm", nullptr},
      {"pillow-tests/hopper_1bit.pbm", nullptr},
      {"pillow-tests/hopper_1bit_plain.pbm", nullptr},
      {"pillow-tests/hopper_webp_bits.ppm", nullptr},
      {"pillow-tests/hopper_webp_write.ppm", nullptr},
      {"pillow-tests/hopper.pfm", nullptr},
      {"pillow-tests/hopper_be.pfm", nullptr},
      {"image-rs-tests/images/pbm/images/issue-794.pbm", "image-rs-tests/reference/pbm/images/issue-794.pbm.png"},
      {"image-rs-tests/images/pbm/images/narrow.pbm", "image-rs-tests/reference/pbm/images/narrow.pbm.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path file = testsupport::CorpusFile(c.file);
    Image actual, expected;
    ASSERT_TRUE(codectest::LoadFirst(file, actual));
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(c.reference ? testsupport::CorpusFile(c.reference) : file, expected));
    // Narrowing 16-bit and float samples to 8 bits may round differently by one.
    EXPECT_EQ(testsupport::CompareImages(expected, actual, 1), "");
  }
}

TEST(PortableMaps, BrokenFilesAreRefusedCleanly) {
  VEXILO_REQUIRE_CORPUS();
  Image image;
  bool loaded = false;
  try {
    loaded = codectest::LoadFirst(testsupport::CorpusFile("pillow-tests/negative_size.ppm"), image);
  } catch (const ImagingError&) {
  }
  EXPECT_FALSE(loaded);
}

TEST(PortableMaps, HeaderVariants) {
  struct Case {
    const char* what;
    std::string file;
    PixelFormat format;
    Color32 first;  // pixel (0, 0) as A8R8G8B8
  };
  const Case cases[] = {
      {"binary sample that is a blank", "P5\n1 1\n255\n ", PixelFormat::Gray8, 0xFF202020},
      {"comments between tokens", "P5\n# made here\n1 # width\n1\n255\n\x80", PixelFormat::Gray8, 0xFF808080},
      {"whole header on one line", "P6 1 1 255\n\x01\x02\x03", PixelFormat::R8G8B8, 0xFF010203},
      {"plain gray with maximum 15", "P2\n1 1\n15\n15\n", PixelFormat::Gray8, 0xFFFFFFFF},
      {"plain colour rescaled", "P3 1 1 100 100 50 0\n", PixelFormat::R8G8B8, 0xFFFF7F00},
      {"plain bits without blanks", "P1\n3 1\n010", PixelFormat::Gray8, 0xFFFFFFFF},
      {"packed bits", "P4\n9 1\n\x80\x00"s, PixelFormat::Gray8, 0xFF000000},
      {"16-bit big-endian", "P5\n1 1\n65535\n\x12\x34", PixelFormat::Gray16, 0xFF121212},
      {"16-bit after CR LF is little-endian", "P5\r\n1 1\n65535\n\x00\xff"s, PixelFormat::Gray16, 0xFFFEFEFE},
      {"PAM with lower-case tuple type", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE rgb_alpha\nENDHDR\n\x10\x20\x30\x40",
       PixelFormat::A8R8G8B8, 0x40102030},
      {"PAM black and white", "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 1\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE\nENDHDR\n\x01\x00"s,
       PixelFormat::Gray8, 0xFFFFFFFF},
      {"PAM gray and alpha, 16 bits", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 65535\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n\xff\xff\x80\x80"s,
       PixelFormat::A16Gray16, 0x80FFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Image> images;
    ASSERT_TRUE(LoadMap(c.file, images));
    EXPECT_EQ(images[0].Format(), c.format);
    EXPECT_EQ(GetPixel32(images[0], 0, 0), c.first);
  }
}

// Gray float maps hold gray, not red: every colour channel takes the sample, so the image
// stays gray when the program converts it to A8R8G8B8.
TEST(PortableMaps, GrayFloatMapsStayGrayInEitherByteOrder) {
  const float values[4] = {0.25f, 1.0f, 0.0f, 0.5f};  // bottom row, then top row
  std::string little = "Pf\n2 2\n-1.0\n";
  little.append(reinterpret_cast<const char*>(values), sizeof values);
  std::string big = "Pf\n2 2\n1.0\n";
  for (float v : values) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    big.append({char(b[3]), char(b[2]), char(b[1]), char(b[0])});
  }
  for (const std::string& file : {little, big}) {
    SCOPED_TRACE(file.substr(0, 10));
    std::vector<Image> images;
    ASSERT_TRUE(LoadMap(file, images));
    ASSERT_EQ(images[0].Format(), PixelFormat::A32R32G32B32F);
    for (int32_t i = 0; i < 4; ++i) {
      const ColorFP c = GetPixelFP(images[0], i % 2, 1 - i / 2);
      EXPECT_EQ(c.R, values[i]) << i;
      EXPECT_EQ(c.G, values[i]) << i;
      EXPECT_EQ(c.B, values[i]) << i;
      EXPECT_EQ(c.A, 1.0f) << i;
    }
    Image argb;
    codectest::ConvertToArgb(images[0], argb);
    EXPECT_EQ(codectest::FirstColouredPixel(argb), "");
    EXPECT_EQ(GetPixel32(argb, 1, 0), 0xFF7F7F7Fu);
    EXPECT_EQ(GetPixel32(argb, 1, 1), 0xFFFFFFFFu);

    // Written again, the picture is a colour map of the same gray values.
    const std::vector<uint8_t> saved = codectest::SaveBytes("pfm", images[0]);
    EXPECT_EQ(Text(saved).substr(0, 3), "PF\n");
    std::vector<Image> back;
    ASSERT_TRUE(codectest::LoadBytes("pfm", saved, back));
    for (int32_t i = 0; i < 4; ++i) {
      const ColorFP c = GetPixelFP(back[0], i % 2, 1 - i / 2);
      EXPECT_TRUE(c.R == values[i] && c.G == values[i] && c.B == values[i]) << i;
    }
  }
}

TEST(PortableMaps, CorpusGrayFloatMapsConvertToGrayAsImageMagickReadsThem) {
  VEXILO_REQUIRE_CORPUS();
  for (const char* name : {"pillow-tests/hopper.pfm", "pillow-tests/hopper_be.pfm"}) {
    SCOPED_TRACE(name);
    const fs::path file = testsupport::CorpusFile(name);
    std::vector<Image> images;
    ASSERT_TRUE(FindFormatByExtension("pfm")->LoadFromFile(file.string(), images, true));
    Image argb;
    codectest::ConvertToArgb(images[0], argb);
    EXPECT_EQ(codectest::FirstColouredPixel(argb), "");
    if (!testsupport::HaveTool("convert")) continue;
    Image expected;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(file, expected));
    EXPECT_EQ(testsupport::CompareImages(expected, argb, 1), "");
  }
}

TEST(PortableMaps, InvalidHeadersAreNotImages) {
  for (const char* file : {"P7\nHEIGHT 1\nWIDTH 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n\x00",
                           "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n\x00\x00\x00",
                           "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nTUPLTYPE SEPIA\nENDHDR\n\x00",
                           "P5\n0 1\n255\n", "P5\n1 1\n0\n\x00", "P5\n-1 1\n255\n\x00", "P6\n1 1\n70000\n"}) {
    SCOPED_TRACE(file);
    std::vector<Image> images;
    EXPECT_FALSE(LoadMap(file, images));
  }
}

TEST(PortableMaps, DefectsAreReported) {
  struct Case {
    const char* what;
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"sample above the maximum", "P2 1 1 15 16\n", "above the maximum"},
      {"sample above 8 bits", "P2 1 1 255 256\n", "above 255"},
      {"plain data cut short", "P3 2 1 255 1 2 3 4 5          \n", "Unexpected end of plain portable map data"},
      {"far too little data", "P3 2 1 255 1 2 3 4 5\n", "Portable map data is truncated"},
      {"not a number", "P2 2 1 255 1 x\n", "Invalid character"},
      {"binary data cut short", "P6 2 2 255\n\x01\x02\x03", "truncated"},
      {"too large", "P5 70000 1 255\n", "exceed the supported maximum"},
      {"PAM bit above 1", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE\nENDHDR\n\x02", "above 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Image> images;
    const std::string error = codectest::ErrorOf([&] { LoadMap(c.file, images); });
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(images.empty());
  }
}

TEST(PortableMaps, WrittenHeadersAndData) {
  Image argb;
  ASSERT_TRUE(CreateImage(2, 1, PixelFormat::A8R8G8B8, argb));
  SetPixel32(argb, 0, 0, 0x40102030);
  SetPixel32(argb, 1, 0, 0xFFA0B0C0);
  EXPECT_EQ(Text(codectest::SaveBytes("pam", argb)),
            std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n") +
                "\x10\x20\x30\x40\xA0\xB0\xC0\xFF");

  Image gray;
  ASSERT_TRUE(CreateImage(2, 1, PixelFormat::Gray16, gray));
  gray.Bits()[0] = 0x34;
  gray.Bits()[1] = 0x12;
  EXPECT_EQ(Text(codectest::SaveBytes("pgm", gray)), "P5\n2\n1\n65535\n\x12\x34\x00\x00"s);

  Image rgb;
  ASSERT_TRUE(CreateImage(1, 1, PixelFormat::R8G8B8, rgb));
  SetPixel32(rgb, 0, 0, 0xFF0A141E);
  CodecOptions plainText = CurrentOptions();
  plainText.portableMap = {false, false};
  EXPECT_EQ(Text(codectest::SaveBytes("ppm", rgb, plainText)), "P3\n1\n1\n255\n10 20 30 ");

  Image fp;
  ASSERT_TRUE(CreateImage(1, 2, PixelFormat::R32F, fp));
  SetPixelFP(fp, 0, 0, ColorFP{0, 0, 0.5f, 1});
  const std::string pfm = Text(codectest::SaveBytes("pfm", fp));
  ASSERT_EQ(pfm.size(), 10u + 8);
  EXPECT_EQ(pfm.substr(0, 10), "Pf\n1\n2\n-1\n");
  float last;
  std::memcpy(&last, pfm.data() + 14, 4);
  EXPECT_EQ(last, 0.5f);  // the top row comes last

  // Plain lines break after the pixel that takes them beyond 65 characters.
  Image wide;
  ASSERT_TRUE(CreateImage(40, 1, PixelFormat::Gray8, wide));
  std::memset(wide.Bits(), 200, 40);
  const std::string plain = Text(codectest::SaveBytes("pgm", wide, plainText));
  const std::string data = plain.substr(plain.find("255\n") + 4);
  std::string line;
  for (int i = 0; i < 17; ++i) line += "200 ";
  EXPECT_EQ(data.substr(0, 69), line + "\n");

  EXPECT_FALSE(FindFormatByExtension("pbm")->CanSave);
}

TEST(PortableMaps, ColourImagesAreConvertedForTheTarget) {
  Image argb;
  ASSERT_TRUE(CreateImage(2, 1, PixelFormat::A8R8G8B8, argb));
  SetPixel32(argb, 0, 0, 0xFF0A141E);
  SetPixel32(argb, 1, 0, 0x80FFFFFF);
  const std::string pgm = Text(codectest::SaveBytes("pgm", argb));
  EXPECT_EQ(pgm.substr(0, 11), "P5\n2\n1\n255\n");
  EXPECT_EQ(pgm.size(), 11u + 2);
  EXPECT_EQ(Text(codectest::SaveBytes("ppm", argb)), "P6\n2\n1\n255\n\x0A\x14\x1E\xFF\xFF\xFF");
  Image wide;
  ASSERT_TRUE(CreateImage(1, 1, PixelFormat::A16B16G16R16, wide));
  const std::string ppm16 = Text(codectest::SaveBytes("ppm", wide));
  EXPECT_EQ(ppm16.substr(0, 13), "P6\n1\n1\n65535\n");
  EXPECT_NE(Text(codectest::SaveBytes("pam", wide)).find("DEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n"),
            std::string::npos);
  Image indexed;
  ASSERT_TRUE(CreateImage(1, 1, PixelFormat::Index8, indexed));
  EXPECT_EQ(Text(codectest::SaveBytes("pfm", indexed)).substr(0, 3), "PF\n");
}

TEST(PortableMaps, WrittenFilesReadBackInImageMagickAndHere) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  testsupport::TempDir dir;
  struct Case {
    const char* extension;
    PixelFormat format;
    bool binary;
  };
  const Case cases[] = {
      {"pgm", PixelFormat::Gray8, true},       {"pgm", PixelFormat::Gray8, false},       {"pgm", PixelFormat::Gray16, true},
      {"pgm", PixelFormat::Gray16, false},     {"ppm", PixelFormat::R8G8B8, true},       {"ppm", PixelFormat::R8G8B8, false},
      {"ppm", PixelFormat::R16G16B16, true},   {"ppm", PixelFormat::R16G16B16, false},   {"pam", PixelFormat::A8R8G8B8, true},
      {"pam", PixelFormat::R8G8B8, true},      {"pam", PixelFormat::A8Gray8, true},      {"pam", PixelFormat::A16R16G16B16, true},
      {"pam", PixelFormat::A16Gray16, true},   {"pfm", PixelFormat::R32F, true},         {"pfm", PixelFormat::A32B32G32R32F, true},
      {"pfm", PixelFormat::Gray8, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.extension) + " " + GetFormatName(c.format) + (c.binary ? " binary" : " plain"));
    Image source;
    MakeGradient(source, c.format);
    CodecOptions options = CurrentOptions();
    options.portableMap = {c.binary, c.binary};
    const std::vector<uint8_t> bytes = codectest::SaveBytes(c.extension, source, options);

    std::vector<Image> back;
    ASSERT_TRUE(codectest::LoadBytes(c.extension, bytes, back));
    const bool floatColour = c.format == PixelFormat::A32B32G32R32F;  // the file keeps no alpha
    const bool floatGray = c.extension == std::string("pfm") && !floatColour;
    if (!floatColour && !floatGray) {
      ASSERT_EQ(back[0].Format(), c.format);
      EXPECT_EQ(std::memcmp(back[0].Bits(), source.Bits(), size_t(source.Size())), 0);
    }

    Image expected, decoded;
    codectest::ToArgb(source, expected);
    if (c.format == PixelFormat::R32F) RedAsGray(expected);
    if (floatColour)
      for (int32_t i = 3; i < expected.Size(); i += 4) expected.Bits()[i] = 255;
    if (floatGray) {
      // Written as "Pf", read back as gray in every colour channel.
      EXPECT_EQ(Text(bytes).substr(0, 3), "Pf\n");
      ASSERT_EQ(back[0].Format(), PixelFormat::A32R32G32B32F);
      Image ours;
      codectest::ConvertToArgb(back[0], ours);
      EXPECT_EQ(testsupport::CompareImages(expected, ours, 1), "");
    }
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(codectest::WriteTemp(dir, std::string("out.") + c.extension, bytes), decoded));
    EXPECT_EQ(testsupport::CompareImages(expected, decoded, 1), "");
  }
}
