#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <algorithm>

#include "tests/imaging/CodecTestSupport.h"
#include "imaging/PixelFormats.h"
#include "imaging/formats/PngUnfilter.h"

using namespace imaging;
using namespace imaging::formats;
using namespace codectest;
namespace fs = std::filesystem;

namespace {

// ---- libpng as the independent decoder ------------------------------------------------------

struct LibpngImage {
  uint32_t width = 0, height = 0;
  uint16_t* rgba = nullptr;  // 16-bit native red, green, blue, alpha; malloc'd
  png_bytep* rows = nullptr;
};

void IgnoreWarning(png_structp, png_const_charp) {}

// setjmp region without C++ objects: everything it allocates hangs off `out`.
bool ReadWithLibpng(std::FILE* file, LibpngImage* out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_expand_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
  png_set_swap(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out->width = png_get_image_width(png, info);
  out->height = png_get_image_height(png, info);
  out->rgba = static_cast<uint16_t*>(std::malloc(size_t(out->width) * out->height * 8));
  out->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * out->height));
  for (uint32_t y = 0; y < out->height; ++y)
    out->rows[y] = reinterpret_cast<png_bytep>(out->rgba + size_t(y) * out->width * 4);
  png_read_image(png, out->rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// Decodes with libpng into an A16R16G16B16 image.
bool DecodeWithLibpng(const fs::path& path, Image& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  LibpngImage decoded;
  const bool ok = ReadWithLibpng(file, &decoded);
  std::fclose(file);
  if (ok) {
    CreateImage(int32_t(decoded.width), int32_t(decoded.height), PixelFormat::A16R16G16B16, image);
    uint16_t* target = reinterpret_cast<uint16_t*>(image.Bits());
    for (size_t i = 0; i < size_t(decoded.width) * decoded.height; ++i) {
      target[i * 4] = decoded.rgba[i * 4 + 2];
      target[i * 4 + 1] = decoded.rgba[i * 4 + 1];
      target[i * 4 + 2] = decoded.rgba[i * 4];
      target[i * 4 + 3] = decoded.rgba[i * 4 + 3];
    }
  }
  std::free(decoded.rgba);
  std::free(decoded.rows);
  return ok;
}

// ---- Building PNG files by hand ---------------------------------------------------------------

std::vector<uint8_t> Ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType, uint8_t interlace = 0) {
  return {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width),
          uint8_t(height >> 24), uint8_t(height >> 16), uint8_t(height >> 8), uint8_t(height),
          depth, colourType, 0, 0, interlace};
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& data, size_t expected) {
  std::vector<uint8_t> out(expected);
  uLongf size = uLongf(expected);
  EXPECT_EQ(uncompress(out.data(), &size, data.data(), uLong(data.size())), Z_OK);
  out.resize(size);
  return out;
}

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// A PNG of the given header, side chunks and raw (filter byte + samples) rows.
std::vector<uint8_t> MakePng(const std::vector<uint8_t>& ihdr, const std::vector<uint8_t>& rawRows,
                             const std::vector<std::pair<const char*, std::vector<uint8_t>>>& sideChunks = {}) {
  std::vector<uint8_t> file(kSignature, kSignature + 8);
  AppendChunk(file, "IHDR", ihdr);
  for (const auto& [type, data] : sideChunks) AppendChunk(file, type, data);
  AppendChunk(file, "IDAT", Deflate(rawRows));
  AppendChunk(file, "IEND", {});
  return file;
}

std::vector<fs::path> SuiteFiles(bool corrupt) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(testsupport::CorpusFile("pngsuite/png")))
    if (entry.path().extension() == ".png" && (entry.path().filename().string()[0] == 'x') == corrupt)
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

// ---- Real files -------------------------------------------------------------------------------

