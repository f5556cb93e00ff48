// The image record, the pixel-format table, pixel access and the basic image and palette
// operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/PixelFormats.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
using PF = PixelFormat;

namespace {

using testsupport::ErrorOf;

bool IsAllZero(const Image& image) {
  return image.Width() == 0 && image.Height() == 0 && image.Format() == PF::Unknown && image.Size() == 0 &&
         image.Bits() == nullptr && image.Palette() == nullptr;
}

// An image whose pixel i holds the 32-bit value i + 1 in every byte position that matters.
Image NumberedImage(int32_t width, int32_t height) {
  Image image;
  CreateImage(width, height, PF::A8R8G8B8, image);
  for (int32_t i = 0; i < width * height; ++i) {
    const uint32_t v = 0xFF000000u | static_cast<uint32_t>(i + 1);
    std::memcpy(image.Bits() + 4 * i, &v, 4);
  }
  return image;
}

uint32_t Pixel32At(const Image& image, int32_t x, int32_t y) {
  uint32_t v;
  std::memcpy(&v, image.Bits() + 4 * (y * image.Width() + x), 4);
  return v;
}

// ---- The format table ----------------------------------------------------------------------

struct FormatFacts {
  PF format;
  const char* name;
  int32_t bytesPerPixel, channels;
  bool alpha;
  PF swapped;
  PF decoded;
};

const FormatFacts kFacts[] = {
    {PF::Index8, "Index8", 1, 1, false, PF::Unknown, PF::Unknown},
    {PF::Gray8, "Gray8", 1, 1, false, PF::Unknown, PF::Unknown},
    {PF::A8Gray8, "A8Gray8", 2, 2, true, PF::Unknown, PF::Unknown},
    {PF::Gray16, "Gray16", 2, 1, false, PF::Unknown, PF::Unknown},
    {PF::Gray32, "Gray32", 4, 1, false, PF::Unknown, PF::Unknown},
    {PF::Gray64, "Gray64", 8, 1, false, PF::Unknown, PF::Unknown},
    {PF::A16Gray16, "A16Gray16", 4, 2, true, PF::Unknown, PF::Unknown},
    {PF::X5R1G1B1, "X5R1G1B1", 1, 3, false, PF::Unknown, PF::Unknown},
    {PF::R3G3B2, "R3G3B2", 1, 3, false, PF::Unknown, PF::Unknown},
    {PF::R5G6B5, "R5G6B5", 2, 3, false, PF::Unknown, PF::Unknown},
    {PF::A1R5G5B5, "A1R5G5B5", 2, 4, true, PF::Unknown, PF::Unknown},
    {PF::A4R4G4B4, "A4R4G4B4", 2, 4, true, PF::Unknown, PF::Unknown},
    {PF::X1R5G5B5, "X1R5G5B5", 2, 3, false, PF::Unknown, PF::Unknown},
    {PF::X4R4G4B4, "X4R4G4B4", 2, 3, false, PF::Unknown, PF::Unknown},
    {PF::R8G8B8, "R8G8B8", 3, 3, false, PF::Unknown, PF::Unknown},
    {PF::A8R8G8B8, "A8R8G8B8", 4, 4, true, PF::Unknown, PF::Unknown},
    {PF::X8R8G8B8, "X8R8G8B8", 4, 3, false, PF::Unknown, PF::Unknown},
    {PF::R16G16B16, "R16G16B16", 6, 3, false, PF::B16G16R16, PF::Unknown},
    {PF::A16R16G16B16, "A16R16G16B16", 8, 4, true, PF::A16B16G16R16, PF::Unknown},
    {PF::B16G16R16, "B16G16R16", 6, 3, false, PF::R16G16B16, PF::Unknown},
    {PF::A16B16G16R16, "A16B16G16R16", 8, 4, true, PF::A16R16G16B16, PF::Unknown},
    {PF::R32F, "R32F", 4, 1, false, PF::Unknown, PF::Unknown},
    {PF::A32R32G32B32F, "A32R32G32B32F", 16, 4, true, PF::A32B32G32R32F, PF::Unknown},
    {PF::A32B32G32R32F, "A32B32G32R32F", 16, 4, true, PF::A32R32G32B32F, PF::Unknown},
    {PF::R16F, "R16F", 2, 1, false, PF::Unknown, PF::Unknown},
    {PF::A16R16G16B16F, "A16R16G16B16F", 8, 4, true, PF::A16B16G16R16F, PF::Unknown},
    {PF::A16B16G16R16F, "A16B16G16R16F", 8, 4, true, PF::A16R16G16B16F, PF::Unknown},
    {PF::DXT1, "DXT1", 0, 4, true, PF::Unknown, PF::A8R8G8B8},
    {PF::DXT3, "DXT3", 0, 4, true, PF::Unknown, PF::A8R8G8B8},
    {PF::DXT5, "DXT5", 0, 4, true, PF::Unknown, PF::A8R8G8B8},
    {PF::BTC, "BTC", 0, 1, false, PF::Unknown, PF::Gray8},
    {PF::ATI1N, "ATI1N", 0, 1, false, PF::Unknown, PF::Gray8},
    {PF::ATI2N, "ATI2N", 0, 2, false, PF::Unknown, PF::A8R8G8B8},
};

TEST(FormatTable, EveryFormatHasItsFacts) {
  for (const FormatFacts& f : kFacts) {
    SCOPED_TRACE(f.name);
    PixelFormatInfo info{};
    ASSERT_TRUE(GetFormatInfo(f.format, info));
    const int32_t value = static_cast<int32_t>(f.format);
    EXPECT_EQ(info.Format, f.format);
    EXPECT_STREQ(info.Name, f.name);
    EXPECT_EQ(GetFormatName(f.format), f.name);
    EXPECT_EQ(info.BytesPerPixel, f.bytesPerPixel);
    EXPECT_EQ(info.ChannelCount, f.channels);
    EXPECT_EQ(info.HasAlphaChannel, f.alpha);
    EXPECT_EQ(info.SwappedFormat, f.swapped);
    EXPECT_EQ(info.IsRBSwapped, f.format == PF::B16G16R16 || f.format == PF::A16B16G16R16 ||
                                    f.format == PF::A32B32G32R32F || f.format == PF::A16B16G16R16F);
    EXPECT_EQ(info.DecodedFormat, f.decoded);
    EXPECT_EQ(info.PaletteEntries, f.format == PF::Index8 ? 256 : 0);
    EXPECT_EQ(info.IsIndexed, f.format == PF::Index8);
    EXPECT_EQ(info.HasGrayChannel, value >= 40 && value <= 45);
    EXPECT_EQ(info.IsFloatingPoint, value >= 170 && value <= 175);
    EXPECT_EQ(info.HasBitFields, value >= 80 && value <= 86);
    EXPECT_EQ(info.BitFields != nullptr, info.HasBitFields);
    EXPECT_EQ(info.IsCompressed, value >= 220);
    EXPECT_EQ(info.GetPixel32 == nullptr, info.IsCompressed);
  }
}

TEST(FormatTable, OnlyTheListedValuesAreFormats) {
  int valid = 0;
  for (int32_t value = -5; value < 300; ++value)
    if (IsFormatValid(static_cast<PF>(value))) ++valid;
  EXPECT_EQ(valid, 34);  // 33 formats and Default
  EXPECT_FALSE(IsFormatValid(PF::Unknown));
  EXPECT_EQ(GetFormatName(static_cast<PF>(2)), "Unknown and unsupported format");
  EXPECT_EQ(GetFormatName(static_cast<PF>(226)), "Unknown and unsupported format");
  PixelFormatInfo info{};
  ASSERT_TRUE(GetFormatInfo(PF::Default, info));
  EXPECT_EQ(info.Format, PF::A8R8G8B8);
}

TEST(FormatTable, BitFieldLayouts) {
  PixelFormatInfo info{};
  ASSERT_TRUE(GetFormatInfo(PF::A1R5G5B5, info));
  EXPECT_EQ(info.BitFields->AMask, 0x8000u);
  EXPECT_EQ(info.BitFields->RMask, 0x7C00u);
  EXPECT_EQ(info.BitFields->GMask, 0x03E0u);
  EXPECT_EQ(info.BitFields->BMask, 0x001Fu);
  EXPECT_EQ(info.BitFields->RShift, 10);
  EXPECT_EQ(info.BitFields->ARecDiv, 1);
  ASSERT_TRUE(GetFormatInfo(PF::R3G3B2, info));
  EXPECT_EQ(info.BitFields->RMask, 0xE0u);
  EXPECT_EQ(info.BitFields->GMask, 0x1Cu);
  EXPECT_EQ(info.BitFields->BMask, 0x03u);
  EXPECT_EQ(info.BitFields->AMask, 0u);
  EXPECT_EQ(info.BitFields->ARecDiv, 1);  // no alpha bits: divisor 1, never 0
  EXPECT_EQ(info.BitFields->BRecDiv, 3);
}

TEST(FormatTable, SizeRule) {
  EXPECT_EQ(GetPixelsSize(PF::R8G8B8, 5, 3), 45);
  EXPECT_EQ(GetPixelsSize(PF::Default, 5, 3), 60);
  EXPECT_EQ(GetPixelsSize(PF::DXT1, 5, 3), 16);
  EXPECT_EQ(GetPixelsSize(PF::ATI1N, 5, 3), 16);
  EXPECT_EQ(GetPixelsSize(PF::DXT3, 5, 3), 32);
  EXPECT_EQ(GetPixelsSize(PF::ATI2N, 1, 1), 16);
  EXPECT_EQ(GetPixelsSize(PF::BTC, 5, 3), 8);
  EXPECT_EQ(GetPixelsSize(PF::Unknown, 5, 3), 0);
  EXPECT_THROW(GetPixelsSize(PF::A32R32G32B32F, 65535, 65535), ImagingError);
}

// ---- Creating, copying, releasing ------------------------------------------------------------

struct CreateCase {
  int32_t width, height;
  PF format;
  bool result;
  int32_t expectedWidth, expectedHeight, expectedSize;
  PF expectedFormat;
};

TEST(ImageBuffer, CreateImageCases) {
  const CreateCase cases[] = {
      {0, 10, PF::A8R8G8B8, false, 0, 0, 0, PF::Unknown},
      {10, 0, PF::DXT1, false, 0, 0, 0, PF::Unknown},
      {5, 3, PF::DXT1, true, 8, 4, 16, PF::DXT1},
      {5, 3, PF::DXT5, true, 8, 4, 32, PF::DXT5},
      {5, 3, PF::BTC, true, 8, 4, 8, PF::BTC},
      {1, 1, PF::ATI2N, true, 4, 4, 16, PF::ATI2N},
      {3, 2, PF::Default, true, 3, 2, 24, PF::A8R8G8B8},
      {2, 2, PF::Index8, true, 2, 2, 4, PF::Index8},
      {7, 1, PF::R16G16B16, true, 7, 1, 42, PF::R16G16B16},
  };
  for (const CreateCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << GetFormatName(c.format));
    Image image;
    ASSERT_EQ(CreateImage(c.width, c.height, c.format, image), c.result);
    EXPECT_EQ(image.Width(), c.expectedWidth);
    EXPECT_EQ(image.Height(), c.expectedHeight);
    EXPECT_EQ(image.Size(), c.expectedSize);
    EXPECT_EQ(image.Format(), c.expectedFormat);
    if (!c.result) {
      EXPECT_TRUE(IsAllZero(image));
      continue;
    }
    EXPECT_TRUE(IsImageValid(image));
    for (int32_t i = 0; i < image.Size(); ++i) ASSERT_EQ(image.Bits()[i], 0);
    if (c.format == PF::Index8) {
      ASSERT_NE(image.Palette(), nullptr);
      for (int i = 0; i < 256; ++i) ASSERT_EQ(image.Palette()[i], 0u);
    } else {
      EXPECT_EQ(image.Palette(), nullptr);
    }
    image.Reset();
    EXPECT_TRUE(IsAllZero(image));
  }
}

