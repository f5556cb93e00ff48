// vexilo-cli as a user runs it: the built program, its output and its exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Runs vexilo-cli with the arguments; `output` gets standard output and standard error.
int Cli(const std::string& arguments, std::string* output = nullptr) {
  std::string text;
  const int status = testsupport::RunCommand(std::string("'") + VEXILO_CLI_PATH + "' " + arguments + " 2>&1", &text);
  if (output) *output = text;
  return status;
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

// A 20 × 12 picture with colour and an alpha edge, as PAM (read by the PAM codec as
// A8R8G8B8, which every writer takes).
fs::path WritePicture(const testsupport::TempDir& dir) {
  std::string pam = "P7\nWIDTH 20\nHEIGHT 12\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x)
      pam += {char(x * 12), char(y * 20), char(100 + x + y), char(y == 0 ? 0 : 255)};
  const fs::path path = dir / "picture.pam";
  testsupport::WriteFileBytes(path, std::vector<uint8_t>(pam.begin(), pam.end()));
  return path;
}

}  // namespace

TEST(Cli, InfoDescribesEachFile) {
  testsupport::TempDir dir;
  const fs::path picture = WritePicture(dir);
  ASSERT_EQ(Cli("transcode " + Quote(picture) + " " + Quote(dir / "p.tga")), 0);
  ASSERT_EQ(Cli("transcode " + Quote(picture) + " " + Quote(dir / "p.CUR")), 0);
  testsupport::WriteFileBytes(dir / "junk.bin", {'j', 'u', 'n', 'k'});

  std::string output;
  EXPECT_EQ(Cli("info " + Quote(dir / "p.tga") + " " + Quote(dir / "p.CUR") + " " + Quote(picture), &output), 0);
  EXPECT_EQ(output, (dir / "p.tga").string() + ": tga 20x12 A8R8G8B8\n" + (dir / "p.CUR").string() +
                        ": cur 20x12 A8R8G8B8\n" + picture.string() + ": pam 20x12 A8R8G8B8\n");

  EXPECT_EQ(Cli("info " + Quote(dir / "junk.bin"), &output), 1);
  EXPECT_EQ(output, (dir / "junk.bin").string() + ": unsupported\n");
  EXPECT_EQ(Cli("info " + Quote(dir / "missing.tga"), &output), 1);
  EXPECT_NE(output.find("no such file"), std::string::npos);
  testsupport::WriteFileBytes(dir / "bad.ico", {0, 0, 9, 0, 1, 0});
  EXPECT_EQ(Cli("info " + Quote(dir / "bad.ico"), &output), 1);
  EXPECT_NE(output.find("Not a valid icon file header."), std::string::npos);
  EXPECT_EQ(Cli("info", &output), 2);
}

TEST(Cli, TranscodeConvertsBetweenTheFormats) {
  testsupport::TempDir dir;
  const fs::path picture = WritePicture(dir);
  const std::vector<std::string> writable = {"tga", "pgm", "ppm", "pam", "pfm", "ico", "cur", "bmp", "webp",
                                             "avif", "heic", "jxl"};
  std::vector<fs::path> sources;
  for (const std::string& extension : writable) {
    const fs::path source = dir / ("source." + extension);
    std::string output;
    ASSERT_EQ(Cli("transcode " + Quote(picture) + " " + Quote(source), &output), 0) << extension << ": " << output;
    sources.push_back(source);
  }
  // Read-only formats, written by other programs.
  const std::string pbm = std::string("P4\n20 12\n") + std::string(36, '\x5A');
  testsupport::WriteFileBytes(dir / "source.pbm", std::vector<uint8_t>(pbm.begin(), pbm.end()));
  sources.push_back(dir / "source.pbm");
  if (testsupport::HaveTool("convert")) {
    for (const char* extension : {"pcx", "xpm"}) {
      const fs::path source = dir / (std::string("source.") + extension);
      ASSERT_EQ(testsupport::RunCommand("convert " + Quote(picture) + " " + Quote(source)), 0);
      sources.push_back(source);
    }
  }

  for (const fs::path& source : sources)
    for (const std::string& extension : writable) {
      const fs::path target = dir / ("target." + extension);
      std::string output;
      ASSERT_EQ(Cli("transcode " + Quote(source) + " " + Quote(target), &output), 0)
          << source.filename() << " -> " << extension << ": " << output;
      ASSERT_EQ(Cli("info " + Quote(target), &output), 0) << output;
      EXPECT_NE(output.find(" 20x12 "), std::string::npos) << source.filename() << " -> " << extension << ": " << output;
    }
}

TEST(Cli, TranscodedPixelsMatchAnIndependentDecoder) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  testsupport::TempDir dir;
  const fs::path picture = WritePicture(dir);
  ASSERT_EQ(Cli("transcode " + Quote(picture) + " " + Quote(dir / "a.tga")), 0);
  ASSERT_EQ(Cli("transcode " + Quote(dir / "a.tga") + " " + Quote(dir / "b.ico")), 0);
  imaging::Image expected, actual;
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(picture, expected));
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(dir / "a.tga", actual));
  EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
  actual.Reset();
  // The icon's bottom-left colour becomes transparent; the top row was transparent already.
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(dir / "b.ico", actual));
  EXPECT_EQ(imaging::GetPixel32(actual, 0, 11) >> 24, 0u);
  EXPECT_EQ(imaging::GetPixel32(actual, 5, 5), imaging::GetPixel32(expected, 5, 5));
}

TEST(Cli, TranscodeFailuresSayWhy) {
  testsupport::TempDir dir;
  const fs::path picture = WritePicture(dir);
  std::string output;
  EXPECT_EQ(Cli("transcode " + Quote(picture) + " " + Quote(dir / "out.pcx"), &output), 1);
  EXPECT_NE(output.find("out.pcx"), std::string::npos) << output;
  EXPECT_EQ(Cli("transcode " + Quote(picture) + " " + Quote(dir / "out.xyz"), &output), 1);
  EXPECT_EQ(Cli("transcode " + Quote(dir / "missing.tga") + " " + Quote(dir / "out.tga"), &output), 1);
  EXPECT_NE(output.find("missing.tga"), std::string::npos) << output;
  testsupport::WriteFileBytes(dir / "cut.tga", {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 32, 40});
  EXPECT_EQ(Cli("transcode " + Quote(dir / "cut.tga") + " " + Quote(dir / "out.tga"), &output), 1);
  EXPECT_NE(output.find("Error while loading images from file"), std::string::npos) << output;
  EXPECT_EQ(Cli("transcode " + Quote(picture), &output), 2);
  EXPECT_FALSE(fs::exists(dir / "out.tga"));
  EXPECT_FALSE(fs::exists(dir / "out.pcx"));
}
