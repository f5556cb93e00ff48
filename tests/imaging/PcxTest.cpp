#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tests/imaging/CodecTestHelpers.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

// A PCX header: the image is width × height; palette entry i of the header is (i*16, 0, 255-i*16).
std::vector<uint8_t> Header(uint16_t width, uint16_t height, uint8_t bits, uint8_t planes, uint16_t bytesPerLine,
                            uint8_t encoding = 1) {
  std::vector<uint8_t> h(128, 0);
  h[0] = 10;
  h[1] = 5;
  h[2] = encoding;
  h[3] = bits;
  h[8] = static_cast<uint8_t>(width - 1);
  h[9] = static_cast<uint8_t>((width - 1) >> 8);
  h[10] = static_cast<uint8_t>(height - 1);
  h[11] = static_cast<uint8_t>((height - 1) >> 8);
  for (int i = 0; i < 16; ++i) {
    h[16 + i * 3] = static_cast<uint8_t>(i * 16);
    h[18 + i * 3] = static_cast<uint8_t>(255 - i * 16);
  }
  h[65] = planes;
  h[66] = static_cast<uint8_t>(bytesPerLine);
  h[67] = static_cast<uint8_t>(bytesPerLine >> 8);
  h[68] = 1;
  return h;
}

std::vector<uint8_t> With(std::vector<uint8_t> bytes, const std::vector<uint8_t>& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return bytes;
}

Color32 HeaderColor(int i) { return MakeColor32(255, uint8_t(i * 16), 0, uint8_t(255 - i * 16)); }

}  // namespace

TEST(Pcx, CorpusFilesDecodeLikeNetpbm) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("pcxtoppm") || !testsupport::HaveTool("convert")) GTEST_SKIP() << "netpbm not installed";
  // ImageMagick shows 1-bit files inverted; netpbm's reader is the reference here.
  testsupport::TempDir dir;
  for (const char* name : {"pillow-tests/odd_stride.pcx", "pillow-tests/pil184.pcx", "pillow-tests/p_4_planes.pcx"}) {
    SCOPED_TRACE(name);
    const fs::path ppm = dir / "reference.ppm";
    ASSERT_EQ(testsupport::RunCommand("pcxtoppm '" + testsupport::CorpusFile(name).string() + "' > '" + ppm.string() +
                                      "' 2>/dev/null"),
              0);
    Image actual, expected;
    ASSERT_TRUE(codectest::LoadFirst(testsupport::CorpusFile(name), actual));
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(ppm, expected));
    EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
  }
}

TEST(Pcx, BrokenFilesAreRefusedCleanly) {
  VEXILO_REQUIRE_CORPUS();
  for (const char* name : {"pillow-tests/01r_00.pcx", "pillow-tests/ossfuzz-4836216264589312.pcx"}) {
    SCOPED_TRACE(name);
    Image image;
    bool loaded = false;
    try {
      loaded = codectest::LoadFirst(testsupport::CorpusFile(name), image);
    } catch (const ImagingError&) {
    }
    EXPECT_FALSE(loaded);
  }
}

TEST(Pcx, FilesWrittenByImageMagickDecode) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  testsupport::TempDir dir;
  // Palette, true colour, and true colour with alpha (four planes: red, green, blue, alpha).
  for (const char* options : {"-size 37x9 gradient:red-blue -type Palette",
                              "-size 37x9 gradient:red-blue -type TrueColor",
                              "-size 37x9 gradient:red-blue \\( -size 37x9 gradient:white-black \\) -alpha off "
                              "-compose CopyOpacity -composite -type TrueColorAlpha"}) {
    SCOPED_TRACE(options);
    const fs::path file = dir / "im.pcx";
    const std::string command = std::string("convert ") + options + " '" + file.string() + "'";
    ASSERT_EQ(testsupport::RunCommand(command), 0) << command;
    Image actual, expected;
    ASSERT_TRUE(codectest::LoadFirst(file, actual));
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(file, expected));
    EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
  }
}

