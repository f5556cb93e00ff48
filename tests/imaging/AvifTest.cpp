#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "imaging/Codec.h"
#include "imaging/Headers.h"
#include "tests/imaging/CodecTestHelpers.h"
#include "tests/imaging/CodecTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

// Speed 9 keeps the encoder quick; the files stay valid at every speed.
std::vector<uint8_t> SaveAvif(const Image& image, int32_t quality, bool lossless, int32_t speed = 9) {
  CodecOptions options = CurrentOptions();
  options.avif = {quality, speed, lossless};
  MemoryStream stream;
  EXPECT_TRUE(SaveImageToStream("avif", stream, image, options));
  return stream.Data();
}

void LoadAvif(const std::vector<uint8_t>& bytes, Image& argb, PixelFormat* native = nullptr) {
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(codectest::LoadBytes("avif", bytes, images, &error)) << error;
  ASSERT_EQ(images.size(), 1u);
  if (native) *native = images[0].Format();
  codectest::ToArgb(images[0], argb);
}

// Offset of the box that follows the leading file type box.
size_t BoxAfterFileType(const std::vector<uint8_t>& file) {
  return (size_t(file[0]) << 24) | (size_t(file[1]) << 16) | (size_t(file[2]) << 8) | size_t(file[3]);
}

bool HaveAvifTools() { return testsupport::HaveTool("avifenc") && testsupport::HaveTool("avifdec"); }

}  // namespace

TEST(Avif, LosslessKeepsEveryPixelAndAlpha) {
  for (PixelFormat format : {PixelFormat::R8G8B8, PixelFormat::A8R8G8B8}) {
    Image source, expected, actual;
    codectest::MakePicture(37, 23, format, source);
    codectest::ToArgb(source, expected);
    PixelFormat native = PixelFormat::Unknown;
    LoadAvif(SaveAvif(source, 60, true), actual, &native);
    EXPECT_EQ(native, format);
    EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
  }
  // An opaque picture with an alpha channel is stored without one.
  Image opaque, actual;
  codectest::MakePicture(37, 23, PixelFormat::R8G8B8, opaque);
  ASSERT_TRUE(ConvertImageFormat(opaque, PixelFormat::A8R8G8B8));
  PixelFormat native = PixelFormat::Unknown;
  LoadAvif(SaveAvif(opaque, 60, true), actual, &native);
  EXPECT_EQ(native, PixelFormat::R8G8B8);
}

TEST(Avif, LossyFollowsTheQualityAndKeepsAlphaExactly) {
  Image source, expected;
  codectest::MakePhoto(64, 48, PixelFormat::A8R8G8B8, source);
  codectest::ToArgb(source, expected);
  const std::vector<uint8_t> fine = SaveAvif(source, 90, false);
  const std::vector<uint8_t> coarse = SaveAvif(source, 20, false);
  EXPECT_LT(coarse.size(), fine.size());
  for (const std::vector<uint8_t>* file : {&fine, &coarse}) {
    Image actual;
    LoadAvif(*file, actual);
    EXPECT_GT(codectest::Psnr(expected, actual), file == &fine ? 38.0 : 25.0);
    // Transparency is coded losslessly even in a lossy file.
    for (int32_t y = 0; y < expected.Height(); ++y)
      for (int32_t x = 0; x < expected.Width(); ++x)
        ASSERT_EQ(Color32Alpha(GetPixel32(expected, x, y)), Color32Alpha(GetPixel32(actual, x, y))) << x << "," << y;
  }
}

