#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

const Codec& Bmp() {
  const Codec* codec = FindFormatByExtension("bmp");
  if (!codec) throw std::runtime_error("the BMP codec is not registered");
  return *codec;
}

// Loads through the codec; returns the error text, or empty text on success.
std::string Load(const std::vector<uint8_t>& bytes, std::vector<Image>& images) {
  MemoryStream stream(bytes);
  try {
    if (!Bmp().LoadFromStream(stream, images)) return "(load returned false)";
  } catch (const ImagingError& e) {
    return e.what();
  }
  return std::string();
}

std::vector<uint8_t> Save(std::vector<Image>& images, const CodecOptions& options = CurrentOptions()) {
  MemoryStream stream;
  EXPECT_TRUE(Bmp().SaveToStream(stream, images, false, options));
  return stream.Data();
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A file with a 40-byte header; `extra` (masks or palette) follows the header, then the pixels.
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
                             const std::vector<uint8_t>& extra, const std::vector<uint8_t>& pixels,
                             uint32_t colorsUsed = 0) {
  const uint32_t offset = static_cast<uint32_t>(54 + extra.size());
  std::vector<uint8_t> b(offset + pixels.size(), 0);
  b[0] = 'B', b[1] = 'M';
  PutU32(b, 2, static_cast<uint32_t>(offset + pixels.size()));
  PutU32(b, 10, offset);
  PutU32(b, 14, 40);
  PutU32(b, 18, static_cast<uint32_t>(width));
  PutU32(b, 22, static_cast<uint32_t>(height));
  PutU16(b, 26, 1);
  PutU16(b, 28, bitCount);
  PutU32(b, 30, compression);
  PutU32(b, 34, static_cast<uint32_t>(pixels.size()));
  PutU32(b, 46, colorsUsed);
  std::copy(extra.begin(), extra.end(), b.begin() + 54);
  std::copy(pixels.begin(), pixels.end(), b.begin() + offset);
  return b;
}

// A 2-entry palette (black, white) for small indexed fixtures.
const std::vector<uint8_t> kTwoColors = {0, 0, 0, 0, 255, 255, 255, 0};

// A pattern in any savable format: varied raw bytes; the palette of Index8 is a ramp.
void MakePattern(PixelFormat format, int32_t width, int32_t height, Image& image) {
  ASSERT_TRUE(CreateImage(width, height, format, image));
  for (int32_t i = 0; i < image.Size(); ++i) image.Bits()[i] = static_cast<uint8_t>((i * 37 + i / 7) ^ (i >> 3));
  if (format == PixelFormat::Index8) {
    // Runs and literals both, so RLE8 output has every kind of code.
    for (int32_t i = 0; i < image.Size(); ++i) image.Bits()[i] = (i % width) < width / 2 ? 7 : image.Bits()[i] % 40;
    for (int i = 0; i < 256; ++i) image.Palette()[i] = MakeColor32(255, uint8_t(i), uint8_t(255 - i), uint8_t(i * 3));
  }
  // Unused bits hold zeros, as the pixel writers leave them.
  const int32_t bpp = FindFormatInfo(format)->BytesPerPixel;
  for (int32_t i = 0; i < image.Size(); i += bpp) {
    if (format == PixelFormat::X8R8G8B8) image.Bits()[i + 3] = 0;
    if (format == PixelFormat::X1R5G5B5) image.Bits()[i + 1] &= 0x7F;
    if (format == PixelFormat::X4R4G4B4) image.Bits()[i + 1] &= 0x0F;
  }
}

// A8R8G8B8 copy through the pixel readers; colour under fully transparent pixels is cleared,
// since references differ in what they keep there.
void ToComparable(const Image& source, Image& target) {
  ASSERT_TRUE(CreateImage(source.Width(), source.Height(), PixelFormat::A8R8G8B8, target));
  for (int32_t y = 0; y < source.Height(); ++y)
    for (int32_t x = 0; x < source.Width(); ++x) {
      const Color32 c = GetPixel32(source, x, y);
      SetPixel32(target, x, y, Color32Alpha(c) == 0 ? 0 : c);
    }
}

