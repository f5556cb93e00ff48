// Placeholder until the conversion lands: only the trivial case.
#include "ImagingFormats.h"

namespace imaging {

bool ConvertImageFormat(ImageData& image, PixelFormat format) {
  if (!IsImageValid(image)) return false;
  if (format == PixelFormat::Default) format = PixelFormat::A8R8G8B8;
  if (image.Format == format) return true;
  RaiseImaging("Error while converting image to format \"%s\". %s", GetFormatName(format).c_str(),
               DescribeImage(image).c_str());
}

}  // namespace imaging
