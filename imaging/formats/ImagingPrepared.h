// The image a codec writes: what PrepareForSave gives, released on every way out when it is a
// converted copy.
#pragma once

#include "imaging/Imaging.h"

namespace imaging {

struct TPreparedImage {
  ImageData image;
  bool mustFree = false;

  TPreparedImage() = default;
  TPreparedImage(const TPreparedImage&) = delete;
  TPreparedImage& operator=(const TPreparedImage&) = delete;
  ~TPreparedImage() {
    if (mustFree) ReleaseImage(image);
  }
};

}  // namespace imaging