TEST(ImageBuffer, CreateImageReleasesTheOldBuffers) {
  Image image;
  ASSERT_TRUE(CreateImage(4, 4, PF::Index8, image));
  ASSERT_TRUE(CreateImage(2, 2, PF::Gray8, image));  // the sanitizer build sees a leak otherwise
  EXPECT_EQ(image.Palette(), nullptr);
}

TEST(ImageBuffer, CreateImageErrors) {
  Image image;
  EXPECT_NE(ErrorOf([&] { CreateImage(-1, 5, PF::Gray8, image); }).find("Assertion failed"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { CreateImage(5, 5, static_cast<PF>(2), image); }).find("Assertion failed"),
            std::string::npos);
  // Too large for the 32-bit size: the operation's message, then the reason below it.
  const std::string error = ErrorOf([&] { CreateImage(65535, 65535, PF::A32R32G32B32F, image); });
  EXPECT_EQ(error.rfind("Error while creating image data with params: Width=65535 Height=65535 "
                        "Format=A32R32G32B32F. Exception Message: ",
                        0),
            0u)
      << error;
  EXPECT_TRUE(IsAllZero(image));
  // The dimension rule of the block formats must not overflow on the way up to whole blocks.
  EXPECT_THROW(CreateImage(0x7FFFFFFF, 4, PF::DXT1, image), ImagingError);
  EXPECT_TRUE(IsAllZero(image));
}

