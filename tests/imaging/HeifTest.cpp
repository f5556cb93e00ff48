#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <libheif/heif.h>

#include "imaging/Codec.h"
#include "imaging/Headers.h"
#include "imaging/formats/Heif.h"
#include "tests/imaging/CodecTestHelpers.h"
#include "tests/imaging/CodecTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
using namespace imaging::formats;
using codectest::Quoted;
using codectest::RunQuietly;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> SaveHeic(const Image& image, int32_t quality) {
  CodecOptions options = CurrentOptions();
  options.heif.quality = quality;
  MemoryStream stream;
  EXPECT_TRUE(SaveImageToStream("heic", stream, image, options));
  return stream.Data();
}

bool HaveHeifTools() { return testsupport::HaveTool("heif-enc") && testsupport::HaveTool("heif-convert"); }

// A HEIC file written by libheif itself that stores the picture so that its irot/imir boxes
// show it as Exif orientation `orientation` says.
std::vector<uint8_t> LibheifFileWithOrientation(const Image& rgb, heif_orientation orientation) {
  std::vector<uint8_t> bytes;
  heif_image* image = nullptr;
  if (heif_image_create(rgb.Width(), rgb.Height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code)
    return bytes;
  std::unique_ptr<heif_image, void (*)(const heif_image*)> imageGuard(image, heif_image_release);
  heif_image_add_plane(image, heif_channel_interleaved, rgb.Width(), rgb.Height(), 8);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int32_t y = 0; y < rgb.Height(); ++y)
    for (int32_t x = 0; x < rgb.Width(); ++x) {
      const Color32 c = GetPixel32(rgb, x, y);
      uint8_t* p = plane + y * stride + x * 3;
      p[0] = Color32Red(c), p[1] = Color32Green(c), p[2] = Color32Blue(c);
    }
  std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(), heif_context_free);
  heif_encoder* encoder = nullptr;
  if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &encoder).code) return bytes;
  std::unique_ptr<heif_encoder, void (*)(heif_encoder*)> encoderGuard(encoder, heif_encoder_release);
  heif_encoder_set_lossy_quality(encoder, 90);
  std::unique_ptr<heif_encoding_options, void (*)(heif_encoding_options*)> options(heif_encoding_options_alloc(),
                                                                                   heif_encoding_options_free);
  options->image_orientation = orientation;
  if (heif_context_encode_image(context.get(), image, encoder, options.get(), nullptr).code) return bytes;
  heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* user) {
                       auto* out = static_cast<std::vector<uint8_t>*>(user);
                       out->insert(out->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
                       return heif_error{heif_error_Ok, heif_suberror_Unspecified, "Success"};
                     }};
  heif_context_write(context.get(), &writer, &bytes);
  return bytes;
}

// Offset of the box that follows the leading file type box.
size_t BoxAfterFileType(const std::vector<uint8_t>& file) {
  return (size_t(file[0]) << 24) | (size_t(file[1]) << 16) | (size_t(file[2]) << 8) | size_t(file[3]);
}

// A file with a grid item whose data, in the file itself, comes in `extents` pieces, each of
// them the whole file (offset 0, length 0); only the item boxes, no picture.
std::vector<uint8_t> ItemInPieces(uint16_t extents) {
  // Appends a box of the type around what `fill` appends.
  auto box = [](std::vector<uint8_t>& out, const char* type, auto fill) {
    const size_t at = out.size();
    out.insert(out.end(), {0, 0, 0, 0});
    out.insert(out.end(), type, type + 4);
    fill(out);
    const uint32_t size = uint32_t(out.size() - at);
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(size >> (24 - 8 * i));
  };
  std::vector<uint8_t> file;
  box(file, "ftyp", [](std::vector<uint8_t>& o) { o.insert(o.end(), {'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'}); });
  box(file, "meta", [&](std::vector<uint8_t>& meta) {
    meta.insert(meta.end(), {0, 0, 0, 0});
    box(meta, "iinf", [&](std::vector<uint8_t>& iinf) {
      iinf.insert(iinf.end(), {0, 0, 0, 0, 0, 1});
      box(iinf, "infe", [](std::vector<uint8_t>& o) { o.insert(o.end(), {2, 0, 0, 0, 0, 1, 0, 0, 'g', 'r', 'i', 'd', 0}); });
    });
    // Version 1, four-byte offsets and lengths, no base offset; item 1, method 0.
    box(meta, "iloc", [&](std::vector<uint8_t>& o) {
      o.insert(o.end(), {1, 0, 0, 0, 0x44, 0x00, 0, 1, 0, 1, 0, 0, 0, 0, uint8_t(extents >> 8), uint8_t(extents)});
      o.resize(o.size() + size_t(extents) * 8, 0);
    });
  });
  return file;
}

}  // namespace

