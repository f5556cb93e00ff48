// Block codecs of the compressed pixel formats. The block layouts are the published ones:
// DXT1/DXT3/DXT5 as in S3 texture compression, ATI1N and ATI2N as one and two DXT5 alpha blocks,
// BTC as two gray levels and a 16-bit selection mask. The encoders are straightforward
// bounding-range fitters; the decoders use integer arithmetic throughout so that every decoded
// value is fixed.
#include "imaging/BlockCompression.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/PixelFormats.h"

namespace imaging {
namespace {

inline uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LoadLE48(const uint8_t* p) { return uint64_t(LoadLE32(p)) | (uint64_t(LoadLE16(p + 4)) << 32); }
inline uint64_t LoadLE64(const uint8_t* p) { return uint64_t(LoadLE32(p)) | (uint64_t(LoadLE32(p + 4)) << 32); }
inline void StoreLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
  StoreLE16(p, v);
  StoreLE16(p + 2, v >> 16);
}
inline void StoreLE48(uint8_t* p, uint64_t v) {
  StoreLE32(p, static_cast<uint32_t>(v));
  StoreLE16(p + 4, static_cast<uint32_t>(v >> 32));
}

struct Rgb {
  int32_t R, G, B;
};

// 5-6-5 endpoint to 8-bit channels (integer division, so 31 and 63 become 255).
Rgb Expand565(uint16_t v) {
  return Rgb{((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31};
}

inline Color32 MakeOpaque(int32_t r, int32_t g, int32_t b, uint8_t alpha = 255) {
  return MakeColor32(alpha, static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
}

// The four colours a colour block can select. Only DXT1 knows the three-colour mode with its
// transparent fourth entry; DXT3 and DXT5 carry alpha separately and always use four colours.
void ColorPalette(uint16_t c0, uint16_t c1, bool dxt1, Color32 palette[4]) {
  const Rgb a = Expand565(c0);
  const Rgb b = Expand565(c1);
  palette[0] = MakeOpaque(a.R, a.G, a.B);
  palette[1] = MakeOpaque(b.R, b.G, b.B);
  if (!dxt1 || c0 > c1) {
    palette[2] = MakeOpaque((2 * a.R + b.R + 1) / 3, (2 * a.G + b.G + 1) / 3, (2 * a.B + b.B + 1) / 3);
    palette[3] = MakeOpaque((a.R + 2 * b.R + 1) / 3, (a.G + 2 * b.G + 1) / 3, (a.B + 2 * b.B + 1) / 3);
  } else {
    palette[2] = MakeOpaque((a.R + b.R) / 2, (a.G + b.G) / 2, (a.B + b.B) / 2);
    palette[3] = MakeOpaque((a.R + 2 * b.R + 1) / 3, (a.G + 2 * b.G + 1) / 3, (a.B + 2 * b.B + 1) / 3, 0);
  }
}

void DecodeColorBlock(const uint8_t* block, bool dxt1, Color32 pixels[16]) {
  Color32 palette[4];
  ColorPalette(LoadLE16(block), LoadLE16(block + 2), dxt1, palette);
  const uint32_t indices = LoadLE32(block + 4);
  for (int i = 0; i < 16; ++i) pixels[i] = palette[(indices >> (2 * i)) & 3];
}

// The eight values of a DXT5 alpha block (also the channel blocks of ATI1N and ATI2N).
void AlphaRamp(uint32_t a0, uint32_t a1, uint8_t ramp[8]) {
  ramp[0] = static_cast<uint8_t>(a0);
  ramp[1] = static_cast<uint8_t>(a1);
  if (a0 > a1) {
    for (uint32_t i = 1; i <= 6; ++i) ramp[i + 1] = static_cast<uint8_t>(((7 - i) * a0 + i * a1 + 3) / 7);
  } else {
    for (uint32_t i = 1; i <= 4; ++i) ramp[i + 1] = static_cast<uint8_t>(((5 - i) * a0 + i * a1 + 2) / 5);
    ramp[6] = 0;
    ramp[7] = 255;
  }
}

void DecodeAlphaBlock(const uint8_t* block, uint8_t values[16]) {
  uint8_t ramp[8];
  AlphaRamp(block[0], block[1], ramp);
  const uint64_t indices = LoadLE48(block + 2);
  for (int i = 0; i < 16; ++i) values[i] = ramp[(indices >> (3 * i)) & 7];
}

// ---- Encoders ----------------------------------------------------------------------------------

inline int32_t Square(int32_t v) { return v * v; }
inline int32_t ColorDistance(Color32 a, Color32 b) {
  return Square(int32_t(Color32Red(a)) - Color32Red(b)) + Square(int32_t(Color32Green(a)) - Color32Green(b)) +
         Square(int32_t(Color32Blue(a)) - Color32Blue(b));
}

inline uint16_t Quantize565(const Rgb& c) {
  return static_cast<uint16_t>((((c.R * 31 + 127) / 255) << 11) | (((c.G * 63 + 127) / 255) << 5) |
                               ((c.B * 31 + 127) / 255));
}

// Picks the two block colours at the ends of the principal axis of the given pixels.
void FitEndpoints(const Rgb* colors, int count, Rgb& low, Rgb& high) {
  float mean[3] = {0, 0, 0};
  for (int i = 0; i < count; ++i) {
    mean[0] += static_cast<float>(colors[i].R);
    mean[1] += static_cast<float>(colors[i].G);
    mean[2] += static_cast<float>(colors[i].B);
  }
  for (float& m : mean) m /= static_cast<float>(count);
  float cov[6] = {0, 0, 0, 0, 0, 0};  // rr, rg, rb, gg, gb, bb
  for (int i = 0; i < count; ++i) {
    const float r = static_cast<float>(colors[i].R) - mean[0];
    const float g = static_cast<float>(colors[i].G) - mean[1];
    const float b = static_cast<float>(colors[i].B) - mean[2];
    cov[0] += r * r;
    cov[1] += r * g;
    cov[2] += r * b;
    cov[3] += g * g;
    cov[4] += g * b;
    cov[5] += b * b;
  }
  // Power iteration, started from the covariance row of the channel with the largest variance
  // (a unit vector could be orthogonal to the axis, as for two colours that trade one channel
  // against another).
  float axis[3];
  if (cov[0] >= cov[3] && cov[0] >= cov[5]) {
    axis[0] = cov[0], axis[1] = cov[1], axis[2] = cov[2];
  } else if (cov[3] >= cov[5]) {
    axis[0] = cov[1], axis[1] = cov[3], axis[2] = cov[4];
  } else {
    axis[0] = cov[2], axis[1] = cov[4], axis[2] = cov[5];
  }
  for (int iteration = 0; iteration < 8; ++iteration) {
    const float x = cov[0] * axis[0] + cov[1] * axis[1] + cov[2] * axis[2];
    const float y = cov[1] * axis[0] + cov[3] * axis[1] + cov[4] * axis[2];
    const float z = cov[2] * axis[0] + cov[4] * axis[1] + cov[5] * axis[2];
    const float norm = std::max({std::abs(x), std::abs(y), std::abs(z)});
    if (norm <= 0.0f) break;
    axis[0] = x / norm;
    axis[1] = y / norm;
    axis[2] = z / norm;
  }
  int lowIndex = 0, highIndex = 0;
  float lowDot = 0.0f, highDot = 0.0f;
  for (int i = 0; i < count; ++i) {
    const float dot = static_cast<float>(colors[i].R) * axis[0] + static_cast<float>(colors[i].G) * axis[1] +
                      static_cast<float>(colors[i].B) * axis[2];
    if (i == 0 || dot < lowDot) {
      lowDot = dot;
      lowIndex = i;
    }
    if (i == 0 || dot > highDot) {
      highDot = dot;
      highIndex = i;
    }
  }
  low = colors[lowIndex];
  high = colors[highIndex];
}

// DXT1 marks pixels with alpha below 128 as transparent (three-colour mode); DXT3 and DXT5
// colour blocks ignore alpha.
void EncodeColorBlock(const Color32 pixels[16], bool dxt1, uint8_t* out) {
  Rgb colors[16];
  int count = 0;
  for (int i = 0; i < 16; ++i) {
    if (dxt1 && Color32Alpha(pixels[i]) < 128) continue;
    colors[count++] = Rgb{Color32Red(pixels[i]), Color32Green(pixels[i]), Color32Blue(pixels[i])};
  }
  if (count == 0) {  // fully transparent: both endpoints black, every pixel index 3
    StoreLE32(out, 0);
    StoreLE32(out + 4, 0xFFFFFFFFu);
    return;
  }
  const bool transparent = count < 16;
  Rgb low, high;
  FitEndpoints(colors, count, low, high);
  uint16_t c0 = Quantize565(high);
  uint16_t c1 = Quantize565(low);
  // Four-colour mode needs c0 > c1, three-colour mode c0 <= c1.
  if (transparent ? c0 > c1 : c0 < c1) std::swap(c0, c1);
  Color32 palette[4];
  ColorPalette(c0, c1, dxt1, palette);
  // With equal endpoints every entry is the same colour, and a decoder that reads the block in
  // three-colour mode would make index 3 transparent: use index 0 only.
  const int choices = c0 == c1 ? 1 : (transparent ? 3 : 4);
  uint32_t indices = 0;
  for (int i = 0; i < 16; ++i) {
    uint32_t index = 0;
    if (transparent && Color32Alpha(pixels[i]) < 128) {
      index = 3;
    } else {
      int32_t best = ColorDistance(pixels[i], palette[0]);
      for (int k = 1; k < choices; ++k) {
        const int32_t d = ColorDistance(pixels[i], palette[k]);
        if (d < best) {
          best = d;
          index = static_cast<uint32_t>(k);
        }
      }
    }
    indices |= index << (2 * i);
  }
  StoreLE16(out, c0);
  StoreLE16(out + 2, c1);
  StoreLE32(out + 4, indices);
}

// Chooses the nearest ramp entry for every value; returns the summed squared error.
int32_t AlphaIndices(const uint8_t values[16], uint32_t a0, uint32_t a1, uint64_t& indices) {
  uint8_t ramp[8];
  AlphaRamp(a0, a1, ramp);
  int32_t error = 0;
  indices = 0;
  for (int i = 0; i < 16; ++i) {
    uint64_t index = 0;
    int32_t best = Square(int32_t(values[i]) - ramp[0]);
    for (int k = 1; k < 8; ++k) {
      const int32_t d = Square(int32_t(values[i]) - ramp[k]);
      if (d < best) {
        best = d;
        index = static_cast<uint64_t>(k);
      }
    }
    error += best;
    indices |= index << (3 * i);
  }
  return error;
}

// Tries the eight-value ramp over the whole range and the six-value ramp over the values
// between 0 and 255 (which it holds exactly), and keeps the better.
void EncodeAlphaBlock(const uint8_t values[16], uint8_t* out) {
  uint32_t lo = 255, hi = 0, lo6 = 255, hi6 = 0;
  for (int i = 0; i < 16; ++i) {
    lo = std::min<uint32_t>(lo, values[i]);
    hi = std::max<uint32_t>(hi, values[i]);
    if (values[i] != 0 && values[i] != 255) {
      lo6 = std::min<uint32_t>(lo6, values[i]);
      hi6 = std::max<uint32_t>(hi6, values[i]);
    }
  }
  if (lo6 > hi6) lo6 = hi6 = 0;
  uint64_t indices8 = 0, indices6 = 0;
  const int32_t error8 = AlphaIndices(values, hi, lo, indices8);
  const int32_t error6 = AlphaIndices(values, lo6, hi6, indices6);
  const bool eight = error8 <= error6;
  out[0] = static_cast<uint8_t>(eight ? hi : lo6);
  out[1] = static_cast<uint8_t>(eight ? lo : hi6);
  StoreLE48(out + 2, eight ? indices8 : indices6);
}

// Two levels that keep the block's mean: pixels at or above the mean take the average of
// their group, the others the average of theirs.
void EncodeBtcBlock(const uint8_t values[16], uint8_t* out) {
  uint32_t sum = 0;
  for (int i = 0; i < 16; ++i) sum += values[i];
  uint32_t highSum = 0, highCount = 0, lowSum = 0, mask = 0;
  for (int i = 0; i < 16; ++i) {
    if (values[i] * 16u >= sum) {
      highSum += values[i];
      ++highCount;
      mask |= 1u << i;
    } else {
      lowSum += values[i];
    }
  }
  const uint32_t lowCount = 16 - highCount;
  const uint32_t high = (highSum + highCount / 2) / highCount;  // highCount >= 1: the maximum is above the mean
  const uint32_t low = lowCount ? (lowSum + lowCount / 2) / lowCount : high;
  out[0] = static_cast<uint8_t>(low);
  out[1] = static_cast<uint8_t>(high);
  StoreLE16(out + 2, mask);
}

void EncodeBlock(PixelFormat format, const Color32 pixels[16], uint8_t* out) {
  uint8_t first[16], second[16];
  switch (format) {
    case PixelFormat::DXT1: EncodeColorBlock(pixels, true, out); break;
    case PixelFormat::DXT3: {
      uint64_t alpha = 0;
      for (int i = 0; i < 16; ++i) alpha |= uint64_t((Color32Alpha(pixels[i]) + 8) / 17) << (4 * i);
      StoreLE32(out, static_cast<uint32_t>(alpha));
      StoreLE32(out + 4, static_cast<uint32_t>(alpha >> 32));
      EncodeColorBlock(pixels, false, out + 8);
      break;
    }
    case PixelFormat::DXT5:
      for (int i = 0; i < 16; ++i) first[i] = Color32Alpha(pixels[i]);
      EncodeAlphaBlock(first, out);
      EncodeColorBlock(pixels, false, out + 8);
      break;
    case PixelFormat::BTC:
      for (int i = 0; i < 16; ++i) first[i] = static_cast<uint8_t>(pixels[i]);
      EncodeBtcBlock(first, out);
      break;
    case PixelFormat::ATI1N:
      for (int i = 0; i < 16; ++i) first[i] = static_cast<uint8_t>(pixels[i]);
      EncodeAlphaBlock(first, out);
      break;
    case PixelFormat::ATI2N:
      for (int i = 0; i < 16; ++i) {
        first[i] = Color32Red(pixels[i]);
        second[i] = Color32Green(pixels[i]);
      }
      EncodeAlphaBlock(first, out);
      EncodeAlphaBlock(second, out + 8);
      break;
    default: break;
  }
}

// Bytes of one 4 × 4 block of a compressed format (0 for other formats).
int32_t CompressedBlockBytes(PixelFormat format) {
  switch (format) {
    case PixelFormat::DXT1:
    case PixelFormat::ATI1N: return 8;
    case PixelFormat::DXT3:
    case PixelFormat::DXT5:
    case PixelFormat::ATI2N: return 16;
    case PixelFormat::BTC: return 4;
    default: return 0;
  }
}

// One block decoded to 16 pixels in row order: Color32 for the formats that decode to
// A8R8G8B8, gray bytes (in the low byte of each entry) for those that decode to Gray8.
void DecodeBlock(PixelFormat format, const uint8_t* block, Color32 pixels[16]) {
  uint8_t first[16], second[16];
  switch (format) {
    case PixelFormat::DXT1: DecodeColorBlock(block, true, pixels); break;
    case PixelFormat::DXT3: {
      DecodeColorBlock(block + 8, false, pixels);
      const uint64_t alpha = LoadLE64(block);
      for (int i = 0; i < 16; ++i)
        pixels[i] = (pixels[i] & 0x00FFFFFFu) | (static_cast<Color32>((alpha >> (4 * i)) & 15) * 17 << 24);
      break;
    }
    case PixelFormat::DXT5:
      DecodeColorBlock(block + 8, false, pixels);
      DecodeAlphaBlock(block, first);
      for (int i = 0; i < 16; ++i) pixels[i] = (pixels[i] & 0x00FFFFFFu) | (static_cast<Color32>(first[i]) << 24);
      break;
    case PixelFormat::BTC: {
      const uint32_t mask = LoadLE16(block + 2);
      for (int i = 0; i < 16; ++i) pixels[i] = (mask >> i) & 1 ? block[1] : block[0];
      break;
    }
    case PixelFormat::ATI1N:
      DecodeAlphaBlock(block, first);
      for (int i = 0; i < 16; ++i) pixels[i] = first[i];
      break;
    case PixelFormat::ATI2N:
      DecodeAlphaBlock(block, first);
      DecodeAlphaBlock(block + 8, second);
      for (int i = 0; i < 16; ++i) pixels[i] = MakeColor32(255, first[i], second[i], 0);
      break;
    default: std::fill(pixels, pixels + 16, Color32(0)); break;
  }
}

}  // namespace

void DecodeCompressedImage(const Image& source, Image& target) {
  DecodeCompressedImage(source, source.Width(), source.Height(), target);
}

void DecodeCompressedImage(const Image& source, int32_t width, int32_t height, Image& target) {
  const PixelFormatInfo* info = FindFormatInfo(source.Format());
  const int32_t blockBytes = CompressedBlockBytes(source.Format());
  if (!info || !info->IsCompressed || blockBytes == 0)
    RaiseImaging("Cannot decode blocks of format %s.", GetFormatName(source.Format()).c_str());
  const int64_t blocksX = (int64_t(source.Width()) + 3) / 4;
  const int64_t blocksY = (int64_t(source.Height()) + 3) / 4;
  if (width <= 0 || height <= 0 || (int64_t(width) + 3) / 4 != blocksX || (int64_t(height) + 3) / 4 != blocksY)
    RaiseImaging("Assertion failed: %dx%d pixels are not what %dx%d %s blocks hold.", width, height,
                 source.Width(), source.Height(), info->Name);
  if (source.Bits() == nullptr || blocksX * blocksY * blockBytes > source.Size())
    RaiseImaging("Compressed %s data of %d bytes is too short for %dx%d pixels.", info->Name, source.Size(),
                 source.Width(), source.Height());
  if (!CreateImage(width, height, info->DecodedFormat, target))
    RaiseImaging("Cannot create a %dx%d image to decode %s blocks into.", width, height, info->Name);
  const bool gray = info->DecodedFormat == PixelFormat::Gray8;
  const size_t bpp = gray ? 1 : 4;
  const size_t rowBytes = size_t(target.Width()) * bpp;
  Color32 pixels[16];
  const uint8_t* block = source.Bits();
  for (int64_t by = 0; by < blocksY; ++by) {
    const int32_t rows = static_cast<int32_t>(std::min<int64_t>(4, target.Height() - by * 4));
    for (int64_t bx = 0; bx < blocksX; ++bx, block += blockBytes) {
      DecodeBlock(source.Format(), block, pixels);
      // Blocks reaching past the right or bottom edge keep only their pixels inside the image.
      const int32_t columns = static_cast<int32_t>(std::min<int64_t>(4, target.Width() - bx * 4));
      for (int32_t y = 0; y < rows; ++y) {
        uint8_t* out = target.Bits() + size_t(by * 4 + y) * rowBytes + size_t(bx * 4) * bpp;
        for (int32_t x = 0; x < columns; ++x) {
          const Color32 c = pixels[y * 4 + x];
          if (gray) {
            out[x] = static_cast<uint8_t>(c);
          } else {
            std::memcpy(out + 4 * x, &c, 4);
          }
        }
      }
    }
  }
}

void EncodeCompressedImage(const Image& source, PixelFormat format, Image& target) {
  const PixelFormatInfo* info = FindFormatInfo(format);
  if (!info || !info->IsCompressed)
    RaiseImaging("Cannot encode blocks of format %s.", GetFormatName(format).c_str());
  if (source.Format() != info->DecodedFormat || source.Width() % 4 != 0 || source.Height() % 4 != 0 ||
      !IsImageValid(source))
    RaiseImaging("Assertion failed: EncodeCompressedImage needs a %s image with sides divisible by 4.",
                 GetFormatName(info->DecodedFormat).c_str());
  if (!CreateImage(source.Width(), source.Height(), format, target))
    RaiseImaging("Cannot create a %dx%d %s image.", source.Width(), source.Height(), info->Name);
  const bool gray = source.Format() == PixelFormat::Gray8;
  const size_t bpp = gray ? 1 : 4;
  const size_t rowBytes = size_t(source.Width()) * bpp;
  const int32_t blockBytes = CompressedBlockBytes(format);
  Color32 pixels[16];
  uint8_t* out = target.Bits();
  for (int32_t by = 0; by < source.Height() / 4; ++by) {
    for (int32_t bx = 0; bx < source.Width() / 4; ++bx, out += blockBytes) {
      for (int32_t y = 0; y < 4; ++y) {
        const uint8_t* in = source.Bits() + size_t(by * 4 + y) * rowBytes + size_t(bx) * 4 * bpp;
        for (int32_t x = 0; x < 4; ++x) {
          if (gray) {
            pixels[y * 4 + x] = in[x];
          } else {
            std::memcpy(&pixels[y * 4 + x], in + 4 * x, 4);
          }
        }
      }
      EncodeBlock(format, pixels, out);
    }
  }
}

}  // namespace imaging
