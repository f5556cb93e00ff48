#include <gtest/gtest.h>

#include <cstring>

#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"
#include "imaging/formats/Dds.h"

using namespace imaging;
using namespace imaging::formats;

namespace {

const DdsCodec& Dds() { return *FindFormatByClass<DdsCodec>(); }

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A DDS header for an uncompressed RGB layout.
std::vector<uint8_t> RgbHeader(uint32_t width, uint32_t height, uint32_t flags, uint32_t pitch, uint32_t bits,
                               uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  std::vector<uint8_t> h(128, 0);
  std::memcpy(h.data(), "DDS ", 4);
  Put32(h, 4, 124);
  Put32(h, 8, flags);
  Put32(h, 12, height);
  Put32(h, 16, width);
  Put32(h, 20, pitch);
  Put32(h, 76, 32);
  Put32(h, 80, a ? 0x41 : 0x40);
  Put32(h, 88, bits);
  Put32(h, 92, r);
  Put32(h, 96, g);
  Put32(h, 100, b);
  Put32(h, 104, a);
  Put32(h, 108, 0x1000);
  return h;
}

void MakePattern(int32_t width, int32_t height, PixelFormat format, Image& image, int seed = 0) {
  ASSERT_TRUE(CreateImage(width, height, format, image));
  for (int32_t i = 0; i < image.Size(); ++i) image.Bits()[i] = uint8_t(i * 29 + seed * 71 + 5);
}

void ExpectMatchesReference(const Image& ours, const std::filesystem::path& png, int tolerance,
                            bool compareAlpha = true) {
  Image reference, argb;
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(png, reference)) << png;
  testsupport::CopyAsArgb(ours, argb);
  EXPECT_EQ(testsupport::CompareImages(reference, argb, tolerance, compareAlpha), "") << png;
}

}  // namespace

TEST(DdsCodec, CorpusTexturesGiveTheirSurfacesAndReportThem) {
  VEXILO_REQUIRE_CORPUS();
  struct Case {
    const char* file;
    PixelFormat format;  // Unknown: the load answers false
    size_t images;
    int32_t mipMaps;
  };
  const Case cases[] = {
      {"hopper.dds", PixelFormat::R8G8B8, 8, 8},
      {"bgr15.dds", PixelFormat::X1R5G5B5, 1, 1},
      {"uncompressed_l.dds", PixelFormat::Gray8, 1, 1},
      {"uncompressed_la.dds", PixelFormat::A8Gray8, 1, 1},
      {"dxt1-rgb-4bbp-noalpha_MipMaps-1.dds", PixelFormat::DXT1, 1, 1},
      {"dxt3-argb-8bbp-explicitalpha_MipMaps-1.dds", PixelFormat::DXT3, 1, 1},
      {"dxt5-argb-8bbp-interpolatedalpha_MipMaps-1.dds", PixelFormat::DXT5, 1, 1},
      {"ati1.dds", PixelFormat::ATI1N, 7, 7},
      {"ati2.dds", PixelFormat::ATI2N, 9, 9},
      {"palette.dds", PixelFormat::Unknown, 0, 0},
      {"bc1.dds", PixelFormat::Unknown, 0, 0},  // DX10 extension header
      {"unsupported_bitcount.dds", PixelFormat::Unknown, 0, 0},
      {"unimplemented_pfflags.dds", PixelFormat::Unknown, 0, 0},
  };
  for (const Case& c : cases) {
    const auto path = testsupport::CorpusFile(std::string("pillow-tests/") + c.file);
    std::vector<Image> images;
    LoadFacts facts;
    const bool loaded = Dds().LoadFromFile(path, images, false, CurrentOptions(), &facts);
    ASSERT_EQ(loaded, c.format != PixelFormat::Unknown) << c.file;
    if (!loaded) continue;
    ASSERT_EQ(images.size(), c.images) << c.file;
    EXPECT_EQ(images[0].Format(), c.format) << c.file;
    EXPECT_EQ(facts.dds.mipMapCount, c.mipMaps) << c.file;
    EXPECT_EQ(facts.dds.cubeMap, 0) << c.file;
    EXPECT_EQ(facts.dds.volume, 0) << c.file;
    // Every further level halves the size down to one pixel.
    for (size_t i = 1; i < images.size(); ++i) {
      int32_t w = std::max(1, images[0].Width() >> i), h = std::max(1, images[0].Height() >> i);
      FindFormatInfo(c.format)->CheckDimensions(c.format, w, h);
      EXPECT_EQ(images[i].Width(), w) << c.file << " level " << i;
      EXPECT_EQ(images[i].Height(), h) << c.file << " level " << i;
    }
  }
}

