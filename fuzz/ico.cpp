// Feeds arbitrary bytes to the icon reader as the program loads an icon: the richest image is
// chosen and drawn, and when it fits an icon it is written and read back.
#include <cstddef>
#include <cstdint>

#include "imaging/Image.h"
#include "imaging/Stream.h"
#include "imaging/formats/Icon.h"

using namespace imaging;
using namespace imaging::formats;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    MemoryStream stream = MemoryStream::ViewOf({data, size});
    Image image;
    LoadIconPicture(stream, image);
    if (image.Width() <= 256 && image.Height() <= 256) {
      IconCursorList again;
      again.LoadFromBytes(EncodeIconFile(image));
      if (again.Count() != 1 || again[0].DrawWidth() != image.Width() || again[0].DrawHeight() != image.Height())
        __builtin_trap();
    }
  } catch (const ImagingError&) {
  }
  return 0;
}