TEST(ImageBuffer, Validity) {
  Image image;
  EXPECT_FALSE(IsImageValid(image));
  ASSERT_TRUE(CreateImage(4, 4, PF::R8G8B8, image));
  EXPECT_TRUE(IsImageValid(image));
  // Size and format change only with the buffer: a new format needs the same byte size.
  EXPECT_THROW(image.RelabelFormat(PF::A8R8G8B8), ImagingError);
  EXPECT_THROW(image.RelabelFormat(static_cast<PF>(77)), ImagingError);
  EXPECT_THROW(image.RelabelFormat(PF::Index8), ImagingError);
  EXPECT_TRUE(IsImageValid(image));
  EXPECT_EQ(image.Format(), PF::R8G8B8);
  Image packed;
  ASSERT_TRUE(CreateImage(4, 4, PF::A1R5G5B5, packed));
  packed.RelabelFormat(PF::X1R5G5B5);
  EXPECT_TRUE(IsImageValid(packed));
  EXPECT_EQ(packed.Format(), PF::X1R5G5B5);

  std::vector<Image> array;
  EXPECT_FALSE(AreImagesValid(array));
  array.push_back(image.Clone());
  EXPECT_TRUE(AreImagesValid(array));
  array.emplace_back();
  EXPECT_FALSE(AreImagesValid(array));
}

TEST(ImageBuffer, MovedFromImageIsEmpty) {
  Image indexed;
  ASSERT_TRUE(CreateImage(3, 2, PF::Index8, indexed));
  const uint8_t* bits = indexed.Bits();
  const Color32* palette = indexed.Palette();

  Image moved(std::move(indexed));
  EXPECT_EQ(moved.Bits(), bits);
  EXPECT_EQ(moved.Palette(), palette);
  EXPECT_TRUE(IsImageValid(moved));
  EXPECT_TRUE(IsAllZero(indexed));
  EXPECT_FALSE(IsImageValid(indexed));

  // Assigning over an image releases its buffers (a leak shows in the sanitizer build); the
  // moved-from image can be filled again and destroyed.
  Image target = NumberedImage(2, 2);
  target = std::move(moved);
  EXPECT_EQ(target.Bits(), bits);
  EXPECT_TRUE(IsAllZero(moved));
  ASSERT_TRUE(CreateImage(1, 1, PF::Gray8, moved));
  EXPECT_EQ(target.Bits(), bits);
  target.Reset();
  EXPECT_TRUE(IsAllZero(target));
}

