#include <gtest/gtest.h>

#include <cstring>

#include "tests/imaging/CodecTestHelpers.h"
#include "imaging/Codec.h"
#include "imaging/Headers.h"
#include "imaging/Orientation.h"
#include "tests/support/TestSupport.h"
#include "imaging/formats/Tiff.h"

using namespace imaging;
using namespace imaging::formats;

namespace {

const TiffCodec& Tiff() { return *FindFormatByClass<TiffCodec>(); }

std::filesystem::path Fixture(const std::string& name) { return testsupport::TestDataDir() / "tiff" / name; }

// ImageMagick's reading of a file; CMYK goes through an sRGB PNG, since the shared helper reads
// at most four channels.
bool DecodeReference(const std::filesystem::path& file, Image& image) {
  if (testsupport::DecodeWithImageMagick(file, image)) return true;
  testsupport::TempDir dir;
  const auto png = dir / "reference.png";
  return testsupport::RunCommand("convert '" + file.string() + "[0]' -colorspace sRGB '" + png.string() +
                                 "' 2>/dev/null") == 0 &&
         testsupport::DecodeWithImageMagick(png, image);
}

void ExpectSameAsImageMagick(const std::filesystem::path& file, const Image& ours, int tolerance) {
  Image reference, argb;
  ASSERT_TRUE(DecodeReference(file, reference)) << file;
  testsupport::CopyAsArgb(ours, argb);
  EXPECT_EQ(testsupport::CompareImages(reference, argb, tolerance), "") << file;
}

std::string TiffInfo(const std::filesystem::path& file) {
  std::string out;
  testsupport::RunCommand("tiffinfo '" + file.string() + "' 2>&1", &out);
  return out;
}

// Smooth colours that JPEG keeps close, with an alpha ramp.
void MakeGradient(int32_t width, int32_t height, PixelFormat format, Image& image) {
  Image argb;
  ASSERT_TRUE(CreateImage(width, height, PixelFormat::A8R8G8B8, argb));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      SetPixel32(argb, x, y,
                 MakeColor32(uint8_t(255 - x * 3), uint8_t(x * 255 / width), uint8_t(y * 255 / height), uint8_t(x + y)));
  ASSERT_TRUE(CreateImage(width, height, format, image));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      if (FindFormatInfo(format)->IsFloatingPoint) {
        const Color32 c = GetPixel32(argb, x, y);
        SetPixelFP(image, x, y,
                   ColorFP{Color32Blue(c) / 255.0f, Color32Green(c) / 255.0f, Color32Red(c) / 255.0f,
                           Color32Alpha(c) / 255.0f});
      } else if (format == PixelFormat::Index8) {
        image.Bits()[y * width + x] = uint8_t(x * 7 + y);
      } else {
        SetPixel32(image, x, y, GetPixel32(argb, x, y));
      }
    }
  if (image.Palette())
    for (int i = 0; i < 256; ++i) image.Palette()[i] = MakeColor32(255, uint8_t(i), uint8_t(i * 3), uint8_t(255 - i));
}

}  // namespace

