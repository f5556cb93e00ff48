#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "tests/imaging/CodecTestSupport.h"
#include "imaging/PixelFormats.h"

using namespace imaging;
using namespace codectest;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> BE32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::vector<uint8_t> kMngSignature = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const std::vector<uint8_t> kJngSignature = {0x8B, 'J', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::vector<uint8_t> Mhdr(uint32_t width, uint32_t height) {
  return Concat({BE32(width), BE32(height), BE32(0), BE32(0), BE32(0), BE32(0), BE32(1)});
}

std::vector<uint8_t> Jhdr(uint32_t width, uint32_t height, uint8_t colourType, uint8_t depth, uint8_t alphaDepth,
                          uint8_t alphaCompression) {
  return Concat({BE32(width), BE32(height), {colourType, depth, 8, 0, alphaDepth, alphaCompression, 0, 0}});
}

std::string ChunkTypes(const std::vector<Chunk>& chunks) {
  std::string types;
  for (const Chunk& c : chunks) types += (types.empty() ? "" : " ") + c.type;
  return types;
}

// An 8 x 4 baseline JPEG, gray or colour, written by our JPEG codec.
std::vector<uint8_t> SmallJpeg(PixelFormat format, int32_t width = 8, int32_t height = 4) {
  std::vector<Image> images;
  MakePicture(width, height, format, images.emplace_back());
  return SaveBytes("jpg", images);
}

}  // namespace

// ---- Real files -----------------------------------------------------------------------------

TEST(JngCodec, ImageMagickFilesLoadLikeImageMagickReadsThem) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const struct {
    const char* file;
    PixelFormat format;
  } cases[] = {
      {"input_gray.jng", PixelFormat::Gray8},          {"input_gray_idat.jng", PixelFormat::A8Gray8},
      {"input_gray_jdaa.jng", PixelFormat::A8Gray8},   {"input_gray_prog.jng", PixelFormat::Gray8},
      {"input_gray_prog_idat.jng", PixelFormat::A8Gray8}, {"input_gray_prog_jdaa.jng", PixelFormat::A8Gray8},
      {"input_idat.jng", PixelFormat::A8R8G8B8},       {"input_jdaa.jng", PixelFormat::A8R8G8B8},
      {"input_prog.jng", PixelFormat::R8G8B8},         {"input_prog_idat.jng", PixelFormat::A8R8G8B8},
      {"input_prog_jdaa.jng", PixelFormat::A8R8G8B8},  {"input_rose.jng", PixelFormat::R8G8B8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path path = testsupport::CorpusFile(std::string("imagemagick-jng-mng/jng/") + c.file);
    std::vector<Image> ours;
    std::string error;
    ASSERT_TRUE(LoadFile("jng", path, ours, &error)) << error;
    EXPECT_EQ(ours[0].Format(), c.format);
    EXPECT_EQ(ours[0].Width(), 70);
    EXPECT_EQ(ours[0].Height(), 46);
    Image expected;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(path, expected));
    EXPECT_EQ(ComparePixels64(expected, ours[0]), "");
    // The image list and `transcode` ask for A8R8G8B8 at once: the alpha must come along.
    imaging::CodecOptions argb = imaging::CurrentOptions();
    argb.library.loadOverrideFormat = PixelFormat::A8R8G8B8;
    std::vector<Image> direct;
    ASSERT_TRUE(LoadFile("jng", path, direct, &error, true, argb)) << error;
    EXPECT_EQ(ComparePixels64(expected, direct[0]), "");
  }
}

TEST(MngCodec, ImageMagickFileLoadsAllItsImages) {
  VEXILO_REQUIRE_CORPUS();
  const fs::path path = testsupport::CorpusFile("imagemagick-jng-mng/png/input.mng");
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(LoadFile("mng", path, images, &error)) << error;
  ASSERT_GE(images.size(), 2u);
  for (const Image& image : images) {
    EXPECT_EQ(image.Width(), 48);
    EXPECT_EQ(image.Height(), 48);
    EXPECT_EQ(image.Format(), PixelFormat::R8G8B8);
  }
  if (testsupport::HaveTool("convert")) {
    Image expected;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(path, expected));
    EXPECT_EQ(ComparePixels64(expected, images[0]), "");
  }
  std::vector<Image> first;
  ASSERT_TRUE(LoadFile("mng", path, first, nullptr, true));
  EXPECT_EQ(first.size(), 1u);
}