TEST(PngCodec, PngSuiteDecodesLikeLibpng) {
  VEXILO_REQUIRE_CORPUS();
  const std::vector<fs::path> files = SuiteFiles(false);
  ASSERT_GT(files.size(), 150u);
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.filename().string());
    std::vector<Image> ours;
    std::string error;
    ASSERT_TRUE(LoadFile("png", path, ours, &error)) << error;
    ASSERT_EQ(ours.size(), 1u);
    Image expected;
    ASSERT_TRUE(DecodeWithLibpng(path, expected));
    EXPECT_EQ(ComparePixels64(expected, ours[0]), "");
  }
}

TEST(PngCodec, PngSuiteFormatsFollowColourTypeAndDepth) {
  VEXILO_REQUIRE_CORPUS();
  const struct {
    const char* file;
    PixelFormat format;
  } cases[] = {
      {"basn0g01.png", PixelFormat::Gray8},         {"basn0g02.png", PixelFormat::Gray8},
      {"basn0g16.png", PixelFormat::Gray16},        {"basn2c08.png", PixelFormat::R8G8B8},
      {"basn2c16.png", PixelFormat::R16G16B16},     {"basn3p04.png", PixelFormat::Index8},
      {"basn4a08.png", PixelFormat::A8Gray8},       {"basn4a16.png", PixelFormat::A16Gray16},
      {"basn6a08.png", PixelFormat::A8R8G8B8},      {"basn6a16.png", PixelFormat::A16R16G16B16},
      {"tbrn2c08.png", PixelFormat::A8R8G8B8},      {"tbbn0g04.png", PixelFormat::A8Gray8},
      {"tbwn0g16.png", PixelFormat::A16Gray16},     {"tbbn2c16.png", PixelFormat::A16R16G16B16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<Image> images;
    ASSERT_TRUE(LoadFile("png", testsupport::CorpusFile(std::string("pngsuite/png/") + c.file), images));
    EXPECT_EQ(images[0].Format(), c.format);
  }
  // 2-bit gray samples are spread over the full 8-bit range.
  std::vector<Image> gray;
  ASSERT_TRUE(LoadFile("png", testsupport::CorpusFile("pngsuite/png/basn0g02.png"), gray));
  std::set<uint8_t> values(gray[0].Bits(), gray[0].Bits() + gray[0].Size());
  EXPECT_EQ(values, (std::set<uint8_t>{0, 85, 170, 255}));
}

TEST(PngCodec, TransparentColourTakesBackgroundColour) {
  VEXILO_REQUIRE_CORPUS();
  // tbrn2c08: RGB with a tRNS colour and a red bKGD.
  const fs::path path = testsupport::CorpusFile("pngsuite/png/tbrn2c08.png");
  std::vector<Image> ours;
  ASSERT_TRUE(LoadFile("png", path, ours));
  Image expected;
  ASSERT_TRUE(DecodeWithLibpng(path, expected));
  int transparent = 0;
  for (int32_t i = 0; i < ours[0].Width() * ours[0].Height(); ++i) {
    const uint8_t* p = ours[0].Bits() + i * 4;
    const uint16_t expectedAlpha = reinterpret_cast<const uint16_t*>(expected.Bits())[i * 4 + 3];
    ASSERT_EQ(p[3], expectedAlpha >> 8);
    if (p[3] == 0) {
      ++transparent;
      EXPECT_EQ(GetPixel32(ours[0], i % ours[0].Width(), i / ours[0].Width()), 0x00FF0000u);
    }
  }
  EXPECT_GT(transparent, 0);
}

TEST(PngCodec, CorruptPngSuiteFilesAreRefused) {
  VEXILO_REQUIRE_CORPUS();
  // Only the CRC is wrong in these two, and CRCs are not checked.
  const std::set<std::string> crcOnly = {"xcsn0g01.png", "xhdn0g08.png"};
  const std::vector<fs::path> files = SuiteFiles(true);
  ASSERT_EQ(files.size(), 14u);
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.filename().string());
    std::vector<Image> images;
    std::string error;
    const bool loaded = LoadFile("png", path, images, &error);
    if (crcOnly.count(path.filename().string())) {
      EXPECT_TRUE(loaded) << error;
    } else {
      EXPECT_FALSE(loaded);
      EXPECT_NE(error.find("Error while loading images from file"), std::string::npos) << error;
    }
  }
  // The messages name the defect.
  std::string error;
  std::vector<Image> images;
  LoadFile("png", testsupport::CorpusFile("pngsuite/png/xc1n0g08.png"), images, &error);
  EXPECT_NE(error.find("PNG colour type 1 with bit depth 8 is not supported."), std::string::npos) << error;
  LoadFile("png", testsupport::CorpusFile("pngsuite/png/xdtn0g01.png"), images, &error);
  EXPECT_NE(error.find("zlib: buffer error"), std::string::npos) << error;
  LoadFile("png", testsupport::CorpusFile("pngsuite/png/xs1n0g01.png"), images, &error);
  EXPECT_NE(error.find("is not valid image in \"Portable Network Graphics\" format"), std::string::npos) << error;
}