TEST(ImageBuffer, CopyImage) {
  Image source = NumberedImage(3, 2);
  Image target;
  ASSERT_TRUE(CopyImage(source, target));
  EXPECT_NE(target.Bits(), source.Bits());
  EXPECT_EQ(std::memcmp(target.Bits(), source.Bits(), 24), 0);

  // The copy is independent: changing it leaves the source as it was.
  target.Bits()[0] = 0x55;
  EXPECT_EQ(Pixel32At(source, 0, 0), 0xFF000001u);
  // Onto an image that holds pixels: its buffers are replaced, the source's survive.
  Image other = NumberedImage(1, 1);
  ASSERT_TRUE(CopyImage(source, other));
  EXPECT_NE(other.Bits(), source.Bits());
  EXPECT_EQ(Pixel32At(source, 2, 1), 0xFF000006u);  // a freed buffer would show in the sanitizer build
  // Onto itself: nothing changes, nothing is orphaned.
  uint8_t* bits = other.Bits();
  ASSERT_TRUE(CopyImage(other, other));
  EXPECT_EQ(other.Bits(), bits);

  // An invalid source leaves the target alone.
  Image empty;
  EXPECT_FALSE(CopyImage(empty, target));
  EXPECT_TRUE(IsImageValid(target));

  Image indexed;
  ASSERT_TRUE(CreateImage(2, 1, PF::Index8, indexed));
  indexed.Palette()[7] = 0x12345678u;
  ASSERT_TRUE(CopyImage(indexed, target));  // replaces the old target's buffers
  EXPECT_NE(target.Palette(), indexed.Palette());
  EXPECT_EQ(target.Palette()[7], 0x12345678u);
  target.Palette()[7] = 0;
  EXPECT_EQ(indexed.Palette()[7], 0x12345678u);
  const Image clone = indexed.Clone();
  EXPECT_NE(clone.Palette(), indexed.Palette());
  EXPECT_EQ(clone.Palette()[7], 0x12345678u);
  EXPECT_TRUE(IsAllZero(empty.Clone()));
}

TEST(ImageBuffer, DescribeImage) {
  Image image;
  EXPECT_EQ(DescribeImage(image).rfind("Access violation encountered when getting info on image at address ", 0), 0u);
  ASSERT_TRUE(CreateImage(2048, 1, PF::A8R8G8B8, image));  // 8192 bytes
  const std::string small = DescribeImage(image);
  EXPECT_NE(small.find("Width = 2048px, Height = 1px, Format = A8R8G8B8, Size = 8,192 B, Bits @"), std::string::npos)
      << small;
  ASSERT_TRUE(CreateImage(8193, 1, PF::Gray8, image));
  const std::string large = DescribeImage(image);
  EXPECT_NE(large.find("Format = Gray8, Size = 8 KiB, Bits @"), std::string::npos) << large;
  EXPECT_EQ(large.rfind("Image @", 0), 0u);
}

// ---- Palettes ----------------------------------------------------------------------------------

TEST(Palette, FindPaletteColor) {
  std::vector<Color32> palette = {0xFF000000u, 0xFF0A0000u, 0xFF000A00u, 0xFF0A0000u};
  EXPECT_EQ(FindPaletteColor(palette.data(), 4, 0xFF0A0000u), 1);   // exact, twice: the lower index
  EXPECT_EQ(FindPaletteColor(palette.data(), 4, 0xFF050500u), 0);   // three at distance 10: the lower index
  EXPECT_EQ(FindPaletteColor(palette.data(), 4, 0xFF000C01u), 2);   // nearest
  std::vector<Color32> zeros(256, 0u);
  EXPECT_EQ(FindPaletteColor(zeros.data(), 256, 0xFFFFFFFFu), -1);  // distance 1020 never qualifies
  EXPECT_EQ(FindPaletteColor(zeros.data(), 256, 0xFFFFFFFEu), 0);
  EXPECT_EQ(FindPaletteColor(zeros.data(), 0, 0u), -1);
}

TEST(Palette, FillPalettes) {
  std::vector<Color32> palette(256, 0x12345678u);
  FillBitFieldPalette(palette.data(), 256, 3, 3, 2, 255);
  EXPECT_EQ(palette[255], 0xFFFFFFFFu);
  EXPECT_EQ(palette[224], 0xFFFF0000u);
  EXPECT_EQ(palette[0], 0xFF000000u);
  EXPECT_EQ(palette[0x1C], 0xFF00FF00u);
  EXPECT_EQ(palette[1], 0xFF000055u);  // blue 1 of 3: 85

  // Fewer colours than entries: the rest stays zero.
  std::fill(palette.begin(), palette.end(), 0x12345678u);
  FillBitFieldPalette(palette.data(), 256, 1, 1, 1, 128);
  EXPECT_EQ(palette[7], 0x80FFFFFFu);
  EXPECT_EQ(palette[5], 0x80FF00FFu);
  EXPECT_EQ(palette[8], 0u);
  EXPECT_EQ(palette[255], 0u);
  // Nonsense bit counts stay defined.
  FillBitFieldPalette(palette.data(), 256, -3, 40, 2, 255);
  EXPECT_EQ(palette[3], 0xFF0000FFu);

  FillGrayPalette(palette.data(), 256);
  EXPECT_EQ(palette[0], 0xFF000000u);
  EXPECT_EQ(palette[128], 0xFF808080u);
  EXPECT_EQ(palette[255], 0xFFFFFFFFu);

  palette[0] = 0x11223344u;
  SwapPaletteChannels(palette.data(), 256, 0, 3);
  EXPECT_EQ(palette[0], 0x44223311u);
  EXPECT_THROW(SwapPaletteChannels(palette.data(), 256, 0, 4), ImagingError);
}

// ---- Pixel access ------------------------------------------------------------------------------

struct PixelCase {
  PF format;
  Color32 written;
  std::vector<uint8_t> raw;  // bytes the writer must store
  Color32 read;              // what the reader gives back
};

