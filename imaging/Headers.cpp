#include "imaging/Headers.h"

#include "base/Text.h"
#include "imaging/Codec.h"

namespace imaging {

namespace {

struct ReaderEntry {
  const char* extension;
  HeaderReader reader;
};

// Keyed by the codecs' default extensions; XPM has no header that gives its size cheaply.
const ReaderEntry kReaders[] = {
    {"bmp", ReadBitmapHeader},       {"jpg", ReadJpegHeader},         {"png", ReadPNGHeader},
    {"mng", ReadMNGHeader},          {"jng", ReadJNGHeader},          {"gif", ReadGIFHeader},
    {"dds", ReadDDSHeader},          {"tga", ReadTargaHeader},        {"pbm", ReadPortableMapHeader},
    {"pgm", ReadPortableMapHeader},  {"ppm", ReadPortableMapHeader},  {"pam", ReadPortableMapHeader},
    {"pfm", ReadPortableMapHeader},  {"jp2", ReadJpeg2000Header},     {"tif", ReadTiffHeader},
    {"psd", ReadPSDHeader},          {"pcx", ReadPCXHeader},          {"ico", ReadIconHeader},
    {"cur", ReadIconHeader},         {"webp", ReadWebPHeader},        {"avif", ReadAvifHeader},
    {"heic", ReadHeifHeader},
};

}  // namespace

HeaderOptions CurrentHeaderOptions() {
  HeaderOptions options;
  options.GifLoadAnimated = GetOption(ImagingGIFLoadAnimated) != 0;
  return options;
}

HeaderReader FindHeaderReader(const std::string& extension) {
  for (const ReaderEntry& entry : kReaders)
    if (base::EqualNoCase(extension, entry.extension)) return entry.reader;
  return nullptr;
}

bool ReadImageHeader(const std::string& path, const std::string& extension, const HeaderOptions& options,
                     ImageHeader& header) {
  const HeaderReader reader = FindHeaderReader(extension);
  if (!reader) return false;
  FileStream file(path, FileStream::Access::Read);
  header = ImageHeader{};
  reader(file, options, header);
  CheckImageDimensions(header.Width, header.Height, "image header");
  return true;
}

}  // namespace imaging
