#include "imaging/ResampleKernels.h"

#include <cmath>

namespace imaging {

namespace {

// What the vector conversion gives: the sum rounded by the current rounding mode (to nearest,
// ties to even), the 32-bit "integer indefinite" for NaN and sums outside the 32-bit integers,
// then saturated to 0..255 (which turns the indefinite value into 0).
inline uint8_t RoundClampByte(float v) {
  if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
  const float rounded = std::nearbyint(v);
  return rounded <= 0.0f ? 0 : rounded >= 255.0f ? 255 : static_cast<uint8_t>(rounded);
}

template <int Channels, int Bytes>
void HorizontalPass(const float* line, const int32_t* bounds, const int32_t* offsets, const WeightVector* weights,
                    int32_t count, uint8_t* target) {
  for (int32_t i = 0; i < count; ++i, target += Bytes) {
    float sums[Channels] = {};
    for (int32_t t = bounds[i]; t < bounds[i + 1]; ++t) {
      const float w = weights[t].Lanes[0];
      const float* column = line + offsets[t];
      for (int c = 0; c < Channels; ++c) sums[c] += w * column[c];
    }
    for (int c = 0; c < Channels; ++c) target[c] = RoundClampByte(sums[c]);
  }
}

}  // namespace

void VerticalPassBytesPlain(const uint8_t* const* rows, const WeightVector* weights, int32_t taps, size_t length,
                            float* out) {
  // Row after row over the whole line: each byte still gets its products in contributor order,
  // and the compiler may do neighbouring bytes side by side.
  const float first = weights[0].Lanes[0];
  for (size_t b = 0; b < length; ++b) out[b] = first * static_cast<float>(rows[0][b]);
  for (int32_t t = 1; t < taps; ++t) {
    const float w = weights[t].Lanes[0];
    const uint8_t* row = rows[t];
    for (size_t b = 0; b < length; ++b) out[b] += w * static_cast<float>(row[b]);
  }
}

bool HorizontalPassBytesPlain(int32_t channels, int32_t bytesPerPixel, const float* line, const int32_t* bounds,
                              const int32_t* offsets, const WeightVector* weights, int32_t count, uint8_t* target) {
  return WithByteLayout(channels, bytesPerPixel, [&](auto channelCount, auto bytes) {
    HorizontalPass<decltype(channelCount)::value, decltype(bytes)::value>(line, bounds, offsets, weights, count, target);
  });
}

}  // namespace imaging