TEST(PixelAccess, WritersAndReadersOfColor32) {
  const PixelCase cases[] = {
      {PF::Gray8, 0xFF0000FFu, {29}, 0xFF1D1D1Du},                      // pure blue: round(0.114 × 255)
      {PF::Gray8, 0x00808080u, {128}, 0xFF808080u},
      {PF::A8Gray8, 0x40FF0000u, {76, 0x40}, 0x404C4C4Cu},              // red: round(76.245)
      {PF::Gray16, 0xFF0000FFu, {0x1D, 0x1D}, 0xFF1D1D1Du},             // 29 widened × 257
      {PF::Gray32, 0xFF808080u, {0x80, 0x80, 0x80, 0x80}, 0xFF808080u},
      {PF::Gray64, 0xFFFFFFFFu, {255, 255, 255, 255, 255, 255, 255, 255}, 0xFFFFFFFFu},
      {PF::A16Gray16, 0x80FFFFFFu, {255, 255, 0x80, 0x80}, 0x80FFFFFFu},
      {PF::X5R1G1B1, 0xFF80FF7Fu, {0x06}, 0xFFFFFF00u},                 // top bit of each channel
      {PF::R3G3B2, 0xFFFF8040u, {0xF1}, 0xFFFF9155u},                   // 7,4,1 -> 255,145,85
      {PF::R5G6B5, 0xFF808080u, {0x10, 0x84}, 0xFF838183u},             // 16,32,16 -> 131,129,131
      {PF::A1R5G5B5, 0x7FFFFFFFu, {0xFF, 0x7F}, 0x00FFFFFFu},           // alpha 127 keeps no bit
      {PF::A4R4G4B4, 0x80112233u, {0x23, 0x81}, 0x88112233u},           // 4-bit fields: n × 17
      {PF::X1R5G5B5, 0x00FFFFFFu, {0xFF, 0x7F}, 0xFFFFFFFFu},
      {PF::X4R4G4B4, 0xFFF0E0D0u, {0xED, 0x0F}, 0xFFFFEEDDu},
      {PF::R8G8B8, 0x00112233u, {0x33, 0x22, 0x11}, 0xFF112233u},
      {PF::X8R8G8B8, 0x80112233u, {0x33, 0x22, 0x11, 0x00}, 0xFF112233u},
      {PF::A8R8G8B8, 0x80112233u, {0x33, 0x22, 0x11, 0x80}, 0x80112233u},
      {PF::R16G16B16, 0x00010203u, {3, 3, 2, 2, 1, 1}, 0xFF010203u},
      {PF::B16G16R16, 0x00010203u, {1, 1, 2, 2, 3, 3}, 0xFF010203u},
      {PF::A16B16G16R16, 0x04010203u, {1, 1, 2, 2, 3, 3, 4, 4}, 0x04010203u},
      {PF::R16F, 0xFFFF0000u, {0x00, 0x3C}, 0xFFFF0000u},               // 1.0
      {PF::R32F, 0x00FF00FFu, {0x00, 0x00, 0x80, 0x3F}, 0xFFFF0000u},   // only red survives
  };
  for (const PixelCase& c : cases) {
    SCOPED_TRACE(GetFormatName(c.format));
    Image image;
    ASSERT_TRUE(CreateImage(1, 1, c.format, image));
    SetPixel32(image, 0, 0, c.written);
    EXPECT_EQ(std::vector<uint8_t>(image.Bits(), image.Bits() + image.Size()), c.raw);
    EXPECT_EQ(GetPixel32(image, 0, 0), c.read);
  }
}

TEST(PixelAccess, FloatReadersAndWriters) {
  Image image;
  ASSERT_TRUE(CreateImage(1, 1, PF::A8R8G8B8, image));
  SetPixel32(image, 0, 0, 0x00FF8001u);
  ColorFP c = GetPixelFP(image, 0, 0);
  EXPECT_EQ(c.R, 255 * 0.003921568859368563f);
  EXPECT_EQ(c.G, 128 * 0.003921568859368563f);
  EXPECT_EQ(c.A, 0.0f);
  // Out-of-range and NaN channels clamp; 0.5 × 255 = 127.5 rounds to the even 128.
  SetPixelFP(image, 0, 0, ColorFP{-1.0f, 0.5f, 7.0f, std::nanf("")});
  EXPECT_EQ(GetPixel32(image, 0, 0), 0x00FF8000u);

  ASSERT_TRUE(CreateImage(1, 1, PF::Gray16, image));
  SetPixel32(image, 0, 0, 0xFF0000FFu);
  c = GetPixelFP(image, 0, 0);
  EXPECT_EQ(c.R, 7453 * 1.5259021893143654e-05f);
  EXPECT_EQ(c.B, c.R);
  EXPECT_EQ(c.A, 1.0f);
  // Gray targets: round((0.299 R + 0.587 G + 0.114 B) × 65535) with clamped channels.
  SetPixelFP(image, 0, 0, ColorFP{1.0f, 0.0f, 2.0f, 1.0f});
  uint16_t gray;
  std::memcpy(&gray, image.Bits(), 2);
  EXPECT_EQ(gray, static_cast<uint16_t>(std::nearbyint((0.299f * 1.0f + 0.587f * 0.0f + 0.114f * 1.0f) * 65535.0f)));

  ASSERT_TRUE(CreateImage(1, 1, PF::A16B16G16R16F, image));
  SetPixelFP(image, 0, 0, ColorFP{0.25f, 0.5f, 1.0f, 65536.0f});
  const std::vector<uint8_t> halves(image.Bits(), image.Bits() + 8);
  EXPECT_EQ(halves, (std::vector<uint8_t>{0x00, 0x3C, 0x00, 0x38, 0x00, 0x34, 0x00, 0x7C}));  // R, G, B, inf
  c = GetPixelFP(image, 0, 0);
  EXPECT_EQ(c.B, 0.25f);
  EXPECT_TRUE(std::isinf(c.A));

  // Index8 writes the nearest palette entry; with none in reach the write is an error.
  ASSERT_TRUE(CreateImage(1, 1, PF::Index8, image));
  image.Palette()[0] = 0xFF000000u;
  image.Palette()[1] = 0xFFFF0000u;
  SetPixel32(image, 0, 0, 0xFFF00000u);
  EXPECT_EQ(image.Bits()[0], 1);
  std::fill(image.Palette(), image.Palette() + 256, 0u);
  EXPECT_THROW(SetPixel32(image, 0, 0, 0xFFFFFFFFu), ImagingError);
  image.Reset();

  // Compressed pixels cannot be reached one by one: an error, never a call through nothing.
  ASSERT_TRUE(CreateImage(4, 4, PF::DXT1, image));
  EXPECT_THROW(GetPixel32(image, 0, 0), ImagingError);
}