// ---- Hand-made datastreams ----------------------------------------------------------------------

TEST(PngCodec, FilterTypesAndPaletteDefaults) {
  // Three RGB rows with Sub, Average and Paeth, one row with an unknown filter type (stays zero).
  const std::vector<uint8_t> raw = {1, 10, 20, 30, 5, 5, 5,     //
                                    3, 2, 4, 6, 8, 10, 12,      //
                                    4, 1, 1, 1, 1, 1, 1,        //
                                    9, 7, 7, 7, 7, 7, 7};
  std::vector<Image> images;
  std::string error;
  ASSERT_TRUE(LoadBytes("png", MakePng(Ihdr(2, 4, 8, 2), raw), images, &error)) << error;
  const std::vector<uint8_t> expected = {30, 20, 10, 35, 25, 15,   // Sub; stored blue, green, red
                                         21, 14, 7, 40, 29, 19,    // Average
                                         22, 15, 8, 41, 30, 20,    // Paeth
                                         0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(images[0].Bits(), images[0].Bits() + images[0].Size()), expected);

  // A palette image with 16 PLTE entries: entries 16 to 255 are opaque white, tRNS sets alpha.
  std::vector<uint8_t> plte(48);
  for (size_t i = 0; i < plte.size(); ++i) plte[i] = uint8_t(i);
  ASSERT_TRUE(LoadBytes("png", MakePng(Ihdr(1, 1, 4, 3), {0, 0x50}, {{"PLTE", plte}, {"tRNS", {7, 8}}}), images));
  EXPECT_EQ(images[0].Format(), PixelFormat::Index8);
  EXPECT_EQ(images[0].Bits()[0], 5);
  EXPECT_EQ(images[0].Palette()[0], 0x07000102u);
  EXPECT_EQ(images[0].Palette()[1], 0x08030405u);
  EXPECT_EQ(images[0].Palette()[2], 0xFF060708u);
  EXPECT_EQ(images[0].Palette()[16], 0xFFFFFFFFu);
  EXPECT_EQ(images[0].Palette()[255], 0xFFFFFFFFu);
}

// The plain and the vector unfiltering give the same rows for every filter type and pixel size,
// on random rows whose sums wrap around.
TEST(PngCodec, PlainAndVectorUnfilteringAgree) {
#if !defined(__SSE2__)
  GTEST_SKIP() << "this target has only the plain unfiltering";
#else
  std::mt19937 random(3);
  for (size_t bpp : {1, 2, 3, 4, 6, 8})
    for (size_t width : {1, 2, 5, 33})
      for (uint8_t type = 0; type <= 5; ++type) {
        const size_t n = width * bpp;
        std::vector<uint8_t> prev(n), plain(n);
        for (uint8_t& b : prev) b = uint8_t(random());
        for (uint8_t& b : plain) b = uint8_t(random());
        std::vector<uint8_t> vector = plain;
        ng::UnfilterRowPlain(type, plain.data(), prev.data(), n, bpp);
        ng::UnfilterRowSse2(type, vector.data(), prev.data(), n, bpp);
        ASSERT_EQ(plain, vector) << "type " << int(type) << ", " << bpp << " bytes a pixel, " << width << " pixels";
      }
#endif
}

