// Arbitrary pixel data in any format converted to any other: the block decoders and encoders,
// the colour reduction and every pixel reader and writer. Every bit pattern is a valid pixel
// or block, so each conversion must succeed and give a valid image of the same size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "imaging/PixelFormats.h"

using namespace imaging;
using PF = PixelFormat;

namespace {
const PF kFormats[] = {PF::Index8,        PF::Gray8,         PF::A8Gray8,       PF::Gray16,    PF::Gray32,
                       PF::Gray64,        PF::A16Gray16,     PF::X5R1G1B1,      PF::R3G3B2,    PF::R5G6B5,
                       PF::A1R5G5B5,      PF::A4R4G4B4,      PF::X1R5G5B5,      PF::X4R4G4B4,  PF::R8G8B8,
                       PF::A8R8G8B8,      PF::X8R8G8B8,      PF::R16G16B16,     PF::A16R16G16B16,
                       PF::B16G16R16,     PF::A16B16G16R16,  PF::R32F,          PF::A32R32G32B32F,
                       PF::A32B32G32R32F, PF::R16F,          PF::A16R16G16B16F, PF::A16B16G16R16F,
                       PF::DXT1,          PF::DXT3,          PF::DXT5,          PF::BTC,       PF::ATI1N,
                       PF::ATI2N};
constexpr size_t kFormatCount = std::size(kFormats);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int32_t width = data[0] % 48 + 1, height = data[1] % 48 + 1;
  const PF from = kFormats[data[2] % kFormatCount], to = kFormats[data[3] % kFormatCount];
  data += 4;
  size -= 4;
  Image image;
  if (!CreateImage(width, height, from, image)) __builtin_trap();
  const size_t pixels = std::min(size, static_cast<size_t>(image.Size()));
  std::memcpy(image.Bits(), data, pixels);
  if (image.Palette()) std::memcpy(image.Palette(), data + pixels, std::min<size_t>(size - pixels, 256 * 4));
  const int32_t expectedWidth = image.Width(), expectedHeight = image.Height();
  if (!ConvertImageFormat(image, to) || !IsImageValid(image)) __builtin_trap();
  // Block formats round their sides up to multiples of 4; other formats keep the size.
  if (image.Width() < expectedWidth || image.Height() < expectedHeight || image.Width() > (expectedWidth + 3) / 4 * 4 ||
      image.Height() > (expectedHeight + 3) / 4 * 4)
    __builtin_trap();
  return 0;
}