TEST(PixelAccess, WideningAndNarrowingRoundTrip) {
  PixelFormatInfo info{};
  ASSERT_TRUE(GetFormatInfo(PF::A8R8G8B8, info));
  for (uint32_t v = 0; v < 256; ++v) {
    const uint8_t pixel[4] = {uint8_t(v), uint8_t(255 - v), uint8_t(v / 2), uint8_t(v)};
    const Color64 wide = GetPixel64Generic(pixel, &info, nullptr);
    ASSERT_EQ(wide.B, v * 257);
    uint8_t back[4] = {};
    SetPixel64Generic(back, &info, nullptr, wide);
    ASSERT_EQ(std::memcmp(back, pixel, 4), 0);
  }
}

// Every half through float and back is exact; NaNs stay NaN.
TEST(HalfFloat, AllHalvesRoundTrip) {
  for (uint32_t h = 0; h < 65536; ++h) {
    const float f = HalfToFloat(static_cast<uint16_t>(h));
    const bool nan = (h & 0x7C00u) == 0x7C00u && (h & 0x3FFu) != 0;
    ASSERT_EQ(std::isnan(f), nan) << h;
    ASSERT_EQ(FloatToHalf(f), h) << h;
  }
  EXPECT_EQ(HalfToFloat(0x0001), std::ldexp(1.0f, -24));  // smallest subnormal
  EXPECT_EQ(HalfToFloat(0x03FF), std::ldexp(1023.0f, -24));
  EXPECT_EQ(HalfToFloat(0x7BFF), 65504.0f);
  EXPECT_EQ(HalfToFloat(0xC000), -2.0f);
}

TEST(HalfFloat, NarrowingRoundsHalfUp) {
  EXPECT_EQ(FloatToHalf(1.0f + std::ldexp(1.0f, -11)), 0x3C01);  // exactly half an ulp: up
  EXPECT_EQ(FloatToHalf(1.0f + std::ldexp(1.0f, -12)), 0x3C00);
  EXPECT_EQ(FloatToHalf(65519.0f), 0x7BFF);
  EXPECT_EQ(FloatToHalf(65520.0f), 0x7C00);  // rounds up past the largest half: infinity
  EXPECT_EQ(FloatToHalf(-1e10f), 0xFC00);
  EXPECT_EQ(FloatToHalf(std::ldexp(1.0f, -25)), 0x0001);  // half the smallest subnormal: up
  EXPECT_EQ(FloatToHalf(std::ldexp(1.0f, -26)), 0x0000);
  EXPECT_EQ(FloatToHalf(-std::ldexp(1.0f, -30)), 0x8000);
  EXPECT_EQ(FloatToHalf(std::ldexp(1023.5f, -24)), 0x0400);  // subnormal rounding carries into the exponent
}

// ---- Whole-image operations ------------------------------------------------------------------

TEST(ImageOperations, FlipImage) {
  Image image = NumberedImage(2, 3);
  ASSERT_TRUE(FlipImage(image));
  EXPECT_EQ(Pixel32At(image, 0, 0), 0xFF000005u);
  EXPECT_EQ(Pixel32At(image, 1, 1), 0xFF000004u);
  EXPECT_EQ(Pixel32At(image, 1, 2), 0xFF000002u);
  image.Reset();

  // A compressed image is flipped through its decoded pixels. BTC blocks of two levels survive
  // encoding exactly.
  ASSERT_TRUE(CreateImage(4, 8, PF::Gray8, image));
  for (int i = 0; i < 16; ++i) image.Bits()[i] = i % 3 ? 40 : 200;
  std::memset(image.Bits() + 16, 90, 16);
  ASSERT_TRUE(ConvertImageFormat(image, PF::BTC));
  ASSERT_TRUE(FlipImage(image));
  EXPECT_EQ(image.Format(), PF::BTC);
  ASSERT_TRUE(ConvertImageFormat(image, PF::Gray8));
  EXPECT_EQ(image.Bits()[0], 90);
  EXPECT_EQ(image.Bits()[16 + 12], 200);  // old row 0 is now row 7
  EXPECT_EQ(image.Bits()[16 + 13], 40);
  image.Reset();

  Image empty;
  EXPECT_FALSE(FlipImage(empty));
}

