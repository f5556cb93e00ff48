// The Exif orientation: the eight ways a stored picture is turned upright, in every pixel
// format, and the reading of the tag from a TIFF block.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/Orientation.h"
#include "imaging/PixelFormats.h"
#include "tests/imaging/CodecTestHelpers.h"

using namespace imaging;

namespace {

// The colour that marks pixel k (1 to 6) of the 3 x 2 picture; gray for gray formats.
Color32 Mark(int k, bool gray) {
  const uint8_t v = static_cast<uint8_t>(k * 40);
  return gray ? MakeColor32(255, v, v, v) : MakeColor32(255, v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(k * 20));
}

// The picture
//   1 2 3
//   4 5 6
// in the format; a palette picture holds the marks in its palette.
void MakeMarkedPicture(PixelFormat format, Image& image) {
  ASSERT_TRUE(CreateImage(3, 2, format, image));
  const bool gray = FindFormatInfo(format)->HasGrayChannel;
  for (int k = 1; k <= 6; ++k) {
    if (format == PixelFormat::Index8) {
      image.Palette()[k] = Mark(k, false);
      image.Bits()[k - 1] = static_cast<uint8_t>(k);
    } else {
      SetPixel32(image, (k - 1) % 3, (k - 1) / 3, Mark(k, gray));
    }
  }
}

// The marks as the picture shows them, rows separated by "/", "?" for a pixel that is none.
std::string Layout(const Image& image) {
  const bool gray = FindFormatInfo(image.Format())->HasGrayChannel;
  std::string text;
  for (int32_t y = 0; y < image.Height(); ++y) {
    if (y > 0) text += '/';
    for (int32_t x = 0; x < image.Width(); ++x) {
      char digit = '?';
      for (int k = 1; k <= 6; ++k)
        if (GetPixel32(image, x, y) == Mark(k, gray)) digit = static_cast<char>('0' + k);
      text += digit;
    }
  }
  return text;
}

// A TIFF block whose IFD0 holds the given entries (tag, type, count, 16-bit value).
struct Entry {
  uint16_t tag, type;
  uint32_t count;
  uint16_t value;
};
std::vector<uint8_t> TiffBlock(bool bigEndian, const std::vector<Entry>& entries, uint32_t directory = 8) {
  std::vector<uint8_t> b(directory + 2 + 12 * entries.size() + 4, 0);
  const auto put16 = [&](size_t at, uint16_t v) {
    b[at] = bigEndian ? uint8_t(v >> 8) : uint8_t(v);
    b[at + 1] = bigEndian ? uint8_t(v) : uint8_t(v >> 8);
  };
  const auto put32 = [&](size_t at, uint32_t v) {
    put16(at + (bigEndian ? 0 : 2), uint16_t(v >> 16));
    put16(at + (bigEndian ? 2 : 0), uint16_t(v));
  };
  b[0] = b[1] = bigEndian ? 'M' : 'I';
  put16(2, 42);
  put32(4, directory);
  put16(directory, static_cast<uint16_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = directory + 2 + 12 * i;
    put16(at, entries[i].tag);
    put16(at + 2, entries[i].type);
    put32(at + 4, entries[i].count);
    put16(at + 8, entries[i].value);
  }
  return b;
}

}  // namespace

TEST(Orientation, EachOfTheEightTurnsASmallPictureUprightInEveryPixelFormat) {
  const char* const upright[9] = {
      nullptr,
      "123/456",   // 1 as stored
      "321/654",   // 2 mirrored left to right
      "654/321",   // 3 turned 180 degrees
      "456/123",   // 4 mirrored top to bottom
      "14/25/36",  // 5 transposed
      "41/52/63",  // 6 turned clockwise
      "63/52/41",  // 7 transversed
      "36/25/14",  // 8 turned counter-clockwise
  };
  const PixelFormat formats[] = {PixelFormat::Gray8,        PixelFormat::A8Gray8,       PixelFormat::Gray16,
                                 PixelFormat::R8G8B8,       PixelFormat::A8R8G8B8,      PixelFormat::R16G16B16,
                                 PixelFormat::A16R16G16B16, PixelFormat::A32R32G32B32F, PixelFormat::Index8};
  for (const PixelFormat format : formats) {
    for (int32_t orientation = 1; orientation <= 8; ++orientation) {
      Image image;
      MakeMarkedPicture(format, image);
      ASSERT_TRUE(OrientImage(image, orientation));
      EXPECT_EQ(image.Format(), format);
      EXPECT_EQ(Layout(image), upright[orientation]) << GetFormatName(format) << ", orientation " << orientation;
    }
  }
  // Values outside 1 to 8 leave the picture as it is.
  for (const int32_t odd : {0, 9, -1}) {
    Image image;
    MakeMarkedPicture(PixelFormat::A8R8G8B8, image);
    ASSERT_TRUE(OrientImage(image, odd));
    EXPECT_EQ(Layout(image), "123/456") << odd;
  }
}

