// Pixel-format conversion: the rule table, the colour reduction and the block codecs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/BlockCompression.h"
#include "imaging/PixelFormats.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
using PF = PixelFormat;

namespace {

uint32_t Mix(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7FEB352Du;
  v ^= v >> 15;
  v *= 0x846CA68Bu;
  v ^= v >> 16;
  return v;
}

std::vector<uint8_t> BytesOf(const Image& image) { return std::vector<uint8_t>(image.Bits(), image.Bits() + image.Size()); }

Image MakeImage(int32_t width, int32_t height, PF format, const std::function<Color32(int32_t, int32_t)>& color) {
  Image image;
  EXPECT_TRUE(CreateImage(width, height, PF::A8R8G8B8, image));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) SetPixel32(image, x, y, color(x, y));
  if (format != PF::A8R8G8B8) {
    EXPECT_TRUE(ConvertImageFormat(image, format));
  }
  return image;
}

Image Converted(const Image& source, PF format) {
  Image copy;
  EXPECT_TRUE(CopyImage(source, copy));
  EXPECT_TRUE(ConvertImageFormat(copy, format));
  return copy;
}

// ---- Colours each format holds exactly ------------------------------------------------------

// Level f of a field of `bits` bits as the readers scale it to 8 bits.
uint8_t Level(uint32_t f, int bits) { return bits ? static_cast<uint8_t>(f * 255 / ((1u << bits) - 1)) : 255; }

Color32 AnyColor(PF, int32_t x, int32_t y) { return Mix(uint32_t(y * 8 + x + 1)); }
Color32 OpaqueColor(PF f, int32_t x, int32_t y) { return AnyColor(f, x, y) | 0xFF000000u; }
Color32 GrayColor(PF f, int32_t x, int32_t y) { return 0xFF000000u | (AnyColor(f, x, y) & 0xFF) * 0x010101u; }
Color32 GrayAlphaColor(PF f, int32_t x, int32_t y) {
  return (AnyColor(f, x, y) & 0xFF000000u) | (AnyColor(f, x, y) & 0xFF) * 0x010101u;
}
// Half floats keep 11 significant bits, and the way back to 8 bits goes through 16-bit values
// that are narrowed by truncation: these levels come back unchanged, most others one lower.
constexpr uint8_t kHalfLevels[16] = {0, 1, 9, 16, 37, 64, 90, 128, 150, 159, 181, 191, 215, 223, 248, 255};
Color32 HalfColor(PF f, int32_t x, int32_t y) {
  const uint32_t h = AnyColor(f, x, y);
  return MakeColor32(kHalfLevels[h >> 28], kHalfLevels[(h >> 8) & 15], kHalfLevels[(h >> 4) & 15], kHalfLevels[h & 15]);
}
Color32 RedColor(PF f, int32_t x, int32_t y) { return 0xFF000000u | (AnyColor(f, x, y) & 0x00FF0000u); }
Color32 HalfRedColor(PF f, int32_t x, int32_t y) { return 0xFF000000u | (HalfColor(f, x, y) & 0x00FF0000u); }
Color32 BitFieldColor(PF f, int32_t x, int32_t y) {
  PixelFormatInfo info{};
  GetFormatInfo(f, info);
  const BitFieldLayout& l = *info.BitFields;
  const uint32_t h = AnyColor(f, x, y);
  auto level = [&](int bits, int shift) { return Level((h >> shift) & ((1u << bits) - 1), bits); };
  return MakeColor32(l.ABits ? level(l.ABits, 24) : 255, level(l.RBits, 16), level(l.GBits, 8), level(l.BBits, 0));
}

// Block formats: two colours per 4 × 4 block, each exactly an endpoint the block can store.
uint32_t BlockChoice(int32_t x, int32_t y, uint32_t salt) {
  const uint32_t block = Mix(uint32_t((y / 4) * 16 + x / 4) + salt);
  return (Mix(uint32_t(y * 8 + x) + 77) & 1) ? block : Mix(block);
}
Color32 Color565(PF, int32_t x, int32_t y) {
  const uint32_t h = BlockChoice(x, y, 1);
  return MakeColor32(255, Level(h & 31, 5), Level((h >> 5) & 63, 6), Level((h >> 11) & 31, 5));
}
Color32 Color565Alpha4(PF f, int32_t x, int32_t y) {
  return (Color565(f, x, y) & 0x00FFFFFFu) | (Level(Mix(uint32_t(x * 8 + y)) & 15, 4) << 24);
}
Color32 Color565Alpha(PF f, int32_t x, int32_t y) {
  return (Color565(f, x, y) & 0x00FFFFFFu) | (BlockChoice(x, y, 9) & 0xFF000000u);
}
Color32 BlockGray(PF, int32_t x, int32_t y) { return 0xFF000000u | (BlockChoice(x, y, 3) & 0xFF) * 0x010101u; }
Color32 BlockRedGreen(PF, int32_t x, int32_t y) {
  return 0xFF000000u | (BlockChoice(x, y, 5) & 0x00FF0000u) | (BlockChoice(x, y, 6) & 0x0000FF00u);
}

struct RoundTrip {
  PF format;
  Color32 (*color)(PF, int32_t, int32_t);
};