std::string CompareWithReference(const Image& decoded, const fs::path& reference, int tolerance) {
  Image expected, actual, magick;
  if (!testsupport::DecodeWithImageMagick(reference, magick)) return "cannot decode " + reference.string();
  ToComparable(magick, expected);
  ToComparable(decoded, actual);
  const std::string difference = testsupport::CompareImages(expected, actual, tolerance);
  expected.Reset();
  actual.Reset();
  return difference;
}

// ImageMagick 6 widens the fields of 16-bit files with an alpha mask, and of 4-4-4 files, by a
// plain shift (5 becomes 0x50, a set 1-bit alpha 0x80); other versions scale. Either is taken.
std::string CompareSixteenBitWithMagick(const Image& magick, const Image& ours) {
  const BitFieldLayout& f = *FindFormatInfo(ours.Format())->BitFields;
  const uint32_t masks[4] = {f.BMask, f.GMask, f.RMask, f.AMask};
  const uint8_t shifts[4] = {f.BShift, f.GShift, f.RShift, f.AShift};
  const uint8_t bits[4] = {f.BBits, f.GBits, f.RBits, f.ABits};
  for (int32_t y = 0; y < ours.Height(); ++y)
    for (int32_t x = 0; x < ours.Width(); ++x) {
      const uint8_t* p = ours.Bits() + (y * ours.Width() + x) * 2;
      const uint32_t raw = p[0] | p[1] << 8;
      const Color32 scaled = GetPixel32(ours, x, y), seen = GetPixel32(magick, x, y);
      for (int c = 0; c < 4; ++c) {
        if (bits[c] == 0) continue;
        const int field = static_cast<int>((raw & masks[c]) >> shifts[c]);
        const int got = (seen >> (8 * c)) & 0xFF, proper = (scaled >> (8 * c)) & 0xFF;
        if (std::abs(got - proper) > 1 && got != field << (8 - bits[c]))
          return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") channel " + std::to_string(c) +
                 ": " + std::to_string(got) + ", expected " + std::to_string(proper);
      }
    }
  return std::string();
}

}  // namespace