TEST(Pcx, Layouts) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    PixelFormat format;
    std::vector<Color32> pixels;  // the first row
  };
  // 24 bits in three planes of 2 bytes per line, 2 × 2 pixels; one run spans the end of the red
  // line of row 0 and the start of its green line.
  const std::vector<uint8_t> rgbData = {10, 0xC2, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110};
  // 256 colours, 3 × 1: indices 0, 1, 2 and a palette whose entry i is (i, 2i, 3i).
  std::vector<uint8_t> palette = {12};
  for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), uint8_t(i * 2), uint8_t(i * 3)});
  const Case cases[] = {
      {"24 bits, run across planes", With(Header(2, 2, 8, 3, 2), rgbData), PixelFormat::R8G8B8,
       {MakeColor32(255, 10, 20, 40), MakeColor32(255, 20, 30, 50)}},
      {"256 colours", With(With(Header(3, 1, 8, 1, 4), {0, 1, 2, 0}), palette), PixelFormat::Index8,
       {MakeColor32(255, 0, 0, 0), MakeColor32(255, 1, 2, 3), MakeColor32(255, 2, 4, 6)}},
      {"256 colours without palette", With(Header(2, 1, 8, 1, 2), {5, 6}), PixelFormat::Index8, {0, 0}},
      {"16-colour EGA planes", With(Header(3, 1, 1, 4, 2, 0), {0xA0, 0, 0x60, 0, 0xE0, 0, 0x20, 0}),
       PixelFormat::Index8, {HeaderColor(5), HeaderColor(6), HeaderColor(15)}},
      {"4 bits packed", With(Header(3, 1, 4, 1, 2, 0), {0x1F, 0x20}), PixelFormat::Index8,
       {HeaderColor(1), HeaderColor(15), HeaderColor(2)}},
      {"2 bits packed", With(Header(4, 1, 2, 1, 2, 0), {0x1B, 0}), PixelFormat::Index8,
       {HeaderColor(0), HeaderColor(1), HeaderColor(2), HeaderColor(3)}},
      {"1 bit", With(Header(3, 1, 1, 1, 2, 0), {0x40, 0}), PixelFormat::Index8,
       {HeaderColor(0), HeaderColor(1), HeaderColor(0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Image> images;
    ASSERT_TRUE(codectest::LoadBytes("pcx", c.file, images));
    ASSERT_EQ(images[0].Format(), c.format);
    for (size_t x = 0; x < c.pixels.size(); ++x) EXPECT_EQ(GetPixel32(images[0], int32_t(x), 0), c.pixels[x]) << x;
  }
  // The second row of the 24-bit image comes after the run that crossed planes.
  std::vector<Image> rgb;
  ASSERT_TRUE(codectest::LoadBytes("pcx", With(Header(2, 2, 8, 3, 2), rgbData), rgb));
  EXPECT_EQ(GetPixel32(rgb[0], 0, 1), MakeColor32(255, 60, 80, 100));
}

TEST(Pcx, DefectsAreReported) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    const char* message;
  };
  const Case cases[] = {
      {"scan line too short", With(Header(20, 1, 8, 1, 10), std::vector<uint8_t>(20, 1)), "too small"},
      {"run-length data cut short", With(Header(4, 200, 8, 1, 4), {0xC3, 1, 0xC3, 1, 0xC3, 1, 0xC3, 1, 0xC3, 1}),
       "truncated"},
      {"raw data cut short", With(Header(4, 4, 8, 1, 4, 0), {1, 2, 3}), "truncated"},
      {"window upside down", [] {
         std::vector<uint8_t> h = Header(4, 4, 8, 1, 4);
         h[10] = 0;
         h[6] = 5;
         return With(h, std::vector<uint8_t>(64, 0));
       }(),
       "Invalid image dimensions"},
      {"too wide", [] {
         std::vector<uint8_t> h = Header(4, 4, 8, 1, 65535);
         h[8] = h[9] = 0xFF;
         return With(h, std::vector<uint8_t>(64, 0));
       }(),
       "exceed the supported maximum"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Image> images;
    const std::string error = codectest::ErrorOf([&] { codectest::LoadBytes("pcx", c.file, images); });
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(images.empty());
  }
  // Layouts outside the list are not PCX images the codec reads.
  std::vector<Image> images;
  EXPECT_FALSE(codectest::LoadBytes("pcx", With(Header(2, 1, 4, 3, 2, 0), std::vector<uint8_t>(6, 0)), images));
  EXPECT_FALSE(FindFormatByExtension("pcx")->CanSave);
}
