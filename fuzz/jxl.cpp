// Feeds arbitrary bytes to the JPEG XL reader (libjxl behind our checks).
#include <cstddef>
#include <cstdint>

#include "fuzz/Decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzing::FuzzDecode(data, size, "jxl");
}