TEST(TiffCodec, FilesOfOtherEncodersMatchImageMagick) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  struct Case {
    const char* file;
    PixelFormat format;
    int tolerance;
  };
  const Case cases[] = {
      {"rgb8.tif", PixelFormat::R8G8B8, 0},          {"rgba8.tif", PixelFormat::A8R8G8B8, 0},
      {"gray16_mm.tif", PixelFormat::Gray16, 1},     {"graya8.tif", PixelFormat::A8Gray8, 0},
      // The colour map's high bytes, as libtiff takes them; ImageMagick rounds.
      {"palette8.tif", PixelFormat::Index8, 1},      {"tiled.tif", PixelFormat::R8G8B8, 0},
      {"grayf32.tif", PixelFormat::A32R32G32B32F, 1}, {"grayf16.tif", PixelFormat::A16R16G16B16F, 1},
      {"grayaf32.tif", PixelFormat::A32R32G32B32F, 1}, {"bilevel_g4.tif", PixelFormat::Gray8, 0},
      // Float RGB, clamped and mapped to 16 bits:
      {"rgbf16.tif", PixelFormat::R16G16B16, 1},     {"rgbf32.tif", PixelFormat::R16G16B16, 1},
      {"rgbf64.tif", PixelFormat::R16G16B16, 1},
      // Through libtiff's RGBA reader:
      {"planar.tif", PixelFormat::A8R8G8B8, 0},
      {"cmyk.tif", PixelFormat::A8R8G8B8, 2},        {"ycbcr_jpeg.tif", PixelFormat::A8R8G8B8, 3},
  };
  for (const Case& c : cases) {
    std::vector<Image> images;
    ASSERT_TRUE(Tiff().LoadFromFile(Fixture(c.file), images)) << c.file;
    ASSERT_EQ(images.size(), 1u) << c.file;
    EXPECT_EQ(images[0].Format(), c.format) << c.file;
    ExpectSameAsImageMagick(Fixture(c.file), images[0], c.tolerance);
  }
}

// Float gray pages hold gray, not red: every colour channel takes the sample, so the page stays
// gray when the program converts it to A8R8G8B8.
TEST(TiffCodec, FloatGrayPagesConvertToGray) {
  struct Case {
    const char* file;
    bool alpha;
  };
  for (const Case c : {Case{"grayf32.tif", false}, Case{"grayf16.tif", false}, Case{"grayaf32.tif", true}}) {
    SCOPED_TRACE(c.file);
    std::vector<Image> images;
    ASSERT_TRUE(Tiff().LoadFromFile(Fixture(c.file), images));
    Image argb;
    codectest::ConvertToArgb(images[0], argb);
    EXPECT_EQ(codectest::FirstColouredPixel(argb), "");
    // The fixtures' alpha is 0 in the top row and grows downwards.
    EXPECT_EQ(Color32Alpha(GetPixel32(argb, 3, 0)), c.alpha ? 0 : 255);
    EXPECT_GT(Color32Alpha(GetPixel32(argb, 3, argb.Height() - 1)), c.alpha ? 200 : 254);
    if (!testsupport::HaveTool("convert")) continue;
    Image reference;
    ASSERT_TRUE(DecodeReference(Fixture(c.file), reference));
    EXPECT_EQ(testsupport::CompareImages(reference, argb, 1), "");
  }
}

TEST(TiffCodec, TheRgbaPathGivesWhatTiff2rgbaGives) {
  if (!testsupport::HaveTool("tiff2rgba")) GTEST_SKIP() << "libtiff tools missing";
  testsupport::TempDir dir;
  for (const char* name : {"bilevel_g4.tif", "planar.tif", "planar_orient4.tif", "cmyk.tif", "ycbcr_jpeg.tif"}) {
    const auto converted = dir / "rgba.tif";
    ASSERT_EQ(testsupport::RunCommand("tiff2rgba -c none '" + Fixture(name).string() + "' '" + converted.string() +
                                      "' 2>/dev/null"),
              0)
        << name;
    std::vector<Image> ours, theirs;
    LoadFacts facts;
    ASSERT_TRUE(Tiff().LoadFromFile(Fixture(name), ours, false, CurrentOptions(), &facts)) << name;
    ASSERT_TRUE(OrientImage(ours[0], facts.orientation));
    ASSERT_TRUE(Tiff().LoadFromFile(converted, theirs)) << name;
    ASSERT_EQ(theirs[0].Format(), PixelFormat::A8R8G8B8);
    EXPECT_EQ(testsupport::CompareImages(theirs[0], ours[0]), "") << name;
  }
}

