// Reduction of an Exif thumbnail whose JPEG data are too large to be stored.
#pragma once

#include <cstdint>
#include <vector>

namespace engine::exif {

struct ThumbnailSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

// The size that fits 160 x 120 with the thumbnail's proportions: a landscape thumbnail is
// fitted by its width first, any other by its height first; halves round to even. Never
// below 1 x 1.
ThumbnailSize ReducedThumbnailSize(int32_t width, int32_t height);

// When the thumbnail is wider than 160 or taller than 120 pixels, decodes it, scales it to
// ReducedThumbnailSize and encodes it again as a baseline JPEG at quality 90: `jpeg`,
// `width` and `height` then describe the new thumbnail and the result is true. A thumbnail
// within 160 x 120 is left alone (false). Raises ExifError when the data cannot be decoded
// or encoded.
bool ReduceThumbnail(std::vector<uint8_t>& jpeg, int32_t& width, int32_t& height);

// Turns the thumbnail as its picture was turned upright from the Exif `orientation` and
// encodes it again as above; `width` and `height` then give its new size. False when the data
// cannot be decoded or encoded.
bool OrientThumbnail(std::vector<uint8_t>& jpeg, int32_t orientation, int32_t& width, int32_t& height);

}  // namespace engine::exif
