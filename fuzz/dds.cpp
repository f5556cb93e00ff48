// Feeds arbitrary bytes to the DDS reader; small textures that decode are written again and
// read back, so the writer sees every layout and surface chain the reader gives.
#include <cstddef>
#include <cstdint>

#include "imaging/Codec.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Codec* dds = FindFormatByExtension("dds");
  if (!dds) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (!dds->LoadFromStream(input, images)) return 0;
    int64_t pixels = 0;
    for (const Image& image : images) pixels += int64_t(image.Width()) * image.Height();
    if (pixels > 65536) return 0;
    MemoryStream output;
    if (!dds->SaveToStream(output, images)) __builtin_trap();
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    if (!dds->LoadFromStream(output, again) || again[0].Width() != images[0].Width() ||
        again[0].Height() != images[0].Height() || again[0].Format() != images[0].Format())
      __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
