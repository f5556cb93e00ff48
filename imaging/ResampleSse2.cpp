// The SSE2 versions of the stretch's inner loops; compiled to nothing where the target has no
// SSE2. Each lane does the multiplies and adds of one channel in the plain loops' order.
#include "imaging/ResampleKernels.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace imaging {

namespace {

inline __m128 Load(const WeightVector& w) { return _mm_load_ps(w.Lanes); }

// Widens 16 bytes to 16 floats: f0 holds bytes 0, 4, 8, 12, f1 bytes 1, 5, 9, 13, and so on.
inline void BytesToFloats(__m128i v, __m128& f0, __m128& f1, __m128& f2, __m128& f3) {
  const __m128i low = _mm_set1_epi32(0xFF);
  f0 = _mm_cvtepi32_ps(_mm_and_si128(v, low));
  f1 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(v, 8), low));
  f2 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(v, 16), low));
  f3 = _mm_cvtepi32_ps(_mm_srli_epi32(v, 24));
}

// Stores the four vectors of BytesToFloats back in byte order.
inline void StoreFloats(float* out, __m128 f0, __m128 f1, __m128 f2, __m128 f3) {
  _MM_TRANSPOSE4_PS(f0, f1, f2, f3);
  _mm_storeu_ps(out, f0);
  _mm_storeu_ps(out + 4, f1);
  _mm_storeu_ps(out + 8, f2);
  _mm_storeu_ps(out + 12, f3);
}

inline __m128i LoadBytes(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Up to four channels of one line column.
template <int Channels>
inline __m128 LoadChannels(const float* p) {
  if constexpr (Channels == 1) return _mm_load_ss(p);
  else if constexpr (Channels == 2) return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  else return _mm_loadu_ps(p);  // three channels read one float more; the line has padding
}

// Σ w × line[offset] over the contributors first..last-1, lane by lane.
template <int Channels>
inline __m128 HorizontalSum(const float* line, const int32_t* offsets, const WeightVector* weights, int32_t first,
                            int32_t last) {
  __m128 sum = _mm_setzero_ps();
  for (int32_t t = first; t < last; ++t)
    sum = _mm_add_ps(sum, _mm_mul_ps(Load(weights[t]), LoadChannels<Channels>(line + offsets[t])));
  return sum;
}

// The same for four neighbouring target columns at once (contributors from bounds[0] to
// bounds[4]): four independent sums keep the adder busy, each in its own contributor order.
template <int Channels>
inline void HorizontalSum4(const float* line, const int32_t* offsets, const WeightVector* weights,
                           const int32_t* bounds, __m128 sums[4]) {
  const int32_t f0 = bounds[0], f1 = bounds[1], f2 = bounds[2], f3 = bounds[3];
  const int32_t common = std::min(std::min(f1 - f0, f2 - f1), std::min(f3 - f2, bounds[4] - f3));
  __m128 s0 = _mm_setzero_ps(), s1 = _mm_setzero_ps(), s2 = _mm_setzero_ps(), s3 = _mm_setzero_ps();
  for (int32_t t = 0; t < common; ++t) {
    s0 = _mm_add_ps(s0, _mm_mul_ps(Load(weights[f0 + t]), LoadChannels<Channels>(line + offsets[f0 + t])));
    s1 = _mm_add_ps(s1, _mm_mul_ps(Load(weights[f1 + t]), LoadChannels<Channels>(line + offsets[f1 + t])));
    s2 = _mm_add_ps(s2, _mm_mul_ps(Load(weights[f2 + t]), LoadChannels<Channels>(line + offsets[f2 + t])));
    s3 = _mm_add_ps(s3, _mm_mul_ps(Load(weights[f3 + t]), LoadChannels<Channels>(line + offsets[f3 + t])));
  }
  auto finish = [&](__m128 sum, int32_t from, int32_t to) {
    for (int32_t t = from; t < to; ++t)
      sum = _mm_add_ps(sum, _mm_mul_ps(Load(weights[t]), LoadChannels<Channels>(line + offsets[t])));
    return sum;
  };
  sums[0] = finish(s0, f0 + common, f1);
  sums[1] = finish(s1, f1 + common, f2);
  sums[2] = finish(s2, f2 + common, f3);
  sums[3] = finish(s3, f3 + common, bounds[4]);
}

// Rounds to nearest (ties to even, the default rounding mode) and clamps to 0..255.
inline uint32_t RoundClampBytes(__m128 v) {
  const __m128i i = _mm_cvtps_epi32(v);
  const __m128i w = _mm_packs_epi32(i, i);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
}

template <int Channels>
inline void StoreChannelBytes(uint8_t* target, __m128 sum) {
  const uint32_t v = RoundClampBytes(sum);
  // Only the channel bytes are written; an unused fourth byte keeps what it had.
  std::memcpy(target, &v, Channels);
}

template <int Channels, int Bytes>
void HorizontalPass(const float* line, const int32_t* bounds, const int32_t* offsets, const WeightVector* weights,
                    int32_t count, uint8_t* target) {
  int32_t i = 0;
  for (; i + 4 <= count; i += 4, target += 4 * Bytes) {
    __m128 sums[4];
    HorizontalSum4<Channels>(line, offsets, weights, bounds + i, sums);
    StoreChannelBytes<Channels>(target, sums[0]);
    StoreChannelBytes<Channels>(target + Bytes, sums[1]);
    StoreChannelBytes<Channels>(target + 2 * Bytes, sums[2]);
    StoreChannelBytes<Channels>(target + 3 * Bytes, sums[3]);
  }
  for (; i < count; ++i, target += Bytes)
    StoreChannelBytes<Channels>(target, HorizontalSum<Channels>(line, offsets, weights, bounds[i], bounds[i + 1]));
}

}  // namespace

