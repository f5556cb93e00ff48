// Feeds arbitrary bytes to the TIFF reader (libtiff over the library's streams); small pages
// that decode are written again and read back.
#include <cstddef>
#include <cstdint>

#include "imaging/Codec.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Codec* tiff = FindFormatByExtension("tif");
  if (!tiff) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (!tiff->LoadFromStream(input, images)) return 0;
    int64_t pixels = 0;
    for (const Image& image : images) pixels += int64_t(image.Width()) * image.Height();
    if (pixels > 65536) return 0;
    CodecOptions options = CurrentOptions();
    options.tiff.compressionScheme = int32_t(size % 5);
    MemoryStream output;
    if (!tiff->SaveToStream(output, images, false, options)) __builtin_trap();
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    if (!tiff->LoadFromStream(output, again) || again.size() != images.size() ||
        again[0].Width() != images[0].Width() || again[0].Height() != images[0].Height())
      __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