const RoundTrip kRoundTrips[] = {
    {PF::Index8, AnyColor},        {PF::Gray8, GrayColor},          {PF::A8Gray8, GrayAlphaColor},
    {PF::Gray16, GrayColor},       {PF::Gray32, GrayColor},         {PF::Gray64, GrayColor},
    {PF::A16Gray16, GrayAlphaColor}, {PF::X5R1G1B1, BitFieldColor}, {PF::R3G3B2, BitFieldColor},
    {PF::R5G6B5, BitFieldColor},   {PF::A1R5G5B5, BitFieldColor},   {PF::A4R4G4B4, BitFieldColor},
    {PF::X1R5G5B5, BitFieldColor}, {PF::X4R4G4B4, BitFieldColor},   {PF::R8G8B8, OpaqueColor},
    {PF::A8R8G8B8, AnyColor},      {PF::X8R8G8B8, OpaqueColor},     {PF::R16G16B16, OpaqueColor},
    {PF::A16R16G16B16, AnyColor},  {PF::B16G16R16, OpaqueColor},    {PF::A16B16G16R16, AnyColor},
    {PF::R32F, RedColor},          {PF::A32R32G32B32F, AnyColor},   {PF::A32B32G32R32F, AnyColor},
    {PF::R16F, HalfRedColor},      {PF::A16R16G16B16F, HalfColor},  {PF::A16B16G16R16F, HalfColor},
    {PF::DXT1, Color565},          {PF::DXT3, Color565Alpha4},      {PF::DXT5, Color565Alpha},
    {PF::BTC, BlockGray},          {PF::ATI1N, BlockGray},          {PF::ATI2N, BlockRedGreen},
};

// Every format, from A8R8G8B8 and back, with colours the format can hold: nothing changes.
TEST(ConvertRoundTrip, EveryFormatThroughA8R8G8B8) {
  for (const RoundTrip& t : kRoundTrips) {
    SCOPED_TRACE(GetFormatName(t.format));
    Image original = MakeImage(8, 8, PF::A8R8G8B8, [&](int32_t x, int32_t y) { return t.color(t.format, x, y); });
    Image image = Converted(original, t.format);
    EXPECT_EQ(image.Format(), t.format);
    EXPECT_TRUE(IsImageValid(image));
    EXPECT_EQ(image.Size(), GetPixelsSize(t.format, 8, 8));
    ASSERT_TRUE(ConvertImageFormat(image, PF::A8R8G8B8));
    EXPECT_EQ(testsupport::CompareImages(original, image), "");
    image.Reset();
  }
}

// Every ordered pair of formats: black and white blocks survive every format, so a conversion
// straight from one format to the other gives what the two round trips give.
TEST(ConvertRoundTrip, EveryPairOfFormats) {
  Image original = MakeImage(8, 4, PF::A8R8G8B8, [](int32_t x, int32_t) {
    return x < 4 ? 0xFF000000u : 0xFFFFFFFFu;
  });
  for (const RoundTrip& from : kRoundTrips) {
    Image viaFrom = Converted(original, from.format);
    Image expectedFrom = Converted(viaFrom, PF::A8R8G8B8);
    for (const RoundTrip& to : kRoundTrips) {
      SCOPED_TRACE(GetFormatName(from.format) + " -> " + GetFormatName(to.format));
      Image image = Converted(viaFrom, to.format);
      EXPECT_EQ(image.Format(), to.format);
      EXPECT_TRUE(IsImageValid(image));
      Image expected = Converted(expectedFrom, to.format);
      ASSERT_TRUE(ConvertImageFormat(expected, PF::A8R8G8B8));
      ASSERT_TRUE(ConvertImageFormat(image, PF::A8R8G8B8));
      EXPECT_EQ(testsupport::CompareImages(expected, image), "");
      expected.Reset();
    }
    expectedFrom.Reset();
  }
}

// ---- The rule table --------------------------------------------------------------------------

TEST(ConvertRules, ChannelFormats) {
  // Alpha is dropped, not blended: colours stored under transparent pixels stay.
  Image image = MakeImage(2, 1, PF::A8R8G8B8, [](int32_t x, int32_t) { return x ? 0x00102030u : 0x80FFEEDDu; });
  Image rgb = Converted(image, PF::R8G8B8);
  EXPECT_EQ(BytesOf(rgb), (std::vector<uint8_t>{0xDD, 0xEE, 0xFF, 0x30, 0x20, 0x10}));
  Image x8 = Converted(image, PF::X8R8G8B8);
  EXPECT_EQ(BytesOf(x8), (std::vector<uint8_t>{0xDD, 0xEE, 0xFF, 0, 0x30, 0x20, 0x10, 0}));
  Image argb = Converted(rgb, PF::A8R8G8B8);
  EXPECT_EQ(BytesOf(argb), (std::vector<uint8_t>{0xDD, 0xEE, 0xFF, 255, 0x30, 0x20, 0x10, 255}));
  argb.Reset();
  argb = Converted(x8, PF::A8R8G8B8);
  EXPECT_EQ(GetPixel32(argb, 1, 0), 0xFF102030u);
  // The 16-bit formats widen each byte × 257.
  Image wide = Converted(image, PF::A16B16G16R16);
  EXPECT_EQ(BytesOf(wide), (std::vector<uint8_t>{0xFF, 0xFF, 0xEE, 0xEE, 0xDD, 0xDD, 0x80, 0x80,
                                                 0x10, 0x10, 0x20, 0x20, 0x30, 0x30, 0, 0}));
  // Partners with red and blue exchanged are converted in place.
  Image swapped = Converted(wide, PF::A16R16G16B16);
  EXPECT_EQ(GetPixel32(swapped, 0, 0), 0x80FFEEDDu);
  EXPECT_EQ(swapped.Bits()[0], 0xDD);
}