TEST(DdsCodec, SurfacesMatchTheReferenceImages) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  struct Case {
    const char* file;
    const char* reference;
    int tolerance;  // block decoders differ in the rounding of interpolated colours
  };
  const Case cases[] = {
      {"hopper.dds", "hopper.png", 0},
      {"bgr15.dds", "bgr15.png", 0},
      {"uncompressed_l.dds", "uncompressed_l.png", 0},
      {"uncompressed_la.dds", "uncompressed_la.png", 0},
      {"dxt1-rgb-4bbp-noalpha_MipMaps-1.dds", "dxt1-rgb-4bbp-noalpha_MipMaps-1.png", 1},
      {"dxt3-argb-8bbp-explicitalpha_MipMaps-1.dds", "dxt3-argb-8bbp-explicitalpha_MipMaps-1.png", 1},
      {"dxt5-argb-8bbp-interpolatedalpha_MipMaps-1.dds", "dxt5-argb-8bbp-interpolatedalpha_MipMaps-1.png", 1},
  };
  for (const Case& c : cases) {
    std::vector<Image> images;
    ASSERT_TRUE(Dds().LoadFromFile(testsupport::CorpusFile(std::string("pillow-tests/") + c.file), images))
        << c.file;
    ExpectMatchesReference(images[0], testsupport::CorpusFile(std::string("pillow-tests/") + c.reference),
                           c.tolerance);
  }
  // ATI1 holds one channel; the reference shows it as gray.
  std::vector<Image> ati1;
  ASSERT_TRUE(Dds().LoadFromFile(testsupport::CorpusFile("pillow-tests/ati1.dds"), ati1));
  ExpectMatchesReference(ati1[0], testsupport::CorpusFile("pillow-tests/ati1.png"), 1);
}

// Block-compressed textures of a size that is no whole number of 4 x 4 blocks, as ImageMagick
// writes them: the pictures have the size the file states and read as ImageMagick reads them.
TEST(DdsCodec, PartialBlocksAreCutToTheStatedSize) {
  testsupport::TempDir dir;
  {
    // 6 x 5 DXT1 with a 3 x 2 level: four red blocks, then one blue block.
    std::vector<uint8_t> file = RgbHeader(6, 5, 0xA1007, 40, 0, 0, 0, 0, 0);
    Put32(file, 28, 2);
    Put32(file, 80, 4);
    std::memcpy(file.data() + 84, "DXT1", 4);
    for (int i = 0; i < 4; ++i) file.insert(file.end(), {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0});
    file.insert(file.end(), {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0});
    testsupport::WriteFileBytes(dir / "partial.dds", file);
    std::vector<Image> images;
    ASSERT_TRUE(Dds().LoadFromFile(dir / "partial.dds", images));
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);
    EXPECT_EQ(images[0].Width() * 1000 + images[0].Height(), 6005);
    EXPECT_EQ(images[1].Width() * 1000 + images[1].Height(), 3002);
    EXPECT_EQ(GetPixel32(images[0], 5, 4), 0xFFFF0000u);
    EXPECT_EQ(GetPixel32(images[1], 2, 1), 0xFF0000FFu);
  }
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  for (const char* compression : {"dxt1", "dxt5"}) {
    SCOPED_TRACE(compression);
    const auto file = dir / (std::string(compression) + ".dds");
    const std::string command = std::string("convert -size 97x61 'gradient:rgba(255,0,0,1)-rgba(0,0,255,0.2)' "
                                            "-define dds:compression=") +
                                compression + " -define dds:mipmaps=0 '" + file.string() + "' 2>/dev/null";
    if (testsupport::RunCommand(command) != 0) GTEST_SKIP() << "ImageMagick could not write " << compression;
    std::vector<Image> images;
    ASSERT_TRUE(Dds().LoadFromFile(file, images));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Width(), 97);
    EXPECT_EQ(images[0].Height(), 61);
    ExpectMatchesReference(images[0], file, 1, std::string(compression) == "dxt5");
  }
}

