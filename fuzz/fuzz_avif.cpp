// Feeds arbitrary bytes to the AVIF reader (libavif behind our checks).
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzDecode.h"
#include "fuzz/FuzzIsoMedia.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (DeclaresLargeItem(data, size)) return 0;
  return fuzzing::FuzzDecode(data, size, "avif");
}
