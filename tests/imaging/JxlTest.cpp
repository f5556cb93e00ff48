#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <jxl/encode.h>

#include "imaging/Codec.h"
#include "imaging/Headers.h"
#include "imaging/Orientation.h"
#include "imaging/formats/Jxl.h"
#include "tests/imaging/CodecTestHelpers.h"
#include "tests/imaging/CodecTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

// Effort 3 keeps the encoder quick; the files stay valid at every effort.
std::vector<uint8_t> SaveJxl(const Image& image, int32_t quality, bool lossless, int32_t effort = 3) {
  CodecOptions options = CurrentOptions();
  options.jxl = {quality, effort, lossless};
  MemoryStream stream;
  EXPECT_TRUE(SaveImageToStream("jxl", stream, image, options));
  return stream.Data();
}

void LoadJxl(const std::vector<uint8_t>& bytes, std::vector<Image>& images, LoadFacts* facts = nullptr) {
  MemoryStream stream(bytes);
  std::string error;
  try {
    ASSERT_TRUE(codectest::CodecFor("jxl").LoadFromStream(stream, images, true, CurrentOptions(), facts));
  } catch (const ImagingError& e) {
    FAIL() << e.what();
  }
  ASSERT_EQ(images.size(), 1u);
}

ImageHeader HeaderOf(const std::vector<uint8_t>& bytes) {
  MemoryStream stream(bytes);
  ImageHeader header;
  EXPECT_TRUE(ReadImageHeader(stream, "jxl", CurrentOptions(), header));
  return header;
}

bool HaveJxlTools() { return testsupport::HaveTool("cjxl") && testsupport::HaveTool("djxl"); }

// A lossless file written through libjxl directly, for what the codec's writer does not make:
// a code-stream orientation (the writer stores pictures upright), a size above the limits.
std::vector<uint8_t> EncodeWithLibjxl(JxlBasicInfo info, const std::vector<uint8_t>& samples) {
  JxlEncoder* encoder = JxlEncoderCreate(nullptr);
  info.bits_per_sample = 8;
  info.uses_original_profile = JXL_TRUE;
  JxlColorEncoding srgb;
  JxlColorEncodingSetToSRGB(&srgb, info.num_color_channels == 1 ? JXL_TRUE : JXL_FALSE);
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
  const JxlPixelFormat format{info.num_color_channels, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  const bool ok = JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS &&
                  JxlEncoderSetColorEncoding(encoder, &srgb) == JXL_ENC_SUCCESS &&
                  JxlEncoderSetFrameLossless(settings, JXL_TRUE) == JXL_ENC_SUCCESS &&
                  JxlEncoderAddImageFrame(settings, &format, samples.data(), samples.size()) == JXL_ENC_SUCCESS;
  JxlEncoderCloseInput(encoder);
  std::vector<uint8_t> out(1 << 20);
  uint8_t* next = out.data();
  size_t available = out.size();
  const bool written = ok && JxlEncoderProcessOutput(encoder, &next, &available) == JXL_ENC_SUCCESS;
  JxlEncoderDestroy(encoder);
  EXPECT_TRUE(written);
  out.resize(size_t(next - out.data()));
  return out;
}

std::vector<uint8_t> OrientedFile(const Image& bgr, int orientation) {
  std::vector<uint8_t> rgb(size_t(bgr.Width()) * size_t(bgr.Height()) * 3);
  for (size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = bgr.Bits()[i + 2];
    rgb[i + 1] = bgr.Bits()[i + 1];
    rgb[i + 2] = bgr.Bits()[i];
  }
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = uint32_t(bgr.Width());
  info.ysize = uint32_t(bgr.Height());
  info.num_color_channels = 3;
  info.orientation = JxlOrientation(orientation);
  return EncodeWithLibjxl(info, rgb);
}

}  // namespace

// Every layout the writer takes comes back exactly, in its own format, and the header agrees.
TEST(Jxl, LosslessKeepsEverySampleOfEveryLayout) {
  for (PixelFormat format : {PixelFormat::R8G8B8, PixelFormat::A8R8G8B8, PixelFormat::R16G16B16,
                             PixelFormat::A16R16G16B16, PixelFormat::Gray8, PixelFormat::A8Gray8, PixelFormat::Gray16,
                             PixelFormat::A16Gray16}) {
    SCOPED_TRACE(FindFormatInfo(format)->Name);
    Image source;
    codectest::MakePicture(37, 23, format, source);
    const std::vector<uint8_t> file = SaveJxl(source, 90, true);
    std::vector<Image> images;
    LoadFacts facts;
    LoadJxl(file, images, &facts);
    EXPECT_FALSE(facts.profile) << "an sRGB file reports no profile";
    EXPECT_EQ(images[0].Format(), format);
    EXPECT_EQ(codectest::CompareSamples16(source, images[0]), "");
    const ImageHeader header = HeaderOf(file);
    EXPECT_EQ(header.Width, 37);
    EXPECT_EQ(header.Height, 23);
    EXPECT_EQ(header.Format, format);
  }
}

