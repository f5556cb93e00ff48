#include "imaging/Orientation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/PixelFormats.h"

namespace imaging {

namespace {

// TIFF 6.0 section 2: header, directory entries; tag 274 is Orientation, a SHORT.
constexpr size_t kTiffHeaderSize = 8;
constexpr size_t kEntrySize = 12;
constexpr uint16_t kOrientationTag = 274;
constexpr uint16_t kShortType = 3;

uint16_t Read16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Read32(const uint8_t* p, bool bigEndian) {
  return bigEndian ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                   : uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Where pixel (x, y) of the stored picture lands in the upright one, as a start offset and a
// step per column and per row, in pixels of the upright picture (whose width is `width` or, for
// the orientations that exchange the sides, `height`).
struct Placement {
  ptrdiff_t origin, stepX, stepY;
};

Placement PlacementOf(int32_t orientation, ptrdiff_t width, ptrdiff_t height) {
  const ptrdiff_t w = width, h = height;
  switch (orientation) {
    case kOrientationTopRight: return {w - 1, -1, w};                    // (w-1-x, y)
    case kOrientationBottomRight: return {(h - 1) * w + w - 1, -1, -w};  // (w-1-x, h-1-y)
    case kOrientationBottomLeft: return {(h - 1) * w, 1, -w};            // (x, h-1-y)
    case kOrientationLeftTop: return {0, h, 1};                          // (y, x), h wide
    case kOrientationRightTop: return {h - 1, h, -1};                    // (h-1-y, x)
    case kOrientationRightBottom: return {(w - 1) * h + h - 1, -h, -1};  // (h-1-y, w-1-x)
    case kOrientationLeftBottom: return {(w - 1) * h, -h, 1};            // (y, w-1-x)
    default: return {0, 1, w};
  }
}

// Copies every pixel of `source` to its place in `target`. The picture is walked in square
// tiles, so that the orientations that turn rows into columns write within a few cache lines
// at a time.
template <size_t N>
void PlacePixels(const uint8_t* source, int32_t width, int32_t height, uint8_t* target, Placement p,
                 size_t pixelBytes = N) {
  constexpr int32_t kTile = 64;
  for (int32_t ty = 0; ty < height; ty += kTile) {
    const int32_t yEnd = std::min(height, ty + kTile);
    for (int32_t tx = 0; tx < width; tx += kTile) {
      const int32_t xEnd = std::min(width, tx + kTile);
      for (int32_t y = ty; y < yEnd; ++y) {
        const uint8_t* from = source + (size_t(y) * size_t(width) + size_t(tx)) * pixelBytes;
        ptrdiff_t to = p.origin + ptrdiff_t(y) * p.stepY + ptrdiff_t(tx) * p.stepX;
        for (int32_t x = tx; x < xEnd; ++x, from += pixelBytes, to += p.stepX) {
          if constexpr (N != 0)
            std::memcpy(target + size_t(to) * N, from, N);
          else
            std::memcpy(target + size_t(to) * pixelBytes, from, pixelBytes);
        }
      }
    }
  }
}

void PlaceAll(const uint8_t* source, int32_t width, int32_t height, uint8_t* target, Placement p, size_t pixelBytes) {
  switch (pixelBytes) {
    case 1: PlacePixels<1>(source, width, height, target, p); break;
    case 2: PlacePixels<2>(source, width, height, target, p); break;
    case 3: PlacePixels<3>(source, width, height, target, p); break;
    case 4: PlacePixels<4>(source, width, height, target, p); break;
    case 6: PlacePixels<6>(source, width, height, target, p); break;
    case 8: PlacePixels<8>(source, width, height, target, p); break;
    case 16: PlacePixels<16>(source, width, height, target, p); break;
    default: PlacePixels<0>(source, width, height, target, p, pixelBytes); break;
  }
}

}  // namespace

int32_t ValidOrientation(int64_t value) {
  return value >= kOrientationTopLeft && value <= kOrientationLeftBottom ? static_cast<int32_t>(value)
                                                                         : kOrientationTopLeft;
}

bool OrientationSwapsSides(int32_t orientation) {
  return orientation >= kOrientationLeftTop && orientation <= kOrientationLeftBottom;
}

int32_t ExifOrientation(const uint8_t* tiff, size_t size) {
  if (tiff == nullptr || size < kTiffHeaderSize) return kOrientationTopLeft;
  bool bigEndian;
  if (tiff[0] == 'M' && tiff[1] == 'M') bigEndian = true;
  else if (tiff[0] == 'I' && tiff[1] == 'I') bigEndian = false;
  else return kOrientationTopLeft;
  if (Read16(tiff + 2, bigEndian) != 42) return kOrientationTopLeft;
  const uint32_t directory = Read32(tiff + 4, bigEndian);
  if (directory < kTiffHeaderSize || size - 2 < directory) return kOrientationTopLeft;
  const size_t count = Read16(tiff + directory, bigEndian);
  // Only entries that lie wholly inside the block are looked at.
  const size_t fitting = (size - directory - 2) / kEntrySize;
  const uint8_t* entry = tiff + directory + 2;
  for (size_t i = 0; i < std::min(count, fitting); ++i, entry += kEntrySize) {
    if (Read16(entry, bigEndian) != kOrientationTag) continue;
    if (Read16(entry + 2, bigEndian) != kShortType || Read32(entry + 4, bigEndian) != 1) return kOrientationTopLeft;
    // A single SHORT sits in the first two bytes of the value field.
    return ValidOrientation(Read16(entry + 8, bigEndian));
  }
  return kOrientationTopLeft;
}

bool OrientImage(Image& image, int32_t orientation) {
  if (!IsImageValid(image)) return false;
  if (orientation <= kOrientationTopLeft || orientation > kOrientationLeftBottom) return true;
  const PixelFormat original = image.Format();
  const bool compressed = FindFormatInfo(original)->IsCompressed;
  if (compressed) ConvertImageFormat(image, PixelFormat::A8R8G8B8);

  const PixelFormatInfo& info = *FindFormatInfo(image.Format());
  const bool swapsSides = OrientationSwapsSides(orientation);
  Image turned;
  try {
    CreateImage(swapsSides ? image.Height() : image.Width(), swapsSides ? image.Width() : image.Height(),
                image.Format(), turned);
  } catch (...) {
    RaiseImaging("Not enough memory to turn a %dx%d image upright.", image.Width(), image.Height());
  }
  PlaceAll(image.Bits(), image.Width(), image.Height(), turned.Bits(),
           PlacementOf(orientation, image.Width(), image.Height()), size_t(info.BytesPerPixel));
  if (image.Palette())
    std::memcpy(turned.Palette(), image.Palette(), sizeof(Color32) * size_t(info.PaletteEntries));
  image = std::move(turned);

  if (compressed) ConvertImageFormat(image, original);
  return true;
}

}  // namespace imaging