// ---- Hand-made files --------------------------------------------------------------------------

TEST(MngCodec, GlobalPaletteAndTransparencyServeEmptyChunks) {
  std::vector<uint8_t> file = kMngSignature;
  AppendChunk(file, "MHDR", Mhdr(2, 1));
  AppendChunk(file, "PLTE", {10, 20, 30, 40, 50, 60});
  AppendChunk(file, "tRNS", {0x80, 0xFF});
  AppendChunk(file, "IHDR", Concat({BE32(2), BE32(1), {8, 3, 0, 0, 0}}));
  AppendChunk(file, "PLTE", {});
  AppendChunk(file, "tRNS", {});
  AppendChunk(file, "IDAT", Deflate({0, 1, 0}));
  AppendChunk(file, "IEND", {});
  AppendChunk(file, "MEND", {});
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(LoadBytes("mng", file, images, &error)) << error;
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].Format(), PixelFormat::Index8);
  EXPECT_EQ(images[0].Palette()[0], 0x800A141Eu);
  EXPECT_EQ(images[0].Palette()[1], 0xFF28323Cu);
  EXPECT_EQ(images[0].Palette()[2], 0xFFFFFFFFu);
}

TEST(MngCodec, NoDatastreamGivesOneEmptyImageOfTheFrameSize) {
  std::vector<uint8_t> file = kMngSignature;
  AppendChunk(file, "MHDR", Mhdr(30, 20));
  AppendChunk(file, "FRAM", {1});
  AppendChunk(file, "MEND", {});
  std::vector<Image> images;
  ASSERT_TRUE(LoadBytes("mng", file, images));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].Width(), 30);
  EXPECT_EQ(images[0].Height(), 20);
  EXPECT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);

  // The same with an absurd frame size is refused.
  std::vector<uint8_t> huge = kMngSignature;
  AppendChunk(huge, "MHDR", Mhdr(100000, 100000));
  AppendChunk(huge, "MEND", {});
  std::string error;
  EXPECT_FALSE(LoadBytes("mng", huge, images, &error));
  EXPECT_NE(error.find("exceed the supported maximum"), std::string::npos) << error;
}

TEST(JngCodec, TwelveBitSamplesGiveBlackImageAndSmallAlphaIsStretched) {
  std::vector<uint8_t> twelve = kJngSignature;
  AppendChunk(twelve, "JHDR", Jhdr(5, 3, 10, 12, 0, 0));
  AppendChunk(twelve, "JDAT", {1, 2, 3});
  AppendChunk(twelve, "IEND", {});
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(LoadBytes("jng", twelve, images, &error)) << error;
  EXPECT_EQ(images[0].Format(), PixelFormat::R8G8B8);
  EXPECT_EQ(images[0].Width(), 5);
  EXPECT_EQ(std::vector<uint8_t>(images[0].Bits(), images[0].Bits() + images[0].Size()), std::vector<uint8_t>(45, 0));

  // JHDR says 4 x 2, so the deflated alpha is 4 x 2; the JPEG itself is 8 x 4.
  std::vector<uint8_t> stretched = kJngSignature;
  AppendChunk(stretched, "JHDR", Jhdr(4, 2, 14, 8, 8, 0));
  AppendChunk(stretched, "IDAT", Deflate({0, 10, 20, 30, 40, 0, 50, 60, 70, 80}));
  AppendChunk(stretched, "JDAT", SmallJpeg(PixelFormat::R8G8B8));
  AppendChunk(stretched, "IEND", {});
  ASSERT_TRUE(LoadBytes("jng", stretched, images, &error)) << error;
  ASSERT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);
  ASSERT_EQ(images[0].Width(), 8);
  ASSERT_EQ(images[0].Height(), 4);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x)
      EXPECT_EQ(images[0].Bits()[(y * 8 + x) * 4 + 3], (y / 2) * 40 + (x / 2) * 10 + 10) << x << "," << y;
}