TEST(Orientation, TurnsAcrossTilesAndBackAndKeepsCompressedFormats) {
  // Larger than one 64 x 64 tile in both directions, and not a multiple of it.
  Image original;
  ASSERT_TRUE(CreateImage(130, 67, PixelFormat::A8R8G8B8, original));
  std::mt19937 random(7);
  for (int32_t i = 0; i < original.Size(); ++i) original.Bits()[i] = static_cast<uint8_t>(random());

  Image turned;
  ASSERT_TRUE(CopyImage(original, turned));
  ASSERT_TRUE(OrientImage(turned, kOrientationRightTop));
  ASSERT_EQ(turned.Width(), 67);
  ASSERT_EQ(turned.Height(), 130);
  // Turned clockwise: stored (x, y) shows at (height - 1 - y, x).
  for (const auto& [x, y] : {std::pair{0, 0}, {129, 0}, {64, 63}, {129, 66}, {65, 64}})
    EXPECT_EQ(GetPixel32(turned, 66 - y, x), GetPixel32(original, x, y)) << x << "," << y;

  // Each orientation followed by the one that undoes it gives the original back.
  const std::pair<int32_t, int32_t> inverses[] = {{2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 8}, {7, 7}, {8, 6}};
  for (const auto& [orientation, inverse] : inverses) {
    Image copy;
    ASSERT_TRUE(CopyImage(original, copy));
    ASSERT_TRUE(OrientImage(copy, orientation));
    ASSERT_TRUE(OrientImage(copy, inverse));
    EXPECT_EQ(testsupport::CompareImages(original, copy), "") << orientation << " then " << inverse;
  }

  Image blocks;
  ASSERT_TRUE(CreateImage(8, 4, PixelFormat::DXT1, blocks));
  ASSERT_TRUE(OrientImage(blocks, kOrientationLeftBottom));
  EXPECT_EQ(blocks.Format(), PixelFormat::DXT1);
  EXPECT_EQ(blocks.Width(), 4);
  EXPECT_EQ(blocks.Height(), 8);
  Image empty;
  EXPECT_FALSE(OrientImage(empty, kOrientationRightTop));
}

TEST(Orientation, TheTagOfIfd0IsReadWithinTheBlockAndAnythingOddReadsAsOne) {
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
    int32_t expected;
  };
  const Entry make = {271, 2, 4, 0};
  std::vector<uint8_t> cut = TiffBlock(false, {make, {274, 3, 1, 6}});
  cut.resize(cut.size() - 4 - 6);  // the orientation entry is not whole any more
  std::vector<uint8_t> badMagic = TiffBlock(false, {{274, 3, 1, 6}});
  badMagic[2] = 43;
  std::vector<uint8_t> wrongOrder = TiffBlock(true, {{274, 3, 1, 6}});
  wrongOrder[0] = 'I';
  // Little-endian blocks whose IFD0 offset points elsewhere.
  const auto pointingAt = [](uint32_t offset) {
    std::vector<uint8_t> block = TiffBlock(false, {{274, 3, 1, 6}});
    for (int i = 0; i < 4; ++i) block[4 + size_t(i)] = static_cast<uint8_t>(offset >> (8 * i));
    return block;
  };
  const Case cases[] = {
      {"little-endian", TiffBlock(false, {make, {274, 3, 1, 6}}), 6},
      {"big-endian", TiffBlock(true, {{274, 3, 1, 8}}), 8},
      {"directory further in", TiffBlock(false, {{274, 3, 1, 3}}, 40), 3},
      {"no tag", TiffBlock(false, {make}), 1},
      {"value 0", TiffBlock(false, {{274, 3, 1, 0}}), 1},
      {"value 9", TiffBlock(true, {{274, 3, 1, 9}}), 1},
      {"a LONG", TiffBlock(false, {{274, 4, 1, 6}}), 1},
      {"two values", TiffBlock(false, {{274, 3, 2, 6}}), 1},
      {"entry cut off", cut, 1},
      {"directory beyond the block", pointingAt(0xFFFFFFF0u), 1},
      {"directory at the last byte", pointingAt(25), 1},
      {"directory in the header", pointingAt(4), 1},
      {"magic", badMagic, 1},
      {"byte order", wrongOrder, 1},
      {"too short", std::vector<uint8_t>{'I', 'I', 42, 0}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ExifOrientation(c.block.data(), c.block.size()), c.expected) << c.what;
  EXPECT_EQ(ExifOrientation(nullptr, 0), 1);
}
