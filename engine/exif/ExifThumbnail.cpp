#include "engine/exif/ExifThumbnail.h"

#include <algorithm>
#include <cmath>

#include "imaging/Imaging.h"
#include "imaging/ImagingPixelFormats.h"
#include "engine/exif/ExifErrors.h"
#include "engine/exif/TiffStructures.h"

namespace vexilo::exif {

namespace {

int32_t RoundSide(double value) { return std::max<int32_t>(1, static_cast<int32_t>(std::nearbyint(value))); }

// Releases the image on every way out.
struct TImageHolder {
  imaging::ImageData Image;
  ~TImageHolder() { imaging::ReleaseImage(Image); }
};

// Restores the codec options changed for the thumbnail on every way out.
struct TOptionScope {
  bool Pushed = imaging::PushOptions();
  ~TOptionScope() {
    if (Pushed) imaging::PopOptions();
  }
};

}  // namespace

TThumbnailSize ReducedThumbnailSize(int32_t width, int32_t height) {
  constexpr int32_t maxW = layout::kThumbnailMaxWidth, maxH = layout::kThumbnailMaxHeight;
  const double ratio = static_cast<double>(width) / static_cast<double>(height);
  TThumbnailSize size;
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
  TImageHolder holder;
  imaging::TMemoryStream input(jpeg);
  bool loaded = false;
  try {
    loaded = imaging::LoadImageFromStream(input, holder.Image);
  } catch (const imaging::EImagingError& e) {
    throw EExifError(std::string("Exif thumbnail cannot be decoded: ") + e.what());
  }
  if (!loaded || holder.Image.Width <= 0 || holder.Image.Height <= 0)
    throw EExifError("Exif thumbnail cannot be decoded");
  if (holder.Image.Width <= layout::kThumbnailMaxWidth && holder.Image.Height <= layout::kThumbnailMaxHeight)
    return false;
  const TThumbnailSize size = ReducedThumbnailSize(holder.Image.Width, holder.Image.Height);
  imaging::TMemoryStream output;
  bool saved = false;
  try {
    if (!imaging::ResizeImage(holder.Image, size.Width, size.Height, imaging::ResizeFilter::Bilinear))
      throw EExifError("Exif thumbnail cannot be scaled");
    TOptionScope options;
    imaging::SetOption(imaging::ImagingJpegQuality, layout::kThumbnailQuality);
    imaging::SetOption(imaging::ImagingJpegProgressive, 0);
    saved = imaging::SaveImageToStream("jpg", output, holder.Image);
  } catch (const imaging::EImagingError& e) {
    throw EExifError(std::string("Exif thumbnail cannot be encoded: ") + e.what());
  }
  if (!saved) throw EExifError("Exif thumbnail cannot be encoded");
  jpeg = std::move(output.Data());
  width = size.Width;
  height = size.Height;
  return true;
}

}  // namespace vexilo::exif