TEST(ConvertRules, GrayTargetsAndSources) {
  const Color32 colors[] = {0xFF0000FFu, 0x80FF0000u, 0xFF00FF00u, 0x20654321u, 0xFFC8A07Bu, 0x00FFFFFFu};
  Image image = MakeImage(6, 1, PF::A8R8G8B8, [&](int32_t x, int32_t) { return colors[x]; });
  Image gray8 = Converted(image, PF::Gray8);
  Image a8gray8 = Converted(image, PF::A8Gray8);
  Image gray16 = Converted(image, PF::Gray16);
  for (int x = 0; x < 6; ++x) {
    SCOPED_TRACE(x);
    const float r = Color32Red(colors[x]), g = Color32Green(colors[x]), b = Color32Blue(colors[x]);
    // From the 8-bit formats to Gray8: rounded on the 8-bit channels.
    EXPECT_EQ(gray8.Bits()[x], static_cast<uint8_t>(std::nearbyint(0.299f * r + 0.587f * g + 0.114f * b)));
    // Otherwise through the 16-bit channels, then narrowed (× 255 / 65535, truncated).
    const float wide = std::nearbyint(0.299f * (r * 257) + 0.587f * (g * 257) + 0.114f * (b * 257));
    uint16_t g16;
    std::memcpy(&g16, gray16.Bits() + 2 * x, 2);
    EXPECT_EQ(g16, static_cast<uint16_t>(wide));
    EXPECT_EQ(a8gray8.Bits()[2 * x], static_cast<uint8_t>(static_cast<uint32_t>(wide) * 255 / 65535));
    EXPECT_EQ(a8gray8.Bits()[2 * x + 1], Color32Alpha(colors[x]));
  }
  EXPECT_EQ(gray8.Bits()[0], 29);  // pure blue

  // Gray sources give R = G = B; Gray8 to the 8-bit formats directly.
  Image back = Converted(a8gray8, PF::A8R8G8B8);
  EXPECT_EQ(GetPixel32(back, 1, 0), 0x804C4C4Cu);
  back.Reset();
  back = Converted(gray8, PF::R8G8B8);
  EXPECT_EQ(back.Bits()[0], 29);
  EXPECT_EQ(back.Bits()[2], 29);
  back.Reset();
  // Between gray formats through the 16-bit gray and alpha.
  back = Converted(gray16, PF::Gray32);
  uint32_t g32;
  uint16_t g16;
  std::memcpy(&g32, back.Bits(), 4);
  std::memcpy(&g16, gray16.Bits(), 2);
  EXPECT_EQ(g32 >> 16, g16);
  back.Reset();
  back = Converted(a8gray8, PF::A16Gray16);
  uint16_t alpha;
  std::memcpy(&alpha, back.Bits() + 4 * 3 + 2, 2);
  EXPECT_EQ(alpha, 0x2020);
  back.Reset();

  // Gray to Index8: the gray ramp, each index the top 8 bits of the gray value.
  Image indexed = Converted(gray16, PF::Index8);
  EXPECT_EQ(indexed.Palette()[200], 0xFFC8C8C8u);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(indexed.Bits()[x], gray16.Bits()[2 * x + 1]);

}

TEST(ConvertRules, FloatSourcesAndTargets) {
  Image image;
  ASSERT_TRUE(CreateImage(2, 1, PF::A32R32G32B32F, image));
  const float values[8] = {-0.5f, 1.5f, 0.5f, std::nanf(""), 0.25f, 0.75f, 1.0f, 1.0f};
  std::memcpy(image.Bits(), values, sizeof values);

  // To integer channel formats: clamped, rounded × 65535 (ties to even), then written through
  // Color64, so 0.5 becomes 32768 and then 127.
  Image argb = Converted(image, PF::A8R8G8B8);
  EXPECT_EQ(GetPixel32(argb, 0, 0), 0x007FFF00u);
  Image wide = Converted(image, PF::A16R16G16B16);
  uint16_t words[4];
  std::memcpy(words, wide.Bits(), 8);
  EXPECT_EQ(words[0], 0);
  EXPECT_EQ(words[1], 65535);
  EXPECT_EQ(words[2], 32768);
  EXPECT_EQ(words[3], 0);

  // To gray: clamped channels, round(luminance × 65535), alpha round(A × 65535).
  Image gray = Converted(image, PF::A16Gray16);
  uint16_t ga[2];
  std::memcpy(ga, gray.Bits() + 4, 4);
  EXPECT_EQ(ga[0], static_cast<uint16_t>(std::nearbyint((0.299f * 1.0f + 0.587f * 0.75f + 0.114f * 0.25f) * 65535.0f)));
  EXPECT_EQ(ga[1], 65535);

  // Between float formats: component copies (unclamped), red and blue exchanged as needed.
  Image abgr = Converted(image, PF::A32B32G32R32F);
  float f[8];
  std::memcpy(f, abgr.Bits(), 32);
  EXPECT_EQ(f[0], 0.5f);
  EXPECT_EQ(f[2], -0.5f);
  EXPECT_TRUE(std::isnan(f[3]));
  Image red = Converted(image, PF::R32F);
  std::memcpy(f, red.Bits(), 8);
  EXPECT_EQ(f[0], 0.5f);
  EXPECT_EQ(f[1], 1.0f);
  Image full = Converted(red, PF::A32R32G32B32F);
  std::memcpy(f, full.Bits(), 16);
  EXPECT_EQ(f[0], 0.0f);
  EXPECT_EQ(f[1], 0.0f);
  EXPECT_EQ(f[2], 0.5f);
  EXPECT_EQ(f[3], 1.0f);

  // From 8-bit formats: × (1/255) in single precision.
  Image fromBytes = Converted(argb, PF::A32R32G32B32F);
  std::memcpy(f, fromBytes.Bits(), 16);
  EXPECT_EQ(f[1], 255 * 0.003921568859368563f);
  EXPECT_EQ(f[2], 127 * 0.003921568859368563f);
}