TEST(PngCodec, SixteenBitSamplesAndIntrapixelDifferencing) {
  // 16-bit RGB stored big-endian: the image holds native blue, green, red words.
  std::vector<Image> images;
  ASSERT_TRUE(LoadBytes("png", MakePng(Ihdr(1, 1, 16, 2), {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}), images));
  const uint16_t* words = reinterpret_cast<const uint16_t*>(images[0].Bits());
  EXPECT_EQ(words[0], 0x9ABC);
  EXPECT_EQ(words[1], 0x5678);
  EXPECT_EQ(words[2], 0x1234);

  // Filter method 64 (MNG): green is added back to red and blue.
  std::vector<uint8_t> ihdr = Ihdr(1, 1, 8, 2);
  ihdr[11] = 64;
  ASSERT_TRUE(LoadBytes("png", MakePng(ihdr, {0, 10, 200, 250}), images));
  EXPECT_EQ(std::vector<uint8_t>(images[0].Bits(), images[0].Bits() + 3), (std::vector<uint8_t>{194, 200, 210}));
}

TEST(PngCodec, BadDatastreamsGiveClearErrors) {
  const std::vector<uint8_t> rows = {0, 1, 2, 3, 0, 4, 5, 6};
  const std::vector<uint8_t> good = MakePng(Ihdr(1, 2, 8, 2), rows);
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  };
  std::vector<Case> cases;

  {
    const std::vector<uint8_t> compressed = Deflate(rows);
    std::vector<uint8_t> file(kSignature, kSignature + 8);
    AppendChunk(file, "IHDR", Ihdr(1, 2, 8, 2));
    AppendChunk(file, "IDAT", std::vector<uint8_t>(compressed.begin(), compressed.end() - 6));
    AppendChunk(file, "IEND", {});
    cases.push_back({"truncated-idat", file, "zlib: buffer error"});
  }
  {
    std::vector<uint8_t> file(good.begin(), good.begin() + 8 + 25 + 8);  // IDAT header, no data
    cases.push_back({"cut-in-chunk-data", file, "Error when reading IDAT chunk data. File may be corrupted."});
  }
  {
    std::vector<uint8_t> file = good;
    file[8 + 25] = 0x7F;  // IDAT length far beyond the file
    cases.push_back({"huge-chunk-length", file, "Error when reading IDAT chunk data. File may be corrupted."});
    std::vector<uint8_t> beyond = good;
    beyond[8 + 25] = 0x80;  // not a valid chunk length at all
    cases.push_back({"chunk-length-above-2^31", beyond, "Error when reading IDAT chunk data. File may be corrupted."});
  }
  {
    std::vector<uint8_t> file(kSignature, kSignature + 8);
    AppendChunk(file, "IDAT", Deflate(rows));
    AppendChunk(file, "IHDR", Ihdr(1, 2, 8, 2));
    cases.push_back({"idat-before-ihdr", file, "IDAT chunk found before the image header."});
  }
  cases.push_back({"huge-width", MakePng(Ihdr(70000, 1, 8, 0), {0, 0}), "exceed the supported maximum"});
  cases.push_back({"width-above-2^31", MakePng(Ihdr(0x80000000u, 1, 8, 0), {0, 0}), "PNG image size"});
  cases.push_back({"small-data-for-huge-image", MakePng(Ihdr(16000, 16000, 16, 6), {0, 0}),
                   "are too short for a 16000x16000 image"});
  cases.push_back({"zero-height", MakePng(Ihdr(1, 0, 8, 0), {0, 0}), "Invalid image dimensions"});
  cases.push_back({"palette-depth-16", MakePng(Ihdr(1, 1, 16, 3), {0, 0, 0}), "PNG colour type 3 with bit depth 16"});
  cases.push_back({"short-rows", MakePng(Ihdr(1, 3, 8, 2), rows), "shorter than the image size requires"});
  {
    std::vector<uint8_t> file(kSignature, kSignature + 8);
    AppendChunk(file, "IHDR", {0, 0, 0, 1});
    cases.push_back({"short-ihdr", file, "PNG IHDR chunk holds 4 bytes instead of 13."});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Image> images;
    std::string error;
    EXPECT_FALSE(LoadBytes("png", c.file, images, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(images.empty());
  }

  // Bad CRCs and a missing IEND do not matter.
  std::vector<uint8_t> badCrc = good;
  badCrc[8 + 8 + 13] ^= 0xFF;
  badCrc.resize(badCrc.size() - 12);
  std::vector<Image> images;
  EXPECT_TRUE(LoadBytes("png", badCrc, images));
}

// ---- Writing ------------------------------------------------------------------------------

TEST(PngCodec, EveryWritableFormatRoundTripsThroughLibpng) {
  const PixelFormat formats[] = {PixelFormat::Index8,       PixelFormat::Gray8,        PixelFormat::A8Gray8,
                                 PixelFormat::Gray16,       PixelFormat::A16Gray16,    PixelFormat::R8G8B8,
                                 PixelFormat::A8R8G8B8,     PixelFormat::R16G16B16,    PixelFormat::A16R16G16B16,
                                 PixelFormat::B16G16R16,    PixelFormat::A16B16G16R16};
  testsupport::TempDir dir;
  const bool havePngcheck = testsupport::HaveTool("pngcheck");
  CodecOptions options = CurrentOptions();
  for (PixelFormat format : formats) {
    for (int32_t filter = 0; filter <= 6; ++filter) {
      SCOPED_TRACE(GetFormatName(format) + " filter " + std::to_string(filter));
      options.png.preFilter = filter;
      std::vector<Image> images;
      MakePicture(37, 11, format, images.emplace_back(), uint32_t(filter) + 1);
      if (format == PixelFormat::Index8) images[0].Palette()[3] &= 0x7FFFFFFF;
      const fs::path path = dir / "out.png";
      ASSERT_TRUE(CodecFor("png").SaveToFile(path.string(), images, false, options));
      if (havePngcheck && filter == 6) {
        std::string output;
        EXPECT_EQ(testsupport::RunCommand("pngcheck -q '" + path.string() + "'", &output), 0) << output;
      }
      Image fromLibpng;
      ASSERT_TRUE(DecodeWithLibpng(path, fromLibpng));
      EXPECT_EQ(ComparePixels64(images[0], fromLibpng), "");
      fromLibpng.Reset();
      std::vector<Image> back;
      ASSERT_TRUE(LoadFile("png", path, back));
      // Our reader gives the file's own layout: red-first formats come back blue-first.
      EXPECT_EQ(ComparePixels64(images[0], back[0]), "");
    }
  }
}

TEST(PngCodec, DefaultSaveUsesPaethForTruecolourAndOneIdat) {
  std::vector<Image> images;
  MakePicture(16, 5, PixelFormat::A8R8G8B8, images.emplace_back());
  const std::vector<Chunk> chunks = ListChunks(SaveBytes("png", images));
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[0].data, Ihdr(16, 5, 8, 6));
  EXPECT_EQ(chunks[1].type, "IDAT");
  EXPECT_EQ(chunks[2].type, "IEND");
  const std::vector<uint8_t> raw = Inflate(chunks[1].data, 5 * (16 * 4 + 1));
  for (size_t row = 0; row < 5; ++row) EXPECT_EQ(raw[row * 65], 4);

  // Index8 with opaque palette: PLTE with 256 entries, no tRNS, filter None.
  std::vector<Image> indexed;
  MakePicture(4, 2, PixelFormat::Index8, indexed.emplace_back());
  const std::vector<Chunk> paletteChunks = ListChunks(SaveBytes("png", indexed));
  ASSERT_EQ(paletteChunks.size(), 4u);
  EXPECT_EQ(paletteChunks[1].type, "PLTE");
  EXPECT_EQ(paletteChunks[1].data.size(), 768u);
  EXPECT_EQ(paletteChunks[2].type, "IDAT");
  EXPECT_EQ(Inflate(paletteChunks[2].data, 10)[0], 0);
}

