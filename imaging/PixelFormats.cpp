// The pixel-format table, pixel access and the basic image and palette operations.
#include "imaging/PixelFormats.h"

#include "imaging/Image.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace imaging {
namespace {

// ---- Small helpers -----------------------------------------------------------------------------

inline uint16_t Widen8(uint32_t v) { return static_cast<uint16_t>(v * 65535u / 255u); }
inline uint8_t Narrow16(uint32_t w) { return static_cast<uint8_t>(w * 255u / 65535u); }

// Round to nearest, ties to even (the rounding of the current FP environment), then clamp.
inline int32_t RoundClamp(float v, int32_t maxValue) {
  if (!(v > 0.0f)) return 0;  // also catches NaN
  if (v >= static_cast<float>(maxValue)) return maxValue;
  return static_cast<int32_t>(std::nearbyint(v));
}
inline float Clamp01(float v) { return v > 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f); }

constexpr float kInv255 = 0.003921568859368563f;
constexpr float kInv65535 = 1.5259021893143654e-05f;

inline uint16_t Load16(const uint8_t* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
inline uint32_t Load32(const uint8_t* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline uint64_t Load64(const uint8_t* p) { uint64_t v; std::memcpy(&v, p, 8); return v; }
inline float LoadF(const uint8_t* p) { float v; std::memcpy(&v, p, 4); return v; }
inline void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }
inline void StoreF(uint8_t* p, float v) { std::memcpy(p, &v, 4); }

inline Color32 Narrow64(const Color64& c) {
  return MakeColor32(Narrow16(c.A), Narrow16(c.R), Narrow16(c.G), Narrow16(c.B));
}
inline Color64 Widen32(Color32 c) {
  return Color64{Widen8(Color32Blue(c)), Widen8(Color32Green(c)), Widen8(Color32Red(c)), Widen8(Color32Alpha(c))};
}

// ---- Bit-field layouts -----------------------------------------------------------------------

constexpr BitFieldLayout MakeLayout(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  auto mask = [](uint32_t bits, uint32_t shift) { return ((1u << bits) - 1u) << shift; };
  auto div = [](uint32_t bits) { return static_cast<uint16_t>(bits ? (1u << bits) - 1u : 1u); };
  return BitFieldLayout{a, r, g, b,
                        mask(a, r + g + b), mask(r, g + b), mask(g, b), mask(b, 0),
                        static_cast<uint8_t>(r + g + b), static_cast<uint8_t>(g + b), b, 0,
                        div(a), div(r), div(g), div(b)};
}

constexpr BitFieldLayout kX5R1G1B1 = MakeLayout(0, 1, 1, 1);
constexpr BitFieldLayout kR3G3B2 = MakeLayout(0, 3, 3, 2);
constexpr BitFieldLayout kR5G6B5 = MakeLayout(0, 5, 6, 5);
constexpr BitFieldLayout kA1R5G5B5 = MakeLayout(1, 5, 5, 5);
constexpr BitFieldLayout kA4R4G4B4 = MakeLayout(4, 4, 4, 4);
constexpr BitFieldLayout kX1R5G5B5 = MakeLayout(0, 5, 5, 5);
constexpr BitFieldLayout kX4R4G4B4 = MakeLayout(0, 4, 4, 4);

inline uint32_t LoadPacked(const uint8_t* p, int32_t bytes) { return bytes == 1 ? p[0] : Load16(p); }
inline void StorePacked(uint8_t* p, int32_t bytes, uint32_t v) {
  if (bytes == 1) p[0] = static_cast<uint8_t>(v);
  else Store16(p, static_cast<uint16_t>(v));
}
inline uint8_t FieldTo8(uint32_t packed, uint32_t mask, uint8_t shift, uint16_t div) {
  return static_cast<uint8_t>(((packed & mask) >> shift) * 255u / div);
}
inline uint32_t FieldFrom16(uint16_t w, uint8_t bits, uint8_t shift) {
  if (bits == 0) return 0;
  return ((static_cast<uint32_t>(w) >> 8) >> (8 - bits)) << shift;
}

// ---- Gray helpers ---------------------------------------------------------------------------

// Gray from 8-bit or 16-bit channels with the single-precision luminance weights.
inline float Luminance(float r, float g, float b) { return 0.299f * r + 0.587f * g + 0.114f * b; }

inline bool IsGray16Plus(PixelFormat f) { return f != PixelFormat::Gray8 && f != PixelFormat::A8Gray8; }

// Reads the gray value and alpha of a gray pixel as 16-bit values.
inline void LoadGray16(const uint8_t* p, PixelFormat f, uint16_t& gray, uint16_t& alpha) {
  alpha = 65535;
  switch (f) {
    case PixelFormat::Gray8: gray = Widen8(p[0]); break;
    case PixelFormat::A8Gray8: gray = Widen8(p[0]); alpha = Widen8(p[1]); break;
    case PixelFormat::Gray16: gray = Load16(p); break;
    case PixelFormat::Gray32: gray = static_cast<uint16_t>(Load32(p) >> 16); break;
    case PixelFormat::Gray64: gray = static_cast<uint16_t>(Load64(p) >> 48); break;
    case PixelFormat::A16Gray16: gray = Load16(p); alpha = Load16(p + 2); break;
    default: gray = 0; break;
  }
}

inline void StoreGray16(uint8_t* p, PixelFormat f, uint16_t gray, uint16_t alpha) {
  switch (f) {
    case PixelFormat::Gray8: p[0] = Narrow16(gray); break;
    case PixelFormat::A8Gray8: p[0] = Narrow16(gray); p[1] = Narrow16(alpha); break;
    case PixelFormat::Gray16: Store16(p, gray); break;
    case PixelFormat::Gray32: Store32(p, static_cast<uint32_t>(gray) * 65537u); break;
    case PixelFormat::Gray64: Store64(p, static_cast<uint64_t>(gray) * 0x0001000100010001ull); break;
    case PixelFormat::A16Gray16: Store16(p, gray); Store16(p + 2, alpha); break;
    default: break;
  }
}

// ---- Generic 16-bit intermediate --------------------------------------------------------------


ColorFP LoadFloatPixel(const uint8_t* p, const PixelFormatInfo* info);
void StoreFloatPixel(uint8_t* p, const PixelFormatInfo* info, const ColorFP& c);

}  // namespace

float HalfToFloat(uint16_t half) {
  const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
  uint32_t exponent = (half >> 10) & 0x1Fu;
  uint32_t mantissa = half & 0x3FFu;
  uint32_t bits;
  if (exponent == 0) {
    if (mantissa == 0) {
      bits = sign;
    } else {
      // Subnormal half: normalise it.
      int32_t e = -1;
      do {
        ++e;
        mantissa <<= 1;
      } while ((mantissa & 0x400u) == 0);
      mantissa &= 0x3FFu;
      bits = sign | (static_cast<uint32_t>(127 - 15 - e) << 23) | (mantissa << 13);
    }
  } else if (exponent == 31) {
    bits = sign | 0x7F800000u | (mantissa << 13);
  } else {
    bits = sign | ((exponent + (127 - 15)) << 23) | (mantissa << 13);
  }
  float result;
  std::memcpy(&result, &bits, 4);
  return result;
}