// Every half through the float formats and back, NaNs and infinities included: bit for bit.
TEST(ConvertRules, HalfFloatsExactBothWays) {
  Image image;
  ASSERT_TRUE(CreateImage(128, 128, PF::A16R16G16B16F, image));
  for (uint32_t i = 0; i < 65536; ++i) {
    const uint16_t h = static_cast<uint16_t>(i);
    std::memcpy(image.Bits() + 2 * i, &h, 2);
  }
  const std::vector<uint8_t> original = BytesOf(image);
  for (PF via : {PF::A32R32G32B32F, PF::A32B32G32R32F, PF::A16B16G16R16F}) {
    SCOPED_TRACE(GetFormatName(via));
    Image copy = Converted(image, via);
    ASSERT_TRUE(ConvertImageFormat(copy, PF::A16R16G16B16F));
    EXPECT_TRUE(BytesOf(copy) == original);
  }
  Image wide = Converted(image, PF::A32R32G32B32F);
  for (uint32_t i = 0; i < 65536; i += 997) {
    float f;
    std::memcpy(&f, wide.Bits() + 4 * i, 4);
    const float expected = HalfToFloat(static_cast<uint16_t>(i));
    if (std::isnan(expected)) EXPECT_TRUE(std::isnan(f));
    else EXPECT_EQ(f, expected) << i;
  }
  wide.Reset();
}

TEST(ConvertRules, IndexedSources) {
  Image image;
  ASSERT_TRUE(CreateImage(3, 1, PF::Index8, image));
  image.Palette()[0] = 0x80102030u;
  image.Palette()[1] = 0xFF0000FFu;
  image.Palette()[2] = 0x00FFFFFFu;
  image.Bits()[0] = 2;
  image.Bits()[1] = 0;
  image.Bits()[2] = 1;
  Image argb = Converted(image, PF::A8R8G8B8);
  EXPECT_EQ(GetPixel32(argb, 0, 0), 0x00FFFFFFu);
  EXPECT_EQ(GetPixel32(argb, 1, 0), 0x80102030u);
  Image rgb = Converted(image, PF::R8G8B8);
  EXPECT_EQ(BytesOf(rgb), (std::vector<uint8_t>{255, 255, 255, 0x30, 0x20, 0x10, 255, 0, 0}));
  Image gray = Converted(image, PF::Gray8);
  EXPECT_EQ(BytesOf(gray), (std::vector<uint8_t>{255, 29, 29}));  // the gray rule on the palette colours
  Image packed = Converted(image, PF::A4R4G4B4);
  EXPECT_EQ(GetPixel32(packed, 1, 0), 0x88112233u);
  Image fp = Converted(image, PF::A32R32G32B32F);
  EXPECT_EQ(GetPixelFP(fp, 1, 0).A, 128 * 0.003921568859368563f);
}

TEST(ConvertRules, InvalidInput) {
  Image empty;
  EXPECT_FALSE(ConvertImageFormat(empty, PF::Gray8));
  Image image;
  ASSERT_TRUE(CreateImage(1, 1, PF::Gray8, image));
  EXPECT_THROW(ConvertImageFormat(image, static_cast<PF>(3)), ImagingError);
  EXPECT_TRUE(ConvertImageFormat(image, PF::Gray8));
  uint8_t* bits = image.Bits();
  EXPECT_TRUE(ConvertImageFormat(image, PF::Default));
  EXPECT_EQ(image.Format(), PF::A8R8G8B8);
  EXPECT_NE(image.Bits(), bits);
  bits = image.Bits();
  EXPECT_TRUE(ConvertImageFormat(image, PF::Default));  // already there: nothing happens
  EXPECT_EQ(image.Bits(), bits);
  image.Reset();

  // A target too large for a 32-bit size: the conversion's message, then each reason below
  // it. The failure comes before any pixel is read, so the source's zero pages are never
  // touched.
  Image huge;
  ASSERT_TRUE(CreateImage(32768, 16384, PF::Gray8, huge));
  std::string error;
  try {
    ConvertImageFormat(huge, PF::A8R8G8B8);
  } catch (const ImagingError& e) {
    error = e.what();
  }
  EXPECT_EQ(error.rfind("Error while converting image to format \"A8R8G8B8\". Image @", 0), 0u) << error;
  EXPECT_NE(error.find("Format = Gray8, Size = 524,288 KiB, Bits @"), std::string::npos) << error;
  EXPECT_NE(error.find(". Exception Message: Error while creating image data with params: Width=32768 "
                       "Height=16384 Format=A8R8G8B8. Exception Message: "),
            std::string::npos)
      << error;
  EXPECT_EQ(huge.Format(), PF::Gray8);
}

