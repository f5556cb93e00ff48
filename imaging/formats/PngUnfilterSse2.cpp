// The SSE2 version of UnfilterRow; compiled to nothing where the target has no SSE2.
#include "imaging/formats/PngUnfilter.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <cstring>

namespace imaging::formats::ng {

namespace {

// One pixel of 3 or 4 bytes at a time; the dependency on the pixel to the left keeps the work
// serial across pixels, so the lanes run over the channels.
template <size_t Bpp>
inline __m128i LoadPixel(const uint8_t* p) {
  uint32_t v = 0;
  std::memcpy(&v, p, Bpp);
  return _mm_cvtsi32_si128(static_cast<int>(v));
}
template <size_t Bpp>
inline void StorePixel(uint8_t* p, __m128i v) {
  const uint32_t x = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
  std::memcpy(p, &x, Bpp);
}

template <size_t Bpp>
void UnfilterSub(uint8_t* row, size_t n) {
  __m128i a = _mm_setzero_si128();
  for (size_t i = 0; i + Bpp <= n; i += Bpp) {
    a = _mm_add_epi8(a, LoadPixel<Bpp>(row + i));
    StorePixel<Bpp>(row + i, a);
  }
}

template <size_t Bpp>
void UnfilterAverage(uint8_t* row, const uint8_t* prev, size_t n) {
  const __m128i one = _mm_set1_epi8(1);
  __m128i a = _mm_setzero_si128();
  for (size_t i = 0; i + Bpp <= n; i += Bpp) {
    const __m128i b = LoadPixel<Bpp>(prev + i);
    // _mm_avg_epu8 rounds up; the filter wants the sum halved and rounded down.
    const __m128i avg = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
    a = _mm_add_epi8(avg, LoadPixel<Bpp>(row + i));
    StorePixel<Bpp>(row + i, a);
  }
}

inline __m128i Abs16(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }
inline __m128i Select(__m128i mask, __m128i ifSet, __m128i otherwise) {
  return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, otherwise));
}

template <size_t Bpp>
void UnfilterPaeth(uint8_t* row, const uint8_t* prev, size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero;  // left, 16-bit lanes
  __m128i c = zero;  // upper left
  for (size_t i = 0; i + Bpp <= n; i += Bpp) {
    const __m128i b = _mm_unpacklo_epi8(LoadPixel<Bpp>(prev + i), zero);
    const __m128i pa = Abs16(_mm_sub_epi16(b, c));
    const __m128i pb = Abs16(_mm_sub_epi16(a, c));
    const __m128i pc = Abs16(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
    const __m128i smallest = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
    __m128i predictor = Select(_mm_cmpeq_epi16(smallest, pb), b, c);
    predictor = Select(_mm_cmpeq_epi16(smallest, pa), a, predictor);
    const __m128i x = _mm_add_epi8(_mm_packus_epi16(predictor, zero), LoadPixel<Bpp>(row + i));
    StorePixel<Bpp>(row + i, x);
    a = _mm_unpacklo_epi8(x, zero);
    c = b;
  }
}

}  // namespace

void UnfilterRowSse2(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
  // Up (type 2), which has no dependency along the row, and pixels of other sizes take the
  // plain loops.
  if (bpp == 3 || bpp == 4) {
    switch (type) {
      case 1: return bpp == 3 ? UnfilterSub<3>(row, n) : UnfilterSub<4>(row, n);
      case 3: return bpp == 3 ? UnfilterAverage<3>(row, prev, n) : UnfilterAverage<4>(row, prev, n);
      case 4: return bpp == 3 ? UnfilterPaeth<3>(row, prev, n) : UnfilterPaeth<4>(row, prev, n);
      default: break;
    }
  }
  UnfilterRowPlain(type, row, prev, n, bpp);
}

}  // namespace imaging::formats::ng

#endif  // __SSE2__