uint16_t FloatToHalf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  const uint32_t sign = (bits >> 16) & 0x8000u;
  int32_t exponent = static_cast<int32_t>((bits >> 23) & 0xFFu) - (127 - 15);
  uint32_t mantissa = bits & 0x7FFFFFu;
  if (exponent <= 0) {
    if (exponent < -10) return static_cast<uint16_t>(sign);  // too small: zero
    mantissa |= 0x800000u;
    const uint32_t shift = static_cast<uint32_t>(14 - exponent);
    mantissa = (mantissa + (1u << (shift - 1))) >> shift;  // half up
    return static_cast<uint16_t>(sign | mantissa);
  }
  if (exponent == 0xFF - (127 - 15)) {
    if (mantissa == 0) return static_cast<uint16_t>(sign | 0x7C00u);
    mantissa >>= 13;
    return static_cast<uint16_t>(sign | 0x7C00u | mantissa | (mantissa == 0 ? 1u : 0u));  // stays NaN
  }
  if (mantissa & 0x1000u) {  // half up
    mantissa += 0x2000u;
    if (mantissa & 0x800000u) {
      mantissa = 0;
      ++exponent;
    }
  }
  if (exponent > 30) return static_cast<uint16_t>(sign | 0x7C00u);  // too large: infinity
  return static_cast<uint16_t>(sign | (static_cast<uint32_t>(exponent) << 10) | (mantissa >> 13));
}

namespace {

ColorFP LoadFloatPixel(const uint8_t* p, const PixelFormatInfo* info) {
  switch (info->Format) {
    case PixelFormat::R32F: return ColorFP{0.0f, 0.0f, LoadF(p), 1.0f};
    case PixelFormat::R16F: return ColorFP{0.0f, 0.0f, HalfToFloat(Load16(p)), 1.0f};
    case PixelFormat::A32R32G32B32F: return ColorFP{LoadF(p), LoadF(p + 4), LoadF(p + 8), LoadF(p + 12)};
    case PixelFormat::A32B32G32R32F: return ColorFP{LoadF(p + 8), LoadF(p + 4), LoadF(p), LoadF(p + 12)};
    case PixelFormat::A16R16G16B16F:
      return ColorFP{HalfToFloat(Load16(p)), HalfToFloat(Load16(p + 2)), HalfToFloat(Load16(p + 4)),
                     HalfToFloat(Load16(p + 6))};
    case PixelFormat::A16B16G16R16F:
      return ColorFP{HalfToFloat(Load16(p + 4)), HalfToFloat(Load16(p + 2)), HalfToFloat(Load16(p)),
                     HalfToFloat(Load16(p + 6))};
    default: return ColorFP{0.0f, 0.0f, 0.0f, 1.0f};
  }
}

void StoreFloatPixel(uint8_t* p, const PixelFormatInfo* info, const ColorFP& c) {
  switch (info->Format) {
    case PixelFormat::R32F: StoreF(p, c.R); break;
    case PixelFormat::R16F: Store16(p, FloatToHalf(c.R)); break;
    case PixelFormat::A32R32G32B32F:
      StoreF(p, c.B); StoreF(p + 4, c.G); StoreF(p + 8, c.R); StoreF(p + 12, c.A);
      break;
    case PixelFormat::A32B32G32R32F:
      StoreF(p, c.R); StoreF(p + 4, c.G); StoreF(p + 8, c.B); StoreF(p + 12, c.A);
      break;
    case PixelFormat::A16R16G16B16F:
      Store16(p, FloatToHalf(c.B)); Store16(p + 2, FloatToHalf(c.G));
      Store16(p + 4, FloatToHalf(c.R)); Store16(p + 6, FloatToHalf(c.A));
      break;
    case PixelFormat::A16B16G16R16F:
      Store16(p, FloatToHalf(c.R)); Store16(p + 2, FloatToHalf(c.G));
      Store16(p + 4, FloatToHalf(c.B)); Store16(p + 6, FloatToHalf(c.A));
      break;
    default: break;
  }
}

Color64 FloatTo64(const ColorFP& c) {
  return Color64{static_cast<uint16_t>(RoundClamp(Clamp01(c.B) * 65535.0f, 65535)),
                 static_cast<uint16_t>(RoundClamp(Clamp01(c.G) * 65535.0f, 65535)),
                 static_cast<uint16_t>(RoundClamp(Clamp01(c.R) * 65535.0f, 65535)),
                 static_cast<uint16_t>(RoundClamp(Clamp01(c.A) * 65535.0f, 65535))};
}

int32_t PaletteIndexOrRaise(const Color32* palette, int32_t count, Color32 color) {
  const int32_t index = FindPaletteColor(palette, count, color);
  if (index < 0) RaiseImaging("No palette entry is close to color 0x%.8X.", color);
  return index;
}

}  // namespace

Color64 GetPixel64Generic(const uint8_t* p, const PixelFormatInfo* info, const Color32* palette) {
  if (info->HasGrayChannel) {
    uint16_t gray, alpha;
    LoadGray16(p, info->Format, gray, alpha);
    return Color64{gray, gray, gray, alpha};
  }
  if (info->IsFloatingPoint) return FloatTo64(LoadFloatPixel(p, info));
  if (info->IsIndexed) return Widen32(palette[p[0]]);
  if (info->HasBitFields) {
    const BitFieldLayout& l = *info->BitFields;
    const uint32_t v = LoadPacked(p, info->BytesPerPixel);
    return Color64{Widen8(FieldTo8(v, l.BMask, l.BShift, l.BRecDiv)), Widen8(FieldTo8(v, l.GMask, l.GShift, l.GRecDiv)),
                   Widen8(FieldTo8(v, l.RMask, l.RShift, l.RRecDiv)),
                   l.ABits ? Widen8(FieldTo8(v, l.AMask, l.AShift, l.ARecDiv)) : uint16_t(65535)};
  }
  Color64 c{0, 0, 0, 65535};
  switch (info->Format) {
    case PixelFormat::R8G8B8:
    case PixelFormat::X8R8G8B8: c = Color64{Widen8(p[0]), Widen8(p[1]), Widen8(p[2]), 65535}; break;
    case PixelFormat::A8R8G8B8: c = Color64{Widen8(p[0]), Widen8(p[1]), Widen8(p[2]), Widen8(p[3])}; break;
    case PixelFormat::R16G16B16:
    case PixelFormat::B16G16R16: c = Color64{Load16(p), Load16(p + 2), Load16(p + 4), 65535}; break;
    case PixelFormat::A16R16G16B16:
    case PixelFormat::A16B16G16R16: c = Color64{Load16(p), Load16(p + 2), Load16(p + 4), Load16(p + 6)}; break;
    default: break;
  }
  if (info->IsRBSwapped) std::swap(c.R, c.B);
  return c;
}

void GetGray16Generic(const uint8_t* pixel, const PixelFormatInfo* info, uint16_t& gray, uint16_t& alpha) {
  LoadGray16(pixel, info->Format, gray, alpha);
}

void SetGray16Generic(uint8_t* pixel, const PixelFormatInfo* info, uint16_t gray, uint16_t alpha) {
  StoreGray16(pixel, info->Format, gray, alpha);
}