TEST(ImageOperations, SwapImageChannels) {
  Image image;
  ASSERT_TRUE(CreateImage(2, 1, PF::R8G8B8, image));
  const uint8_t rgb[6] = {10, 20, 30, 40, 50, 60};
  std::memcpy(image.Bits(), rgb, 6);
  ASSERT_TRUE(SwapImageChannels(image, 0, 2));
  EXPECT_EQ(std::vector<uint8_t>(image.Bits(), image.Bits() + 6), (std::vector<uint8_t>{30, 20, 10, 60, 50, 40}));
  // R8G8B8 has no alpha byte: the exchange with alpha goes through Color64 (alpha reads 255)
  // and never touches memory past the pixel.
  ASSERT_TRUE(SwapImageChannels(image, 3, 1));
  EXPECT_EQ(std::vector<uint8_t>(image.Bits(), image.Bits() + 6), (std::vector<uint8_t>{30, 255, 10, 60, 255, 40}));
  EXPECT_TRUE(SwapImageChannels(image, 2, 2));
  image.Reset();

  ASSERT_TRUE(CreateImage(1, 1, PF::A8R8G8B8, image));
  SetPixel32(image, 0, 0, 0x11223344u);
  ASSERT_TRUE(SwapImageChannels(image, 3, 0));
  EXPECT_EQ(GetPixel32(image, 0, 0), 0x44223311u);
  image.Reset();

  ASSERT_TRUE(CreateImage(1, 1, PF::A8Gray8, image));
  image.Bits()[0] = 7;
  image.Bits()[1] = 200;
  ASSERT_TRUE(SwapImageChannels(image, 1, 3));
  EXPECT_EQ(image.Bits()[0], 200);
  EXPECT_EQ(image.Bits()[1], 7);
  ASSERT_TRUE(SwapImageChannels(image, 0, 1));  // no exchange defined between gray channels
  EXPECT_EQ(image.Bits()[0], 200);
  image.Reset();

  ASSERT_TRUE(CreateImage(1, 1, PF::Index8, image));
  image.Palette()[0] = 0x11223344u;
  ASSERT_TRUE(SwapImageChannels(image, 2, 0));
  EXPECT_EQ(image.Palette()[0], 0x11443322u);
  image.Reset();

  ASSERT_TRUE(CreateImage(1, 1, PF::A32B32G32R32F, image));
  SetPixelFP(image, 0, 0, ColorFP{0.25f, 0.5f, 0.75f, 1.0f});
  ASSERT_TRUE(SwapImageChannels(image, 1, 3));
  const ColorFP c = GetPixelFP(image, 0, 0);
  EXPECT_EQ(c.G, 1.0f);
  EXPECT_EQ(c.A, 0.5f);
  image.Reset();

  ASSERT_TRUE(CreateImage(1, 1, PF::R5G6B5, image));
  SetPixel32(image, 0, 0, 0xFFFF0000u);
  ASSERT_TRUE(SwapImageChannels(image, 2, 0));
  EXPECT_EQ(GetPixel32(image, 0, 0), 0xFF0000FFu);
  image.Reset();

  Image empty;
  EXPECT_FALSE(SwapImageChannels(empty, 0, 2));
}

struct RectCase {
  const char* name;
  int32_t x, y, w, h, tx, ty;
  bool result;
  // Expected target after the copy: 0 = untouched, else the numbered source pixel (1-based).
  std::vector<uint32_t> expected;
};

