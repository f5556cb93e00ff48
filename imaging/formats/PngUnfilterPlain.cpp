#include "imaging/formats/PngUnfilter.h"

#include "imaging/formats/PngChunks.h"

namespace imaging::formats::ng {

void UnfilterRowPlain(uint8_t type, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
  switch (type) {
    case 1:
      for (size_t i = bpp; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
      return;
    case 2:
      for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      return;
    case 3:
      for (size_t i = 0; i < bpp && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + (prev[i] >> 1));
      for (size_t i = bpp; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + ((row[i - bpp] + prev[i]) >> 1));
      return;
    case 4:
      for (size_t i = 0; i < bpp && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      for (size_t i = bpp; i < n; ++i)
        row[i] = static_cast<uint8_t>(row[i] + PaethPredictor(row[i - bpp], prev[i], prev[i - bpp]));
      return;
    default:
      return;
  }
}

}  // namespace imaging::formats::ng