void SetPixel64Generic(uint8_t* p, const PixelFormatInfo* info, const Color32* palette, const Color64& color) {
  if (info->HasGrayChannel) {
    const float gray = Luminance(color.R, color.G, color.B);
    StoreGray16(p, info->Format, static_cast<uint16_t>(RoundClamp(gray, 65535)), color.A);
    return;
  }
  if (info->IsFloatingPoint) {
    StoreFloatPixel(p, info, ColorFP{color.B * kInv65535, color.G * kInv65535, color.R * kInv65535, color.A * kInv65535});
    return;
  }
  if (info->IsIndexed) {
    p[0] = static_cast<uint8_t>(PaletteIndexOrRaise(palette, info->PaletteEntries, Narrow64(color)));
    return;
  }
  if (info->HasBitFields) {
    const BitFieldLayout& l = *info->BitFields;
    const uint32_t v = FieldFrom16(color.A, l.ABits, l.AShift) | FieldFrom16(color.R, l.RBits, l.RShift) |
                       FieldFrom16(color.G, l.GBits, l.GShift) | FieldFrom16(color.B, l.BBits, l.BShift);
    StorePacked(p, info->BytesPerPixel, v);
    return;
  }
  Color64 c = color;
  if (info->IsRBSwapped) std::swap(c.R, c.B);
  switch (info->Format) {
    case PixelFormat::R8G8B8: p[0] = Narrow16(c.B); p[1] = Narrow16(c.G); p[2] = Narrow16(c.R); break;
    case PixelFormat::X8R8G8B8:
      p[0] = Narrow16(c.B); p[1] = Narrow16(c.G); p[2] = Narrow16(c.R); p[3] = 0;
      break;
    case PixelFormat::A8R8G8B8:
      p[0] = Narrow16(c.B); p[1] = Narrow16(c.G); p[2] = Narrow16(c.R); p[3] = Narrow16(c.A);
      break;
    case PixelFormat::R16G16B16:
    case PixelFormat::B16G16R16: Store16(p, c.B); Store16(p + 2, c.G); Store16(p + 4, c.R); break;
    case PixelFormat::A16R16G16B16:
    case PixelFormat::A16B16G16R16:
      Store16(p, c.B); Store16(p + 2, c.G); Store16(p + 4, c.R); Store16(p + 6, c.A);
      break;
    default: break;
  }
}

