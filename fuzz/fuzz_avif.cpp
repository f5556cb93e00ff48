// Feeds arbitrary bytes to the AVIF reader (libavif behind our checks).
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzIsoMedia.h"
#include "imaging/Imaging.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TImageFileFormat* codec = FindFormatByExtension("avif");
  if (!codec || DeclaresLargeItem(data, size)) return 0;
  TMemoryStream input(std::vector<uint8_t>(data, data + size));
  TDynImageDataArray images;
  try {
    if (codec->LoadFromStream(input, images) && (images.empty() || !IsImageValid(images[0]))) __builtin_trap();
  } catch (const EImagingError&) {
  }
  return 0;
}
