// Decoding and encoding of the block-compressed pixel formats (DXT1, DXT3, DXT5, BTC, ATI1N,
// ATI2N). Private to the image library: the rest of the program reaches these formats through
// ConvertImageFormat.
#pragma once

#include <cstdint>

#include "imaging/Types.h"

namespace imaging {

// Fills `target` (released first) with the pixels of the compressed image `source` in the
// source format's DecodedFormat and with the source's dimensions.
void DecodeCompressedImage(const ImageData& source, ImageData& target);

// Fills `target` (released first) with `source` encoded as `format`. The source must be in the
// format's DecodedFormat with width and height that are multiples of 4.
void EncodeCompressedImage(const ImageData& source, PixelFormat format, ImageData& target);

}  // namespace imaging