namespace {

// ---- Pixel readers and writers of the table ---------------------------------------------------

Color32 GenericGet32(const uint8_t* p, const PixelFormatInfo* info, const Color32* palette) {
  if (info->IsFloatingPoint) {
    const ColorFP c = LoadFloatPixel(p, info);
    return MakeColor32(static_cast<uint8_t>(RoundClamp(c.A * 255.0f, 255)), static_cast<uint8_t>(RoundClamp(c.R * 255.0f, 255)),
                       static_cast<uint8_t>(RoundClamp(c.G * 255.0f, 255)), static_cast<uint8_t>(RoundClamp(c.B * 255.0f, 255)));
  }
  if (info->IsIndexed) return palette[p[0]];
  return Narrow64(GetPixel64Generic(p, info, palette));
}

void GenericSet32(uint8_t* p, const PixelFormatInfo* info, const Color32* palette, Color32 color) {
  if (info->HasGrayChannel) {
    // Gray is computed on the 8-bit channels and then widened.
    const uint8_t gray = static_cast<uint8_t>(RoundClamp(
        Luminance(Color32Red(color), Color32Green(color), Color32Blue(color)), 255));
    StoreGray16(p, info->Format, Widen8(gray), Widen8(Color32Alpha(color)));
    return;
  }
  if (info->IsFloatingPoint) {
    StoreFloatPixel(p, info,
                    ColorFP{Color32Blue(color) * kInv255, Color32Green(color) * kInv255, Color32Red(color) * kInv255,
                            Color32Alpha(color) * kInv255});
    return;
  }
  if (info->IsIndexed) {
    p[0] = static_cast<uint8_t>(PaletteIndexOrRaise(palette, info->PaletteEntries, color));
    return;
  }
  SetPixel64Generic(p, info, palette, Widen32(color));
}

ColorFP GenericGetFP(const uint8_t* p, const PixelFormatInfo* info, const Color32* palette) {
  if (info->IsFloatingPoint) return LoadFloatPixel(p, info);
  if (info->HasGrayChannel) {
    if (!IsGray16Plus(info->Format)) {
      const float g = p[0] * kInv255;
      return ColorFP{g, g, g, info->Format == PixelFormat::A8Gray8 ? p[1] * kInv255 : 1.0f};
    }
    uint16_t gray, alpha;
    LoadGray16(p, info->Format, gray, alpha);
    const float g = gray * kInv65535;
    return ColorFP{g, g, g, info->HasAlphaChannel ? alpha * kInv65535 : 1.0f};
  }
  if (info->IsIndexed || info->HasBitFields || info->BytesPerPixel / info->ChannelCount == 1) {
    // 8-bit values (bit fields after their scaling to 0..255).
    const Color32 c = GenericGet32(p, info, palette);
    return ColorFP{Color32Blue(c) * kInv255, Color32Green(c) * kInv255, Color32Red(c) * kInv255,
                   info->HasAlphaChannel || info->IsIndexed ? Color32Alpha(c) * kInv255 : 1.0f};
  }
  const Color64 c = GetPixel64Generic(p, info, palette);
  return ColorFP{c.B * kInv65535, c.G * kInv65535, c.R * kInv65535, info->HasAlphaChannel ? c.A * kInv65535 : 1.0f};
}

void GenericSetFP(uint8_t* p, const PixelFormatInfo* info, const Color32* palette, const ColorFP& c) {
  if (info->IsFloatingPoint) {
    StoreFloatPixel(p, info, c);
    return;
  }
  if (info->HasGrayChannel) {
    const float gray = Luminance(Clamp01(c.R), Clamp01(c.G), Clamp01(c.B)) * 65535.0f;
    StoreGray16(p, info->Format, static_cast<uint16_t>(RoundClamp(gray, 65535)),
                static_cast<uint16_t>(RoundClamp(c.A * 65535.0f, 65535)));
    return;
  }
  if (info->IsIndexed || info->BytesPerPixel / info->ChannelCount == 1 || info->HasBitFields) {
    const Color32 c32 = MakeColor32(static_cast<uint8_t>(RoundClamp(c.A * 255.0f, 255)),
                                    static_cast<uint8_t>(RoundClamp(c.R * 255.0f, 255)),
                                    static_cast<uint8_t>(RoundClamp(c.G * 255.0f, 255)),
                                    static_cast<uint8_t>(RoundClamp(c.B * 255.0f, 255)));
    GenericSet32(p, info, palette, c32);
    return;
  }
  SetPixel64Generic(p, info, palette, FloatTo64(c));
}

// Direct readers and writers of the common formats: bytes or floats, no intermediate.

Color32 GetA8R8G8B8(const uint8_t* p, const PixelFormatInfo*, const Color32*) { return Load32(p); }
void SetA8R8G8B8(uint8_t* p, const PixelFormatInfo*, const Color32*, Color32 c) { Store32(p, c); }
Color32 GetR8G8B8(const uint8_t* p, const PixelFormatInfo*, const Color32*) {
  return 0xFF000000u | (Color32(p[2]) << 16) | (Color32(p[1]) << 8) | p[0];
}
void SetR8G8B8(uint8_t* p, const PixelFormatInfo*, const Color32*, Color32 c) {
  p[0] = Color32Blue(c); p[1] = Color32Green(c); p[2] = Color32Red(c);
}
void SetX8R8G8B8(uint8_t* p, const PixelFormatInfo*, const Color32*, Color32 c) {
  p[0] = Color32Blue(c); p[1] = Color32Green(c); p[2] = Color32Red(c); p[3] = 0;
}
Color32 GetGray8(const uint8_t* p, const PixelFormatInfo*, const Color32*) { return 0xFF000000u | p[0] * 0x010101u; }
Color32 GetA8Gray8(const uint8_t* p, const PixelFormatInfo*, const Color32*) {
  return (Color32(p[1]) << 24) | p[0] * 0x010101u;
}
void SetGray8(uint8_t* p, const PixelFormatInfo*, const Color32*, Color32 c) {
  p[0] = static_cast<uint8_t>(RoundClamp(Luminance(Color32Red(c), Color32Green(c), Color32Blue(c)), 255));
}
void SetA8Gray8(uint8_t* p, const PixelFormatInfo* info, const Color32* pal, Color32 c) {
  SetGray8(p, info, pal, c);
  p[1] = Color32Alpha(c);
}

ColorFP GetFP8888(const uint8_t* p, const PixelFormatInfo*, const Color32*) {
  return ColorFP{p[0] * kInv255, p[1] * kInv255, p[2] * kInv255, p[3] * kInv255};
}
ColorFP GetFP888(const uint8_t* p, const PixelFormatInfo*, const Color32*) {
  return ColorFP{p[0] * kInv255, p[1] * kInv255, p[2] * kInv255, 1.0f};
}
void SetFP8888(uint8_t* p, const PixelFormatInfo*, const Color32*, const ColorFP& c) {
  p[0] = static_cast<uint8_t>(RoundClamp(c.B * 255.0f, 255));
  p[1] = static_cast<uint8_t>(RoundClamp(c.G * 255.0f, 255));
  p[2] = static_cast<uint8_t>(RoundClamp(c.R * 255.0f, 255));
  p[3] = static_cast<uint8_t>(RoundClamp(c.A * 255.0f, 255));
}
void SetFP888(uint8_t* p, const PixelFormatInfo*, const Color32*, const ColorFP& c) {
  p[0] = static_cast<uint8_t>(RoundClamp(c.B * 255.0f, 255));
  p[1] = static_cast<uint8_t>(RoundClamp(c.G * 255.0f, 255));
  p[2] = static_cast<uint8_t>(RoundClamp(c.R * 255.0f, 255));
}
void SetFPX888(uint8_t* p, const PixelFormatInfo* info, const Color32* pal, const ColorFP& c) {
  SetFP888(p, info, pal, c);
  p[3] = 0;
}
ColorFP GetFPGray8(const uint8_t* p, const PixelFormatInfo*, const Color32*) {
  const float g = p[0] * kInv255;
  return ColorFP{g, g, g, 1.0f};
}
ColorFP GetFPA8Gray8(const uint8_t* p, const PixelFormatInfo*, const Color32*) {
  const float g = p[0] * kInv255;
  return ColorFP{g, g, g, p[1] * kInv255};
}
void SetFPGray8(uint8_t* p, const PixelFormatInfo*, const Color32*, const ColorFP& c) {
  const float gray = Luminance(Clamp01(c.R), Clamp01(c.G), Clamp01(c.B)) * 65535.0f;
  p[0] = Narrow16(static_cast<uint32_t>(RoundClamp(gray, 65535)));
}
void SetFPA8Gray8(uint8_t* p, const PixelFormatInfo* info, const Color32* pal, const ColorFP& c) {
  SetFPGray8(p, info, pal, c);
  p[1] = Narrow16(static_cast<uint32_t>(RoundClamp(c.A * 65535.0f, 65535)));
}
ColorFP GetFPR32F(const uint8_t* p, const PixelFormatInfo*, const Color32*) { return ColorFP{0.0f, 0.0f, LoadF(p), 1.0f}; }
void SetFPR32F(uint8_t* p, const PixelFormatInfo*, const Color32*, const ColorFP& c) { StoreF(p, c.R); }
ColorFP GetFPARGB32F(const uint8_t* p, const PixelFormatInfo*, const Color32*) {
  ColorFP c;
  std::memcpy(&c, p, 16);
  return c;
}
void SetFPARGB32F(uint8_t* p, const PixelFormatInfo*, const Color32*, const ColorFP& c) { std::memcpy(p, &c, 16); }
ColorFP GetFPABGR32F(const uint8_t* p, const PixelFormatInfo*, const Color32*) {
  return ColorFP{LoadF(p + 8), LoadF(p + 4), LoadF(p), LoadF(p + 12)};
}
void SetFPABGR32F(uint8_t* p, const PixelFormatInfo*, const Color32*, const ColorFP& c) {
  StoreF(p, c.R); StoreF(p + 4, c.G); StoreF(p + 8, c.B); StoreF(p + 12, c.A);
}

// ---- Size and dimension rules ----------------------------------------------------------------

int32_t CheckedSize(int64_t size) {
  if (size > std::numeric_limits<int32_t>::max() || size < 0)
    RaiseImaging("Image size overflows 32 bits (%lld bytes).", static_cast<long long>(size));
  return static_cast<int32_t>(size);
}

const PixelFormatInfo* RawInfo(PixelFormat format);

int32_t UncompressedSize(PixelFormat format, int32_t width, int32_t height) {
  return CheckedSize(int64_t(width) * height * RawInfo(format)->BytesPerPixel);
}

int32_t BlockSize(PixelFormat format, int32_t width, int32_t height) {
  const int64_t w4 = (int64_t(width) + 3) / 4 * 4;
  const int64_t h4 = (int64_t(height) + 3) / 4 * 4;
  switch (format) {
    case PixelFormat::DXT1:
    case PixelFormat::ATI1N: return CheckedSize(w4 * h4 / 2);
    case PixelFormat::BTC: return CheckedSize(w4 * h4 / 4);
    default: return CheckedSize(w4 * h4);
  }
}

void KeepDimensions(PixelFormat, int32_t&, int32_t&) {}
void BlockDimensions(PixelFormat, int32_t& width, int32_t& height) {
  const int64_t w4 = (int64_t(width) + 3) / 4 * 4;
  const int64_t h4 = (int64_t(height) + 3) / 4 * 4;
  if (w4 > std::numeric_limits<int32_t>::max() || h4 > std::numeric_limits<int32_t>::max())
    RaiseImaging("Image dimensions %dx%d overflow when rounded up to whole blocks.", width, height);
  width = static_cast<int32_t>(w4);
  height = static_cast<int32_t>(h4);
}

// ---- The table -----------------------------------------------------------------------------

struct Flags {
  bool gray = false, alpha = false, fp = false, swapped = false, indexed = false;
};

constexpr PixelFormatInfo Plain(PixelFormat f, const char* name, int32_t bpp, int32_t channels, Flags fl,
                                PixelFormat swappedWith = PixelFormat::Unknown,
                                GetPixel32Func g32 = GenericGet32, SetPixel32Func s32 = GenericSet32,
                                GetPixelFPFunc gfp = GenericGetFP, SetPixelFPFunc sfp = GenericSetFP) {
  return PixelFormatInfo{f,          name,       bpp,        channels, fl.indexed ? 256 : 0,
                         fl.gray,    fl.alpha,   fl.fp,      false,    fl.swapped,
                         swappedWith, fl.indexed, false,     nullptr,  UncompressedSize,
                         KeepDimensions, g32,    gfp,        s32,      sfp,
                         PixelFormat::Unknown};
}

constexpr PixelFormatInfo Packed(PixelFormat f, const char* name, int32_t bpp, int32_t channels, bool alpha,
                                 const BitFieldLayout* layout) {
  return PixelFormatInfo{f,       name,      bpp,   channels,    0,          false,        alpha,
                         false,   true,      false, PixelFormat::Unknown, false, false,  layout,
                         UncompressedSize, KeepDimensions, GenericGet32, GenericGetFP, GenericSet32, GenericSetFP,
                         PixelFormat::Unknown};
}

constexpr PixelFormatInfo Block(PixelFormat f, const char* name, int32_t channels, bool alpha, PixelFormat decoded) {
  return PixelFormatInfo{f,     name,  0,     channels, 0,       false,   alpha,   false,          false,
                         false, PixelFormat::Unknown, false, true, nullptr, BlockSize, BlockDimensions,
                         nullptr, nullptr, nullptr, nullptr, decoded};
}

using PF = PixelFormat;

const PixelFormatInfo kFormats[] = {
    Plain(PF::Index8, "Index8", 1, 1, {.indexed = true}),
    Plain(PF::Gray8, "Gray8", 1, 1, {.gray = true}, PF::Unknown, GetGray8, SetGray8, GetFPGray8, SetFPGray8),
    Plain(PF::A8Gray8, "A8Gray8", 2, 2, {.gray = true, .alpha = true}, PF::Unknown, GetA8Gray8, SetA8Gray8,
          GetFPA8Gray8, SetFPA8Gray8),
    Plain(PF::Gray16, "Gray16", 2, 1, {.gray = true}),
    Plain(PF::Gray32, "Gray32", 4, 1, {.gray = true}),
    Plain(PF::Gray64, "Gray64", 8, 1, {.gray = true}),
    Plain(PF::A16Gray16, "A16Gray16", 4, 2, {.gray = true, .alpha = true}),
    Packed(PF::X5R1G1B1, "X5R1G1B1", 1, 3, false, &kX5R1G1B1),
    Packed(PF::R3G3B2, "R3G3B2", 1, 3, false, &kR3G3B2),
    Packed(PF::R5G6B5, "R5G6B5", 2, 3, false, &kR5G6B5),
    Packed(PF::A1R5G5B5, "A1R5G5B5", 2, 4, true, &kA1R5G5B5),
    Packed(PF::A4R4G4B4, "A4R4G4B4", 2, 4, true, &kA4R4G4B4),
    Packed(PF::X1R5G5B5, "X1R5G5B5", 2, 3, false, &kX1R5G5B5),
    Packed(PF::X4R4G4B4, "X4R4G4B4", 2, 3, false, &kX4R4G4B4),
    Plain(PF::R8G8B8, "R8G8B8", 3, 3, {}, PF::Unknown, GetR8G8B8, SetR8G8B8, GetFP888, SetFP888),
    Plain(PF::A8R8G8B8, "A8R8G8B8", 4, 4, {.alpha = true}, PF::Unknown, GetA8R8G8B8, SetA8R8G8B8, GetFP8888,
          SetFP8888),
    Plain(PF::X8R8G8B8, "X8R8G8B8", 4, 3, {}, PF::Unknown, GetR8G8B8, SetX8R8G8B8, GetFP888, SetFPX888),
    Plain(PF::R16G16B16, "R16G16B16", 6, 3, {}, PF::B16G16R16),
    Plain(PF::A16R16G16B16, "A16R16G16B16", 8, 4, {.alpha = true}, PF::A16B16G16R16),
    Plain(PF::B16G16R16, "B16G16R16", 6, 3, {.swapped = true}, PF::R16G16B16),
    Plain(PF::A16B16G16R16, "A16B16G16R16", 8, 4, {.alpha = true, .swapped = true}, PF::A16R16G16B16),
    Plain(PF::R32F, "R32F", 4, 1, {.fp = true}, PF::Unknown, GenericGet32, GenericSet32, GetFPR32F, SetFPR32F),
    Plain(PF::A32R32G32B32F, "A32R32G32B32F", 16, 4, {.alpha = true, .fp = true}, PF::A32B32G32R32F, GenericGet32,
          GenericSet32, GetFPARGB32F, SetFPARGB32F),
    Plain(PF::A32B32G32R32F, "A32B32G32R32F", 16, 4, {.alpha = true, .fp = true, .swapped = true},
          PF::A32R32G32B32F, GenericGet32, GenericSet32, GetFPABGR32F, SetFPABGR32F),
    Plain(PF::R16F, "R16F", 2, 1, {.fp = true}),
    Plain(PF::A16R16G16B16F, "A16R16G16B16F", 8, 4, {.alpha = true, .fp = true}, PF::A16B16G16R16F),
    Plain(PF::A16B16G16R16F, "A16B16G16R16F", 8, 4, {.alpha = true, .fp = true, .swapped = true}, PF::A16R16G16B16F),
    Block(PF::DXT1, "DXT1", 4, true, PF::A8R8G8B8),
    Block(PF::DXT3, "DXT3", 4, true, PF::A8R8G8B8),
    Block(PF::DXT5, "DXT5", 4, true, PF::A8R8G8B8),
    Block(PF::BTC, "BTC", 1, false, PF::Gray8),
    Block(PF::ATI1N, "ATI1N", 1, false, PF::Gray8),
    Block(PF::ATI2N, "ATI2N", 2, false, PF::A8R8G8B8),
};

struct FormatTable {
  std::array<const PixelFormatInfo*, kMaxPixelFormatValue + 1> byValue{};
  FormatTable() {
    for (const PixelFormatInfo& info : kFormats) byValue[static_cast<size_t>(info.Format)] = &info;
    byValue[static_cast<size_t>(PF::Default)] = byValue[static_cast<size_t>(PF::A8R8G8B8)];
  }
};

const FormatTable& Table() {
  static const FormatTable table;
  return table;
}

const PixelFormatInfo* RawInfo(PixelFormat format) { return FindFormatInfo(format); }

[[noreturn]] void AssertionFailed(const char* what) { RaiseImaging("Assertion failed: %s", what); }

void* AllocZeroed(size_t bytes) {
  void* p = std::calloc(bytes ? bytes : 1, 1);
  if (!p) throw std::bad_alloc();
  return p;
}

std::string GroupedNumber(int64_t value) {
  std::string digits = std::to_string(value);
  std::string out;
  const size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i >= first && (i - first) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Clips a rectangle at (x, y, w, h) to an image of the given size.
bool ClipRect(int32_t imageWidth, int32_t imageHeight, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
  int64_t x0 = x, y0 = y, x1 = int64_t(x) + w, y1 = int64_t(y) + h;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > imageWidth) x1 = imageWidth;
  if (y1 > imageHeight) y1 = imageHeight;
  if (x1 <= x0 || y1 <= y0) return false;
  x = static_cast<int32_t>(x0);
  y = static_cast<int32_t>(y0);
  w = static_cast<int32_t>(x1 - x0);
  h = static_cast<int32_t>(y1 - y0);
  return true;
}

// Runs `body` on the image in an uncompressed format: a compressed image is converted to
// Default first and back to its own format afterwards, also when `body` fails, so the caller
// never finds its image in another format.
template <typename Body>
bool WithUncompressed(Image& image, Body body) {
  const PixelFormat original = image.Format();
  if (!FindFormatInfo(original)->IsCompressed) return body();
  ConvertImageFormat(image, PF::Default);
  bool result;
  try {
    result = body();
  } catch (...) {
    ConvertImageFormat(image, original);
    throw;
  }
  ConvertImageFormat(image, original);
  return result;
}

}  // namespace

