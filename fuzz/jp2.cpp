// Feeds arbitrary bytes to the JPEG 2000 reader (OpenJPEG over the library's streams).
#include <cstddef>
#include <cstdint>

#include "imaging/Codec.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Codec* jp2 = FindFormatByExtension("jp2");
  if (!jp2) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (jp2->LoadFromStream(input, images) && !AreImagesValid(images)) __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
