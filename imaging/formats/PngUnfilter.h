// Undoing the filter of one PNG row (PNG specification, 9.2), in place and against the previous
// unfiltered row (zeros above the first). A plain version serves every target; where the target
// has SSE2, a vector version does the Sub, Average and Paeth filters of 3- and 4-byte pixels with
// the channels of a pixel in the lanes of one register and gives the same bytes. Private to the
// PNG codecs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace imaging::formats::ng {

// `n` bytes of the row, `bpp` bytes to a pixel (1 for depths below 8). Filter types above 4
// leave the row as it is.
void UnfilterRowPlain(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp);

#if defined(__SSE2__)
void UnfilterRowSse2(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp);
#endif

inline void UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
#if defined(__SSE2__)
  UnfilterRowSse2(type, row, prev, n, bpp);
#else
  UnfilterRowPlain(type, row, prev, n, bpp);
#endif
}

}  // namespace imaging::formats::ng