TEST(JngCodec, BadFilesGiveClearErrors) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  };
  std::vector<Case> cases;
  {
    std::vector<uint8_t> f = kJngSignature;
    AppendChunk(f, "JDAT", SmallJpeg(PixelFormat::Gray8));
    cases.push_back({"jdat-before-jhdr", f, "JDAT chunk found before the image header."});
  }
  {
    std::vector<uint8_t> f = kJngSignature;
    AppendChunk(f, "JHDR", Jhdr(8, 4, 8, 8, 0, 0));
    AppendChunk(f, "JDAT", {0xFF, 0xD8, 0xFF, 0xD9, 0, 0, 0, 0, 0, 0});
    cases.push_back({"jdat-without-image", f, "JPEG Error: "});
  }
  {
    std::vector<uint8_t> f = kJngSignature;
    AppendChunk(f, "JHDR", {0, 0, 0, 8});
    cases.push_back({"short-jhdr", f, "JNG JHDR chunk holds 4 bytes instead of 16."});
  }
  {
    std::vector<uint8_t> f = kJngSignature;
    AppendChunk(f, "JHDR", Jhdr(8, 4, 12, 8, 8, 0));
    AppendChunk(f, "JDAT", SmallJpeg(PixelFormat::Gray8));
    AppendChunk(f, "IDAT", {1, 2, 3});
    cases.push_back({"corrupt-alpha", f, "zlib: "});
  }
  {
    std::vector<uint8_t> f = kMngSignature;
    AppendChunk(f, "MHDR", {0, 0, 0, 1});
    cases.push_back({"short-mhdr", f, "MNG header chunk holds 4 bytes instead of 28."});
  }
  {
    // Found by fuzzing: a header chunk of another name asked for a 3065 x 64991 frame and no
    // datastream followed, so the loader made an empty picture of 800 MB from 54 bytes.
    const std::vector<uint8_t> f = {
        0x8a, 0x4d, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x1c, 0x4d, 0x00, 0x45, 0x00, 0x00, 0x00,
        0x0b, 0xf9, 0x00, 0x00, 0xfd, 0xdf, 0x00, 0x0a, 0x54, 0x45, 0x52, 0x8a, 0x4d, 0x4e, 0x47, 0x0d, 0x0a, 0x1a,
        0x0a, 0x00, 0x20, 0x00, 0x2e, 0x00, 0x00, 0x00, 0x00, 0x00, 0x48, 0x44, 0x52, 0x45, 0x52, 0x00, 0x00, 0x4d};
    cases.push_back({"header-of-another-name", f, "MNG file starts with a "});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Image> images;
    std::string error;
    EXPECT_FALSE(LoadBytes(c.file[1] == 'M' ? "mng" : "jng", c.file, images, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

// ---- Writing --------------------------------------------------------------------------------

TEST(MngCodec, WritesHeaderAndOnePngDatastreamPerImage) {
  std::vector<Image> images;
  MakePicture(100, 50, PixelFormat::R8G8B8, images.emplace_back(), 1);
  MakePicture(80, 120, PixelFormat::Gray16, images.emplace_back(), 2);
  MakePicture(3, 3, PixelFormat::Index8, images.emplace_back(), 3);
  const std::vector<uint8_t> file = SaveBytes("mng", images);
  const std::vector<Chunk> chunks = ListChunks(file);
  EXPECT_EQ(ChunkTypes(chunks), "MHDR IHDR IDAT IEND IHDR IDAT IEND IHDR PLTE IDAT IEND MEND");
  EXPECT_EQ(chunks[0].data, Concat({BE32(100), BE32(120), BE32(0), BE32(0), BE32(3), BE32(0), BE32(473)}));

  std::vector<Image> back;
  ASSERT_TRUE(LoadBytes("mng", file, back));
  ASSERT_EQ(back.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(ComparePixels64(images[i], back[i]), "") << i;

  // ImageMagick lays all images of a file without framing chunks over each other, so it
  // checks a file of one image.
  if (testsupport::HaveTool("convert")) {
    testsupport::TempDir dir;
    std::vector<Image> single;
    MakePicture(100, 50, PixelFormat::R8G8B8, single.emplace_back(), 1);
    testsupport::WriteFileBytes(dir / "out.mng", SaveBytes("mng", single));
    Image expected;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(dir / "out.mng", expected));
    EXPECT_EQ(ComparePixels64(expected, single[0]), "");
  }
}

TEST(JngCodec, WritesColourAndAlphaInBothEncodings) {
  std::vector<Image> images;
  MakePicture(40, 24, PixelFormat::A8R8G8B8, images.emplace_back());
  const struct {
    int32_t lossyAlpha;
    int32_t progressive;
    const char* chunks;
    uint8_t interlace;
    uint8_t alphaCompression;
  } cases[] = {{0, 0, "JHDR JDAT IDAT IEND", 0, 0}, {1, 1, "JHDR JDAT JDAA IEND", 8, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chunks);
    CodecOptions options = CurrentOptions();
    options.jng.lossyAlpha = c.lossyAlpha;
    options.jng.progressive = c.progressive;
    const std::vector<uint8_t> file = SaveBytes("jng", images, false, options);
    const std::vector<Chunk> chunks = ListChunks(file);
    EXPECT_EQ(ChunkTypes(chunks), c.chunks);
    EXPECT_EQ(chunks[0].data, Concat({BE32(40), BE32(24), {14, 8, 8, c.interlace, 8, c.alphaCompression, 0, 0}}));

    std::vector<Image> back;
    ASSERT_TRUE(LoadBytes("jng", file, back));
    ASSERT_EQ(back[0].Format(), PixelFormat::A8R8G8B8);
    int worstAlpha = 0;
    for (int32_t i = 0; i < 40 * 24; ++i)
      worstAlpha = std::max(worstAlpha, std::abs(images[0].Bits()[i * 4 + 3] - back[0].Bits()[i * 4 + 3]));
    if (c.lossyAlpha)
      EXPECT_LT(worstAlpha, 40);
    else
      EXPECT_EQ(worstAlpha, 0);
  }

  // The colour data are the JPEG our JPEG codec writes at the JNG quality.
  std::vector<Image> rgb;
  MakePicture(40, 24, PixelFormat::R8G8B8, rgb.emplace_back());
  CodecOptions options = CurrentOptions();
  options.jng.quality = 75;
  options.jpeg.quality = 75;
  const std::vector<Chunk> chunks = ListChunks(SaveBytes("jng", rgb, false, options));
  EXPECT_EQ(ChunkTypes(chunks), "JHDR JDAT IEND");
  EXPECT_TRUE(chunks[1].data == SaveBytes("jpg", rgb, false, options));
}

TEST(MngCodec, LossyCompressionWritesJngDatastreams) {
  CodecOptions options = CurrentOptions();
  options.mng.lossyCompression = true;
  std::vector<Image> images;
  MakePicture(16, 16, PixelFormat::A8Gray8, images.emplace_back());
  MakePicture(16, 8, PixelFormat::R16G16B16, images.emplace_back());
  const std::vector<uint8_t> file = SaveBytes("mng", images, false, options);
  EXPECT_EQ(ChunkTypes(ListChunks(file)), "MHDR JHDR JDAT IDAT IEND JHDR JDAT IEND MEND");
  std::vector<Image> back;
  ASSERT_TRUE(LoadBytes("mng", file, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].Format(), PixelFormat::A8Gray8);
  EXPECT_EQ(back[1].Format(), PixelFormat::R8G8B8);
}
