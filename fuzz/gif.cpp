// Feeds arbitrary bytes to the GIF reader, composing the animation or, for odd-sized inputs,
// keeping the raw frames; raw frames are written again as an animation and must read back as
// as many frames (the writer keeps a single picture's indices, and crops each later frame to
// what changed, so only a single picture reads back sample for sample).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/Codec.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Codec* gif = FindFormatByExtension("gif");
  if (!gif) return 0;
  // A logical screen the library accepts may still be too large for the fuzzer's memory limit
  // once every frame is composed on it.
  if (size >= 10 && uint32_t(data[6] | data[7] << 8) * uint32_t(data[8] | data[9] << 8) > (1u << 20)) return 0;
  const bool raw = size & 1;
  CodecOptions options = CurrentOptions();
  options.gif.loadAnimated = !raw;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (!gif->LoadFromStream(input, images, false, options) || !raw) return 0;
    MemoryStream output;
    if (!gif->SaveToStream(output, images, false, options)) __builtin_trap();
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    if (!gif->LoadFromStream(output, again, false, options) || again.size() != images.size()) __builtin_trap();
    if (images.size() == 1 && (again[0].Size() != images[0].Size() ||
                               std::memcmp(again[0].Bits(), images[0].Bits(), size_t(images[0].Size())) != 0))
      __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