TEST(DdsCodec, PaddedRowsOfTheMainSurfaceAreDropped) {
  // 3 x 2 pixels of 24 bits with rows padded to 12 bytes.
  std::vector<uint8_t> file = RgbHeader(3, 2, 0x100F, 12, 24, 0xFF0000, 0xFF00, 0xFF, 0);
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 12; ++i) file.push_back(i < 9 ? uint8_t(y * 9 + i + 1) : 0xEE);
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "padded.dds", file);
  std::vector<Image> images;
  ASSERT_TRUE(Dds().LoadFromFile(dir / "padded.dds", images));
  ASSERT_EQ(images[0].Format(), PixelFormat::R8G8B8);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(images[0].Bits()[i], i + 1) << i;
}

TEST(DdsCodec, RedFirstThirtyTwoBitDataIsSwapped) {
  std::vector<uint8_t> file = RgbHeader(2, 1, 0x1007, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
  for (uint8_t b : {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80}) file.push_back(b);
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "abgr.dds", file);
  std::vector<Image> images;
  ASSERT_TRUE(Dds().LoadFromFile(dir / "abgr.dds", images));
  ASSERT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);
  EXPECT_EQ(GetPixel32(images[0], 0, 0), 0x40102030u);
  EXPECT_EQ(GetPixel32(images[0], 1, 0), 0x80506070u);
}

TEST(DdsCodec, DamagedFilesAreRefusedWithAReason) {
  VEXILO_REQUIRE_CORPUS();
  const std::vector<uint8_t> hopper = testsupport::ReadFileBytes(testsupport::CorpusFile("pillow-tests/hopper.dds"));
  struct Case {
    const char* name;
    std::vector<std::pair<size_t, uint32_t>> patches;  // 32-bit values written at offsets
    size_t cut;                                        // the file is cut to this length when not 0
    const char* message;
  };
  const Case cases[] = {
      {"missing last level", {}, hopper.size() - 1, "truncated"},
      {"missing main surface", {}, 4000, "truncated"},
      {"huge height", {{12, 0x00FFFFFF}}, 0, "exceed"},
      {"zero width", {{16, 0}}, 0, "Invalid image dimensions"},
      {"absurd mipmap count", {{28, 1000}}, 0, "mipmap count"},
      {"pitch shorter than a row", {{20, 100}}, 0, "pitch"},
      {"cube map without faces", {{112, 0x200}}, 0, "no faces"},
      // 16384 x 16384 pixels behind a 64 KB file.
      {"small file, huge surface", {{12, 0x4000}, {16, 0x4000}, {20, 0}}, 0, "truncated"},
  };
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = hopper;
    if (c.cut) bytes.resize(c.cut);
    for (const auto& [offset, value] : c.patches) Put32(bytes, offset, value);
    const auto file = dir / "damaged.dds";
    testsupport::WriteFileBytes(file, bytes);
    std::vector<Image> images;
    try {
      Dds().LoadFromFile(file, images);
      ADD_FAILURE() << c.name << ": loaded";
    } catch (const ImagingError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
    }
    EXPECT_TRUE(images.empty()) << c.name;
  }
  // Pillow's time-outs: unknown layouts, impossible sizes and an absurd depth.
  for (const char* f : {"timeout-041dd17dfde800360a47a172269df127af138c6b.dds",
                        "timeout-52d106579505547091ef69b58341351a37c23e31.dds",
                        "timeout-755a4d204f4208e3597ac3391edebee196462bd0.dds",
                        "timeout-c60a3d7314213624607bfb3e38d551a8b24a7435.dds", "unimplemented_pixel_format.dds",
                        "zero_mask_totals.dds"}) {
    std::vector<Image> images;
    try {
      if (Dds().LoadFromFile(testsupport::CorpusFile(std::string("pillow-tests/") + f), images)) {
        EXPECT_TRUE(AreImagesValid(images)) << f;
      }
    } catch (const ImagingError&) {
      EXPECT_TRUE(images.empty()) << f;
    }
  }
}