TEST(ImageOperations, CopyImageRectClipping) {
  // Source 3 × 3 numbered 1..9, target 4 × 3 of zeros.
  const RectCase cases[] = {
      {"inside", 1, 1, 2, 2, 0, 0, true, {5, 6, 0, 0, 8, 9, 0, 0, 0, 0, 0, 0}},
      {"source start negative", -1, -1, 3, 3, 0, 0, true, {0, 0, 0, 0, 0, 1, 2, 0, 0, 4, 5, 0}},
      {"target start negative", 0, 0, 3, 3, -2, -1, true, {6, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0}},
      {"past both right edges", 1, 0, 10, 1, 2, 2, true, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3}},
      {"nothing left", 0, 0, 3, 3, 4, 0, false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"zero width", 0, 0, 0, 3, 0, 0, false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"extreme positions", INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, 0, false,
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"extreme negative target", 0, 0, 3, 3, INT32_MIN, INT32_MIN, false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  Image source = NumberedImage(3, 3);
  for (const RectCase& c : cases) {
    SCOPED_TRACE(c.name);
    Image target;
    ASSERT_TRUE(CreateImage(4, 3, PF::A8R8G8B8, target));
    EXPECT_EQ(CopyImageRect(source, c.x, c.y, c.w, c.h, target, c.tx, c.ty), c.result);
    for (int i = 0; i < 12; ++i)
      EXPECT_EQ(Pixel32At(target, i % 4, i / 4), c.expected[size_t(i)] ? 0xFF000000u | c.expected[size_t(i)] : 0u)
          << "pixel " << i;
  }
}

TEST(ImageOperations, CopyImageRectFormatsAndOverlap) {
  // Within one image, moving rows down must not copy a row that was already overwritten.
  Image image = NumberedImage(1, 4);
  ASSERT_TRUE(CopyImageRect(image, 0, 0, 1, 3, image, 0, 1));
  EXPECT_EQ(Pixel32At(image, 0, 3), 0xFF000003u);
  EXPECT_EQ(Pixel32At(image, 0, 1), 0xFF000001u);
  image.Reset();

  // A source in another format is converted first.
  Image source, target;
  ASSERT_TRUE(CreateImage(2, 1, PF::R8G8B8, source));
  SetPixel32(source, 1, 0, 0xFF102030u);
  ASSERT_TRUE(CreateImage(2, 2, PF::A8R8G8B8, target));
  ASSERT_TRUE(CopyImageRect(source, 1, 0, 1, 1, target, 0, 1));
  EXPECT_EQ(GetPixel32(target, 0, 1), 0xFF102030u);
  target.Reset();

  // An indexed target keeps its palette: each pixel takes the nearest entry.
  ASSERT_TRUE(CreateImage(2, 1, PF::Index8, target));
  target.Palette()[0] = 0xFF000000u;
  target.Palette()[1] = 0xFF112233u;
  target.Palette()[2] = 0xFF102030u;
  ASSERT_TRUE(CopyImageRect(source, 0, 0, 2, 1, target, 0, 0));
  EXPECT_EQ(target.Bits()[0], 0);
  EXPECT_EQ(target.Bits()[1], 2);
  target.Reset();

  // A compressed target is written through its decoded pixels.
  ASSERT_TRUE(CreateImage(4, 4, PF::BTC, target));
  Image gray;
  ASSERT_TRUE(CreateImage(4, 4, PF::Gray8, gray));
  std::memset(gray.Bits(), 200, 16);
  ASSERT_TRUE(CopyImageRect(gray, 0, 0, 2, 4, target, 2, 0));
  EXPECT_EQ(target.Format(), PF::BTC);
  ASSERT_TRUE(ConvertImageFormat(target, PF::Gray8));
  EXPECT_EQ(std::vector<uint8_t>(target.Bits(), target.Bits() + 4), (std::vector<uint8_t>{0, 0, 200, 200}));
  gray.Reset();
  target.Reset();
}

TEST(ImageOperations, FillAndReplace) {
  Image image;
  ASSERT_TRUE(CreateImage(3, 2, PF::R5G6B5, image));
  const uint16_t red = 0xF800, blue = 0x001F;
  ASSERT_TRUE(FillImageRect(image, 1, -5, 10, 6, &red));  // clipped to columns 1-2, row 0
  const uint16_t* p = reinterpret_cast<const uint16_t*>(image.Bits());
  EXPECT_EQ((std::vector<uint16_t>(p, p + 6)), (std::vector<uint16_t>{0, red, red, 0, 0, 0}));
  EXPECT_FALSE(FillImageRect(image, 3, 0, 1, 1, &red));
  ASSERT_TRUE(ReplaceImageColor(image, 0, 0, 2, 2, &red, &blue));
  EXPECT_EQ((std::vector<uint16_t>(p, p + 6)), (std::vector<uint16_t>{0, blue, red, 0, 0, 0}));
  image.Reset();

  // Compressed images take a raw A8R8G8B8 value.
  ASSERT_TRUE(CreateImage(4, 4, PF::DXT1, image));
  const Color32 green = 0xFF00FF00u;
  ASSERT_TRUE(FillImageRect(image, 0, 0, 4, 4, &green));
  EXPECT_EQ(image.Format(), PF::DXT1);
  ASSERT_TRUE(ConvertImageFormat(image, PF::A8R8G8B8));
  EXPECT_EQ(GetPixel32(image, 3, 3), green);
  image.Reset();

  Image empty;
  EXPECT_FALSE(FillImageRect(empty, 0, 0, 1, 1, &green));
  EXPECT_FALSE(ReplaceImageColor(empty, 0, 0, 1, 1, &green, &green));
}

}  // namespace

// The opacity test looks at the alpha of every pixel, in every format that has alpha, and at
// the palette entries the pixels of an indexed image use.
TEST(ImageOperations, IsImageOpaque) {
  for (PF format : {PF::A8R8G8B8, PF::A8Gray8, PF::A16Gray16, PF::A16R16G16B16, PF::A16B16G16R16, PF::A1R5G5B5,
                    PF::A4R4G4B4, PF::A32R32G32B32F, PF::R8G8B8, PF::Gray16}) {
    Image image;
    ASSERT_TRUE(CreateImage(7, 5, format, image));
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x) SetPixel32(image, x, y, MakeColor32(255, uint8_t(x * 30), uint8_t(y), 9));
    EXPECT_TRUE(IsImageOpaque(image)) << GetFormatName(format);
    SetPixel32(image, 6, 4, MakeColor32(254, 1, 2, 3));  // the very last pixel
    EXPECT_EQ(IsImageOpaque(image), !FindFormatInfo(format)->HasAlphaChannel || format == PF::A4R4G4B4 ||
                                        format == PF::A1R5G5B5)
        << GetFormatName(format);  // too few alpha bits to hold 254
    SetPixel32(image, 6, 4, MakeColor32(0, 1, 2, 3));
    EXPECT_EQ(IsImageOpaque(image), !FindFormatInfo(format)->HasAlphaChannel) << GetFormatName(format);
  }
  Image indexed;
  ASSERT_TRUE(CreateImage(4, 2, PF::Index8, indexed));  // a zeroed palette: entry 3 is transparent
  for (int32_t i = 0; i < 3; ++i) indexed.Palette()[i] = MakeColor32(255, uint8_t(i), 0, 0);
  for (int32_t i = 0; i < 8; ++i) indexed.Bits()[i] = uint8_t(i % 3);
  EXPECT_TRUE(IsImageOpaque(indexed));
  indexed.Bits()[7] = 3;
  EXPECT_FALSE(IsImageOpaque(indexed));
  indexed.Reset();
  EXPECT_FALSE(IsImageOpaque(Image{}));
}
