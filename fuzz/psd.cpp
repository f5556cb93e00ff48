// Feeds arbitrary bytes to the Photoshop reader; small images that decode are written again
// (with and without the layer) and read back, so the writer sees every format the reader gives.
#include <cstddef>
#include <cstdint>

#include "imaging/Codec.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Codec* psd = FindFormatByExtension("psd");
  if (!psd) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (!psd->LoadFromStream(input, images)) return 0;
    if (int64_t(images[0].Width()) * images[0].Height() > 65536) return 0;
    CodecOptions options = CurrentOptions();
    options.psd.saveAsLayer = size & 1;
    MemoryStream output;
    if (!psd->SaveToStream(output, images, false, options)) __builtin_trap();
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    if (!psd->LoadFromStream(output, again) || again[0].Width() != images[0].Width() ||
        again[0].Height() != images[0].Height() || again[0].Format() != images[0].Format())
      __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
