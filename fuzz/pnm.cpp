// Feeds arbitrary bytes to the portable map readers (the codec the content is detected as);
// whatever decodes is written as PAM and read back.
#include <cstddef>
#include <cstdint>

#include "imaging/Codec.h"

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  const std::string extension = DetectStreamFormat(input);
  if (extension != "pbm" && extension != "pgm" && extension != "ppm" && extension != "pam" && extension != "pfm")
    return 0;
  std::vector<Image> images;
  try {
    if (!FindFormatByExtension(extension)->LoadFromStream(input, images)) return 0;
    const Codec* writer = FindFormatByExtension(size & 1 ? "pam" : "pfm");
    MemoryStream output;
    if (!writer->SaveToStream(output, images)) return 0;
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    if (!writer->LoadFromStream(output, again) || again[0].Width() != images[0].Width() ||
        again[0].Height() != images[0].Height())
      __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
