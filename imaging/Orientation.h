// The orientation of a photo as cameras record it (the Exif/TIFF Orientation tag, TIFF 6.0
// section 8, Exif 2.32 section 4.6.4 A): which way the stored rows and columns are to be shown.
// A reader reports the orientation it found; a caller that wants the upright picture turns the
// pixels with OrientImage.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Image.h"
#include "imaging/Types.h"

namespace imaging {

// The eight values of the tag. Each names where the stored picture's first row and first column
// belong when it is shown: kOrientationRightTop means the first row is the right-hand side and
// the first column the top, so the stored picture is turned 90 degrees clockwise to be shown.
enum : int32_t {
  kOrientationTopLeft = 1,      // as stored
  kOrientationTopRight = 2,     // mirrored left to right
  kOrientationBottomRight = 3,  // turned 180 degrees
  kOrientationBottomLeft = 4,   // mirrored top to bottom
  kOrientationLeftTop = 5,      // mirrored along the main diagonal (transposed)
  kOrientationRightTop = 6,     // turned 90 degrees clockwise
  kOrientationRightBottom = 7,  // mirrored along the other diagonal (transversed)
  kOrientationLeftBottom = 8,   // turned 90 degrees counter-clockwise
};

// The value itself for 1 to 8, 1 for anything else (absent, zero, out of range).
int32_t ValidOrientation(int64_t value);

// True for 5 to 8, whose upright picture has width and height exchanged.
bool OrientationSwapsSides(int32_t orientation);

// The Orientation tag (274) of IFD0 of a TIFF block (the bytes after "Exif" 00 00 of a JPEG's
// APP1 segment, or a whole TIFF file): 1 when the block, the directory or the tag is damaged,
// of the wrong type or count, or holds a value outside 1 to 8. Reads only inside `size` bytes.
int32_t ExifOrientation(const uint8_t* tiff, size_t size);

// Turns the pixels of `image` so that a picture stored with `orientation` stands upright: for
// 5 to 8 width and height are exchanged. Works on every pixel format (block-compressed ones
// through A8R8G8B8 and back); the palette stays. 1 and values outside 2 to 8 change nothing.
// False for an invalid image.
bool OrientImage(Image& image, int32_t orientation);

}  // namespace imaging