// ---- Public interface ------------------------------------------------------------------------

const PixelFormatInfo* FindFormatInfo(PixelFormat format) {
  const int32_t value = static_cast<int32_t>(format);
  if (value < 0 || value > kMaxPixelFormatValue) return nullptr;
  return Table().byValue[static_cast<size_t>(value)];
}

bool IsFormatValid(PixelFormat format) { return FindFormatInfo(format) != nullptr; }

bool GetFormatInfo(PixelFormat format, PixelFormatInfo& info) {
  const PixelFormatInfo* found = FindFormatInfo(format);
  if (!found) return false;
  info = *found;
  return true;
}

std::string GetFormatName(PixelFormat format) {
  const PixelFormatInfo* info = FindFormatInfo(format);
  return info ? info->Name : "Unknown and unsupported format";
}

int32_t GetPixelsSize(PixelFormat format, int32_t width, int32_t height) {
  const PixelFormatInfo* info = FindFormatInfo(format);
  if (!info) return 0;
  return info->GetPixelsSize(info->Format, width, height);
}

// ---- Images ----------------------------------------------------------------------------------

Image::Image(Image&& other) noexcept
    : width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)),
      format_(std::exchange(other.format_, PF::Unknown)),
      size_(std::exchange(other.size_, 0)),
      bits_(std::move(other.bits_)),
      palette_(std::move(other.palette_)) {}

