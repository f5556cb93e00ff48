#include "engine/exif/Thumbnail.h"

#include <algorithm>
#include <cmath>

#include "imaging/Codec.h"
#include "imaging/Orientation.h"
#include "imaging/PixelFormats.h"
#include "engine/exif/Errors.h"
#include "engine/exif/TiffStructures.h"

namespace engine::exif {

namespace {

int32_t RoundSide(double value) { return std::max<int32_t>(1, static_cast<int32_t>(std::nearbyint(value))); }

// A baseline JPEG of the thumbnail's own settings, whatever the run's are; false when the codec
// refuses the picture.
bool EncodeThumbnail(const imaging::Image& image, std::vector<uint8_t>& jpeg) {
  imaging::CodecOptions options = imaging::CurrentOptions();
  options.jpeg = {layout::kThumbnailQuality, false};
  imaging::MemoryStream output;
  if (!imaging::SaveImageToStream("jpg", output, image, options)) return false;
  jpeg = std::move(output.Data());
  return true;
}

}  // namespace

ThumbnailSize ReducedThumbnailSize(int32_t width, int32_t height) {
  constexpr int32_t maxW = layout::kThumbnailMaxWidth, maxH = layout::kThumbnailMaxHeight;
  const double ratio = static_cast<double>(width) / static_cast<double>(height);
  ThumbnailSize size;
  if (width > height) {
    size = {maxW, RoundSide(maxW / ratio)};
    if (size.Height > maxH) size = {RoundSide(maxH * ratio), maxH};
  } else {
    size = {RoundSide(maxH * ratio), maxH};
    if (size.Width > maxW) size = {maxW, RoundSide(maxW / ratio)};
  }
  return size;
}

bool ReduceThumbnail(std::vector<uint8_t>& jpeg, int32_t& width, int32_t& height) {
  imaging::Image image;
  imaging::MemoryStream input(jpeg);
  bool loaded = false;
  try {
    loaded = imaging::LoadImageFromStream(input, image);
  } catch (const imaging::ImagingError& e) {
    throw ExifError(std::string("Exif thumbnail cannot be decoded: ") + e.what());
  }
  if (!loaded || image.Width() <= 0 || image.Height() <= 0)
    throw ExifError("Exif thumbnail cannot be decoded");
  if (image.Width() <= layout::kThumbnailMaxWidth && image.Height() <= layout::kThumbnailMaxHeight)
    return false;
  const ThumbnailSize size = ReducedThumbnailSize(image.Width(), image.Height());
  std::vector<uint8_t> reduced;
  bool saved = false;
  try {
    if (!imaging::ResizeImage(image, size.Width, size.Height, imaging::ResizeFilter::Bilinear))
      throw ExifError("Exif thumbnail cannot be scaled");
    saved = EncodeThumbnail(image, reduced);
  } catch (const imaging::ImagingError& e) {
    throw ExifError(std::string("Exif thumbnail cannot be encoded: ") + e.what());
  }
  if (!saved) throw ExifError("Exif thumbnail cannot be encoded");
  jpeg = std::move(reduced);
  width = size.Width;
  height = size.Height;
  return true;
}

bool OrientThumbnail(std::vector<uint8_t>& jpeg, int32_t orientation, int32_t& width, int32_t& height) {
  try {
    imaging::Image image;
    imaging::MemoryStream input(jpeg);
    std::vector<uint8_t> turned;
    if (!imaging::LoadImageFromStream(input, image) || !imaging::OrientImage(image, orientation) ||
        !EncodeThumbnail(image, turned))
      return false;
    jpeg = std::move(turned);
    width = image.Width();
    height = image.Height();
    return true;
  } catch (const imaging::ImagingError&) {
    return false;
  }
}

}  // namespace engine::exif
