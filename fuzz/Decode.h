// Shared body of the targets that only decode: one codec on arbitrary bytes. A codec that says
// it read the file must give a valid picture; refusing with an error is the other good end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/Codec.h"

namespace fuzzing {

inline int FuzzDecode(const uint8_t* data, size_t size, const char* extension) {
  using namespace imaging;
  const Codec* codec = FindFormatByExtension(extension);
  if (!codec) return 0;
  MemoryStream input(std::vector<uint8_t>(data, data + size));
  std::vector<Image> images;
  try {
    if (codec->LoadFromStream(input, images) && (images.empty() || !IsImageValid(images[0]))) __builtin_trap();
  } catch (const ImagingError&) {
  }
  return 0;
}

}  // namespace fuzzing