Image& Image::operator=(Image&& other) noexcept {
  if (this != &other) {
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    format_ = std::exchange(other.format_, PF::Unknown);
    size_ = std::exchange(other.size_, 0);
    bits_ = std::move(other.bits_);
    palette_ = std::move(other.palette_);
  }
  return *this;
}

void Image::Reset() noexcept {
  bits_.reset();
  palette_.reset();
  width_ = 0;
  height_ = 0;
  format_ = PF::Unknown;
  size_ = 0;
}

Image Image::Clone() const {
  Image copy;
  CopyImage(*this, copy);
  return copy;
}

void Image::RelabelFormat(PixelFormat format) {
  if (!IsImageValid(*this)) AssertionFailed("RelabelFormat: the image is not valid");
  const PixelFormatInfo* from = FindFormatInfo(format_);
  const PixelFormatInfo* to = FindFormatInfo(format);
  if (!to || to->PaletteEntries != from->PaletteEntries || to->GetPixelsSize(to->Format, width_, height_) != size_)
    RaiseImaging("Assertion failed: RelabelFormat: pixels of format %s cannot be read as %s.", from->Name,
                 GetFormatName(format).c_str());
  format_ = to->Format;
}

bool CreateImage(int32_t width, int32_t height, PixelFormat format, Image& image) {
  if (width < 0 || height < 0) AssertionFailed("CreateImage: negative image dimensions");
  if (!IsFormatValid(format)) AssertionFailed("CreateImage: invalid pixel format");
  image.Reset();
  try {
    const PixelFormatInfo* info = FindFormatInfo(format);
    image.width_ = width;
    image.height_ = height;
    image.format_ = info->Format;
    info->CheckDimensions(image.format_, image.width_, image.height_);
    image.size_ = info->GetPixelsSize(image.format_, image.width_, image.height_);
    if (image.size_ == 0) {
      image.Reset();
      return false;
    }
    image.bits_.reset(static_cast<uint8_t*>(AllocZeroed(static_cast<size_t>(image.size_))));
    if (info->PaletteEntries > 0)
      image.palette_.reset(
          static_cast<Color32*>(AllocZeroed(sizeof(Color32) * static_cast<size_t>(info->PaletteEntries))));
    return IsImageValid(image);
  } catch (...) {
    image.Reset();
    RaiseImaging("Error while creating image data with params: Width=%d Height=%d Format=%s.", width, height,
                 GetFormatName(format).c_str());
  }
}

bool IsImageValid(const Image& image) {
  try {
    const PixelFormatInfo* info = FindFormatInfo(image.Format());
    if (!info || image.Format() == PF::Default || image.Bits() == nullptr || image.Width() <= 0 || image.Height() <= 0)
      return false;
    if (info->PaletteEntries > 0 && image.Palette() == nullptr) return false;
    return image.Size() == info->GetPixelsSize(image.Format(), image.Width(), image.Height());
  } catch (...) {
    return false;
  }
}

bool CopyImage(const Image& source, Image& target) {
  if (!IsImageValid(source)) return false;
  if (&source == &target) return true;
  try {
    // The target's old pixels go first, so a copy never needs room for both.
    target.Reset();
    const size_t paletteBytes = sizeof(Color32) * static_cast<size_t>(FindFormatInfo(source.Format())->PaletteEntries);
    if (paletteBytes > 0) {
      target.palette_.reset(static_cast<Color32*>(AllocZeroed(paletteBytes)));
      std::memcpy(target.palette_.get(), source.Palette(), paletteBytes);
    }
    target.bits_.reset(static_cast<uint8_t*>(AllocZeroed(static_cast<size_t>(source.Size()))));
    std::memcpy(target.bits_.get(), source.Bits(), static_cast<size_t>(source.Size()));
    target.width_ = source.Width();
    target.height_ = source.Height();
    target.format_ = source.Format();
    target.size_ = source.Size();
    return true;
  } catch (...) {
    target.Reset();
    RaiseImaging("Error while cloning image. %s", DescribeImage(source).c_str());
  }
}

bool AreImagesValid(std::span<const Image> images) {
  if (images.empty()) return false;
  for (const Image& image : images)
    if (!IsImageValid(image)) return false;
  return true;
}

bool FlipImage(Image& image) {
  if (!IsImageValid(image)) return false;
  try {
    return WithUncompressed(image, [&] {
      const size_t rowBytes = static_cast<size_t>(image.Size() / image.Height());
      std::vector<uint8_t> row(rowBytes);
      for (int32_t y = 0; y < image.Height() / 2; ++y) {
        uint8_t* top = image.Bits() + rowBytes * static_cast<size_t>(y);
        uint8_t* bottom = image.Bits() + rowBytes * static_cast<size_t>(image.Height() - 1 - y);
        std::memcpy(row.data(), top, rowBytes);
        std::memcpy(top, bottom, rowBytes);
        std::memcpy(bottom, row.data(), rowBytes);
      }
      return true;
    });
  } catch (...) {
    RaiseImaging("Error while flipping image. %s", DescribeImage(image).c_str());
  }
}