// Files of heif-enc (libheif with x265) in 8 and 10 bits, with and without alpha, and of
// ImageMagick (through libheif): each decodes
// like heif-convert decodes it, within the loss of the source, at the nearest pixel format,
// and the header reader agrees.
TEST(Heif, ReadsWhatHeifEncWrites) {
  if (!HaveHeifTools()) GTEST_SKIP() << "heif-enc/heif-convert not installed";
  testsupport::TempDir dir;
  Image rgb, rgba, wide, expected;
  codectest::MakePhoto(64, 48, PixelFormat::R8G8B8, rgb);
  codectest::MakePhoto(64, 48, PixelFormat::A8R8G8B8, rgba);
  codectest::MakePhoto(64, 48, PixelFormat::R16G16B16, wide);
  codectest::ToArgb(rgb, expected);
  struct Case {
    const char* name;
    const Image* source;
    const char* heifEncFlags;  // nullptr: written by ImageMagick
    PixelFormat native;
  } cases[] = {
      {"8 bits", &rgb, "-q 90", PixelFormat::R8G8B8},
      {"8 bits with alpha", &rgba, "-q 90", PixelFormat::A8R8G8B8},
      {"10 bits", &wide, "-q 90 -b 10", PixelFormat::R16G16B16},
      {"ImageMagick", &rgb, nullptr, PixelFormat::R8G8B8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path png = codectest::WriteTemp(dir, "source.png", codectest::SaveImageBytes("png", *c.source));
    const fs::path file = dir / "file.heic";
    const bool magick = c.heifEncFlags == nullptr;
    if (magick && !testsupport::HaveTool("convert")) continue;
    ASSERT_TRUE(RunQuietly(magick ? "convert " + Quoted(png) + " -quality 90 " + Quoted(file)
                                  : std::string("heif-enc ") + c.heifEncFlags + " " + Quoted(png) + " -o " + Quoted(file)));
    std::vector<Image> images;
    std::string error;
    ASSERT_TRUE(codectest::LoadFile("heic", file, images, &error)) << error;
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Format(), c.native);
    Image actual;
    codectest::ToArgb(images[0], actual);
    EXPECT_GT(codectest::Psnr(expected, actual), 30.0);

    const fs::path decoded = dir / "heif-convert.png";
    ASSERT_TRUE(RunQuietly("heif-convert " + Quoted(file) + " " + Quoted(decoded)));
    std::vector<Image> reference;
    ASSERT_TRUE(codectest::LoadFile("png", decoded, reference));
    // heif-convert shifts 10-bit samples up without filling the low bits (1023 becomes 65472);
    // the reader stretches them to the full range (65535).
    EXPECT_EQ(codectest::CompareSamples16(reference[0], images[0], c.native == PixelFormat::R16G16B16 ? 64 : 0), "");

    EXPECT_EQ(DetectFileFormat(file.string()), "heic");
    ImageHeader header;
    ASSERT_TRUE(ReadImageHeader(file.string(), "heic", CurrentOptions(), header));
    EXPECT_EQ(header.Width, images[0].Width());
    EXPECT_EQ(header.Height, images[0].Height());
    EXPECT_EQ(header.Format, images[0].Format());
  }
}

// libheif turns and mirrors the picture as the file's irot/imir boxes say, so the decoded
// picture is upright already; the header gives the turned size.
TEST(Heif, TheFilesTransformationsAreApplied) {
  if (!HeifCanWrite()) GTEST_SKIP() << "libheif has no HEVC encoder";
  testsupport::TempDir dir;
  Image source;
  codectest::MakePhoto(64, 48, PixelFormat::R8G8B8, source);
  const struct {
    heif_orientation orientation;
    int turns, mirror;  // the same as quarter turns counter-clockwise, then a mirroring
  } cases[] = {{heif_orientation_rotate_90_cw, 3, -1}, {heif_orientation_flip_horizontally, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.orientation));
    const fs::path file = codectest::WriteTemp(dir, "turned.heic", LibheifFileWithOrientation(source, c.orientation));
    Image expected, actual;
    codectest::Transformed(source, c.turns, c.mirror, expected);
    ASSERT_TRUE(codectest::LoadFirst(file, actual));
    ASSERT_EQ(actual.Width(), expected.Width());
    EXPECT_GT(codectest::Psnr(expected, actual), 30.0);
    ImageHeader header;
    ASSERT_TRUE(ReadImageHeader(file.string(), "heic", CurrentOptions(), header));
    EXPECT_EQ(header.Width, expected.Width());
    EXPECT_EQ(header.Height, expected.Height());
  }
}