// ---- Colour reduction --------------------------------------------------------------------------

TEST(ReduceColors, TwoColourPalette) {
  Image image = MakeImage(4, 1, PF::A8R8G8B8, [](int32_t x, int32_t) { return x == 2 ? 0x80123456u : 0xFFABCDEFu; });
  ASSERT_TRUE(ConvertImageFormat(image, PF::Index8));
  EXPECT_EQ(image.Palette()[0], 0xFFABCDEFu);  // the more frequent colour first
  EXPECT_EQ(image.Palette()[1], 0x80123456u);
  for (int i = 2; i < 256; ++i) ASSERT_EQ(image.Palette()[i], 0xFF000000u) << i;
  EXPECT_EQ(BytesOf(image), (std::vector<uint8_t>{0, 0, 1, 0}));
}

TEST(ReduceColors, WeightedSplitAveragesAndOrder) {
  // Blue spreads wider (200) than red (100), but red weighs 612 against blue's 234, so the one
  // split is on red at (0 + 100) / 2: A and C stay together, B moves to a new box.
  const Color32 a = 0xFF000000u, b = 0xFF640000u, c = 0xFF0000C8u;
  const Color32 pixels[7] = {a, b, c, c, c, c, c};
  Color32 palette[4] = {1, 1, 1, 1};
  uint8_t indices[7] = {};
  PixelFormatInfo argb{}, index8{};
  GetFormatInfo(PF::A8R8G8B8, argb);
  GetFormatInfo(PF::Index8, index8);
  ReduceColors(7, reinterpret_cast<const uint8_t*>(pixels), indices, raAll, palette, 0xFF, 2, &argb, &index8);
  EXPECT_EQ(palette[0], 0xFF0000A6u);  // A × 1 and C × 5: blue 1000 / 6, truncated
  EXPECT_EQ(palette[1], b);
  EXPECT_EQ(palette[2], 1u);  // beyond the colour count: untouched
  EXPECT_EQ(std::vector<uint8_t>(indices, indices + 7), (std::vector<uint8_t>{0, 1, 0, 0, 0, 0, 0}));

  // Colour counts below 2 are raised to 2.
  ReduceColors(7, reinterpret_cast<const uint8_t*>(pixels), indices, raAll, palette, 0xFF, 0, &argb, &index8);
  EXPECT_EQ(palette[1], b);
}

TEST(ReduceColors, MaskedColoursShareABox) {
  // With mask 0xF0 both colours mask to the same one; the box's bounds reach 0x0F past its
  // masked maximum, so both map to it. The average is of the masked colours.
  const Color32 pixels[3] = {0xFF123456u, 0xFF1F3F5Fu, 0xF0E0D0C0u};
  Color32 palette[4] = {};
  uint8_t indices[3] = {9, 9, 9};
  PixelFormatInfo argb{}, index8{};
  GetFormatInfo(PF::A8R8G8B8, argb);
  GetFormatInfo(PF::Index8, index8);
  ReduceColors(3, reinterpret_cast<const uint8_t*>(pixels), indices, raAll, palette, 0xF0, 4, &argb, &index8);
  EXPECT_EQ(palette[0], 0xF0103050u);
  EXPECT_EQ(palette[1], 0xF0E0D0C0u);
  EXPECT_EQ(palette[2], 0xFF000000u);
  EXPECT_EQ(std::vector<uint8_t>(indices, indices + 3), (std::vector<uint8_t>{0, 0, 1}));
}

TEST(ReduceColors, OnePaletteForSeveralImages) {
  // Collect from two images, build one palette, map each: the steps split one reduction.
  const Color32 first[2] = {0xFFFF0000u, 0xFFFF0000u};
  const Color32 second[3] = {0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu};
  Color32 palette[2] = {};
  uint8_t firstIndices[2] = {9, 9}, secondIndices[3] = {9, 9, 9};
  PixelFormatInfo argb{}, index8{};
  GetFormatInfo(PF::A8R8G8B8, argb);
  GetFormatInfo(PF::Index8, index8);
  const auto* src1 = reinterpret_cast<const uint8_t*>(first);
  const auto* src2 = reinterpret_cast<const uint8_t*>(second);
  ReduceColors(2, src1, nullptr, raClearHashTable | raMakeColorMap, palette, 0xFF, 2, &argb, &index8);
  ReduceColors(3, src2, nullptr, raMakeColorMap, palette, 0xFF, 2, &argb, &index8);
  ReduceColors(0, nullptr, nullptr, raMakePalette, palette, 0xFF, 2, &argb, &index8);
  ReduceColors(2, src1, firstIndices, raMapImage, palette, 0xFF, 2, &argb, &index8);
  ReduceColors(3, src2, secondIndices, raMapImage, palette, 0xFF, 2, &argb, &index8);
  EXPECT_EQ(palette[0], 0xFF0000FFu);  // three pixels against two
  EXPECT_EQ(palette[1], 0xFFFF0000u);
  EXPECT_EQ(firstIndices[1], 1);
  EXPECT_EQ(secondIndices[2], 0);
}

