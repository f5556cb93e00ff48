// Width, height and pixel format of a file's first image, read from its header without
// decoding pixels. Each reader opens the file itself through a small buffered reader of its
// own and touches no state shared between threads, so any number of threads may read headers
// at the same time.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/IO.h"
#include "imaging/Types.h"

namespace imaging {

// What a header tells: the size and format of the image the codec's loader would give first.
struct ImageHeader {
  int32_t Width = 0;
  int32_t Height = 0;
  PixelFormat Format = PixelFormat::Unknown;
  // The orientation of the stored pixels (imaging/Orientation.h) as the loader reports
  // it: a JPEG's first Exif segment before its frame header, a TIFF page read row by row; else 1.
  int32_t Orientation = 1;
};

// The codec options a header depends on, copied by the caller on its own thread (the option
// table is not for other threads).
struct HeaderOptions {
  bool GifLoadAnimated = true;  // ImagingGIFLoadAnimated: composed pictures on a screen-sized canvas
};
// The current option values; call on the thread that sets options.
HeaderOptions CurrentHeaderOptions();

// A header reader of one codec family: fills `header` from the file behind `handle` (positioned
// at the file's start) or raises ImagingError for a header it cannot use.
using HeaderReader = void (*)(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);

// The reader for a codec's default extension ("jpg", "png", ...; "ico" and "cur" for icons),
// or nullptr for codecs whose files must be decoded to know their size.
HeaderReader FindHeaderReader(const std::string& extension);

// Reads the header of the file at `path` as the codec of `extension` (the result of
// DetectFileFormat, or "ico"/"cur"). False when that codec has no header reader; raises
// ImagingError when the file cannot be opened or its header is damaged or refused (above
// 2^28 pixels or 65535 on a side).
bool ReadImageHeader(const std::string& path, const std::string& extension, const HeaderOptions& options,
                     ImageHeader& header);

// The header readers, one per codec family (defined beside their codecs).
void ReadBitmapHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadJpegHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadPNGHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadMNGHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadJNGHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadGIFHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadDDSHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadTargaHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadPortableMapHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadJpeg2000Header(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadTiffHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadPSDHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadPCXHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadWebPHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadAvifHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadHeifHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);
void ReadIconHeader(const IOHandle& handle, const HeaderOptions& options, ImageHeader& header);

// The frame header of a JPEG stream from the handle's position: the size and the format the
// JPEG codec decodes to, and the orientation of an Exif segment before it. Raises for a stream
// libjpeg would not decode by its header alone.
void ReadJpegFrameHeader(const IOHandle& handle, ImageHeader& header);

}  // namespace imaging