void VerticalPassBytesSse2(const uint8_t* const* rows, const WeightVector* weights, int32_t taps, size_t length,
                           float* out) {
  size_t b = 0;
  // 32 bytes at a time: eight independent sums hide the latency of the additions.
  for (; b + 32 <= length; b += 32) {
    __m128 a0, a1, a2, a3, a4, a5, a6, a7;
    {
      const __m128 w = Load(weights[0]);
      BytesToFloats(LoadBytes(rows[0] + b), a0, a1, a2, a3);
      BytesToFloats(LoadBytes(rows[0] + b + 16), a4, a5, a6, a7);
      a0 = _mm_mul_ps(w, a0); a1 = _mm_mul_ps(w, a1); a2 = _mm_mul_ps(w, a2); a3 = _mm_mul_ps(w, a3);
      a4 = _mm_mul_ps(w, a4); a5 = _mm_mul_ps(w, a5); a6 = _mm_mul_ps(w, a6); a7 = _mm_mul_ps(w, a7);
    }
    for (int32_t t = 1; t < taps; ++t) {
      const __m128 w = Load(weights[t]);
      __m128 f0, f1, f2, f3;
      BytesToFloats(LoadBytes(rows[t] + b), f0, f1, f2, f3);
      a0 = _mm_add_ps(a0, _mm_mul_ps(w, f0));
      a1 = _mm_add_ps(a1, _mm_mul_ps(w, f1));
      a2 = _mm_add_ps(a2, _mm_mul_ps(w, f2));
      a3 = _mm_add_ps(a3, _mm_mul_ps(w, f3));
      BytesToFloats(LoadBytes(rows[t] + b + 16), f0, f1, f2, f3);
      a4 = _mm_add_ps(a4, _mm_mul_ps(w, f0));
      a5 = _mm_add_ps(a5, _mm_mul_ps(w, f1));
      a6 = _mm_add_ps(a6, _mm_mul_ps(w, f2));
      a7 = _mm_add_ps(a7, _mm_mul_ps(w, f3));
    }
    StoreFloats(out + b, a0, a1, a2, a3);
    StoreFloats(out + b + 16, a4, a5, a6, a7);
  }
  for (; b + 16 <= length; b += 16) {
    __m128 a0, a1, a2, a3;
    {
      const __m128 w = Load(weights[0]);
      BytesToFloats(LoadBytes(rows[0] + b), a0, a1, a2, a3);
      a0 = _mm_mul_ps(w, a0); a1 = _mm_mul_ps(w, a1); a2 = _mm_mul_ps(w, a2); a3 = _mm_mul_ps(w, a3);
    }
    for (int32_t t = 1; t < taps; ++t) {
      const __m128 w = Load(weights[t]);
      __m128 f0, f1, f2, f3;
      BytesToFloats(LoadBytes(rows[t] + b), f0, f1, f2, f3);
      a0 = _mm_add_ps(a0, _mm_mul_ps(w, f0));
      a1 = _mm_add_ps(a1, _mm_mul_ps(w, f1));
      a2 = _mm_add_ps(a2, _mm_mul_ps(w, f2));
      a3 = _mm_add_ps(a3, _mm_mul_ps(w, f3));
    }
    StoreFloats(out + b, a0, a1, a2, a3);
  }
  // The last bytes, fewer than 16, one at a time as the plain loop does them.
  for (; b < length; ++b) {
    float sum = weights[0].Lanes[0] * static_cast<float>(rows[0][b]);
    for (int32_t t = 1; t < taps; ++t) sum += weights[t].Lanes[0] * static_cast<float>(rows[t][b]);
    out[b] = sum;
  }
}

bool HorizontalPassBytesSse2(int32_t channels, int32_t bytesPerPixel, const float* line, const int32_t* bounds,
                             const int32_t* offsets, const WeightVector* weights, int32_t count, uint8_t* target) {
  return WithByteLayout(channels, bytesPerPixel, [&](auto channelCount, auto bytes) {
    HorizontalPass<decltype(channelCount)::value, decltype(bytes)::value>(line, bounds, offsets, weights, count, target);
  });
}

}  // namespace imaging

#endif  // __SSE2__