bool SwapImageChannels(Image& image, int32_t a, int32_t b) {
  if (!IsImageValid(image)) return false;
  if (a < 0 || a > 3 || b < 0 || b > 3) AssertionFailed("SwapImageChannels: channel out of range");
  if (a == b) return true;
  try {
    const PixelFormatInfo* info = FindFormatInfo(image.Format());
    if (info->IsCompressed) {
      return WithUncompressed(image, [&] { return SwapImageChannels(image, a, b); });
    }
    const int64_t count = int64_t(image.Width()) * image.Height();
    const int32_t bpp = info->BytesPerPixel;
    uint8_t* p = image.Bits();
    // R8G8B8 has no byte for alpha: an exchange with alpha goes through Color64 like the
    // other formats without an alpha channel.
    if ((image.Format() == PF::R8G8B8 || image.Format() == PF::A8R8G8B8) && a != 3 && b != 3) {
      for (int64_t i = 0; i < count; ++i, p += bpp) std::swap(p[a], p[b]);
    } else if (info->IsIndexed) {
      SwapPaletteChannels(image.Palette(), info->PaletteEntries, a, b);
    } else if (info->IsFloatingPoint) {
      for (int64_t i = 0; i < count; ++i, p += bpp) {
        ColorFP c = info->GetPixelFP(p, info, image.Palette());
        float* ch = &c.B;
        std::swap(ch[a], ch[b]);
        info->SetPixelFP(p, info, image.Palette(), c);
      }
    } else if (info->HasGrayChannel) {
      if (info->HasAlphaChannel && (a == 3 || b == 3)) {
        for (int64_t i = 0; i < count; ++i, p += bpp) {
          if (bpp == 2) {
            std::swap(p[0], p[1]);
          } else {
            const uint16_t gray = Load16(p);
            Store16(p, Load16(p + 2));
            Store16(p + 2, gray);
          }
        }
      }
    } else {
      for (int64_t i = 0; i < count; ++i, p += bpp) {
        Color64 c = GetPixel64Generic(p, info, image.Palette());
        uint16_t* ch = &c.B;
        std::swap(ch[a], ch[b]);
        SetPixel64Generic(p, info, image.Palette(), c);
      }
    }
    return true;
  } catch (...) {
    RaiseImaging("Error while swapping channels of image. %s", DescribeImage(image).c_str());
  }
}

bool CopyImageRect(const Image& source, int32_t x, int32_t y, int32_t width, int32_t height, Image& target,
                   int32_t targetX, int32_t targetY) {
  if (!IsImageValid(source) || !IsImageValid(target)) return false;
  try {
    // Clip against both images; whatever is cut off one side is cut off the other. 64-bit
    // arithmetic, so extreme positions cannot overflow.
    int64_t sx = x, sy = y, w = width, h = height, tx = targetX, ty = targetY;
    if (sx < 0) { w += sx; tx -= sx; sx = 0; }
    if (sy < 0) { h += sy; ty -= sy; sy = 0; }
    if (tx < 0) { w += tx; sx -= tx; tx = 0; }
    if (ty < 0) { h += ty; sy -= ty; ty = 0; }
    w = std::min({w, int64_t(source.Width()) - sx, int64_t(target.Width()) - tx});
    h = std::min({h, int64_t(source.Height()) - sy, int64_t(target.Height()) - ty});
    if (w <= 0 || h <= 0) return false;

    return WithUncompressed(target, [&] {
      Image converted;
      const Image* src = &source;
      const PixelFormatInfo* info = FindFormatInfo(target.Format());
      const size_t bpp = static_cast<size_t>(info->BytesPerPixel);
      if (source.Format() != target.Format()) {
        CopyImage(source, converted);
        if (info->IsIndexed) {
          // Indices made for another palette mean nothing here: each pixel takes the nearest
          // entry of the target's own palette.
          ConvertImageFormat(converted, PF::A8R8G8B8);
          for (int64_t row = 0; row < h; ++row)
            for (int64_t col = 0; col < w; ++col)
              SetPixel32(target, static_cast<int32_t>(tx + col), static_cast<int32_t>(ty + row),
                         GetPixel32(converted, static_cast<int32_t>(sx + col), static_cast<int32_t>(sy + row)));
          return true;
        }
        ConvertImageFormat(converted, target.Format());
        src = &converted;
      }
      // Within one image, copy from the bottom up when the rows move down, so no row is
      // overwritten before it is read.
      const bool upward = src->Bits() == target.Bits() && ty > sy;
      for (int64_t i = 0; i < h; ++i) {
        const int64_t row = upward ? h - 1 - i : i;
        const uint8_t* from = src->Bits() + (size_t(sy + row) * size_t(src->Width()) + size_t(sx)) * bpp;
        uint8_t* to = target.Bits() + (size_t(ty + row) * size_t(target.Width()) + size_t(tx)) * bpp;
        std::memmove(to, from, size_t(w) * bpp);
      }
      return true;
    });
  } catch (...) {
    RaiseImaging("Error while copying rect from image %s to image %s.", DescribeImage(source).c_str(),
                 DescribeImage(target).c_str());
  }
}

namespace {
template <typename PixelOp>
bool ForEachRectPixel(Image& image, int32_t x, int32_t y, int32_t w, int32_t h, PixelOp op) {
  if (!ClipRect(image.Width(), image.Height(), x, y, w, h)) return false;
  return WithUncompressed(image, [&] {
    const size_t bpp = static_cast<size_t>(FindFormatInfo(image.Format())->BytesPerPixel);
    for (int32_t row = y; row < y + h; ++row) {
      uint8_t* p = image.Bits() + (size_t(row) * size_t(image.Width()) + size_t(x)) * bpp;
      for (int32_t i = 0; i < w; ++i, p += bpp) op(p, bpp);
    }
    return true;
  });
}
}  // namespace

bool FillImageRect(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, const void* pixel) {
  if (!IsImageValid(image)) return false;
  try {
    return ForEachRectPixel(image, x, y, width, height, [&](uint8_t* p, size_t bpp) { std::memcpy(p, pixel, bpp); });
  } catch (...) {
    RaiseImaging("Error while filling rectangle X:%d Y:%d W:%d H:%d in image %s", x, y, width, height,
                 DescribeImage(image).c_str());
  }
}

bool ReplaceImageColor(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, const void* oldPixel,
                       const void* newPixel) {
  if (!IsImageValid(image)) return false;
  try {
    return ForEachRectPixel(image, x, y, width, height, [&](uint8_t* p, size_t bpp) {
      if (std::memcmp(p, oldPixel, bpp) == 0) std::memcpy(p, newPixel, bpp);
    });
  } catch (...) {
    RaiseImaging("Error while replacing colors in rectangle X:%d Y:%d W:%d H:%d of image %s", x, y, width, height,
                 DescribeImage(image).c_str());
  }
}