// Every page comes as stored, with its orientation: the one transform turns pages of the RGBA
// reader (CMYK, separate planes, YCbCr/JPEG) as it turns those read row by row, transposing
// orientations 5 to 8 too.
TEST(TiffCodec, EveryLayoutReportsItsOrientationAndTurnsAlike) {
  if (!testsupport::HaveTool("tiffset")) GTEST_SKIP() << "libtiff tools missing";
  testsupport::TempDir dir;
  for (const char* name : {"cmyk.tif", "planar.tif", "ycbcr_jpeg.tif", "rgb8.tif", "bilevel_g4.tif"}) {
    std::vector<Image> stored;
    ASSERT_TRUE(Tiff().LoadFromFile(Fixture(name), stored)) << name;
    for (int orientation = 2; orientation <= 8; ++orientation) {
      SCOPED_TRACE(std::string(name) + " orientation " + std::to_string(orientation));
      const auto file = dir / "oriented.tif";
      testsupport::WriteFileBytes(file, testsupport::ReadFileBytes(Fixture(name)));
      ASSERT_EQ(testsupport::RunCommand("tiffset -s 274 " + std::to_string(orientation) + " '" + file.string() +
                                        "' 2>/dev/null"),
                0);
      std::vector<Image> ours;
      LoadFacts facts;
      ASSERT_TRUE(Tiff().LoadFromFile(file, ours, false, CurrentOptions(), &facts));
      EXPECT_EQ(facts.orientation, orientation);
      ASSERT_EQ(testsupport::CompareImages(stored[0], ours[0]), "");
      ImageHeader header;
      ASSERT_TRUE(ReadImageHeader(file.string(), "tif", CurrentOptions(), header));
      EXPECT_EQ(header.Orientation, orientation);
      ASSERT_TRUE(OrientImage(ours[0], facts.orientation));
      EXPECT_EQ(ours[0].Width(), orientation >= 5 ? 24 : 32);
      // ImageMagick turns RGB pages the same way (it misreads its own JPEG-compressed ones).
      if (std::string(name) == "planar.tif" && testsupport::HaveTool("convert")) {
        Image reference, argb;
        ASSERT_TRUE(testsupport::DecodeWithImageMagick(file, reference, "-auto-orient"));
        testsupport::CopyAsArgb(ours[0], argb);
        EXPECT_EQ(testsupport::CompareImages(reference, argb), "");
      }
    }
  }
}

TEST(TiffCodec, EveryPageIsOneImage) {
  std::vector<Image> images;
  ASSERT_TRUE(Tiff().LoadFromFile(Fixture("multipage.tif"), images, true));
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].Format(), PixelFormat::R8G8B8);
  EXPECT_EQ(images[1].Format(), PixelFormat::Gray8);
}