TEST(DdsCodec, PlainTextureHeaderAndImageMagickReadsIt) {
  std::vector<Image> images;
  MakePattern(6, 5, PixelFormat::A8R8G8B8, images.emplace_back());
  testsupport::TempDir dir;
  const auto file = dir / "plain.dds";
  ASSERT_TRUE(Dds().SaveToFile(file, images, true));
  const std::vector<uint8_t> b = testsupport::ReadFileBytes(file);
  ASSERT_EQ(b.size(), 128u + 6 * 5 * 4);
  EXPECT_EQ(U32(b, 8), 0x81007u);
  EXPECT_EQ(U32(b, 12), 5u);
  EXPECT_EQ(U32(b, 16), 6u);
  EXPECT_EQ(U32(b, 20), 120u);
  EXPECT_EQ(U32(b, 28), 0u);
  EXPECT_EQ(U32(b, 80), 0x41u);
  EXPECT_EQ(U32(b, 88), 32u);
  EXPECT_EQ(U32(b, 92), 0xFF0000u);
  EXPECT_EQ(U32(b, 96), 0xFF00u);
  EXPECT_EQ(U32(b, 100), 0xFFu);
  EXPECT_EQ(U32(b, 104), 0xFF000000u);
  EXPECT_EQ(U32(b, 108), 0x1000u);
  if (testsupport::HaveTool("convert")) ExpectMatchesReference(images[0], file, 0);
}

TEST(DdsCodec, EverySavableLayoutRoundTrips) {
  const PixelFormat formats[] = {
      PixelFormat::Gray8,    PixelFormat::A8Gray8,      PixelFormat::Gray16,    PixelFormat::R3G3B2,
      PixelFormat::R5G6B5,   PixelFormat::A1R5G5B5,     PixelFormat::A4R4G4B4,  PixelFormat::X1R5G5B5,
      PixelFormat::X4R4G4B4, PixelFormat::R8G8B8,       PixelFormat::A8R8G8B8,  PixelFormat::X8R8G8B8,
      PixelFormat::A16B16G16R16, PixelFormat::R32F,     PixelFormat::A32B32G32R32F, PixelFormat::R16F,
      PixelFormat::A16B16G16R16F, PixelFormat::DXT1,    PixelFormat::DXT3,      PixelFormat::DXT5,
      PixelFormat::ATI1N,    PixelFormat::ATI2N,
  };
  testsupport::TempDir dir;
  for (PixelFormat format : formats) {
    std::vector<Image> images;
    MakePattern(8, 4, format, images.emplace_back());
    ASSERT_TRUE(Dds().SaveToFile(dir / "layout.dds", images, true)) << GetFormatName(format);
    std::vector<Image> back;
    ASSERT_TRUE(Dds().LoadFromFile(dir / "layout.dds", back)) << GetFormatName(format);
    ASSERT_EQ(back.size(), 1u);
    ASSERT_EQ(back[0].Format(), format) << GetFormatName(format);
    EXPECT_EQ(std::memcmp(back[0].Bits(), images[0].Bits(), size_t(images[0].Size())), 0) << GetFormatName(format);
  }
}