TEST(ReduceColors, ManyColoursStayClose) {
  // 4096 colours in 256 boxes: every pixel maps to the box that holds it, so its palette
  // colour lies within the box's spread.
  Image image = MakeImage(64, 64, PF::R8G8B8, [](int32_t x, int32_t y) {
    return MakeColor32(255, static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4), static_cast<uint8_t>((x + y) * 2));
  });
  Image indexed = Converted(image, PF::Index8);
  int used[256] = {};
  int worst = 0;
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x) {
      const Color32 want = GetPixel32(image, x, y), got = GetPixel32(indexed, x, y);
      ++used[indexed.Bits()[y * 64 + x]];
      for (int k = 0; k < 32; k += 8)
        worst = std::max(worst, std::abs(int((want >> k) & 0xFF) - int((got >> k) & 0xFF)));
    }
  int distinct = 0;
  for (int n : used) distinct += n > 0;
  EXPECT_EQ(distinct, 256);
  EXPECT_LE(worst, 16);
  indexed.Reset();
}

// ---- Block codecs ------------------------------------------------------------------------------

struct BlockCase {
  const char* name;
  PF format;
  std::vector<uint8_t> block;
  std::vector<Color32> pixels;  // the first pixels of the block in row order; gray formats as gray bytes
};

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(BlockCodecs, DecodeHandBuiltBlocks) {
  // Colour block: endpoints little-endian 5-6-5, then 2-bit indices from the low bits up.
  const std::vector<uint8_t> redBlue4 = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};  // indices 0,1,2,3
  const std::vector<uint8_t> blueRed3 = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0x00, 0x00, 0x00};
  const std::vector<uint8_t> small = {0x21, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};      // 1,1,1 in 5-6-5
  // Alpha block: a0, a1, then 3-bit indices from the low bits up: 0,1,2,...,7 for pixels 0-7.
  const std::vector<uint8_t> ramp8 = {200, 100, 0x88, 0xC6, 0xFA, 0x00, 0x00, 0x00};
  const std::vector<uint8_t> ramp6 = {100, 200, 0x88, 0xC6, 0xFA, 0x00, 0x00, 0x00};
  const BlockCase cases[] = {
      {"DXT1 four colours", PF::DXT1, redBlue4, {0xFFFF0000u, 0xFF0000FFu, 0xFFAA0055u, 0xFF5500AAu, 0xFFFF0000u}},
      {"DXT1 three colours", PF::DXT1, blueRed3, {0xFF0000FFu, 0xFFFF0000u, 0xFF7F007Fu, 0x00AA0055u}},
      {"DXT1 endpoint expansion", PF::DXT1, small, {0xFF080408u}},
      {"DXT3 nibbles × 17", PF::DXT3, Cat({0x10, 0xF2, 0, 0, 0, 0, 0, 0}, redBlue4),
       {0x00FF0000u, 0x110000FFu, 0x22AA0055u, 0xFF5500AAu}},
      // DXT3 and DXT5 colour blocks always have four colours, whatever the endpoint order.
      {"DXT3 four colours always", PF::DXT3, Cat({0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, blueRed3),
       {0xFF0000FFu, 0xFFFF0000u, 0xFF5500AAu, 0xFFAA0055u}},
      {"DXT5 eight-value ramp", PF::DXT5, Cat(ramp8, redBlue4),
       {0xC8FF0000u, 0x640000FFu, 0xBAAA0055u, 0xAB5500AAu, 0x9DFF0000u, 0x8FFF0000u, 0x81FF0000u, 0x72FF0000u}},
      {"ATI1N six-value ramp", PF::ATI1N, ramp6, {100, 200, 120, 140, 160, 180, 0, 255}},
      {"ATI1N eight-value ramp", PF::ATI1N, ramp8, {200, 100, 186, 171, 157, 143, 129, 114}},
      {"ATI2N red and green", PF::ATI2N, Cat(ramp8, ramp6),
       {0xFFC86400u, 0xFF64C800u, 0xFFBA7800u, 0xFFAB8C00u, 0xFF9DA000u, 0xFF8FB400u, 0xFF810000u, 0xFF72FF00u}},
      {"BTC", PF::BTC, {10, 200, 0x05, 0x80}, {200, 10, 200, 10, 10, 10, 10, 10}},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.name);
    Image image;
    ASSERT_TRUE(CreateImage(4, 4, c.format, image));
    ASSERT_EQ(size_t(image.Size()), c.block.size());
    std::memcpy(image.Bits(), c.block.data(), c.block.size());
    PixelFormatInfo info{};
    GetFormatInfo(c.format, info);
    ASSERT_TRUE(ConvertImageFormat(image, info.DecodedFormat));
    for (size_t i = 0; i < c.pixels.size(); ++i) {
      const int32_t x = int32_t(i % 4), y = int32_t(i / 4);
      if (info.DecodedFormat == PF::Gray8) EXPECT_EQ(image.Bits()[i], c.pixels[i]) << "pixel " << i;
      else EXPECT_EQ(GetPixel32(image, x, y), c.pixels[i]) << "pixel " << i;
    }
  }
  // The last BTC pixel uses bit 15.
  Image btc;
  ASSERT_TRUE(CreateImage(4, 4, PF::BTC, btc));
  const uint8_t block[4] = {10, 200, 0x00, 0x80};
  std::memcpy(btc.Bits(), block, 4);
  ASSERT_TRUE(ConvertImageFormat(btc, PF::Gray8));
  EXPECT_EQ(btc.Bits()[15], 200);
  EXPECT_EQ(btc.Bits()[14], 10);
}

