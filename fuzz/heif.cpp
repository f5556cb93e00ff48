// Feeds arbitrary bytes to the HEIF reader (libheif behind our checks).
#include <cstddef>
#include <cstdint>

#include "fuzz/Decode.h"
#include "fuzz/IsoMedia.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (DeclaresLargeItem(data, size)) return 0;
  return fuzzing::FuzzDecode(data, size, "heic");
}
