// The MNG reader on arbitrary bytes, whatever signature they carry.
#include "fuzz/ChunkedImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzing::FuzzChunkedImage(data, size, "mng");
}