TEST(Jxl, LossyFollowsTheQuality) {
  EXPECT_FLOAT_EQ(formats::JxlDistanceForQuality(100), 0.1f);
  EXPECT_FLOAT_EQ(formats::JxlDistanceForQuality(80), 1.9f);
  EXPECT_FLOAT_EQ(formats::JxlDistanceForQuality(30), 6.4f);
  EXPECT_GT(formats::JxlDistanceForQuality(1), formats::JxlDistanceForQuality(29));
  Image source, expected;
  codectest::MakePhoto(64, 48, PixelFormat::A8R8G8B8, source);
  codectest::ToArgb(source, expected);
  const std::vector<uint8_t> fine = SaveJxl(source, 95, false);
  const std::vector<uint8_t> coarse = SaveJxl(source, 20, false);
  EXPECT_LT(coarse.size(), fine.size());
  for (const std::vector<uint8_t>* file : {&fine, &coarse}) {
    std::vector<Image> images;
    LoadJxl(*file, images);
    EXPECT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);
    Image actual;
    codectest::ToArgb(images[0], actual);
    EXPECT_GT(codectest::Psnr(expected, actual), file == &fine ? 38.0 : 24.0);
  }
}

// A lossless file keeps its profile byte for byte and its samples as they are; a lossy file
// of a space libjxl names decodes in that space with libjxl's profile of it.
TEST(Jxl, ColourProfilesTravelWithThePixels) {
  Image colour, gray;
  codectest::MakePicture(16, 16, PixelFormat::R8G8B8, colour);
  codectest::MakePicture(16, 16, PixelFormat::Gray8, gray);
  const struct {
    const char* name;
    const Image* image;
    std::vector<uint8_t> profile;
    bool lossless;
  } cases[] = {
      {"Display P3, lossless", &colour, testsupport::DisplayP3Profile(), true},
      {"gray gamma 1.8, lossless", &gray, testsupport::GrayProfile(1.8), true},
      {"Display P3, lossy", &colour, testsupport::DisplayP3Profile(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CodecOptions options = CurrentOptions();
    options.jxl = {90, 3, c.lossless};
    options.profile = MakeColorProfile(c.profile);
    ASSERT_TRUE(options.profile);
    MemoryStream stream;
    ASSERT_TRUE(SaveImageToStream("jxl", stream, *c.image, options));
    std::vector<Image> images;
    LoadFacts facts;
    LoadJxl(stream.Data(), images, &facts);
    ASSERT_TRUE(facts.profile);
    if (c.lossless) {
      EXPECT_EQ(*facts.profile, c.profile);
      EXPECT_EQ(codectest::CompareSamples16(*c.image, images[0]), "");
    }
  }
}

// The orientation of the code stream is applied by libjxl: the picture comes upright, the load
// reports 1, and the header gives the turned size.
TEST(Jxl, OrientationOfTheCodeStreamIsApplied) {
  Image source;
  codectest::MakePicture(40, 24, PixelFormat::R8G8B8, source);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const std::vector<uint8_t> file = OrientedFile(source, orientation);
    Image expected;
    ASSERT_TRUE(CopyImage(source, expected));
    ASSERT_TRUE(OrientImage(expected, orientation));
    std::vector<Image> images;
    LoadFacts facts;
    LoadJxl(file, images, &facts);
    EXPECT_EQ(facts.orientation, 1);
    EXPECT_EQ(testsupport::CompareImages(expected, images[0]), "");
    const ImageHeader header = HeaderOf(file);
    EXPECT_EQ(header.Width, expected.Width());
    EXPECT_EQ(header.Height, expected.Height());
    EXPECT_EQ(header.Orientation, 1);
  }
}

// Files cjxl writes decode as djxl decodes them (16-bit PNG for deep files), at the nearest
// format, within the loss of the source; the header agrees with the load.
TEST(Jxl, ReadsWhatCjxlWritesAsDjxlDoes) {
  if (!HaveJxlTools()) GTEST_SKIP() << "cjxl/djxl not installed";
  testsupport::TempDir dir;
  Image rgb, rgba, wide, gray, second, rgbArgb;
  codectest::MakePhoto(64, 48, PixelFormat::R8G8B8, rgb);
  codectest::MakePhoto(64, 48, PixelFormat::A8R8G8B8, rgba);
  codectest::MakePhoto(64, 48, PixelFormat::R16G16B16, wide);
  codectest::MakePhoto(64, 48, PixelFormat::Gray8, gray);
  codectest::MakePicture(64, 48, PixelFormat::R8G8B8, second, 2);
  codectest::ToArgb(rgb, rgbArgb);
  const auto png = [&](const char* name, const Image& image) {
    return codectest::Quoted(codectest::WriteTemp(dir, name, codectest::SaveImageBytes("png", image)));
  };
  std::vector<Image> frames(2);
  ASSERT_TRUE(CopyImage(rgb, frames[0]));
  ASSERT_TRUE(CopyImage(second, frames[1]));
  const std::string gif =
      codectest::Quoted(codectest::WriteTemp(dir, "animation.gif", codectest::SaveBytes("gif", frames)));
  struct Case {
    const char* name;
    std::string command;  // writes file.jxl
    PixelFormat native;
    bool exact;     // the source's samples, else above `psnr` dB against rgb
    double psnr;
  } cases[] = {
      {"lossless", "cjxl -d 0 -e 3 " + png("rgb.png", rgb), PixelFormat::R8G8B8, true, 0},
      {"lossless with alpha", "cjxl -d 0 -e 3 " + png("rgba.png", rgba), PixelFormat::A8R8G8B8, true, 0},
      {"lossless 16 bits", "cjxl -d 0 -e 3 " + png("wide.png", wide), PixelFormat::R16G16B16, true, 0},
      {"lossless gray", "cjxl -d 0 -e 3 " + png("gray.png", gray), PixelFormat::Gray8, true, 0},
      {"lossy distance 1", "cjxl -d 1 -e 3 " + png("rgb.png", rgb), PixelFormat::R8G8B8, false, 34},
      {"lossy quality 50", "cjxl -q 50 -e 3 " + png("rgb.png", rgb), PixelFormat::R8G8B8, false, 28},
      {"lossy with alpha", "cjxl -d 1 -e 3 " + png("rgba.png", rgba), PixelFormat::A8R8G8B8, false, 30},
      {"animation gives its first frame", "cjxl -d 0 -e 3 " + gif, PixelFormat::A8R8G8B8, false, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / "file.jxl";
    ASSERT_TRUE(codectest::RunQuietly(c.command + " " + codectest::Quoted(file)));
    std::vector<Image> images;
    LoadJxl(testsupport::ReadFileBytes(file), images);
    EXPECT_EQ(images[0].Format(), c.native);
    Image actual;
    codectest::ToArgb(images[0], actual);
    if (c.exact) {
      const Image& source = c.native == PixelFormat::A8R8G8B8 ? rgba
                            : c.native == PixelFormat::R16G16B16 ? wide
                            : c.native == PixelFormat::Gray8    ? gray
                                                                : rgb;
      EXPECT_EQ(codectest::CompareSamples16(source, images[0]), "");
    } else if (c.psnr >= 99) {
      // The GIF's own first frame (its palette is the loss), shown as the GIF decoder shows it.
      Image firstFrame;
      ASSERT_TRUE(codectest::LoadFirst(dir / "animation.gif", firstFrame));
      EXPECT_EQ(codectest::CompareVisible(firstFrame, actual), "");
    } else {
      EXPECT_GT(codectest::Psnr(rgbArgb, actual), c.psnr);
    }

    const fs::path decoded = dir / "djxl.png";
    ASSERT_TRUE(codectest::RunQuietly("djxl " + codectest::Quoted(file) + " " + codectest::Quoted(decoded)));
    std::vector<Image> reference;
    ASSERT_TRUE(codectest::LoadFile("png", decoded, reference));
    Image referenceArgb;
    codectest::ToArgb(reference[0], referenceArgb);
    EXPECT_EQ(codectest::CompareVisible(referenceArgb, actual), "");

    EXPECT_EQ(DetectFileFormat(file.string()), "jxl");
    ImageHeader header;
    ASSERT_TRUE(ReadImageHeader(file.string(), "jxl", CurrentOptions(), header));
    EXPECT_EQ(header.Width, images[0].Width());
    EXPECT_EQ(header.Height, images[0].Height());
    EXPECT_EQ(header.Format, images[0].Format());
  }
}

// djxl reads what the codec writes: lossless exactly, lossy above a PSNR; and quality 80 gives
// a file of about the size `cjxl -q 80` gives at the same effort.
TEST(Jxl, DjxlReadsWhatWeWriteAndQualityMatchesCjxl) {
  if (!HaveJxlTools()) GTEST_SKIP() << "cjxl/djxl not installed";
  testsupport::TempDir dir;
  Image source, expected;
  codectest::MakePhoto(128, 96, PixelFormat::A8R8G8B8, source);
  codectest::ToArgb(source, expected);
  for (bool lossless : {false, true}) {
    SCOPED_TRACE(lossless ? "lossless" : "lossy");
    const fs::path jxl = codectest::WriteTemp(dir, "ours.jxl", SaveJxl(source, 90, lossless));
    const fs::path png = dir / "djxl.png";
    ASSERT_TRUE(codectest::RunQuietly("djxl " + codectest::Quoted(jxl) + " " + codectest::Quoted(png)));
    Image decoded;
    ASSERT_TRUE(codectest::LoadFirst(png, decoded));
    if (lossless) EXPECT_EQ(testsupport::CompareImages(expected, decoded), "");
    else EXPECT_GT(codectest::Psnr(expected, decoded), 36.0);
  }
  Image opaque;
  codectest::MakePhoto(256, 192, PixelFormat::R8G8B8, opaque);
  const fs::path png = codectest::WriteTemp(dir, "photo.png", codectest::SaveImageBytes("png", opaque));
  const fs::path theirs = dir / "cjxl.jxl";
  ASSERT_TRUE(codectest::RunQuietly("cjxl -q 80 -e 7 " + codectest::Quoted(png) + " " + codectest::Quoted(theirs)));
  const double ours = double(SaveJxl(opaque, 80, false, 7).size());
  const double reference = double(fs::file_size(theirs));
  EXPECT_NEAR(ours / reference, 1.0, 0.1) << ours << " bytes, cjxl " << reference;
}

TEST(Jxl, DamagedFilesAreRefusedWithTheCause) {
  Image source;
  codectest::MakePhoto(40, 40, PixelFormat::R8G8B8, source);
  const std::vector<uint8_t> good = SaveJxl(source, 60, false);
  const std::vector<uint8_t> half(good.begin(), good.begin() + long(good.size() / 2));
  std::vector<uint8_t> damaged = good;
  for (size_t i = 4; i < damaged.size(); ++i) damaged[i] = uint8_t(i * 37);
  // A picture 70000 pixels wide: one row of gray.
  JxlBasicInfo wideInfo;
  JxlEncoderInitBasicInfo(&wideInfo);
  wideInfo.xsize = 70000;
  wideInfo.ysize = 1;
  wideInfo.num_color_channels = 1;
  const std::vector<uint8_t> tooWide = EncodeWithLibjxl(wideInfo, std::vector<uint8_t>(70000, 128));
  ASSERT_FALSE(tooWide.empty());
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* cause;
  } cases[] = {
      {"empty", {}, "JPEG XL Image"},
      {"a PNG file", codectest::SaveImageBytes("png", source), "JPEG XL Image"},
      {"file cut in half", half, "JPEG XL: the file is truncated"},
      {"scrambled after the header", damaged, "JPEG XL: the"},
      {"70000 pixels wide", tooWide, "65535"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Image> images;
    std::string error;
    EXPECT_FALSE(codectest::LoadBytes("jxl", c.bytes, images, &error));
    EXPECT_NE(error.find(c.cause), std::string::npos) << error;
  }
  MemoryStream stream(tooWide);
  ImageHeader header;
  try {
    ReadImageHeader(stream, "jxl", CurrentOptions(), header);
    ADD_FAILURE() << "the header of a picture 70000 pixels wide was read";
  } catch (const ImagingError& e) {
    EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos) << e.what();
  }
}

TEST(Jxl, EveryCutOrFlippedByteEndsInAnImageOrAMessage) {
  Image source;
  codectest::MakePhoto(24, 16, PixelFormat::A8R8G8B8, source);
  for (bool lossless : {false, true}) {
    SCOPED_TRACE(lossless ? "lossless" : "lossy");
    const std::vector<uint8_t> good = SaveJxl(source, 60, lossless);
    for (size_t size = 0; size < good.size(); ++size) {
      std::vector<Image> images;
      std::string error;
      EXPECT_FALSE(codectest::LoadBytes("jxl", std::vector<uint8_t>(good.begin(), good.begin() + long(size)), images,
                                        &error));
      EXPECT_NE(error.find("JPEG XL"), std::string::npos) << size << ": " << error;
    }
    for (size_t at = 0; at < good.size(); ++at) {
      std::vector<uint8_t> flipped = good;
      flipped[at] ^= 0x5A;
      std::vector<Image> images;
      std::string error;
      if (codectest::LoadBytes("jxl", flipped, images, &error)) {
        ASSERT_EQ(images.size(), 1u);
        EXPECT_TRUE(IsImageValid(images[0]));
      } else {
        EXPECT_NE(error.find("JPEG XL"), std::string::npos) << at << ": " << error;
      }
    }
  }
}
