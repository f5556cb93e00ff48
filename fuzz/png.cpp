// The PNG chunk reader on arbitrary bytes; an input with the MNG or JNG signature goes to that
// codec instead.
#include "fuzz/ChunkedImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* extension = size > 0 && data[0] == 0x8A ? "mng" : size > 0 && data[0] == 0x8B ? "jng" : "png";
  return fuzzing::FuzzChunkedImage(data, size, extension);
}