// The Exif block (with its orientation, also a load fact) and the colour profile of a file
// that heif-enc made from a JPEG carrying both.
TEST(Heif, ExifAndColourProfileAreAvailable) {
  if (!HaveHeifTools() || !testsupport::HaveTool("exiftool")) GTEST_SKIP() << "heif-enc or exiftool not installed";
  testsupport::TempDir dir;
  Image source;
  codectest::MakePhoto(32, 24, PixelFormat::R8G8B8, source);
  const fs::path jpeg = codectest::WriteTemp(dir, "source.jpg", codectest::SaveImageBytes("jpg", source));
  // A minimal profile: a header with its size and signature, no tags.
  std::vector<uint8_t> profile(132, 0);
  profile[3] = 132;
  std::memcpy(profile.data() + 12, "mntrRGB XYZ ", 12);
  std::memcpy(profile.data() + 36, "acsp", 4);
  const fs::path icc = codectest::WriteTemp(dir, "profile.icc", profile);
  ASSERT_TRUE(RunQuietly("exiftool -q -overwrite_original -n -Orientation=6 '-ICC_Profile<=" + icc.string() + "' " +
                         Quoted(jpeg)));
  const fs::path file = dir / "tagged.heic";
  ASSERT_TRUE(RunQuietly("heif-enc -q 80 " + Quoted(jpeg) + " -o " + Quoted(file)));

  HeifMetadata metadata;
  ReadHeifMetadata(file.string(), metadata);
  EXPECT_EQ(metadata.ExifOrientation, 6);
  ASSERT_GE(metadata.Exif.size(), 8u);
  EXPECT_TRUE(std::memcmp(metadata.Exif.data(), "II*\0", 4) == 0 || std::memcmp(metadata.Exif.data(), "MM\0*", 4) == 0);
  EXPECT_EQ(metadata.IccProfile, profile);

  LoadFacts facts;
  std::vector<Image> images;
  ASSERT_TRUE(FindFormatByExtension("heic")->LoadFromFile(file.string(), images, true, CurrentOptions(), &facts));
  EXPECT_EQ(facts.heifExifOrientation, 6);
  // heif-enc writes no irot box for the Exif orientation: the stored picture comes as it is.
  EXPECT_EQ(images[0].Width(), 32);

  // A file without Exif reports none.
  const fs::path plain = codectest::WriteTemp(dir, "plain.heic", SaveHeic(source, 50));
  ASSERT_TRUE(FindFormatByExtension("heic")->LoadFromFile(plain.string(), images, true, CurrentOptions(), &facts));
  EXPECT_EQ(facts.heifExifOrientation, 0);
}

TEST(Heif, WritingFollowsTheQualityAndKeepsAlpha) {
  if (!HeifCanWrite()) GTEST_SKIP() << "libheif has no HEVC encoder";
  Image source, expected;
  codectest::MakePhoto(64, 48, PixelFormat::A8R8G8B8, source);
  codectest::ToArgb(source, expected);
  const std::vector<uint8_t> fine = SaveHeic(source, 90);
  const std::vector<uint8_t> coarse = SaveHeic(source, 20);
  EXPECT_LT(coarse.size(), fine.size());
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(codectest::LoadBytes("heic", fine, images, &error)) << error;
  EXPECT_EQ(images[0].Format(), PixelFormat::A8R8G8B8);
  Image actual;
  codectest::ToArgb(images[0], actual);
  EXPECT_GT(codectest::Psnr(expected, actual), 35.0);
  // x265 codes the transparency lossily too, at the same quality.
  int worstAlpha = 0;
  for (int32_t y = 0; y < expected.Height(); ++y)
    for (int32_t x = 0; x < expected.Width(); ++x)
      worstAlpha = std::max(worstAlpha, std::abs(int(Color32Alpha(GetPixel32(expected, x, y))) -
                                                 int(Color32Alpha(GetPixel32(actual, x, y)))));
  EXPECT_LE(worstAlpha, 8);

  // An opaque picture with an alpha channel is stored without one.
  Image opaque;
  codectest::MakePhoto(64, 48, PixelFormat::R8G8B8, opaque);
  ASSERT_TRUE(ConvertImageFormat(opaque, PixelFormat::A8R8G8B8));
  std::vector<Image> opaqueImages;
  ASSERT_TRUE(codectest::LoadBytes("heic", SaveHeic(opaque, 90), opaqueImages, &error)) << error;
  EXPECT_EQ(opaqueImages[0].Format(), PixelFormat::R8G8B8);
}

TEST(Heif, HeifConvertReadsWhatWeWrite) {
  if (!HeifCanWrite() || !HaveHeifTools()) GTEST_SKIP() << "no HEVC encoder or heif-convert not installed";
  testsupport::TempDir dir;
  Image source, expected;
  codectest::MakePhoto(64, 48, PixelFormat::R8G8B8, source);
  codectest::ToArgb(source, expected);
  const fs::path heic = codectest::WriteTemp(dir, "ours.heic", SaveHeic(source, 90));
  const fs::path png = dir / "heif-convert.png";
  ASSERT_TRUE(RunQuietly("heif-convert " + Quoted(heic) + " " + Quoted(png)));
  Image decoded;
  ASSERT_TRUE(codectest::LoadFirst(png, decoded));
  EXPECT_GT(codectest::Psnr(expected, decoded), 35.0);
}