TEST(DdsCodec, MipmapsCubeMapsAndVolumesRoundTrip) {
  testsupport::TempDir dir;
  const auto file = dir / "levels.dds";
  struct Case {
    const char* name;
    int32_t cube, volume, mipMaps, depth;
    std::vector<int32_t> sizes;  // square image sizes in the array
    size_t surfaces;             // written and read back
    uint32_t caps2;
    int32_t loadedDepth;
  };
  const Case cases[] = {
      {"mipmaps", 0, 0, 1, 1, {8, 4, 2, 1}, 4, 0, 1},
      {"mipmaps beyond 1x1 are not written", 0, 0, 1, 1, {2, 1, 1}, 2, 0, 1},
      {"cube", 1, 0, 1, 6, {4, 4, 4, 4, 4, 4}, 6, 0xFE00, 6},
      {"cube with mipmaps", 1, 0, 2, 2, {4, 2, 4, 2}, 4, 0xE00, 2},
      {"cube with too few images is plain", 1, 0, 1, 6, {4, 2, 1}, 3, 0, 1},
      {"volume", 0, 1, 1, 3, {4, 4, 4}, 3, 0x200000, 3},
      {"volume with mipmaps", 0, 1, 2, 2, {4, 4, 2}, 3, 0x200000, 2},
  };
  for (const Case& c : cases) {
    CodecOptions options = CurrentOptions();
    options.dds = {c.cube != 0, c.volume != 0, c.mipMaps, c.depth};
    std::vector<Image> images;
    for (size_t i = 0; i < c.sizes.size(); ++i)
      MakePattern(c.sizes[i], c.sizes[i], PixelFormat::A8R8G8B8, images.emplace_back(), int(i));
    ASSERT_TRUE(Dds().SaveToFile(file, images, false, options)) << c.name;
    const std::vector<uint8_t> b = testsupport::ReadFileBytes(file);
    EXPECT_EQ(U32(b, 112), c.caps2) << c.name;
    std::vector<Image> back;
    LoadFacts facts;
    ASSERT_TRUE(Dds().LoadFromFile(file, back, false, CurrentOptions(), &facts)) << c.name;
    const bool plain = c.caps2 == 0;
    ASSERT_EQ(back.size(), c.surfaces) << c.name;
    for (size_t i = 0; i < back.size(); ++i) {
      ASSERT_EQ(back[i].Width(), images[i].Width()) << c.name << " surface " << i;
      EXPECT_EQ(std::memcmp(back[i].Bits(), images[i].Bits(), size_t(images[i].Size())), 0) << c.name << " surface " << i;
    }
    EXPECT_EQ(facts.dds.cubeMap, c.cube && !plain ? 1 : 0) << c.name;
    EXPECT_EQ(facts.dds.volume, c.volume) << c.name;
    EXPECT_EQ(facts.dds.depth, c.loadedDepth) << c.name;
    const uint32_t levels = U32(b, 28);
    EXPECT_EQ(facts.dds.mipMapCount, levels > 1 ? int32_t(levels) : 1) << c.name;
  }
}

TEST(DdsCodec, SurfacesOfAnotherSizeOrFormatAreFitted) {
  std::vector<Image> images;
  MakePattern(8, 8, PixelFormat::A8R8G8B8, images.emplace_back());
  MakePattern(3, 5, PixelFormat::R8G8B8, images.emplace_back());
  testsupport::TempDir dir;
  ASSERT_TRUE(Dds().SaveToFile(dir / "fitted.dds", images));
  std::vector<Image> back;
  ASSERT_TRUE(Dds().LoadFromFile(dir / "fitted.dds", back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].Format(), PixelFormat::A8R8G8B8);
  EXPECT_EQ(back[1].Width(), 4);
  EXPECT_EQ(back[1].Height(), 4);
}

TEST(DdsCodec, IndexedImagesAreSavedAsArgb) {
  std::vector<Image> images;
  Image& image = images.emplace_back();
  ASSERT_TRUE(CreateImage(4, 4, PixelFormat::Index8, image));
  for (int i = 0; i < 256; ++i) image.Palette()[i] = MakeColor32(255, uint8_t(i), uint8_t(i / 2), 7);
  for (int i = 0; i < 16; ++i) image.Bits()[i] = uint8_t(i * 16);
  testsupport::TempDir dir;
  ASSERT_TRUE(Dds().SaveToFile(dir / "indexed.dds", images, true));
  std::vector<Image> back;
  ASSERT_TRUE(Dds().LoadFromFile(dir / "indexed.dds", back));
  ASSERT_EQ(back[0].Format(), PixelFormat::A8R8G8B8);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(GetPixel32(back[0], i % 4, i / 4), image.Palette()[i * 16]);
}
