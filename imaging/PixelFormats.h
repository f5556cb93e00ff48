// The pixel-format table, the basic image operations, pixel access, format conversion and
// resampling.
#pragma once

#include <span>

#include "imaging/Image.h"
#include "imaging/Types.h"

namespace imaging {

struct PixelFormatInfo;

// Layout of a packed bit-field format, built once from its four bit counts A, R, G, B.
struct BitFieldLayout {
  uint8_t ABits, RBits, GBits, BBits;
  uint32_t AMask, RMask, GMask, BMask;
  uint8_t AShift, RShift, GShift, BShift;
  uint16_t ARecDiv, RRecDiv, GRecDiv, BRecDiv;  // max(2^bits - 1, 1)
};

using FormatSizeFunc = int32_t (*)(PixelFormat format, int32_t width, int32_t height);
using CheckDimensionsFunc = void (*)(PixelFormat format, int32_t& width, int32_t& height);
// Pixel readers and writers: `pixel` points at the first byte of one pixel.
using GetPixel32Func = Color32 (*)(const uint8_t* pixel, const PixelFormatInfo* info, const Color32* palette);
using SetPixel32Func = void (*)(uint8_t* pixel, const PixelFormatInfo* info, const Color32* palette, Color32 color);
using GetPixelFPFunc = ColorFP (*)(const uint8_t* pixel, const PixelFormatInfo* info, const Color32* palette);
using SetPixelFPFunc = void (*)(uint8_t* pixel, const PixelFormatInfo* info, const Color32* palette, const ColorFP& color);

// One constant record per pixel format.
struct PixelFormatInfo {
  PixelFormat Format;
  const char* Name;  // at most 16 characters
  int32_t BytesPerPixel;  // 0 for the block-compressed formats
  int32_t ChannelCount;
  int32_t PaletteEntries;
  bool HasGrayChannel;
  bool HasAlphaChannel;
  bool IsFloatingPoint;
  bool HasBitFields;
  bool IsRBSwapped;
  PixelFormat SwappedFormat;
  bool IsIndexed;
  bool IsCompressed;
  const BitFieldLayout* BitFields;
  FormatSizeFunc GetPixelsSize;
  CheckDimensionsFunc CheckDimensions;
  GetPixel32Func GetPixel32;  // null for compressed formats
  GetPixelFPFunc GetPixelFP;
  SetPixel32Func SetPixel32;
  SetPixelFPFunc SetPixelFP;
  PixelFormat DecodedFormat;
};

// ---- Format table --------------------------------------------------------------------------

// The table entry of a format (Default gives the A8R8G8B8 entry), or null.
const PixelFormatInfo* FindFormatInfo(PixelFormat format);
bool IsFormatValid(PixelFormat format);
bool GetFormatInfo(PixelFormat format, PixelFormatInfo& info);
// The entry's name, or "Unknown and unsupported format".
std::string GetFormatName(PixelFormat format);
// Bytes of a width × height image of the format; raises on arithmetic overflow.
int32_t GetPixelsSize(PixelFormat format, int32_t width, int32_t height);

// ---- Images ----------------------------------------------------------------------------------

// CreateImage and CopyImage are declared with the image (imaging/Image.h).
bool IsImageValid(const Image& image);
// False for no images; else true only when every image is valid.
bool AreImagesValid(std::span<const Image> images);
bool FlipImage(Image& image);
// Channels: 0 = blue, 1 = green, 2 = red, 3 = alpha.
bool SwapImageChannels(Image& image, int32_t channelA, int32_t channelB);
bool CopyImageRect(const Image& source, int32_t x, int32_t y, int32_t width, int32_t height,
                   Image& target, int32_t targetX, int32_t targetY);
// `pixel` points at one raw pixel of the image's format (BytesPerPixel bytes).
bool FillImageRect(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, const void* pixel);
bool ReplaceImageColor(Image& image, int32_t x, int32_t y, int32_t width, int32_t height,
                       const void* oldPixel, const void* newPixel);
// x and y must lie inside the image; that is the caller's duty.
Color32 GetPixel32(const Image& image, int32_t x, int32_t y);
void SetPixel32(Image& image, int32_t x, int32_t y, Color32 color);
ColorFP GetPixelFP(const Image& image, int32_t x, int32_t y);
void SetPixelFP(Image& image, int32_t x, int32_t y, const ColorFP& color);
// One line describing the image, used inside error messages.
std::string DescribeImage(const Image& image);
// True when every pixel is fully opaque: the format has no alpha (an indexed image: no pixel
// uses a palette entry with alpha below 255), or every pixel's alpha is the largest value. One
// pass that ends at the first pixel that is not opaque and allocates nothing. False for an
// invalid image and for the compressed formats, which are not read here.
bool IsImageOpaque(const Image& image);

// ---- Palettes --------------------------------------------------------------------------------

int32_t FindPaletteColor(const Color32* palette, int32_t entryCount, Color32 color);
void FillGrayPalette(Color32* palette, int32_t entryCount);
void FillBitFieldPalette(Color32* palette, int32_t entryCount, int32_t redBits, int32_t greenBits,
                         int32_t blueBits, uint8_t alpha);
void SwapPaletteChannels(Color32* palette, int32_t entryCount, int32_t channelA, int32_t channelB);

// ---- Generic pixel access through the 16-bit and float intermediates -------------------------

Color64 GetPixel64Generic(const uint8_t* pixel, const PixelFormatInfo* info, const Color32* palette);
void SetPixel64Generic(uint8_t* pixel, const PixelFormatInfo* info, const Color32* palette, const Color64& color);
// Gray value and alpha of a gray-format pixel as 16-bit values (alpha 65535 without an alpha
// channel), and the reverse.
void GetGray16Generic(const uint8_t* pixel, const PixelFormatInfo* info, uint16_t& gray, uint16_t& alpha);
void SetGray16Generic(uint8_t* pixel, const PixelFormatInfo* info, uint16_t gray, uint16_t alpha);

// IEEE 754 binary16 <-> binary32. Widening is exact; narrowing rounds the discarded mantissa
// bits half up, flushes too-small magnitudes to zero and overflows to infinity.
float HalfToFloat(uint16_t half);
uint16_t FloatToHalf(float value);

// ---- Conversion and resampling ---------------------------------------------------------------

enum class ResizeFilter : int32_t {
  Nearest = 0,
  Bilinear = 1,
  Bicubic = 2,
};

// One entry of the resampling filter table: weight function and support radius.
struct FilterEntry {
  float (*Function)(float x);
  float Radius;
};
inline constexpr int kFilterCount = 10;
extern const FilterEntry ResamplingFilters[kFilterCount];

// Converts the image to `format`. A reduction to a palette looks only at the bits of each
// channel that `colorReductionMask` keeps (the library's colour-reduction mask option).
bool ConvertImageFormat(Image& image, PixelFormat format, uint8_t colorReductionMask = 255);
bool ResizeImage(Image& image, int32_t newWidth, int32_t newHeight, ResizeFilter filter);
bool StretchImageRect(const Image& source, int32_t sourceX, int32_t sourceY, int32_t sourceWidth,
                      int32_t sourceHeight, Image& target, int32_t targetX, int32_t targetY,
                      int32_t targetWidth, int32_t targetHeight, ResizeFilter filter);

// Steps of ReduceColors, a bit set.
enum ReduceColorsStep : uint32_t {
  raClearHashTable = 1,
  raMakeColorMap = 2,
  raMakePalette = 4,
  raMapImage = 8,
  raAll = 15,
};
// Median-cut reduction of `pixelCount` pixels of `sourceInfo`'s format to at most
// `colorCount` colours written as indices of `targetInfo`'s format.
void ReduceColors(int32_t pixelCount, const uint8_t* source, uint8_t* target, uint32_t steps,
                  Color32* palette, uint8_t channelMask, int32_t colorCount,
                  const PixelFormatInfo* sourceInfo, const PixelFormatInfo* targetInfo);

}  // namespace imaging