// Files of other writers: libavif's avifenc in each layout it makes, libheif's own AVIF
// writer and ImageMagick. Each decodes like avifdec decodes it (the same AV1 decoder, so the same samples),
// within the loss of the source, at the nearest pixel format, and the header reader agrees.
TEST(Avif, ReadsWhatOtherEncodersWrite) {
  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc/avifdec not installed";
  testsupport::TempDir dir;
  Image rgb, rgba, wide, second, rgbArgb, rgbaArgb;
  codectest::MakePhoto(64, 48, PixelFormat::R8G8B8, rgb);
  codectest::MakePhoto(64, 48, PixelFormat::A8R8G8B8, rgba);
  codectest::MakePhoto(64, 48, PixelFormat::R16G16B16, wide);
  codectest::MakePicture(64, 48, PixelFormat::R8G8B8, second, 2);
  codectest::ToArgb(rgb, rgbArgb);
  codectest::ToArgb(rgba, rgbaArgb);
  const fs::path rgbPng = codectest::WriteTemp(dir, "rgb.png", codectest::SaveImageBytes("png", rgb));
  const fs::path rgbaPng = codectest::WriteTemp(dir, "rgba.png", codectest::SaveImageBytes("png", rgba));
  const fs::path widePng = codectest::WriteTemp(dir, "wide.png", codectest::SaveImageBytes("png", wide));
  const fs::path secondPng = codectest::WriteTemp(dir, "second.png", codectest::SaveImageBytes("png", second));
  const std::string avifenc = "avifenc -s 9 ";
  struct Case {
    const char* name;
    std::string command;  // writes file.avif
    PixelFormat native;
    const Image* exact;  // equal to this, or else within the loss of rgbArgb
  } cases[] = {
      {"lossless", avifenc + "-l " + codectest::Quoted(rgbPng), PixelFormat::R8G8B8, &rgbArgb},
      {"lossless with alpha", avifenc + "-l " + codectest::Quoted(rgbaPng), PixelFormat::A8R8G8B8, &rgbaArgb},
      {"lossy 4:2:0", avifenc + "--min 8 --max 8 -y 420 " + codectest::Quoted(rgbPng), PixelFormat::R8G8B8, nullptr},
      {"10 bits", avifenc + "-d 10 --min 8 --max 8 " + codectest::Quoted(widePng), PixelFormat::R16G16B16, nullptr},
      {"12 bits 4:2:2 with alpha", avifenc + "-d 12 -y 422 --min 8 --max 8 " + codectest::Quoted(rgbaPng),
       PixelFormat::A16R16G16B16, nullptr},
      {"gray", avifenc + "-y 400 --min 8 --max 8 " + codectest::Quoted(rgbPng), PixelFormat::Gray8, nullptr},
      // avifenc gives a sequence an alpha track, opaque here.
      {"sequence gives its first frame", avifenc + "-l " + codectest::Quoted(rgbPng) + " " + codectest::Quoted(secondPng),
       PixelFormat::A8R8G8B8, &rgbArgb},
      {"libheif's writer", "heif-enc -A -q 90 " + codectest::Quoted(rgbPng), PixelFormat::R8G8B8, nullptr},
      {"ImageMagick", "convert " + codectest::Quoted(rgbPng) + " -quality 90", PixelFormat::R8G8B8, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / "file.avif";
    fs::remove(file);
    const std::string tool = c.command.substr(0, c.command.find(' '));
    if (!testsupport::HaveTool(tool)) continue;
    ASSERT_TRUE(codectest::RunQuietly(c.command + (tool == "convert" ? " " : " -o ") + codectest::Quoted(file)));
    std::vector<Image> images;
    std::string error;
    ASSERT_TRUE(codectest::LoadFile("avif", file, images, &error)) << error;
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Format(), c.native);
    Image actual;
    codectest::ToArgb(images[0], actual);
    if (c.exact) {
      EXPECT_EQ(testsupport::CompareImages(*c.exact, actual), "");
    } else if (c.native != PixelFormat::Gray8) {
      EXPECT_GT(codectest::Psnr(rgbArgb, actual), 30.0);
    }

    const fs::path png = dir / "avifdec.png";
    ASSERT_TRUE(codectest::RunQuietly("avifdec " + codectest::Quoted(file) + " " + codectest::Quoted(png)));
    std::vector<Image> reference;
    ASSERT_TRUE(codectest::LoadFile("png", png, reference));
    EXPECT_EQ(codectest::CompareSamples16(reference[0], images[0]), "");

    EXPECT_EQ(DetectFileFormat(file.string()), "avif");
    ImageHeader header;
    ASSERT_TRUE(ReadImageHeader(file.string(), "avif", CurrentOptions(), header));
    EXPECT_EQ(header.Width, images[0].Width());
    EXPECT_EQ(header.Height, images[0].Height());
    EXPECT_EQ(header.Format, images[0].Format());
  }
}