namespace {
// The format entry of an image whose pixels can be read one by one; a compressed or unknown
// format is a programming error and must not end in a call through a missing reader.
const PixelFormatInfo* PixelAccessInfo(const Image& image) {
  const PixelFormatInfo* info = FindFormatInfo(image.Format());
  if (!info || info->IsCompressed)
    AssertionFailed("single pixels of compressed or unknown formats cannot be read or written");
  return info;
}

// The first byte of pixel (x, y): writable for a writable image.
template <typename SomeImage>
inline auto* PixelAt(SomeImage& image, const PixelFormatInfo* info, int32_t x, int32_t y) {
  return image.Bits() + (size_t(y) * size_t(image.Width()) + size_t(x)) * size_t(info->BytesPerPixel);
}
}  // namespace

Color32 GetPixel32(const Image& image, int32_t x, int32_t y) {
  const PixelFormatInfo* info = PixelAccessInfo(image);
  return info->GetPixel32(PixelAt(image, info, x, y), info, image.Palette());
}

void SetPixel32(Image& image, int32_t x, int32_t y, Color32 color) {
  const PixelFormatInfo* info = PixelAccessInfo(image);
  info->SetPixel32(PixelAt(image, info, x, y), info, image.Palette(), color);
}

ColorFP GetPixelFP(const Image& image, int32_t x, int32_t y) {
  const PixelFormatInfo* info = PixelAccessInfo(image);
  return info->GetPixelFP(PixelAt(image, info, x, y), info, image.Palette());
}

void SetPixelFP(Image& image, int32_t x, int32_t y, const ColorFP& color) {
  const PixelFormatInfo* info = PixelAccessInfo(image);
  info->SetPixelFP(PixelAt(image, info, x, y), info, image.Palette(), color);
}

namespace {

// Whether the alpha sample at `offset` of every `step`-byte pixel is `full`; row by row, so that
// a transparent pixel ends the pass soon after it and the inner loop has no early exit to stop
// it from being vectorised.
template <typename Sample>
bool AllSamplesFull(const Image& image, size_t step, size_t offset, Sample full) {
  const size_t width = size_t(image.Width());
  const uint8_t* row = image.Bits() + offset;
  for (int32_t y = 0; y < image.Height(); ++y, row += width * step) {
    Sample all = full;
    for (size_t x = 0; x < width; ++x) {
      Sample v;
      std::memcpy(&v, row + x * step, sizeof v);
      all &= v;
    }
    if (all != full) return false;
  }
  return true;
}

}  // namespace

bool IsImageOpaque(const Image& image) {
  if (!IsImageValid(image)) return false;
  const PixelFormatInfo* info = FindFormatInfo(image.Format());
  if (info->IsCompressed) return false;
  switch (image.Format()) {
    case PixelFormat::A8R8G8B8: return AllSamplesFull<uint8_t>(image, 4, 3, 0xFF);
    case PixelFormat::A8Gray8: return AllSamplesFull<uint8_t>(image, 2, 1, 0xFF);
    case PixelFormat::A16Gray16: return AllSamplesFull<uint16_t>(image, 4, 2, 0xFFFF);
    case PixelFormat::A16R16G16B16:
    case PixelFormat::A16B16G16R16: return AllSamplesFull<uint16_t>(image, 8, 6, 0xFFFF);
    default: break;
  }
  const size_t count = size_t(image.Width()) * size_t(image.Height());
  if (info->IsIndexed) {
    for (size_t i = 0; i < count; ++i)
      if (Color32Alpha(image.Palette()[image.Bits()[i]]) != 0xFF) return false;
    return true;
  }
  if (!info->HasAlphaChannel) return true;
  // The bit-field and floating-point formats with alpha, through their 8-bit readers.
  const size_t bpp = size_t(info->BytesPerPixel);
  for (size_t i = 0; i < count; ++i)
    if (Color32Alpha(info->GetPixel32(image.Bits() + i * bpp, info, image.Palette())) != 0xFF) return false;
  return true;
}

std::string DescribeImage(const Image& image) {
  if (!IsImageValid(image))
    return FormatText("Access violation encountered when getting info on image at address %p.",
                      static_cast<const void*>(&image));
  const bool small = image.Size() <= 8192;
  return FormatText("Image @%p info: Width = %dpx, Height = %dpx, Format = %s, Size = %s %s, Bits @%p, Palette @%p.",
                    static_cast<const void*>(&image), image.Width(), image.Height(), GetFormatName(image.Format()).c_str(),
                    GroupedNumber(small ? image.Size() : image.Size() / 1024).c_str(), small ? "B" : "KiB",
                    static_cast<const void*>(image.Bits()), static_cast<const void*>(image.Palette()));
}

int32_t FindPaletteColor(const Color32* palette, int32_t count, Color32 color) {
  try {
    for (int32_t i = 0; i < count; ++i)
      if (palette[i] == color) return i;
    int32_t best = -1;
    int32_t bestDistance = 1020;
    for (int32_t i = 0; i < count; ++i) {
      const Color32 e = palette[i];
      const int32_t d = std::abs(int(Color32Red(e)) - Color32Red(color)) +
                        std::abs(int(Color32Green(e)) - Color32Green(color)) +
                        std::abs(int(Color32Blue(e)) - Color32Blue(color)) +
                        std::abs(int(Color32Alpha(e)) - Color32Alpha(color));
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    return best;
  } catch (...) {
    RaiseImaging("Error while finding color in palette @%p with %d entries.", static_cast<const void*>(palette), count);
  }
}

void FillGrayPalette(Color32* palette, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t v = static_cast<uint8_t>(i);
    palette[i] = MakeColor32(255, v, v, v);
  }
}

void FillBitFieldPalette(Color32* palette, int32_t count, int32_t rBits, int32_t gBits, int32_t bBits, uint8_t alpha) {
  if (count <= 0) return;
  std::memset(palette, 0, sizeof(Color32) * static_cast<size_t>(count));
  // Wider fields cannot index a palette; limiting them keeps every shift defined.
  rBits = std::clamp(rBits, 0, 16);
  gBits = std::clamp(gBits, 0, 16);
  bBits = std::clamp(bBits, 0, 16);
  auto scale = [](int64_t value, int32_t bits) -> uint8_t {
    if (bits == 0) return 0;
    const int64_t max = (int64_t(1) << bits) - 1;
    return static_cast<uint8_t>((value & max) * 255 / max);
  };
  const int64_t used = std::min<int64_t>(int64_t(1) << (rBits + gBits + bBits), count);
  for (int64_t i = 0; i < used; ++i) {
    palette[i] = MakeColor32(alpha, scale(i >> (gBits + bBits), rBits), scale(i >> bBits, gBits), scale(i, bBits));
  }
}

void SwapPaletteChannels(Color32* palette, int32_t count, int32_t a, int32_t b) {
  if (a < 0 || a > 3 || b < 0 || b > 3) AssertionFailed("SwapPaletteChannels: channel out of range");
  for (int32_t i = 0; i < count; ++i) {
    uint8_t bytes[4];
    std::memcpy(bytes, &palette[i], 4);
    std::swap(bytes[a], bytes[b]);
    std::memcpy(&palette[i], bytes, 4);
  }
}

}  // namespace imaging