TEST(Bitmap, ProbeNeedsTheSignatureAndAWholeFileHeader) {
  for (const auto& [bytes, expected] : std::vector<std::pair<std::vector<uint8_t>, bool>>{
           {{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
           {{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
           {{'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false}}) {
    MemoryStream stream(bytes);
    EXPECT_EQ(DetectStreamFormat(stream), expected ? "bmp" : "");
  }
}

// The good files of the suite decode to the suite's reference renderings.
TEST(Bitmap, GoodSuiteFilesMatchTheirReferences) {
  VEXILO_REQUIRE_CORPUS();
  const std::map<std::string, std::string> references = {
      {"pal1", "pal1"},       {"pal1wb", "pal1"},         {"pal1bg", "pal1bg"},       {"pal4", "pal4"},
      {"pal4gs", "pal4gs"},   {"pal4rle", "pal4"},        {"pal8", "pal8"},           {"pal8-0", "pal8"},
      {"pal8gs", "pal8gs"},   {"pal8rle", "pal8"},        {"pal8w126", "pal8w126"},   {"pal8w125", "pal8w125"},
      {"pal8w124", "pal8w124"}, {"pal8topdown", "pal8"},  {"pal8nonsquare", "pal8nonsquare-e"},
      {"pal8os2", "pal8"},    {"pal8v4", "pal8"},         {"pal8v5", "pal8"},         {"rgb16", "rgb16"},
      {"rgb16bfdef", "rgb16"}, {"rgb16-565", "rgb16-565"}, {"rgb16-565pal", "rgb16-565"}, {"rgb24", "rgb24"},
      {"rgb24pal", "rgb24"},  {"rgb32", "rgb24"},         {"rgb32bfdef", "rgb24"},    {"rgb32bf", "rgb24"},
  };
  size_t seen = 0;
  for (const auto& entry : fs::directory_iterator(testsupport::CorpusFile("bmpsuite/g"))) {
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    ASSERT_TRUE(references.count(name)) << "no reference listed";
    std::vector<Image> images;
    ASSERT_TRUE(Bmp().LoadFromFile(entry.path().string(), images));
    ASSERT_EQ(images.size(), 1u);
    // 5- and 6-bit fields are widened by integer division here and by rounding in the PNGs.
    const int tolerance = name.rfind("rgb16", 0) == 0 ? 1 : 0;
    EXPECT_EQ(CompareWithReference(images[0], testsupport::CorpusFile("bmpsuite/html/" + references.at(name) + ".png"),
                                   tolerance),
              "");
    ++seen;
  }
  EXPECT_EQ(seen, references.size());
}

// The questionable files either decode like one of their references or are refused clearly;
// the table pins down which.
TEST(Bitmap, QuestionableSuiteFilesDecodeOrAreRefused) {
  VEXILO_REQUIRE_CORPUS();
  struct Case {
    const char* file;
    std::vector<const char*> references;  // empty: refused with the error below
    const char* error;
  };
  const Case cases[] = {
      {"pal1huffmsb", {}, "Unsupported BMP compression 3 with 1 bits per pixel."},
      {"pal1p1", {"pal1p1"}, nullptr},
      {"pal2", {"pal2"}, nullptr},
      {"pal2color", {"pal2color"}, nullptr},
      {"pal4rlecut", {"pal4rlecut-0"}, nullptr},
      {"pal4rletrns", {"pal4rletrns-0"}, nullptr},
      {"pal8offs", {"pal8"}, nullptr},
      {"pal8os2-hs", {"pal8"}, nullptr},
      {"pal8os2-sz", {"pal8"}, nullptr},
      {"pal8os2sp", {"pal8"}, nullptr},
      {"pal8os2v2-16", {"pal8"}, nullptr},
      {"pal8os2v2-40sz", {"pal8"}, nullptr},
      {"pal8os2v2-sz", {"pal8"}, nullptr},
      {"pal8os2v2", {"pal8"}, nullptr},
      {"pal8oversizepal", {"pal8"}, nullptr},
      {"pal8rlecut", {"pal8rlecut-0"}, nullptr},
      {"pal8rletrns", {"pal8rletrns-0"}, nullptr},
      {"rgb16-231", {"rgb16-231"}, nullptr},
      {"rgb16-3103", {"rgb16-3103"}, nullptr},
      {"rgb16faketrns", {"rgb16faketrns"}, nullptr},
      {"rgb24jpeg", {}, "Unsupported BMP compression 4 with 0 bits per pixel."},
      {"rgb24largepal", {"rgb24"}, nullptr},
      {"rgb24lprof", {"rgb24"}, nullptr},
      {"rgb24png", {}, "Unsupported BMP compression 5 with 0 bits per pixel."},
      {"rgb24prof", {"rgb24"}, nullptr},
      {"rgb24prof2", {"@magick"}, nullptr},  // colour profiles are not applied
      {"rgb24rle24", {}, "Unsupported BMP compression 4 with 24 bits per pixel."},
      {"rgb32-111110", {"rgb24"}, nullptr},
      {"rgb32-7187", {"rgb32-7187"}, nullptr},
      {"rgb32-xbgr", {"rgb24"}, nullptr},
      {"rgb32fakealpha", {"fakealpha"}, nullptr},
      {"rgb32h52", {"rgb24"}, nullptr},
      {"rgba16-1924", {"rgba16-1924"}, nullptr},
      {"rgba16-4444", {"rgba16-4444"}, nullptr},
      {"rgba16-5551", {"rgba16-5551"}, nullptr},
      {"rgba32-1", {"rgba32"}, nullptr},
      {"rgba32-1010102", {"rgba32-1010102"}, nullptr},
      {"rgba32-2", {"rgba32"}, nullptr},
      {"rgba32-61754", {"rgba32-61754"}, nullptr},
      {"rgba32-81284", {"rgba32-81284"}, nullptr},
      {"rgba32abf", {"rgba32"}, nullptr},
      {"rgba32h56", {"rgba32"}, nullptr},
      {"rgba64", {}, "Unsupported BMP bit count 64."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<Image> images;
    const std::string error = Load(testsupport::ReadFileBytes(testsupport::CorpusFile(
                                       std::string("bmpsuite/q/") + c.file + ".bmp")),
                                   images);
    if (c.references.empty()) {
      EXPECT_NE(error.find(std::string("Exception Message: ") + c.error), std::string::npos) << error;
      EXPECT_TRUE(images.empty());
      continue;
    }
    ASSERT_EQ(error, "");
    std::string difference = "no reference matched";
    for (const std::string reference : c.references) {
      const fs::path oracle = reference == "@magick"
                                  ? testsupport::CorpusFile(std::string("bmpsuite/q/") + c.file + ".bmp")
                                  : testsupport::CorpusFile("bmpsuite/html/" + reference + ".png");
      difference = CompareWithReference(images[0], oracle, 1);
      if (difference.empty()) break;
    }
    EXPECT_EQ(difference, "");
  }
}

// Bad files are refused or decoded, never read out of bounds (the sanitizer build checks that).
TEST(Bitmap, BadSuiteFilesNeverFault) {
  VEXILO_REQUIRE_CORPUS();
  for (const char* folder : {"bmpsuite/b", "bmpsuite/x"})
    for (const auto& entry : fs::directory_iterator(testsupport::CorpusFile(folder))) {
      std::vector<Image> images;
      const std::string error = Load(testsupport::ReadFileBytes(entry.path()), images);
      EXPECT_TRUE(error.empty() ? AreImagesValid(images) : images.empty()) << entry.path() << ": " << error;
    }
}

TEST(Bitmap, AlphaIsKeptOnlyWhereThereIsSome) {
  struct Case {
    const char* what;
    uint16_t bitCount;
    std::vector<uint8_t> pixels;  // one row of two pixels
    PixelFormat format;
  };
  const Case cases[] = {
      {"32-bit, alpha all 0", 32, {1, 2, 3, 0, 4, 5, 6, 0}, PixelFormat::X8R8G8B8},
      {"32-bit, one alpha 1", 32, {1, 2, 3, 0, 4, 5, 6, 1}, PixelFormat::A8R8G8B8},
      {"16-bit, no top bit", 16, {0xFF, 0x7F, 0x00, 0x00}, PixelFormat::X1R5G5B5},
      {"16-bit, one top bit", 16, {0xFF, 0x7F, 0x00, 0x80}, PixelFormat::A1R5G5B5},
  };
  for (const Case& c : cases) {
    std::vector<Image> images;
    ASSERT_EQ(Load(MakeBmp(2, 1, c.bitCount, 0, {}, c.pixels), images), "") << c.what;
    EXPECT_EQ(images[0].Format(), c.format) << c.what;
    EXPECT_EQ(std::memcmp(images[0].Bits(), c.pixels.data(), c.pixels.size()), 0) << c.what;
  }
  std::vector<Image> images;
  ASSERT_EQ(Load(MakeBmp(2, 1, 32, 0, {}, {1, 2, 3, 0, 4, 5, 6, 1}), images), "");
  EXPECT_EQ(GetPixel32(images[0], 1, 0), 0x01060504u);
}

TEST(Bitmap, RleEscapesPlacePixels) {
  // 4 x 3 RLE8, bottom-up: row 0 (bottom) gets a run and a literal; a delta skips to column 1
  // of row 2 (top), where a run of 5 is clipped at the row's end.
  const std::vector<uint8_t> rle = {2, 1, 0, 3, 5, 6, 7, 0, 0, 0, 0, 2, 1, 1, 5, 1, 0, 1};
  std::vector<uint8_t> palette(256 * 4, 0);
  std::vector<Image> images;
  ASSERT_EQ(Load(MakeBmp(4, 3, 8, 1, palette, rle, 256), images), "");
  const std::vector<uint8_t> expected = {0, 1, 1, 1,   // top row
                                         0, 0, 0, 0,   // untouched
                                         1, 1, 5, 6};  // bottom row; the literal's third pixel is cut
  EXPECT_EQ(std::vector<uint8_t>(images[0].Bits(), images[0].Bits() + 12), expected);

  // RLE4: a run alternates nibbles; a literal of 3 nibbles takes two bytes (even already).
  const std::vector<uint8_t> rle4 = {5, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1};
  ASSERT_EQ(Load(MakeBmp(5, 2, 4, 2, std::vector<uint8_t>(64, 0), rle4, 16), images), "");
  EXPECT_EQ(std::vector<uint8_t>(images[0].Bits(), images[0].Bits() + 10),
            (std::vector<uint8_t>{10, 11, 12, 0, 0, 1, 2, 1, 2, 1}));
}

// Runs and literals that start at or past the end of their row are consumed and store nothing,
// like those that start inside it and are clipped; the next row decodes normally.
TEST(Bitmap, RleBeyondTheRowIsDropped) {
  const std::vector<uint8_t> palette(256 * 4, 0);
  const struct {
    const char* what;
    std::vector<uint8_t> rle;
    std::vector<uint8_t> expected;  // top row, then bottom row
  } cases[] = {
      {"run after a clipped run", {6, 1, 2, 2, 0, 0, 4, 3, 0, 1}, {3, 3, 3, 3, 1, 1, 1, 1}},
      {"row padded to four", {4, 1, 4, 9, 0, 0, 1, 3, 0, 1}, {3, 0, 0, 0, 1, 1, 1, 1}},
      {"delta past the row", {0, 2, 5, 0, 2, 7, 0, 0, 2, 3, 0, 1}, {3, 3, 0, 0, 0, 0, 0, 0}},
      {"literal past the row", {4, 2, 0, 3, 1, 2, 3, 0, 0, 0, 4, 3, 0, 1}, {3, 3, 3, 3, 2, 2, 2, 2}},
  };
  for (const auto& c : cases) {
    std::vector<Image> images;
    ASSERT_EQ(Load(MakeBmp(4, 2, 8, 1, palette, c.rle, 256), images), "") << c.what;
    EXPECT_EQ(std::vector<uint8_t>(images[0].Bits(), images[0].Bits() + 8), c.expected) << c.what;
  }
}

// ImageMagick writes 8-bit BMPs with RLE8 and pads every row's runs to a multiple of four
// pixels; such a file of an odd width reads as ImageMagick reads it.
TEST(Bitmap, PaddedRleRowsOfImageMagickRead) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  testsupport::TempDir dir;
  const fs::path file = dir / "padded.bmp";
  const std::string command = "convert -size 97x61 gradient:red-blue -colors 200 -type Palette -compress RLE bmp3:'" +
                              file.string() + "' 2>/dev/null";
  if (testsupport::RunCommand(command) != 0) GTEST_SKIP() << "ImageMagick could not write the file";
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(file);
  ASSERT_GT(bytes.size(), 34u);
  ASSERT_EQ(U32At(bytes, 30), 1u) << "not RLE8";
  std::vector<Image> images;
  ASSERT_EQ(Load(bytes, images), "");
  imaging::Image ours, theirs;
  testsupport::CopyAsArgb(images[0], ours);
  ASSERT_TRUE(testsupport::DecodeWithImageMagick(file, theirs));
  EXPECT_EQ(testsupport::CompareImages(theirs, ours), "");
}

// Corrupt headers and data: each is refused with a message that names the defect.
TEST(Bitmap, CorruptFilesAreRefusedClearly) {
  const std::vector<uint8_t> pixels(8, 0x55);  // 1-bit 3 x 2: two rows of 4 bytes
  const std::vector<uint8_t> base = MakeBmp(3, 2, 1, 0, kTwoColors, pixels, 2);
  std::vector<Image> images;
  ASSERT_EQ(Load(base, images), "");
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* message;
  };
  const std::vector<uint8_t> palette256(1024, 0);
  const Case cases[] = {
      {"header size", [](auto& b) { PutU32(b, 14, 13); }, "Invalid BMP info header size 13"},
      {"header beyond file", [](auto& b) { PutU32(b, 14, 4000); }, "BMP info header size 4000 exceeds the file"},
      {"bit count", [](auto& b) { PutU16(b, 28, 3); }, "Unsupported BMP bit count 3."},
      {"compression", [](auto& b) { PutU32(b, 30, 4); }, "Unsupported BMP compression 4 with 1 bits per pixel."},
      {"RLE8 with 1 bit", [](auto& b) { PutU32(b, 30, 1); }, "Unsupported BMP compression 1 with 1 bits per pixel."},
      {"zero width", [](auto& b) { PutU32(b, 18, 0); }, "Invalid image dimensions 0x2 in BMP."},
      {"negative width", [](auto& b) { PutU32(b, 18, uint32_t(-3)); }, "Invalid image dimensions -3x2 in BMP."},
      {"minimal height", [](auto& b) { PutU32(b, 22, 0x80000000u); }, "Image dimensions 3x2147483648 in BMP exceed"},
      {"huge", [](auto& b) { PutU32(b, 18, 70000); }, "Image dimensions 70000x2 in BMP exceed"},
      {"offset", [](auto& b) { PutU32(b, 10, 5000); }, "BMP pixel data offset 5000 lies beyond the end of the file"},
      {"truncated", [](auto& b) { b.resize(b.size() - 5); }, "BMP pixel data is truncated: 5 bytes needed"},
      {"palette", [](auto& b) { PutU32(b, 46, 200); }, "Unexpected end of data in BMP palette"},
      {"cut header", [](auto& b) { b.resize(30); }, "BMP info header size 40 exceeds the file (30 bytes)."},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = base;
    c.damage(bytes);
    const std::string error = Load(bytes, images);
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    EXPECT_TRUE(images.empty()) << c.what;
  }
  const struct {
    const char* what;
    int32_t width, height;
    std::vector<uint8_t> rle;
    const char* message;
  } rleCases[] = {
      {"data ends early", 4, 2, {4, 1, 0, 0, 2, 1}, "BMP RLE data ends at row 1 of 2: the file is truncated."},
      {"literal cut off", 4, 2, {0, 4, 1, 2}, "BMP RLE data ends at row 0 of 2"},
      {"tiny data, huge image", 16000, 16000, {0, 1}, "BMP RLE data (2 bytes) is too short for a 16000x16000 image."},
  };
  for (const auto& c : rleCases) {
    const std::string error = Load(MakeBmp(c.width, c.height, 8, 1, palette256, c.rle, 256), images);
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    EXPECT_TRUE(images.empty()) << c.what;
  }
}

TEST(Bitmap, TruncatedFileReportsTheChainAndLeavesNothing) {
  testsupport::TempDir dir;
  const std::string path = (dir / "cut.bmp").string();
  std::vector<uint8_t> bytes = MakeBmp(3, 2, 1, 0, kTwoColors, std::vector<uint8_t>(8, 1), 2);
  bytes.resize(bytes.size() - 6);
  testsupport::WriteFileBytes(path, bytes);
  std::vector<Image> images;
  Image& stale = images.emplace_back();
  ASSERT_TRUE(CreateImage(1, 1, PixelFormat::R8G8B8, stale));
  try {
    Bmp().LoadFromFile(path, images);
    FAIL() << "no error";
  } catch (const ImagingError& e) {
    EXPECT_EQ(std::string(e.what()), "Error while loading images from file \"" + path +
                                         "\" (file format: bmp). Exception Message: BMP pixel data is truncated: 5 "
                                         "bytes needed at offset 62, 2 present.");
  }
  EXPECT_TRUE(images.empty());
}

TEST(Bitmap, WrittenLayout) {
  CodecOptions options = CurrentOptions();
  options.bitmap.useRle = true;
  std::vector<Image> images;
  // 1 x 1 24-bit: 3 pixel bytes and 1 byte of padding, 58 bytes in all.
  Image& pixel = images.emplace_back();
  ASSERT_TRUE(CreateImage(1, 1, PixelFormat::R8G8B8, pixel));
  pixel.Bits()[0] = 1, pixel.Bits()[1] = 2, pixel.Bits()[2] = 3;
  std::vector<uint8_t> file = Save(images, options);
  ASSERT_EQ(file.size(), 58u);
  EXPECT_EQ(U32At(file, 2), 58u);
  EXPECT_EQ(U32At(file, 10), 54u);
  EXPECT_EQ(U32At(file, 34), 4u);
  EXPECT_EQ(U32At(file, 38), 2835u);
  EXPECT_EQ(std::vector<uint8_t>(file.end() - 4, file.end()), (std::vector<uint8_t>{1, 2, 3, 0}));

  // Index8: 40-byte header, a whole palette, RLE8; a row of five distinct bytes is a literal.
  images.clear();
  Image& indexed = images.emplace_back();
  ASSERT_TRUE(CreateImage(5, 1, PixelFormat::Index8, indexed));
  for (int i = 0; i < 5; ++i) indexed.Bits()[i] = static_cast<uint8_t>(10 + i);
  file = Save(images, options);
  EXPECT_EQ(U32At(file, 14), 40u);
  EXPECT_EQ(U32At(file, 30), 1u);
  EXPECT_EQ(U32At(file, 10), 54u + 1024u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 1078, file.end()),
            (std::vector<uint8_t>{0, 5, 10, 11, 12, 13, 14, 0, 0, 0, 0, 1}));
  EXPECT_EQ(U32At(file, 34), 12u);

  // A4R4G4B4: 108-byte header with bit fields and the alpha mask.
  images.clear();
  Image& argb = images.emplace_back();
  ASSERT_TRUE(CreateImage(2, 2, PixelFormat::A4R4G4B4, argb));
  file = Save(images, options);
  EXPECT_EQ(U32At(file, 14), 108u);
  EXPECT_EQ(U32At(file, 30), 3u);
  EXPECT_EQ(U32At(file, 54), 0x0F00u);
  EXPECT_EQ(U32At(file, 66), 0xF000u);
  EXPECT_EQ(U32At(file, 10), 122u);
}

// Every savable format survives a round trip through our reader and reads the same with
// ImageMagick.
TEST(Bitmap, WrittenFilesReadBack) {
  testsupport::TempDir dir;
  CodecOptions options = CurrentOptions();
  const PixelFormat formats[] = {PixelFormat::Index8,   PixelFormat::R5G6B5,   PixelFormat::A1R5G5B5,
                                 PixelFormat::A4R4G4B4, PixelFormat::X1R5G5B5, PixelFormat::X4R4G4B4,
                                 PixelFormat::R8G8B8,   PixelFormat::A8R8G8B8, PixelFormat::X8R8G8B8};
  for (int rle = 0; rle < 2; ++rle)
    for (PixelFormat format : formats) {
      if (rle && format != PixelFormat::Index8) continue;
      options.bitmap.useRle = rle;
      const std::string name = GetFormatName(format) + (rle ? "-rle" : "");
      SCOPED_TRACE(name);
      std::vector<Image> images;
      MakePattern(format, 13, 7, images.emplace_back());
      const std::string path = (dir / (name + ".bmp")).string();
      ASSERT_TRUE(Bmp().SaveToFile(path, images, false, options));

      std::vector<Image> loaded;
      ASSERT_TRUE(Bmp().LoadFromFile(path, loaded));
      ASSERT_EQ(loaded[0].Format(), format);
      EXPECT_EQ(std::memcmp(loaded[0].Bits(), images[0].Bits(), static_cast<size_t>(images[0].Size())), 0);
      if (format == PixelFormat::Index8) {
        EXPECT_EQ(std::memcmp(loaded[0].Palette(), images[0].Palette(), 1024), 0);
      }

      Image magick;
      if (!testsupport::DecodeWithImageMagick(path, magick)) GTEST_SKIP() << "ImageMagick is not available";
      const PixelFormatInfo& info = *FindFormatInfo(format);
      if (info.HasBitFields && (info.HasAlphaChannel || info.BitFields->RBits == 4))
        EXPECT_EQ(CompareSixteenBitWithMagick(magick, images[0]), "");
      else
        EXPECT_EQ(testsupport::CompareImages(magick, images[0], 1, info.HasAlphaChannel), "");
    }
}

TEST(Bitmap, SeveralImagesGoToNumberedFiles) {
  testsupport::TempDir dir;
  std::vector<Image> images;
  MakePattern(PixelFormat::R8G8B8, 3, 2, images.emplace_back());
  MakePattern(PixelFormat::Index8, 4, 4, images.emplace_back());
  ASSERT_TRUE(Bmp().SaveToFile((dir / "x.bmp").string(), images));
  EXPECT_FALSE(fs::exists(dir / "x.bmp"));
  for (int i = 0; i < 2; ++i) {
    const fs::path path = dir / ("x00" + std::to_string(i) + ".bmp");
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(DetectFileFormat(path.string()), "bmp");
    Image image;
    ASSERT_TRUE(LoadImageFromFile(path.string(), image));
    EXPECT_EQ(image.Width(), images[i].Width());
    EXPECT_EQ(image.Format(), images[i].Format());
  }
}

// Formats the codec cannot write are converted first; the override option converts every save.
TEST(Bitmap, UnsavableFormatsAreConvertedForSaving) {
  {
    Image probe;
    ASSERT_TRUE(CreateImage(1, 1, PixelFormat::Gray8, probe));
    bool converts = true;
    try {
      ConvertImageFormat(probe, PixelFormat::Index8);
    } catch (const ImagingError&) {
      converts = false;
    }
    probe.Reset();
    if (!converts) GTEST_SKIP() << "pixel-format conversion is not available yet";
  }
  CodecOptions options = CurrentOptions();
  options.bitmap.useRle = false;
  const std::pair<PixelFormat, PixelFormat> cases[] = {
      {PixelFormat::Gray8, PixelFormat::Index8},          {PixelFormat::A8Gray8, PixelFormat::A8R8G8B8},
      {PixelFormat::R16G16B16, PixelFormat::R8G8B8},      {PixelFormat::A16B16G16R16, PixelFormat::A8R8G8B8},
      {PixelFormat::R32F, PixelFormat::R8G8B8},           {PixelFormat::A32R32G32B32F, PixelFormat::A8R8G8B8},
      {PixelFormat::R3G3B2, PixelFormat::X1R5G5B5},       {PixelFormat::X5R1G1B1, PixelFormat::X1R5G5B5},
  };
  for (const auto& [source, written] : cases) {
    SCOPED_TRACE(GetFormatName(source));
    std::vector<Image> images;
    Image& image = images.emplace_back();
    ASSERT_TRUE(CreateImage(6, 3, source, image));
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 6; ++x) SetPixel32(image, x, y, MakeColor32(255, uint8_t(x * 40), uint8_t(y * 100), 0));
    const std::vector<uint8_t> file = Save(images, options);
    std::vector<Image> loaded;
    ASSERT_EQ(Load(file, loaded), "");
    EXPECT_EQ(loaded[0].Format(), written);
    EXPECT_EQ(loaded[0].Width(), 6);
    EXPECT_TRUE(IsImageValid(images[0])) << "the caller's image is left as it was";
    EXPECT_EQ(images[0].Format(), source);
  }

  options.library.saveOverrideFormat = PixelFormat::R8G8B8;
  std::vector<Image> images;
  MakePattern(PixelFormat::Index8, 5, 4, images.emplace_back());
  const std::vector<uint8_t> file = Save(images, options);
  EXPECT_EQ(file[28], 24) << "written with 24 bits per pixel";
  std::vector<Image> loaded;
  ASSERT_EQ(Load(file, loaded), "");
  EXPECT_EQ(testsupport::CompareImages(images[0], loaded[0]), "");
}