TEST(BlockCodecs, BlocksPastTheEdgeKeepOnlyInsidePixels) {
  // The blocks of a 5 × 3 DXT1 texture (stored as 8 × 4): two blocks, the second mostly outside.
  Image blocks;
  ASSERT_TRUE(CreateImage(8, 4, PF::DXT1, blocks));
  const uint8_t data[16] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0, 0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
  std::memcpy(blocks.Bits(), data, 16);
  Image image;
  DecodeCompressedImage(blocks, 5, 3, image);
  ASSERT_EQ(image.Format(), PF::A8R8G8B8);
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.Height(), 3);
  EXPECT_EQ(image.Size(), 60);
  EXPECT_EQ(GetPixel32(image, 3, 2), 0xFFFF0000u);
  EXPECT_EQ(GetPixel32(image, 4, 0), 0xFF0000FFu);
  EXPECT_EQ(GetPixel32(image, 4, 2), 0xFF0000FFu);
}

// Sides that are not multiples of 4 are first stretched with nearest neighbour: 6 columns to 8
// take source columns 0, 0, 1, 2, 3, 3, 4, 5, so each half of the image fills whole blocks.
TEST(BlockCodecs, SixBySixBecomesEightByEight) {
  const Color32 quadrants[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
  Image image = MakeImage(6, 6, PF::A8R8G8B8, [&](int32_t x, int32_t y) { return quadrants[(y / 3) * 2 + x / 3]; });
  ASSERT_TRUE(ConvertImageFormat(image, PF::DXT1));
  EXPECT_EQ(image.Width(), 8);
  EXPECT_EQ(image.Height(), 8);
  EXPECT_EQ(image.Size(), 32);
  ASSERT_TRUE(ConvertImageFormat(image, PF::A8R8G8B8));
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(GetPixel32(image, x, y), quadrants[(y / 4) * 2 + x / 4]) << x << "," << y;
}

TEST(BlockCodecs, Dxt1KeepsTransparentPixels) {
  Image image = MakeImage(4, 4, PF::A8R8G8B8, [](int32_t x, int32_t y) {
    return x == y ? 0x00000000u : (x < 2 ? 0xFFFF0000u : 0xFF00FF00u);
  });
  Image dxt1 = Converted(image, PF::DXT1);
  const uint16_t c0 = uint16_t(dxt1.Bits()[0] | dxt1.Bits()[1] << 8), c1 = uint16_t(dxt1.Bits()[2] | dxt1.Bits()[3] << 8);
  EXPECT_LE(c0, c1);  // three-colour mode
  ASSERT_TRUE(ConvertImageFormat(dxt1, PF::A8R8G8B8));
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      const Color32 c = GetPixel32(dxt1, x, y);
      if (x == y) EXPECT_EQ(Color32Alpha(c), 0) << x << "," << y;
      else EXPECT_EQ(c, GetPixel32(image, x, y)) << x << "," << y;
    }
  // Fully transparent blocks stay transparent.
  std::memset(image.Bits(), 0, size_t(image.Size()));
  Image clear = Converted(image, PF::DXT1);
  ASSERT_TRUE(ConvertImageFormat(clear, PF::A8R8G8B8));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(clear.Bits()[4 * i + 3], 0);
}

// A smooth picture through every block format: the encoders stay close to it.
TEST(BlockCodecs, EncodersStayClose) {
  Image image = MakeImage(32, 32, PF::A8R8G8B8, [](int32_t x, int32_t y) {
    return MakeColor32(static_cast<uint8_t>(255 - x * 4), static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 8),
                       static_cast<uint8_t>((x * y) / 4));
  });
  struct Limit {
    PF format;
    int worst;
    bool alpha;
  };
  for (const Limit& l : {Limit{PF::DXT1, 24, false}, Limit{PF::DXT3, 24, true}, Limit{PF::DXT5, 24, true},
                         Limit{PF::BTC, 24, false}, Limit{PF::ATI1N, 4, false}, Limit{PF::ATI2N, 4, false}}) {
    SCOPED_TRACE(GetFormatName(l.format));
    PixelFormatInfo info{};
    GetFormatInfo(l.format, info);
    Image reference = Converted(image, info.DecodedFormat);
    if (l.format == PF::DXT1) {  // DXT1 keeps one bit of alpha: compare opaque colours
      for (int32_t i = 0; i < 32 * 32; ++i) reference.Bits()[4 * i + 3] = 255;
    }
    Image coded = Converted(reference, l.format);
    ASSERT_TRUE(ConvertImageFormat(coded, info.DecodedFormat));
    ASSERT_TRUE(ConvertImageFormat(coded, PF::A8R8G8B8));
    ASSERT_TRUE(ConvertImageFormat(reference, PF::A8R8G8B8));
    if (l.format == PF::ATI2N) {  // only red and green are stored
      for (int32_t i = 0; i < 32 * 32; ++i) reference.Bits()[4 * i] = 0, reference.Bits()[4 * i + 3] = 255;
    }
    EXPECT_EQ(testsupport::CompareImages(reference, coded, l.worst, l.alpha), "");
    coded.Reset();
  }
}

