#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tests/imaging/CodecTestHelpers.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

// The reference decoding of a corpus file: its same-name PNG when there is one, else
// ImageMagick's reading of the file itself.
bool DecodeReference(const fs::path& file, Image& reference) {
  fs::path png = file;
  png.replace_extension(".png");
  // ImageMagick only notes the orientation of a Targa file unless told to apply it.
  return testsupport::DecodeWithImageMagick(fs::exists(png) ? png : file, reference, "-auto-orient");
}

std::vector<uint8_t> Header(uint8_t type, uint16_t width, uint16_t height, uint8_t depth, uint8_t desc,
                            uint8_t mapType = 0, uint16_t mapLength = 0, uint8_t entrySize = 0) {
  std::vector<uint8_t> h(18, 0);
  h[1] = mapType;
  h[2] = type;
  h[5] = static_cast<uint8_t>(mapLength);
  h[6] = static_cast<uint8_t>(mapLength >> 8);
  h[7] = entrySize;
  h[12] = static_cast<uint8_t>(width);
  h[13] = static_cast<uint8_t>(width >> 8);
  h[14] = static_cast<uint8_t>(height);
  h[15] = static_cast<uint8_t>(height >> 8);
  h[16] = depth;
  h[17] = desc;
  return h;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }

// A small picture with every channel varying, opaque.
void MakePicture(Image& image, int32_t width = 13, int32_t height = 5) {
  ASSERT_TRUE(CreateImage(width, height, PixelFormat::A8R8G8B8, image));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      SetPixel32(image, x, y, MakeColor32(255, uint8_t(x * 19), uint8_t(y * 50), uint8_t((x / 3) * 40)));
}

}  // namespace

TEST(Targa, CorpusFilesDecodeLikeTheReference) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  std::vector<fs::path> files;
  for (const char* dir : {"tga-ftrvxmtrx", "pillow-tests/tga/common"})
    for (const auto& entry : fs::directory_iterator(testsupport::CorpusFile(dir)))
      if (entry.path().extension() == ".tga") files.push_back(entry.path());
  for (const char* name : {"200x32_p_bl_raw_origin.tga", "cross_scan_line.tga", "p_16.tga", "rgb32rle.tga",
                           "rgb32rle_bottom_right.tga", "rgb32rle_top_right.tga", "rgba16.tga", "tga_id_field.tga"})
    files.push_back(testsupport::CorpusFile(std::string("pillow-tests/") + name));
  ASSERT_GT(files.size(), 40u);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    Image actual, expected;
    ASSERT_TRUE(codectest::LoadFirst(file, actual));
    const std::string name = file.filename().string();
    const size_t la = name.find("_la_");
    if (la != std::string::npos) {
      // ImageMagick misreads 16-bit gray files; their gray must match the 8-bit gray file of
      // the same picture, and their alpha must be there (the 16-bit references of
      // tga-ftrvxmtrx check the alpha itself).
      fs::path gray = file;
      gray.replace_filename(name.substr(0, la) + "_l_" + name.substr(la + 4));
      ASSERT_TRUE(DecodeReference(gray, expected));
      EXPECT_EQ(testsupport::CompareImages(expected, actual, 0, false), "");
      EXPECT_NE(Color32Alpha(GetPixel32(actual, 0, 0)), 255);
      continue;
    }
    ASSERT_TRUE(DecodeReference(file, expected));
    // 5-bit channels: bit replication here, within one level of it elsewhere.
    EXPECT_EQ(codectest::CompareVisible(expected, actual, 1), "");
  }
}

TEST(Targa, BrokenFilesAreRefusedCleanly) {
  VEXILO_REQUIRE_CORPUS();
  std::vector<fs::path> files = {testsupport::CorpusFile("pillow-tests/p_8.tga"),
                                 testsupport::CorpusFile("pillow-tests/cross_scan_line_truncated.tga")};
  for (const auto& entry : fs::directory_iterator(testsupport::CorpusFile("image-rs-tests/regression/tga")))
    files.push_back(entry.path());
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    Image image;
    try {
      codectest::LoadFirst(file, image);
    } catch (const ImagingError&) {
    }
  }
}

