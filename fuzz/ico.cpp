// Feeds arbitrary bytes to the icon reader; the image the program would choose is drawn, and
// when it fits an icon it is written and read back.
#include <cstddef>
#include <cstdint>

#include "imaging/Image.h"
#include "imaging/formats/Icon.h"

using namespace imaging;
using namespace imaging::formats;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    IconCursorList list;
    list.LoadFromBytes(std::vector<uint8_t>(data, data + size));
    list.Sort(IconCursorList::kSortSizeFirst, IconCursorList::kSortDescending);
    list.Sort(IconCursorList::kSortColorTypeFirst, IconCursorList::kSortDescending);
    const IconCursorImage& first = list[0];
    Image image;
    if (!CreateImage(first.DrawWidth(), first.DrawHeight(), PixelFormat::A8R8G8B8, image)) return 0;
    first.Draw(image, 0, 0);
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