TEST(Heif, DamagedFilesAreRefusedWithTheCause) {
  if (!HeifCanWrite()) GTEST_SKIP() << "libheif has no HEVC encoder";
  Image source;
  codectest::MakePhoto(40, 40, PixelFormat::R8G8B8, source);
  const std::vector<uint8_t> good = SaveHeic(source, 60);
  const std::vector<uint8_t> half(good.begin(), good.begin() + long(good.size() / 2));
  std::vector<uint8_t> longBox = good;
  longBox[BoxAfterFileType(good)] = 0x7F;
  std::vector<uint8_t> huge = good;
  const char ispeName[] = "ispe";
  for (auto at = huge.begin(); (at = std::search(at, huge.end(), ispeName, ispeName + 4)) != huge.end(); at += 4) {
    const uint8_t side[4] = {0x00, 0x01, 0x11, 0x70};  // 70000
    std::memcpy(&*at + 8, side, 4);
    std::memcpy(&*at + 12, side, 4);
  }
  // libheif writes a picture whose sides are no multiples of its tiles as a grid that crops
  // them, the grid's output size in the idat box; here it states 60000 x 60000 pixels, while
  // every size property stays 40 x 40.
  std::vector<uint8_t> bigGrid = good;
  const char idatName[] = "idat";
  const auto idat = std::search(bigGrid.begin(), bigGrid.end(), idatName, idatName + 4);
  ASSERT_NE(idat, bigGrid.end());
  const uint8_t gridHead[] = {0, 0, 0, 0, 0xEA, 0x60, 0xEA, 0x60};
  ASSERT_TRUE(std::equal(gridHead, gridHead + 4, idat + 4));
  std::copy(gridHead, gridHead + 8, idat + 4);
  // An AVIF file is left to the AVIF codec.
  std::vector<uint8_t> avif;
  {
    MemoryStream stream;
    ASSERT_TRUE(SaveImageToStream("avif", stream, source));
    avif = stream.Data();
  }
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* cause;
  } cases[] = {
      {"empty", {}, "HEIF Image"},
      {"an AVIF file", avif, "HEIF Image"},
      {"file cut in half", half, "HEIF: the file is truncated"},
      {"box beyond the end", longBox, "HEIF: the file is truncated"},
      {"70000 x 70000 pixels", huge, "65535 pixels per side"},
      {"grid of 60000 x 60000 pixels", bigGrid, "65535 pixels per side"},
      // Found by fuzzing: the grid item's extent starts at the idat box's last byte, so its
      // output size (14441 x 27759) comes from the next box's header, where libheif reads it.
      {"grid size read beyond the idat box", testsupport::ReadFileBytes(testsupport::TestDataDir() / "heif/grid-beyond-idat.heic"),
       "14441x27759 in HEIF file exceed"},
      // An item in more pieces than libheif reads, and one whose pieces repeat the file: libheif
      // would hold every piece while it parses.
      {"item in 65535 pieces", ItemInPieces(65535), "split into 65535 pieces"},
      {"item repeating the file", ItemInPieces(8), "claim more data than it holds"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Image> images;
    std::string error;
    EXPECT_FALSE(codectest::LoadBytes("heic", c.bytes, images, &error));
    EXPECT_NE(error.find(c.cause), std::string::npos) << error;
  }
}

TEST(Heif, EveryCutOrFlippedByteEndsInAnImageOrAMessage) {
  if (!HeifCanWrite()) GTEST_SKIP() << "libheif has no HEVC encoder";
  Image source;
  codectest::MakePhoto(24, 16, PixelFormat::A8R8G8B8, source);
  const std::vector<uint8_t> good = SaveHeic(source, 50);
  for (size_t size = 0; size < good.size(); ++size) {
    std::vector<Image> images;
    std::string error;
    if (codectest::LoadBytes("heic", std::vector<uint8_t>(good.begin(), good.begin() + long(size)), images, &error))
      EXPECT_TRUE(IsImageValid(images[0])) << size;
    else
      EXPECT_NE(error.find("HEIF"), std::string::npos) << size << ": " << error;
  }
  for (size_t at = 0; at < good.size(); ++at) {
    std::vector<uint8_t> flipped = good;
    flipped[at] ^= 0x5A;
    std::vector<Image> images;
    std::string error;
    if (codectest::LoadBytes("heic", flipped, images, &error)) {
      ASSERT_EQ(images.size(), 1u);
      EXPECT_TRUE(IsImageValid(images[0]));
    } else {
      EXPECT_FALSE(error.empty()) << at;
    }
  }
}
