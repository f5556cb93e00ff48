// The inner loops of the filtered stretch on 8-bit channels. A plain version serves every
// target; where the target has SSE2, a vector version does several channels or several columns
// at once. Both give the same bytes: every channel is a single-precision sum of weight × value
// products taken in contributor order, and a vector lane does exactly the multiplies and adds of
// the plain loop for its channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace imaging {

// One weight repeated in four lanes, so that a vector loop multiplies a whole pixel with one
// load.
struct alignas(16) WeightVector {
  float Lanes[4];
  void Set(float w) { Lanes[0] = Lanes[1] = Lanes[2] = Lanes[3] = w; }
};

// Vertical pass over `length` bytes: out[b] = Σ weights[t] × rows[t][b] for t from 0 to taps - 1
// (taps ≥ 1), the sum starting from its first product. Every byte is one channel, whatever the
// pixel layout, so one routine serves all 8-bit formats.
void VerticalPassBytesPlain(const uint8_t* const* rows, const WeightVector* weights, int32_t taps, size_t length,
                            float* out);

// Horizontal pass into `count` target pixels of `bytesPerPixel` bytes: each of the first
// `channels` bytes of target pixel i is Σ weights[t] × line[offsets[t] + channel] over the
// contributors t = bounds[i] to bounds[i + 1] - 1, the sum starting from 0, rounded to nearest
// (ties to even) and clamped to 0..255; NaN and sums beyond the 32-bit integers give 0, as
// the vector conversion does. A fourth byte that is no channel keeps what it had; `line` has
// one float after the last column read. The layouts (channels, bytes) are (1, 1), (2, 2),
// (3, 3), (3, 4) and (4, 4); false for any other.
bool HorizontalPassBytesPlain(int32_t channels, int32_t bytesPerPixel, const float* line, const int32_t* bounds,
                              const int32_t* offsets, const WeightVector* weights, int32_t count, uint8_t* target);

// Calls pass(channels, bytes) with the layout as two std::integral_constant values, for the
// horizontal passes' templates; false for a layout they do not know.
template <typename Pass>
bool WithByteLayout(int32_t channels, int32_t bytesPerPixel, Pass pass) {
  using std::integral_constant;
  switch (bytesPerPixel * 8 + channels) {
    case 1 * 8 + 1: pass(integral_constant<int, 1>{}, integral_constant<int, 1>{}); return true;
    case 2 * 8 + 2: pass(integral_constant<int, 2>{}, integral_constant<int, 2>{}); return true;
    case 3 * 8 + 3: pass(integral_constant<int, 3>{}, integral_constant<int, 3>{}); return true;
    case 4 * 8 + 3: pass(integral_constant<int, 3>{}, integral_constant<int, 4>{}); return true;
    case 4 * 8 + 4: pass(integral_constant<int, 4>{}, integral_constant<int, 4>{}); return true;
    default: return false;
  }
}

#if defined(__SSE2__)
void VerticalPassBytesSse2(const uint8_t* const* rows, const WeightVector* weights, int32_t taps, size_t length,
                           float* out);
bool HorizontalPassBytesSse2(int32_t channels, int32_t bytesPerPixel, const float* line, const int32_t* bounds,
                             const int32_t* offsets, const WeightVector* weights, int32_t count, uint8_t* target);
#endif

// The versions the stretch uses.
inline void VerticalPassBytes(const uint8_t* const* rows, const WeightVector* weights, int32_t taps, size_t length,
                              float* out) {
#if defined(__SSE2__)
  VerticalPassBytesSse2(rows, weights, taps, length, out);
#else
  VerticalPassBytesPlain(rows, weights, taps, length, out);
#endif
}

inline bool HorizontalPassBytes(int32_t channels, int32_t bytesPerPixel, const float* line, const int32_t* bounds,
                                const int32_t* offsets, const WeightVector* weights, int32_t count, uint8_t* target) {
#if defined(__SSE2__)
  return HorizontalPassBytesSse2(channels, bytesPerPixel, line, bounds, offsets, weights, count, target);
#else
  return HorizontalPassBytesPlain(channels, bytesPerPixel, line, bounds, offsets, weights, count, target);
#endif
}

}  // namespace imaging
