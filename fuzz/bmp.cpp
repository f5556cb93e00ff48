// Feeds arbitrary bytes to the BMP reader; whatever decodes is written again (both RLE8
// settings) and read back, so the writer sees every shape the reader can produce.
#include <cstddef>
#include <cstdint>

#include "imaging/Codec.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Codec* bmp = FindFormatByExtension("bmp");
  if (!bmp) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (!bmp->LoadFromStream(input, images)) return 0;
    CodecOptions options = CurrentOptions();
    options.bitmap.useRle = size & 1;
    MemoryStream output;
    if (!bmp->SaveToStream(output, images, false, options)) __builtin_trap();
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    if (!bmp->LoadFromStream(output, again) || again[0].Width() != images[0].Width() ||
        again[0].Height() != images[0].Height())
      __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
