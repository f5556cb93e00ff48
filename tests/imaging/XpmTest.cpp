#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/imaging/CodecTestHelpers.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

using namespace imaging;

namespace {

bool LoadXpm(const std::string& text, std::vector<Image>& images) {
  return codectest::LoadBytes("xpm", std::vector<uint8_t>(text.begin(), text.end()), images);
}

// An XPM file of one row whose pixels use the given colour definitions in order.
std::string OneRow(const std::vector<std::string>& colors) {
  std::string text = "/* XPM */\nstatic char *x[] = {\n\"" + std::to_string(colors.size()) + " 1 " +
                     std::to_string(colors.size()) + " 1\",\n";
  std::string row;
  for (size_t i = 0; i < colors.size(); ++i) {
    const char key = static_cast<char>('a' + i);
    text += "\"" + std::string(1, key) + " " + colors[i] + "\",\n";
    row += key;
  }
  return text + "\"" + row + "\"};\n";
}

}  // namespace

TEST(Xpm, CorpusFilesDecodeLikeImageMagick) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  for (const char* name : {"pillow-tests/hopper.xpm", "pillow-tests/hopper_bpp2.xpm", "pillow-tests/hopper_rgb.xpm"}) {
    SCOPED_TRACE(name);
    Image actual, expected;
    ASSERT_TRUE(codectest::LoadFirst(testsupport::CorpusFile(name), actual));
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(testsupport::CorpusFile(name), expected));
    EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
  }
}

TEST(Xpm, ColourForms) {
  std::vector<Image> images;
  ASSERT_TRUE(LoadXpm(OneRow({"c None", "c #FF0000", "c light gray", "c Gray", "c #0F8", "c #FFFF00008080", "s sym",
                              "c #123456789", "c unknownname"}),
                      images));
  const Color32 expected[] = {0x00000000, 0xFFFF0000, 0x00000000, 0xFFC0C0C0, 0xFF00FF88,
                              0xFFFF0080, 0x00000000, 0xFF124578, 0x00000000};
  for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(GetPixel32(images[0], x, 0), expected[x]) << x;
}

TEST(Xpm, KeysOfSeveralCharactersAndUnknownKeys) {
  const std::string text =
      "/* XPM */\nstatic char *x[] = {\n\"3 2 2 3\",\n\"a.b c #0000FF\",\n\"A.b c white\",\n"
      "\"a.bA.ba.b\",\n\"zzzA.bA.b\"};\n";
  std::vector<Image> images;
  ASSERT_TRUE(LoadXpm(text, images));
  EXPECT_EQ(GetPixel32(images[0], 0, 0), 0xFF0000FFu);
  EXPECT_EQ(GetPixel32(images[0], 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(GetPixel32(images[0], 0, 1), 0u);  // keys are compared with case
}

TEST(Xpm, DefectsAreReported) {
  struct Case {
    const char* what;
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {"colour line without a colour", OneRow({"c"}), "has no colour"},
      {"colour that is not hexadecimal", OneRow({"c #12G456"}), "Invalid XPM colour"},
      {"rows missing", "/* XPM */\n\"2 3 1 1\",\n\"a c red\",\n\"aa\",\n", "truncated"},
      {"row too short", "/* XPM */\n\"4 1 1 1\",\n\"a c red\",\n\"aa\",\n", "shorter than 4"},
      {"too large", "/* XPM */\n\"70000 1 1 1\",\n\"a c red\",\n\"a\",\n", "exceed the supported maximum"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Image> images;
    const std::string error = codectest::ErrorOf([&] { LoadXpm(c.text, images); });
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(images.empty());
  }
  for (const char* text : {"/* XPM */\n\"two 1 1 1\",\n\"a c red\",\n\"a\",\n", "/* XPM */\nnothing quoted\n",
                           "/* XPM */\n\"1 1 1 0\",\n\"a c red\",\n\"a\",\n"}) {
    std::vector<Image> images;
    EXPECT_FALSE(LoadXpm(text, images)) << text;
  }
  EXPECT_FALSE(FindFormatByExtension("xpm")->CanSave);
}
