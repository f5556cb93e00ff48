// The program's two image-file functions on top of the image library.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "imaging/Imaging.h"

namespace vexilo {

// What a load found beside the pixels of a photo.
struct PhotoFacts {
  int32_t orientation = 1;         // Exif orientation of the stored pixels, 1 to 8
  imaging::ColorProfile profile;   // the embedded ICC profile, null when none
};

// Loads the first image of the file and converts it to A8R8G8B8. Icons and cursors (.ico, .cur)
// are read by the icon codec, every other file by the codec its content is detected as.
// False when no codec accepts the file or it yields no image. The path must not be empty.
// The codecs read with the given option values (by default the process values); `facts`, when
// given, receives the orientation and colour profile the codec found (none for icons).
bool LoadImageFile(const std::string& path, imaging::ImageData& image,
                   const imaging::CodecOptions& options = imaging::CurrentOptions(), PhotoFacts* facts = nullptr);

// Writes the image as the only image of the file, by the codec of the path's extension
// (.ico and .cur: a single-image icon). False without a message when no codec is registered
// for the extension, the codec cannot save, or the image is empty; a codec that refuses the
// image raises an error that says so. The codec writes with the
// given option values (by default the process values).
bool SaveImageFile(const std::string& path, const imaging::ImageData& image,
                   const imaging::CodecOptions& options = imaging::CurrentOptions());

// The bytes SaveImageFile would write to `path`, encoded in memory; nothing where SaveImageFile
// would return false, and the same errors. A parallel run encodes on its helper threads and
// only writes the bytes (WriteFileAtomically) in list order.
std::optional<std::vector<uint8_t>> EncodeImageFile(const std::string& path, const imaging::ImageData& image,
                                                    const imaging::CodecOptions& options);

// True when the path's extension is .ico or .cur in any letter case: such files are read and
// written by the icon codec instead of the codec registry.
bool IsIconPath(const std::string& path);

}  // namespace vexilo
