#include "imaging/Headers.h"

#include "base/Text.h"
#include "imaging/Codec.h"
#include "imaging/formats/Icon.h"

namespace imaging {

namespace {

// Icons and cursors are not in the registry; the program hands their files to the icon codec.
bool IsIconExtension(const std::string& extension) {
  return base::EqualNoCase(extension, "ico") || base::EqualNoCase(extension, "cur");
}

}  // namespace

bool CanReadImageHeader(const std::string& extension) {
  if (IsIconExtension(extension)) return true;
  const Codec* codec = FindFormatByExtension(extension);
  return codec != nullptr && codec->CanReadHeader;
}

bool ReadImageHeader(const std::string& path, const std::string& extension, const CodecOptions& options,
                     ImageHeader& header) {
  if (!CanReadImageHeader(extension)) return false;
  FileStream file(path, FileStream::Access::Read);
  return ReadImageHeader(file, extension, options, header);
}

bool ReadImageHeader(Stream& stream, const std::string& extension, const CodecOptions& options,
                     ImageHeader& header) {
  const bool icon = IsIconExtension(extension);
  const Codec* codec = icon ? nullptr : FindFormatByExtension(extension);
  if (!icon && (codec == nullptr || !codec->CanReadHeader)) return false;
  header = icon ? formats::ReadIconHeader(stream) : codec->ReadHeader(stream, options);
  CheckImageDimensions(header.Width, header.Height, "image header");
  return true;
}

}  // namespace imaging