TEST(TiffCodec, FuzzedFilesFailCleanlyAndSilently) {
  VEXILO_REQUIRE_CORPUS();
  int refused = 0, loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testsupport::CorpusFile("imagetestsuite/tif"))) {
    std::vector<Image> images;
    testing::internal::CaptureStderr();
    try {
      if (Tiff().LoadFromFile(entry.path(), images)) {
        EXPECT_TRUE(AreImagesValid(images)) << entry.path();
        ++loaded;
      }
    } catch (const ImagingError& e) {
      EXPECT_TRUE(images.empty()) << entry.path();
      EXPECT_NE(std::string(e.what()).find("TIFF: "), std::string::npos) << e.what();
      ++refused;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << entry.path();
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(loaded, 0);
}

TEST(TiffCodec, DamagedFilesAreRefusedWithLibtiffsReason) {
  const std::vector<uint8_t> good = testsupport::ReadFileBytes(Fixture("rgb8.tif"));
  testsupport::TempDir dir;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 1200);
  std::vector<uint8_t> header(good.begin(), good.begin() + 6);
  Case cases[] = {
      {"rows cut off", truncated, "TIFF: "},
      {"no directory", header, "TIFF: "},
  };
  for (const Case& c : cases) {
    testsupport::WriteFileBytes(dir / "damaged.tif", c.bytes);
    std::vector<Image> images;
    testing::internal::CaptureStderr();
    try {
      Tiff().LoadFromFile(dir / "damaged.tif", images);
      ADD_FAILURE() << c.name << ": loaded";
    } catch (const ImagingError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
    EXPECT_TRUE(images.empty()) << c.name;
  }
}

TEST(TiffCodec, SmallFilesCannotClaimHugePages) {
  if (!testsupport::HaveTool("tiffset")) GTEST_SKIP() << "libtiff tools missing";
  testsupport::TempDir dir;
  const auto file = dir / "huge.tif";
  std::filesystem::copy_file(Fixture("cmyk.tif"), file);
  // 60000 x 4000 pixels behind 3 KB; the RGBA reader would need almost a gigabyte.
  ASSERT_EQ(testsupport::RunCommand("tiffset -s 256 60000 '" + file.string() + "' 2>/dev/null && tiffset -s 257 4000 '" +
                                    file.string() + "' && tiffset -s 278 4000 '" + file.string() + "' 2>/dev/null"),
            0);
  // 65535 x 12 pixels of 5001 samples behind 710 bytes: the image is small, but libtiff's RGBA
  // reader would decode a strip of gigabytes.
  for (const auto& path : {file, Fixture("huge-strip.tif")}) {
    std::vector<Image> images;
    try {
      Tiff().LoadFromFile(path, images);
      ADD_FAILURE() << path << " loaded";
    } catch (const ImagingError& e) {
      EXPECT_NE(std::string(e.what()).find("cannot come from a file"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(images.empty());
  }
}

TEST(TiffCodec, EveryCompressionSchemeIsWrittenAndReadBack) {
  if (!testsupport::HaveTool("tiffinfo") || !testsupport::HaveTool("convert")) GTEST_SKIP() << "tools missing";
  CodecOptions options = CurrentOptions();
  struct Case {
    int32_t scheme;
    PixelFormat format;
    const char* compression;  // as tiffinfo names it
    int tolerance;
  };
  const Case cases[] = {
      {0, PixelFormat::A8R8G8B8, "None", 0},     {1, PixelFormat::A8R8G8B8, "LZW", 0},
      {2, PixelFormat::A8R8G8B8, "PackBits", 0}, {3, PixelFormat::A8R8G8B8, "Deflate", 0},
      {4, PixelFormat::R8G8B8, "JPEG", 12},      {4, PixelFormat::Gray8, "JPEG", 12},
      // JPEG takes neither four samples nor palettes; such images fall back to LZW.
      {4, PixelFormat::A8R8G8B8, "LZW", 0},      {4, PixelFormat::Index8, "LZW", 0},
      {9, PixelFormat::R8G8B8, "LZW", 0},        {-1, PixelFormat::R8G8B8, "LZW", 0},
  };
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    options.tiff.compressionScheme = c.scheme;
    std::vector<Image> images;
    MakeGradient(40, 24, c.format, images.emplace_back());
    Image before;
    ASSERT_TRUE(CopyImage(images[0], before));
    const auto file = dir / "scheme.tif";
    ASSERT_TRUE(Tiff().SaveToFile(file, images, true, options)) << c.scheme;
    EXPECT_EQ(std::memcmp(before.Bits(), images[0].Bits(), size_t(images[0].Size())), 0) << "caller's image changed";
    const std::string info = TiffInfo(file);
    EXPECT_NE(info.find("Compression Scheme: " + std::string(c.compression)), std::string::npos)
        << c.scheme << " " << GetFormatName(c.format) << "\n" << info;
    std::vector<Image> back;
    ASSERT_TRUE(Tiff().LoadFromFile(file, back));
    if (c.tolerance == 0) {
      EXPECT_EQ(std::memcmp(back[0].Bits(), images[0].Bits(), size_t(images[0].Size())), 0) << c.scheme;
    }
    ExpectSameAsImageMagick(file, images[0], c.tolerance);
  }
}

TEST(TiffCodec, DefaultSaveIsOneLzwStripWithUnassociatedAlpha) {
  if (!testsupport::HaveTool("tiffinfo")) GTEST_SKIP() << "libtiff tools missing";
  std::vector<Image> images;
  MakeGradient(16, 10, PixelFormat::A8R8G8B8, images.emplace_back());
  testsupport::TempDir dir;
  ASSERT_TRUE(Tiff().SaveToFile(dir / "default.tif", images, true));
  const std::string info = TiffInfo(dir / "default.tif");
  for (const char* expected : {"Compression Scheme: LZW", "Photometric Interpretation: RGB color",
                               "Samples/Pixel: 4", "Bits/Sample: 8", "Rows/Strip: 10",
                               "Extra Samples: 1<unassoc-alpha>", "Planar Configuration: single image plane"})
    EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;
}

TEST(TiffCodec, EverySavableFormatRoundTrips) {
  struct Case {
    PixelFormat format;
    int tolerance;  // for ImageMagick's reading, -1 when it is not asked
  };
  const Case cases[] = {
      {PixelFormat::Index8, 0},       {PixelFormat::Gray8, 0},          {PixelFormat::A8Gray8, 0},
      {PixelFormat::Gray16, 1},       {PixelFormat::Gray32, 1},         {PixelFormat::A16Gray16, 1},
      {PixelFormat::R8G8B8, 0},       {PixelFormat::A8R8G8B8, 0},       {PixelFormat::R16G16B16, 1},
      {PixelFormat::A16R16G16B16, 1}, {PixelFormat::R32F, 1},           {PixelFormat::A32R32G32B32F, 1},
      {PixelFormat::R16F, -1},        {PixelFormat::A16R16G16B16F, -1},
  };
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(GetFormatName(c.format));
    std::vector<Image> images;
    MakeGradient(12, 7, c.format, images.emplace_back());
    const auto file = dir / "format.tif";
    ASSERT_TRUE(Tiff().SaveToFile(file, images, true));
    std::vector<Image> back;
    ASSERT_TRUE(Tiff().LoadFromFile(file, back));
    if (c.format == PixelFormat::R32F || c.format == PixelFormat::R16F) {
      // A one-channel float page is gray: its red value comes back in every colour channel.
      ASSERT_EQ(back[0].Format(), c.format == PixelFormat::R32F ? PixelFormat::A32R32G32B32F : PixelFormat::A16R16G16B16F);
      for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 12; ++x) {
          const float red = GetPixelFP(images[0], x, y).R;
          const ColorFP gray = GetPixelFP(back[0], x, y);
          EXPECT_TRUE(gray.R == red && gray.G == red && gray.B == red && gray.A == 1.0f) << x << "," << y;
        }
      if (c.tolerance >= 0 && testsupport::HaveTool("convert")) ExpectSameAsImageMagick(file, back[0], c.tolerance);
      continue;
    }
    ASSERT_EQ(back[0].Format(), c.format);
    EXPECT_EQ(std::memcmp(back[0].Bits(), images[0].Bits(), size_t(images[0].Size())), 0);
    if (images[0].Palette()) {
      EXPECT_EQ(std::memcmp(back[0].Palette(), images[0].Palette(), 1024), 0);
    }
    if (c.tolerance >= 0 && testsupport::HaveTool("convert")) ExpectSameAsImageMagick(file, images[0], c.tolerance);
  }
}

TEST(TiffCodec, SeveralImagesBecomeSeveralPages) {
  std::vector<Image> images;
  MakeGradient(8, 8, PixelFormat::R8G8B8, images.emplace_back());
  MakeGradient(5, 3, PixelFormat::Gray16, images.emplace_back());
  testsupport::TempDir dir;
  ASSERT_TRUE(Tiff().SaveToFile(dir / "pages.tif", images));
  std::vector<Image> back;
  ASSERT_TRUE(Tiff().LoadFromFile(dir / "pages.tif", back));
  ASSERT_EQ(back.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(back[i].Format(), images[i].Format());
    EXPECT_EQ(std::memcmp(back[i].Bits(), images[i].Bits(), size_t(images[i].Size())), 0) << i;
  }
}