TEST(Targa, WrittenFilesReadBackInImageMagickAndHere) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  testsupport::TempDir dir;
  Image picture;
  MakePicture(picture);
  struct Case {
    PixelFormat format;
    bool rle;
  };
  for (const Case c : {Case{PixelFormat::A8R8G8B8, false}, Case{PixelFormat::A8R8G8B8, true},
                       Case{PixelFormat::R8G8B8, false}, Case{PixelFormat::R8G8B8, true}, Case{PixelFormat::Gray8, false},
                       Case{PixelFormat::Gray8, true}, Case{PixelFormat::A1R5G5B5, true}, Case{PixelFormat::Index8, true},
                       Case{PixelFormat::Index8, false}}) {
    SCOPED_TRACE(GetFormatName(c.format) + (c.rle ? " RLE" : " raw"));
    Image source;
    ASSERT_TRUE(CreateImage(picture.Width(), picture.Height(), c.format, source));
    if (c.format == PixelFormat::Index8) {
      for (int32_t i = 0; i < 256; ++i) source.Palette()[i] = MakeColor32(255, uint8_t(i), uint8_t(255 - i), uint8_t(i * 7));
      for (int32_t i = 0; i < source.Size(); ++i) source.Bits()[i] = uint8_t((i / 3) * 11);
    } else {
      for (int32_t y = 0; y < source.Height(); ++y)
        for (int32_t x = 0; x < source.Width(); ++x) SetPixel32(source, x, y, GetPixel32(picture, x, y));
    }
    CodecOptions options = CurrentOptions();
    options.targa.useRle = c.rle;
    const std::vector<uint8_t> bytes = codectest::SaveBytes("tga", source, options);
    EXPECT_EQ(bytes[2] >= 9, c.rle);

    std::vector<Image> back;
    ASSERT_TRUE(codectest::LoadBytes("tga", bytes, back));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Size(), source.Size());
    EXPECT_EQ(std::memcmp(back[0].Bits(), source.Bits(), size_t(source.Size())), 0);

    Image expected, decoded;
    codectest::ToArgb(source, expected);
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(codectest::WriteTemp(dir, "out.tga", bytes), decoded));
    EXPECT_EQ(codectest::CompareVisible(expected, decoded, c.format == PixelFormat::A1R5G5B5 ? 7 : 0), "");
  }
}

TEST(Targa, WriterLayout) {
  Image argb;
  ASSERT_TRUE(CreateImage(3, 2, PixelFormat::A8R8G8B8, argb));
  const std::vector<uint8_t> bytes = codectest::SaveBytes("tga", argb);
  ASSERT_EQ(bytes.size(), 18u + 3 * 2 * 4);
  EXPECT_EQ(bytes[1], 0);   // no colour map
  EXPECT_EQ(bytes[2], 2);   // true colour
  EXPECT_EQ(bytes[12], 3);  // width
  EXPECT_EQ(bytes[14], 2);  // height
  EXPECT_EQ(bytes[16], 32);
  EXPECT_EQ(bytes[17], 40);  // top-down, 8 alpha bits

  Image indexed;
  ASSERT_TRUE(CreateImage(3, 2, PixelFormat::Index8, indexed));
  indexed.Palette()[1] = MakeColor32(255, 10, 20, 30);
  const std::vector<uint8_t> mapped = codectest::SaveBytes("tga", indexed);
  ASSERT_EQ(mapped.size(), 18u + 768 + 6);
  EXPECT_EQ(mapped[1], 1);
  EXPECT_EQ(mapped[2], 1);
  EXPECT_EQ(mapped[5] | (mapped[6] << 8), 256);
  EXPECT_EQ(mapped[7], 24);
  EXPECT_EQ(mapped[16], 8);
  EXPECT_EQ(mapped[17], 32);
  EXPECT_EQ((std::vector<uint8_t>(mapped.begin() + 21, mapped.begin() + 24)), (std::vector<uint8_t>{30, 20, 10}));
}

TEST(Targa, OtherFormatsAreConvertedForSaving) {
  struct Case {
    PixelFormat from;
    uint8_t type, depth;
  };
  for (const Case c : {Case{PixelFormat::X1R5G5B5, 2, 16}, Case{PixelFormat::Gray16, 3, 8},
                       Case{PixelFormat::A8Gray8, 2, 32}, Case{PixelFormat::R16G16B16, 2, 24},
                       Case{PixelFormat::A16R16G16B16, 2, 32}, Case{PixelFormat::R5G6B5, 2, 16}}) {
    SCOPED_TRACE(GetFormatName(c.from));
    Image image;
    ASSERT_TRUE(CreateImage(3, 2, c.from, image));
    const std::vector<uint8_t> bytes = codectest::SaveBytes("tga", image);
    ASSERT_GE(bytes.size(), 18u);
    EXPECT_EQ(bytes[2], c.type);
    EXPECT_EQ(bytes[16], c.depth);
    EXPECT_EQ(bytes.size(), 18u + 6 * c.depth / 8);
  }
}

TEST(Targa, RunLengthPackets) {
  // Row of 8-bit gray pixels: 1 2 3 3 3 4, then 130 equal pixels.
  Image gray;
  ASSERT_TRUE(CreateImage(136, 1, PixelFormat::Gray8, gray));
  const uint8_t head[] = {1, 2, 3, 3, 3, 4};
  std::memcpy(gray.Bits(), head, sizeof head);
  std::memset(gray.Bits() + 6, 9, 130);
  CodecOptions options = CurrentOptions();
  options.targa.useRle = true;
  const std::vector<uint8_t> bytes = codectest::SaveBytes("tga", gray, options);
  const std::vector<uint8_t> data(bytes.begin() + 18, bytes.end());
  // raw 1 2 | run 3×3 | raw 4 | run 128×9 | run 2×9
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 1, 2, 130, 3, 0, 4, 255, 9, 129, 9}));
}