// The irot and imir boxes turn and mirror the stored picture; libheif, which reads AVIF files
// too and applies them, shows the same.
TEST(Avif, TurnsAndMirrorsAsTheFileSays) {
  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc/avifdec not installed";
  testsupport::TempDir dir;
  Image source;
  codectest::MakePicture(40, 24, PixelFormat::R8G8B8, source);
  const fs::path png = codectest::WriteTemp(dir, "source.png", codectest::SaveImageBytes("png", source));
  const struct {
    int turns, mirror;
  } cases[] = {{1, -1}, {2, -1}, {3, -1}, {0, 0}, {0, 1}, {1, 0}, {3, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE("irot " + std::to_string(c.turns) + ", imir " + std::to_string(c.mirror));
    const fs::path file = dir / "turned.avif";
    std::string command = "avifenc -s 9 -l --irot " + std::to_string(c.turns);
    if (c.mirror >= 0) command += " --imir " + std::to_string(c.mirror);
    ASSERT_TRUE(codectest::RunQuietly(command + " " + codectest::Quoted(png) + " -o " + codectest::Quoted(file)));
    Image expected, actual;
    codectest::Transformed(source, c.turns, c.mirror, expected);
    ASSERT_TRUE(codectest::LoadFirst(file, actual));
    EXPECT_EQ(testsupport::CompareImages(expected, actual), "");
    ImageHeader header;
    ASSERT_TRUE(ReadImageHeader(file.string(), "avif", CurrentOptions(), header));
    EXPECT_EQ(header.Width, expected.Width());
    if (testsupport::HaveTool("heif-convert")) {
      const fs::path shown = dir / "shown.png";
      ASSERT_TRUE(codectest::RunQuietly("heif-convert " + codectest::Quoted(file) + " " + codectest::Quoted(shown)));
      Image libheif;
      ASSERT_TRUE(codectest::LoadFirst(shown, libheif));
      EXPECT_EQ(testsupport::CompareImages(libheif, actual), "");
    }
  }
}

TEST(Avif, AvifdecReadsWhatWeWrite) {
  if (!HaveAvifTools()) GTEST_SKIP() << "avifenc/avifdec not installed";
  testsupport::TempDir dir;
  Image source, expected;
  codectest::MakePhoto(64, 48, PixelFormat::A8R8G8B8, source);
  codectest::ToArgb(source, expected);
  for (bool lossless : {false, true}) {
    SCOPED_TRACE(lossless ? "lossless" : "lossy");
    const fs::path avif = codectest::WriteTemp(dir, "ours.avif", SaveAvif(source, 90, lossless));
    const fs::path png = dir / "avifdec.png";
    ASSERT_TRUE(codectest::RunQuietly("avifdec " + codectest::Quoted(avif) + " " + codectest::Quoted(png)));
    Image decoded;
    ASSERT_TRUE(codectest::LoadFirst(png, decoded));
    if (lossless) EXPECT_EQ(testsupport::CompareImages(expected, decoded), "");
    else EXPECT_GT(codectest::Psnr(expected, decoded), 38.0);
  }
}

TEST(Avif, DamagedFilesAreRefusedWithTheCause) {
  Image source;
  codectest::MakePhoto(40, 40, PixelFormat::R8G8B8, source);
  const std::vector<uint8_t> good = SaveAvif(source, 60, false);
  const std::vector<uint8_t> half(good.begin(), good.begin() + long(good.size() / 2));
  // The size of the box after the file type box (meta) stated far beyond the file's end.
  std::vector<uint8_t> longBox = good;
  const size_t second = BoxAfterFileType(good);
  ASSERT_LT(second + 4, good.size());
  longBox[second] = 0x7F;
  // The image spatial extents box stating 70000 x 70000 pixels.
  std::vector<uint8_t> huge = good;
  const auto ispe = std::search(huge.begin(), huge.end(), std::begin("ispe"), std::end("ispe") - 1);
  ASSERT_NE(ispe, huge.end());
  const uint8_t side[4] = {0x00, 0x01, 0x11, 0x70};  // 70000
  std::memcpy(&*ispe + 8, side, 4);
  std::memcpy(&*ispe + 12, side, 4);
  // The same box edited to sizes the coded 40 x 40 picture does not have: libavif would stretch
  // the picture to them.
  auto edited = [&](uint32_t width, uint32_t height) {
    std::vector<uint8_t> file = good;
    const auto box = std::search(file.begin(), file.end(), std::begin("ispe"), std::end("ispe") - 1);
    for (int i = 0; i < 4; ++i) {
      box[8 + i] = uint8_t(width >> (24 - 8 * i));
      box[12 + i] = uint8_t(height >> (24 - 8 * i));
    }
    return file;
  };
  std::vector<uint8_t> png = codectest::SaveImageBytes("png", source);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* cause;
  } cases[] = {
      {"size property 16384 x 16384", edited(16384, 16384),
       "AVIF: the size property of a picture (16384 x 16384) disagrees with its coded picture (40 x 40)"},
      {"size property 40 x 41", edited(40, 41), "disagrees with its coded picture"},
      {"empty", {}, "AVIF Image"},
      {"a PNG file", png, "AVIF Image"},
      {"file cut in half", half, "AVIF: the file is truncated"},
      {"box beyond the end", longBox, "AVIF: the file is truncated"},
      {"70000 x 70000 pixels", huge, "65535 pixels per side"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Image> images;
    std::string error;
    EXPECT_FALSE(codectest::LoadBytes("avif", c.bytes, images, &error));
    EXPECT_NE(error.find(c.cause), std::string::npos) << error;
  }
}

TEST(Avif, EveryCutOrFlippedByteEndsInAnImageOrAMessage) {
  Image source;
  codectest::MakePhoto(24, 16, PixelFormat::A8R8G8B8, source);
  for (bool lossless : {false, true}) {
    SCOPED_TRACE(lossless ? "lossless" : "lossy");
    const std::vector<uint8_t> good = SaveAvif(source, 60, lossless);
    for (size_t size = 0; size < good.size(); ++size) {
      std::vector<Image> images;
      std::string error;
      EXPECT_FALSE(codectest::LoadBytes("avif", std::vector<uint8_t>(good.begin(), good.begin() + long(size)), images,
                                        &error));
      EXPECT_NE(error.find("AVIF"), std::string::npos) << size << ": " << error;
    }
    for (size_t at = 0; at < good.size(); ++at) {
      std::vector<uint8_t> flipped = good;
      flipped[at] ^= 0x5A;
      std::vector<Image> images;
      std::string error;
      if (codectest::LoadBytes("avif", flipped, images, &error)) {
        ASSERT_EQ(images.size(), 1u);
        EXPECT_TRUE(IsImageValid(images[0]));
      } else {
        EXPECT_FALSE(error.empty()) << at;
      }
    }
  }
}
