// Feeds arbitrary bytes to the Targa reader; whatever decodes is written again (raw or
// run-length encoded) and read back.
#include <cstddef>
#include <cstdint>

#include "imaging/Codec.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Codec* tga = FindFormatByExtension("tga");
  if (!tga) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (!tga->LoadFromStream(input, images)) return 0;
    CodecOptions options = CurrentOptions();
    options.targa.useRle = size & 1;
    MemoryStream output;
    if (!tga->SaveToStream(output, images, false, options)) return 0;
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    if (!tga->LoadFromStream(output, again) || again[0].Width() != images[0].Width() ||
        again[0].Height() != images[0].Height())
      __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