TEST(Targa, OrientationAndDepthVariants) {
  // 2×2 24-bit picture stored bottom-up, top-down and right-to-left.
  const uint8_t top[] = {1, 2, 3, 4, 5, 6};
  const uint8_t bottom[] = {7, 8, 9, 10, 11, 12};
  auto file = [&](uint8_t desc, const uint8_t* first, const uint8_t* second) {
    std::vector<uint8_t> f = Header(2, 2, 2, 24, desc);
    f.insert(f.end(), first, first + 6);
    f.insert(f.end(), second, second + 6);
    return f;
  };
  std::vector<Image> a, b, c;
  ASSERT_TRUE(codectest::LoadBytes("tga", file(0, bottom, top), a));
  ASSERT_TRUE(codectest::LoadBytes("tga", file(32, top, bottom), b));
  const uint8_t topMirrored[] = {4, 5, 6, 1, 2, 3};
  const uint8_t bottomMirrored[] = {10, 11, 12, 7, 8, 9};
  ASSERT_TRUE(codectest::LoadBytes("tga", file(32 | 16, topMirrored, bottomMirrored), c));
  EXPECT_EQ(std::memcmp(a[0].Bits(), b[0].Bits(), 12), 0);
  EXPECT_EQ(std::memcmp(c[0].Bits(), b[0].Bits(), 12), 0);
  EXPECT_EQ(b[0].Bits()[0], 1);

  // 16 bits without any alpha bit set are opaque.
  std::vector<uint8_t> f16 = Header(2, 2, 1, 16, 32);
  Append(f16, {0x1F, 0x00, 0xE0, 0x03});
  std::vector<Image> d;
  ASSERT_TRUE(codectest::LoadBytes("tga", f16, d));
  EXPECT_EQ(d[0].Format(), PixelFormat::X1R5G5B5);

  // 16-bit gray pixels carry gray and alpha.
  std::vector<uint8_t> g16 = Header(3, 1, 1, 16, 32 | 8);
  Append(g16, {200, 100});
  std::vector<Image> g;
  ASSERT_TRUE(codectest::LoadBytes("tga", g16, g));
  EXPECT_EQ(g[0].Format(), PixelFormat::A8Gray8);
  EXPECT_EQ(GetPixel32(g[0], 0, 0), MakeColor32(100, 200, 200, 200));

  // A 16-bit colour map is opaque and widens 5 bits to the full range; a run may cross rows.
  std::vector<uint8_t> mapped = Header(9, 2, 2, 8, 32, 1, 2, 16);
  Append(mapped, {0x1F, 0x00, 0x00, 0x7C});  // blue, red
  Append(mapped, {0x82, 1, 0x00, 0});        // run of 3 × index 1, raw 1 × index 0
  std::vector<Image> m;
  ASSERT_TRUE(codectest::LoadBytes("tga", mapped, m));
  EXPECT_EQ(GetPixel32(m[0], 0, 1), MakeColor32(255, 255, 0, 0));
  EXPECT_EQ(GetPixel32(m[0], 1, 1), MakeColor32(255, 0, 0, 255));
}

TEST(Targa, ExtensionAreaAndFooterAreConsumed) {
  std::vector<uint8_t> f = Header(3, 1, 1, 8, 32);
  f.push_back(77);
  std::vector<uint8_t> extension(495, 0);
  extension[0] = 0xEF;
  extension[1] = 0x01;
  Append(f, extension);
  std::vector<uint8_t> footer(26, 0);
  std::memcpy(footer.data() + 8, "TRUEVISION-XFILE.", 18);
  Append(f, footer);
  MemoryStream stream(f);
  std::vector<Image> images;
  ASSERT_TRUE(FindFormatByExtension("tga")->LoadFromStream(stream, images, true));
  EXPECT_EQ(images[0].Bits()[0], 77);
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(f.size()));
}

TEST(Targa, DefectsAreReported) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  std::vector<uint8_t> huge = Header(10, 65535, 65535, 32, 32);
  std::vector<uint8_t> tiny = Header(10, 4000, 4000, 32, 32);
  Append(tiny, {0xFF, 1, 2, 3, 4});
  std::vector<uint8_t> depth = Header(1, 2, 2, 16, 32);
  Append(depth, std::vector<uint8_t>(8, 0));
  std::vector<uint8_t> map = Header(1, 2, 2, 8, 32, 1, 200, 24);
  for (const Case& c : {Case{"huge", huge, "exceed the supported maximum"},
                        Case{"small file, large picture", tiny, "Targa image data is truncated"},
                        Case{"16-bit indices", depth, "Unsupported Targa pixel depth 16 for image type 1"},
                        Case{"colour map cut short", map, "Unexpected end of data in Targa colour map"}}) {
    SCOPED_TRACE(c.what);
    std::vector<Image> images;
    const std::string error = codectest::ErrorOf([&] { codectest::LoadBytes("tga", c.bytes, images); });
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(images.empty());
  }
  Image wide;
  ASSERT_TRUE(CreateImage(32768, 1, PixelFormat::Gray8, wide));
  MemoryStream stream;
  EXPECT_NE(codectest::ErrorOf([&] { SaveImageToStream("tga", stream, wide); }).find("32767"), std::string::npos);
}