TEST(BlockCodecs, CompressedToCompressed) {
  Image image = MakeImage(8, 8, PF::A8R8G8B8, [](int32_t x, int32_t y) {
    return (x / 4 + y / 4) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
  });
  Image dxt5 = Converted(image, PF::DXT5);
  Image dxt1 = Converted(dxt5, PF::DXT1);
  Image btc = Converted(dxt1, PF::BTC);  // decoded formats differ: A8R8G8B8 to Gray8
  Image ati1 = Converted(btc, PF::ATI1N);
  Image ati2 = Converted(ati1, PF::ATI2N);
  EXPECT_EQ(ati2.Format(), PF::ATI2N);
  ASSERT_TRUE(ConvertImageFormat(ati1, PF::A8R8G8B8));
  EXPECT_EQ(testsupport::CompareImages(image, ati1), "");
  ASSERT_TRUE(ConvertImageFormat(ati2, PF::A8R8G8B8));
  EXPECT_EQ(GetPixel32(ati2, 5, 0), 0xFFFFFF00u);
}

// ---- Third-party block data ------------------------------------------------------------------

struct DdsCase {
  const char* file;
  PF format;
  size_t dataOffset;  // after the DDS header (and the DX10 extension where present)
  int tolerance;
};

// The first surface of a DDS file decoded through ConvertImageFormat, against the PNG that was
// published with it.
TEST(BlockCodecs, DecodesThirdPartyDdsSurfaces) {
  VEXILO_REQUIRE_CORPUS();
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  const DdsCase cases[] = {
      {"pillow-tests/dxt1-rgb-4bbp-noalpha_MipMaps-1", PF::DXT1, 128, 2},
      {"pillow-tests/dxt3-argb-8bbp-explicitalpha_MipMaps-1", PF::DXT3, 128, 2},
      {"pillow-tests/dxt5-argb-8bbp-interpolatedalpha_MipMaps-1", PF::DXT5, 128, 2},
      {"pillow-tests/ati1", PF::ATI1N, 128, 2},
      {"pillow-tests/bc5_unorm", PF::ATI2N, 148, 2},
  };
  for (const DdsCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<uint8_t> dds = testsupport::ReadFileBytes(testsupport::CorpusFile(std::string(c.file) + ".dds"));
    ASSERT_GE(dds.size(), size_t(128));
    uint32_t height, width;
    std::memcpy(&height, dds.data() + 12, 4);
    std::memcpy(&width, dds.data() + 16, 4);
    Image image;
    ASSERT_TRUE(CreateImage(int32_t(width), int32_t(height), c.format, image));
    ASSERT_GE(dds.size(), c.dataOffset + size_t(image.Size()));
    std::memcpy(image.Bits(), dds.data() + c.dataOffset, size_t(image.Size()));
    ASSERT_TRUE(ConvertImageFormat(image, PF::A8R8G8B8));
    Image expected;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(testsupport::CorpusFile(std::string(c.file) + ".png"), expected));
    EXPECT_EQ(testsupport::CompareImages(expected, image, c.tolerance), "");
    expected.Reset();
  }
}

// DXT1, DXT3 and DXT5 surfaces written here, wrapped in a minimal DDS header, read back by
// ImageMagick's decoder: it must see what this library's decoder sees.
TEST(BlockCodecs, IndependentDecoderReadsEncodedBlocks) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  Image image = MakeImage(16, 8, PF::A8R8G8B8, [](int32_t x, int32_t y) {
    return MakeColor32(static_cast<uint8_t>(x * 16 + y), static_cast<uint8_t>(255 - x * 16), static_cast<uint8_t>(y * 30),
                       static_cast<uint8_t>(x * 8 + 64));
  });
  testsupport::TempDir dir;
  for (PF format : {PF::DXT1, PF::DXT3, PF::DXT5}) {
    SCOPED_TRACE(GetFormatName(format));
    Image coded = Converted(image, format);
    std::vector<uint8_t> dds(128 + size_t(coded.Size()), 0);
    auto put = [&](size_t offset, uint32_t v) { std::memcpy(dds.data() + offset, &v, 4); };
    std::memcpy(dds.data(), "DDS ", 4);
    put(4, 124);                                // header size
    put(8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000); // caps, height, width, pixel format, linear size
    put(12, uint32_t(coded.Height()));
    put(16, uint32_t(coded.Width()));
    put(20, uint32_t(coded.Size()));
    put(76, 32);                                // pixel format size
    put(80, 0x4);                               // four-character code present
    std::memcpy(dds.data() + 84, format == PF::DXT1 ? "DXT1" : format == PF::DXT3 ? "DXT3" : "DXT5", 4);
    put(108, 0x1000);                           // texture
    std::memcpy(dds.data() + 128, coded.Bits(), size_t(coded.Size()));
    const auto path = dir / (GetFormatName(format) + ".dds");
    testsupport::WriteFileBytes(path, dds);
    Image theirs;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(path, theirs));
    ASSERT_TRUE(ConvertImageFormat(coded, PF::A8R8G8B8));
    // Decoders round the interpolated colours a little differently.
    EXPECT_EQ(testsupport::CompareImages(coded, theirs, 3, format != PF::DXT1), "");
    theirs.Reset();
  }
}

}  // namespace
