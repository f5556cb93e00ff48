// Feeds arbitrary bytes to the JPEG reader; whatever decodes is turned upright by the Exif
// orientation it reports, converted to sRGB by the colour profile it found (Little CMS on a
// hostile profile), written again with that profile (quality and progressive chosen from the
// input) and read back at the same size with the same profile.
#include <cstddef>
#include <cstdint>

#include "imaging/Codec.h"
#include "imaging/Orientation.h"

using namespace imaging;

namespace {

// Images the library accepts may still be too large for the fuzzer's memory limit; such inputs
// prove nothing the small ones do not.
bool DeclaresLargeFrame(const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 9 <= size; ++i) {
    if (data[i] != 0xFF || data[i + 1] < 0xC0 || data[i + 1] > 0xCF) continue;
    if (data[i + 1] == 0xC4 || data[i + 1] == 0xC8 || data[i + 1] == 0xCC) continue;
    const uint64_t height = uint64_t(data[i + 5]) << 8 | data[i + 6];
    const uint64_t width = uint64_t(data[i + 7]) << 8 | data[i + 8];
    if (width * height > (uint64_t(1) << 22)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Codec* jpeg = FindFormatByExtension("jpg");
  if (!jpeg || DeclaresLargeFrame(data, size)) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    LoadFacts facts;
    if (!jpeg->LoadFromStream(input, images, false, CurrentOptions(), &facts)) return 0;
    const int32_t orientation = facts.orientation;
    if (orientation < 1 || orientation > 8 || !OrientImage(images[0], orientation)) __builtin_trap();
    if (facts.profile) {
      std::string error;
      ConvertToSRGB(images[0], *facts.profile, error);
      if (!IsImageValid(images[0])) __builtin_trap();
    }
    CodecOptions options = CurrentOptions();
    options.jpeg = {int32_t(size % 101), (size & 1) != 0};
    options.profile = facts.profile;
    MemoryStream output;
    if (!jpeg->SaveToStream(output, images, false, options)) __builtin_trap();
    output.Seek(0, SeekOrigin::Begin);
    std::vector<Image> again;
    LoadFacts written;
    if (!jpeg->LoadFromStream(output, again, false, CurrentOptions(), &written) || again[0].Width() != images[0].Width() ||
        again[0].Height() != images[0].Height())
      __builtin_trap();
    const bool embedded = ProfileFitsFormat(facts.profile, images[0].Format() == PixelFormat::Gray8
                                                                 ? PixelFormat::Gray8
                                                                 : PixelFormat::R8G8B8);
    if (embedded != (written.profile != nullptr) || (embedded && *written.profile != *facts.profile))
      __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}
