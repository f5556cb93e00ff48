#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "imaging/Codec.h"
#include "imaging/Headers.h"
#include "tests/imaging/CodecTestHelpers.h"
#include "tests/imaging/CodecTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> SaveWebP(const Image& image, int32_t quality, bool lossless) {
  CodecOptions options = CurrentOptions();
  options.webp = {quality, lossless};
  MemoryStream stream;
  EXPECT_TRUE(SaveImageToStream("webp", stream, image, options));
  return stream.Data();
}

void LoadWebP(const std::vector<uint8_t>& bytes, Image& argb, PixelFormat* native = nullptr) {
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(codectest::LoadBytes("webp", bytes, images, &error)) << error;
  ASSERT_EQ(images.size(), 1u);
  if (native) *native = images[0].Format();
  codectest::ToArgb(images[0], argb);
}

// Decodes a file with dwebp into a PAM file and reads that with our PAM reader.
bool DecodeWithDwebp(const testsupport::TempDir& dir, const fs::path& file, Image& argb) {
  const fs::path pam = dir / "dwebp.pam";
  if (testsupport::RunCommand("dwebp -quiet -pam '" + file.string() + "' -o '" + pam.string() + "' 2>/dev/null") != 0)
    return false;
  return codectest::LoadFirst(pam, argb);
}

bool HaveWebPTools() { return testsupport::HaveTool("cwebp") && testsupport::HaveTool("dwebp"); }

}  // namespace

TEST(WebP, LosslessKeepsEveryPixelAndAlpha) {
  for (PixelFormat format : {PixelFormat::R8G8B8, PixelFormat::A8R8G8B8}) {
    Image source, expected, actual;
    codectest::MakePicture(37, 23, format, source);
    codectest::ToArgb(source, expected);
    PixelFormat native = PixelFormat::Unknown;
    LoadWebP(SaveWebP(source, 90, true), actual, &native);
    EXPECT_EQ(native, format);
    EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
  }
}

TEST(WebP, LossyFollowsTheQualityAndKeepsAlphaExactly) {
  Image source, expected;
  codectest::MakePhoto(96, 64, PixelFormat::A8R8G8B8, source);
  codectest::ToArgb(source, expected);
  const std::vector<uint8_t> fine = SaveWebP(source, 95, false);
  const std::vector<uint8_t> coarse = SaveWebP(source, 10, false);
  EXPECT_LT(coarse.size(), fine.size());
  Image actual;
  LoadWebP(fine, actual);
  EXPECT_GT(codectest::Psnr(expected, actual), 30.0);
  // Alpha is coded losslessly even in a lossy file.
  for (int32_t y = 0; y < expected.Height(); ++y)
    for (int32_t x = 0; x < expected.Width(); ++x)
      ASSERT_EQ(Color32Alpha(GetPixel32(expected, x, y)), Color32Alpha(GetPixel32(actual, x, y))) << x << "," << y;
}

TEST(WebP, HeaderReaderAgreesWithTheDecoder) {
  testsupport::TempDir dir;
  Image rgb, argb;
  codectest::MakePhoto(50, 30, PixelFormat::R8G8B8, rgb);
  codectest::MakePhoto(50, 30, PixelFormat::A8R8G8B8, argb);
  struct Case {
    const char* name;
    const Image* image;
    bool lossless;
  } cases[] = {{"lossy.webp", &rgb, false},        // VP8
               {"lossless.webp", &rgb, true},      // VP8L
               {"alpha.webp", &argb, false},       // VP8X with ALPH
               {"alphaless.webp", &argb, true}};   // VP8L with alpha
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = codectest::WriteTemp(dir, c.name, SaveWebP(*c.image, 80, c.lossless));
    EXPECT_EQ(DetectFileFormat(path.string()), "webp");
    ImageHeader header;
    ASSERT_TRUE(ReadImageHeader(path.string(), "webp", CurrentOptions(), header));
    std::vector<Image> images;
    ASSERT_TRUE(codectest::LoadFile("webp", path, images));
    EXPECT_EQ(header.Width, images[0].Width());
    EXPECT_EQ(header.Height, images[0].Height());
    EXPECT_EQ(header.Format, images[0].Format());
  }
}

TEST(WebP, DamagedFilesAreRefusedWithTheCause) {
  Image source;
  codectest::MakePhoto(40, 40, PixelFormat::R8G8B8, source);
  const std::vector<uint8_t> good = SaveWebP(source, 80, false);
  std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  // A RIFF size that matches the cut file, so only the picture data end early.
  std::vector<uint8_t> cutData = truncated;
  const uint32_t riff = uint32_t(cutData.size() - 8);
  std::memcpy(cutData.data() + 4, &riff, 4);
  // An extended header announcing a 70000 x 70000 canvas.
  std::vector<uint8_t> huge = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0,
                               0, 0, 0, 0, 0x6F, 0x11, 0x01, 0x6F, 0x11, 0x01};
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* cause;
  } cases[] = {
      {"file cut in half", truncated, "truncated"},
      {"picture data cut", cutData, "WebP"},
      {"huge canvas", huge, "65535"},
      {"no chunks", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'}, "WebP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Image> images;
    std::string error;
    EXPECT_FALSE(codectest::LoadBytes("webp", c.bytes, images, &error));
    EXPECT_NE(error.find(c.cause), std::string::npos) << error;
  }
  testsupport::TempDir dir;
  const fs::path path = codectest::WriteTemp(dir, "huge.webp", huge);
  ImageHeader header;
  EXPECT_NE(codectest::ErrorOf([&] { ReadImageHeader(path.string(), "webp", CurrentOptions(), header); })
                .find("65535"),
            std::string::npos);
}

