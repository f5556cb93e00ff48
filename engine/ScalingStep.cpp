// The scaling step is kept apart from the size arithmetic, which needs no image library.
#include "imaging/PixelFormats.h"
#include "engine/TargetSize.h"

namespace engine {

void ResizeForRun(imaging::Image& image, Size size, imaging::ResizeFilter filter) {
  if (!imaging::IsImageValid(image)) return;
  try {
    if (size.width <= 0 || size.height <= 0)
      imaging::RaiseImaging("Error while resizing image. The new size %d x %d is not positive.", size.width,
                            size.height);
    imaging::CheckImageDimensions(size.width, size.height, "Resized image");
    imaging::ResizeImage(image, size.width, size.height, filter);
  } catch (const ScalingError&) {
    throw;
  } catch (const std::exception& e) {
    throw ScalingError(e.what());
  }
}

}  // namespace engine