TEST(PngCodec, AdaptiveFilterChoosesCheapestRowLowerTypeOnTies) {
  CodecOptions options = CurrentOptions();
  options.png.preFilter = 6;
  std::vector<Image> images;
  CreateImage(8, 3, PixelFormat::Gray8, images.emplace_back());
  const uint8_t first[8] = {9, 200, 3, 77, 150, 20, 99, 1};
  std::memcpy(images[0].Bits(), first, 8);
  std::memcpy(images[0].Bits() + 8, first, 8);  // repeats the row above: Up gives all zeros
  // third row all zero: None ties with others and wins
  const std::vector<Chunk> chunks = ListChunks(SaveBytes("png", images, false, options));
  ASSERT_GE(chunks.size(), 2u);
  const std::vector<uint8_t> raw = Inflate(chunks[1].data, 27);
  EXPECT_EQ(raw[9], 2);
  EXPECT_EQ(raw[18], 0);
}

TEST(PngCodec, OptionsOutOfRangeAreReplaced) {
  std::vector<Image> images;
  MakePicture(8, 8, PixelFormat::R8G8B8, images.emplace_back());
  ASSERT_TRUE(SetOption(option::kPngPreFilter, 5));
  ASSERT_TRUE(SetOption(option::kPngCompressLevel, 5));
  const std::vector<uint8_t> atDefaults = SaveBytes("png", images);
  ASSERT_TRUE(SetOption(option::kPngPreFilter, 7));
  ASSERT_TRUE(SetOption(option::kPngCompressLevel, -1));
  const std::vector<uint8_t> file = SaveBytes("png", images);
  // The save replaces both values for itself; the values set stay.
  EXPECT_TRUE(file == atDefaults);
  EXPECT_EQ(GetOption(option::kPngPreFilter), 7);
  EXPECT_EQ(GetOption(option::kPngCompressLevel), -1);
  SetOption(option::kPngPreFilter, 5);
  SetOption(option::kPngCompressLevel, 5);
  std::vector<Image> back;
  ASSERT_TRUE(LoadBytes("png", file, back));
  EXPECT_EQ(ComparePixels64(images[0], back[0]), "");
}

