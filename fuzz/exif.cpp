// Feeds arbitrary bytes to the metadata loader as a source JPEG and, whatever loads, writes
// the metadata into the same bytes as a target JPEG; the result must load again with the
// software field in place.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/Types.h"
#include "engine/exif/Data.h"
#include "engine/exif/Errors.h"

using namespace engine::exif;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  std::vector<uint8_t> output;
  try {
    ExifData exif;
    exif.LoadFromJPEG(input);
    exif.SetSoftware("Corvana Vexilo");
    output = exif.InsertIntoJPEG(input);
  } catch (const ExifError&) {
    return 0;
  } catch (const imaging::ImagingError&) {
    return 0;
  }
  ExifData again;
  again.LoadFromJPEG(output);
  if (again.Software() != "Corvana Vexilo") __builtin_trap();
  return 0;
}
