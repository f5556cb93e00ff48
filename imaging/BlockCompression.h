// Decoding and encoding of the block-compressed pixel formats (DXT1, DXT3, DXT5, BTC, ATI1N,
// ATI2N). Private to the image library: the rest of the program reaches these formats through
// ConvertImageFormat.
#pragma once

#include <cstdint>

#include "imaging/Image.h"
#include "imaging/Types.h"

namespace imaging {

// Fills `target` (emptied first) with the pixels of the compressed image `source` in the source
// format's DecodedFormat and with the source's dimensions, or with the smaller width × height
// the blocks were made for (a texture whose sides are not multiples of 4 is stored in whole
// blocks): blocks reaching past that size keep only their pixels inside it.
void DecodeCompressedImage(const Image& source, Image& target);
void DecodeCompressedImage(const Image& source, int32_t width, int32_t height, Image& target);

// Fills `target` (emptied first) with `source` encoded as `format`. The source must be in the
// format's DecodedFormat with width and height that are multiples of 4.
void EncodeCompressedImage(const Image& source, PixelFormat format, Image& target);

}  // namespace imaging