// Fuzzed files: whatever we decode, libpng (when it decodes the file at all) decodes alike.
// libpng refuses many that we read: bad CRCs, and rows with an unknown filter type, which stay
// zero here. libpng also ignores a tRNS chunk after the image data or one longer than the
// palette; we apply both.
TEST(PngCodec, FuzzedSuiteFilesDecodeLikeLibpngOrAreRefused) {
  VEXILO_REQUIRE_CORPUS();
  const std::set<std::string> transparencyLibpngIgnores = {"42ec8668adb5dbc6581393f463976510.png",
                                                            "4f14b7aab3a41855378c5517342598b9.png"};
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(testsupport::CorpusFile("imagetestsuite/png"))) {
    const fs::path& path = entry.path();
    SCOPED_TRACE(path.filename().string());
    std::vector<Image> ours;
    std::string error;
    if (!LoadFile("png", path, ours, &error)) {
      // Without an image header there is nothing to load and no error to report.
      if (!error.empty()) {
        EXPECT_NE(error.find("Error while loading images from file"), std::string::npos) << error;
      }
      continue;
    }
    Image expected;
    if (!transparencyLibpngIgnores.count(path.filename().string()) && DecodeWithLibpng(path, expected)) {
      EXPECT_EQ(ComparePixels64(expected, ours[0]), "");
      ++compared;
    }
  }
  EXPECT_GE(compared, 60);
}