TEST(WebP, ReadsWhatCwebpWrites) {
  if (!HaveWebPTools()) GTEST_SKIP() << "cwebp/dwebp not installed";
  testsupport::TempDir dir;
  Image source, expected;
  codectest::MakePhoto(80, 48, PixelFormat::R8G8B8, source);
  codectest::ToArgb(source, expected);
  const fs::path png = codectest::WriteTemp(dir, "source.png", codectest::SaveImageBytes("png", source));
  for (const char* flags : {"-q 90", "-lossless"}) {
    SCOPED_TRACE(flags);
    const fs::path webp = dir / "cwebp.webp";
    ASSERT_EQ(testsupport::RunCommand(std::string("cwebp -quiet ") + flags + " '" + png.string() + "' -o '" +
                                      webp.string() + "' 2>/dev/null"),
              0);
    Image actual, reference;
    ASSERT_TRUE(codectest::LoadFirst(webp, actual));
    ASSERT_TRUE(DecodeWithDwebp(dir, webp, reference));
    // The same decoder as dwebp, so the same pixels; against the source, within the loss.
    EXPECT_EQ(testsupport::CompareImages(reference, actual), "");
    if (std::strcmp(flags, "-lossless") == 0) EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
    else EXPECT_GT(codectest::Psnr(expected, actual), 30.0);
  }
}

TEST(WebP, DwebpReadsWhatWeWrite) {
  if (!HaveWebPTools()) GTEST_SKIP() << "cwebp/dwebp not installed";
  testsupport::TempDir dir;
  Image source, expected;
  codectest::MakePhoto(64, 40, PixelFormat::A8R8G8B8, source);
  codectest::ToArgb(source, expected);
  for (bool lossless : {false, true}) {
    SCOPED_TRACE(lossless ? "lossless" : "lossy");
    const fs::path webp = codectest::WriteTemp(dir, "ours.webp", SaveWebP(source, 90, lossless));
    Image decoded;
    ASSERT_TRUE(DecodeWithDwebp(dir, webp, decoded));
    if (lossless) EXPECT_EQ(testsupport::CompareImages(expected, decoded), "");
    else EXPECT_GT(codectest::Psnr(expected, decoded), 30.0);
  }
}

TEST(WebP, AnimationGivesItsFirstFrame) {
  if (!testsupport::HaveTool("img2webp")) GTEST_SKIP() << "img2webp not installed";
  testsupport::TempDir dir;
  Image first, second, expected;
  codectest::MakePicture(30, 20, PixelFormat::R8G8B8, first, 1);
  codectest::MakePicture(30, 20, PixelFormat::R8G8B8, second, 2);
  codectest::ToArgb(first, expected);
  const fs::path a = codectest::WriteTemp(dir, "a.png", codectest::SaveImageBytes("png", first));
  const fs::path b = codectest::WriteTemp(dir, "b.png", codectest::SaveImageBytes("png", second));
  const fs::path anim = dir / "anim.webp";
  ASSERT_EQ(testsupport::RunCommand("img2webp -lossless '" + a.string() + "' '" + b.string() + "' -o '" +
                                    anim.string() + "' >/dev/null 2>&1"),
            0);
  Image actual;
  PixelFormat native = PixelFormat::Unknown;
  ASSERT_TRUE(codectest::LoadFirst(anim, actual, &native));
  EXPECT_EQ(native, PixelFormat::A8R8G8B8);
  EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
  ImageHeader header;
  ASSERT_TRUE(ReadImageHeader(anim.string(), "webp", CurrentOptions(), header));
  EXPECT_EQ(header.Width, 30);
  EXPECT_EQ(header.Format, PixelFormat::A8R8G8B8);
}

TEST(WebP, EveryCutOrFlippedByteEndsInAnImageOrAMessage) {
  Image source;
  codectest::MakePhoto(24, 16, PixelFormat::A8R8G8B8, source);
  for (bool lossless : {false, true}) {
    SCOPED_TRACE(lossless ? "lossless" : "lossy");
    const std::vector<uint8_t> good = SaveWebP(source, 60, lossless);
    for (size_t size = 0; size < good.size(); ++size) {
      std::vector<Image> images;
      std::string error;
      EXPECT_FALSE(codectest::LoadBytes("webp", std::vector<uint8_t>(good.begin(), good.begin() + long(size)), images,
                                        &error));
      EXPECT_NE(error.find("WebP"), std::string::npos) << size << ": " << error;
    }
    for (size_t at = 0; at < good.size(); ++at) {
      std::vector<uint8_t> flipped = good;
      flipped[at] ^= 0x5A;
      std::vector<Image> images;
      std::string error;
      if (codectest::LoadBytes("webp", flipped, images, &error)) {
        ASSERT_EQ(images.size(), 1u);
        EXPECT_TRUE(IsImageValid(images[0]));
      } else {
        EXPECT_FALSE(error.empty()) << at;
      }
    }
  }
}
