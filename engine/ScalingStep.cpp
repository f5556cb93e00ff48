// The scaling step is kept apart from the size arithmetic, which needs no image library.
#include "ImagingFormats.h"
#include "TargetSize.h"
#include "UserDialogs.h"

namespace vexilo {

void ResizeForRun(imaging::ImageData& image, Size size, imaging::ResizeFilter filter) {
  if (!imaging::IsImageValid(image)) return;
  if (size.width <= 0 || size.height <= 0)
    imaging::RaiseImaging("Error while resizing image. The new size %d x %d is not positive.", size.width, size.height);
  imaging::CheckImageDimensions(size.width, size.height, "Resized image");
  imaging::ResizeImage(image, size.width, size.height, filter);
}

bool Konvertieren(imaging::ImageData& image, std::optional<Size> size, imaging::ResizeFilter filter,
                  UserDialogs& dialogs, const std::string& detail) {
  if (!size) return true;
  try {
    ResizeForRun(image, *size, filter);
    return true;
  } catch (const std::exception&) {
    dialogs.ReportUnlessSilenced("konvertierfehler", detail);
    return false;
  }
}

}  // namespace vexilo
