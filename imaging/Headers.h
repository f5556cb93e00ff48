// Width, height and pixel format of a file's first image, read from its header without
// decoding pixels. Each read opens the file in a FileStream of its own (one 16 KiB buffer
// whatever the file declares) and touches no state shared between threads, so any number of
// threads may read headers at the same time.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/Stream.h"
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

// A header reader of one codec family: fills `header` from the file behind `stream` (positioned
// at the file's start) or raises ImagingError for a header it cannot use.
using HeaderReader = void (*)(Stream& stream, const HeaderOptions& options, ImageHeader& header);

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
void ReadBitmapHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadJpegHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadPNGHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadMNGHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadJNGHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadGIFHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadDDSHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadTargaHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadPortableMapHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadJpeg2000Header(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadTiffHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadPSDHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadPCXHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadWebPHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadAvifHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadHeifHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);
void ReadIconHeader(Stream& stream, const HeaderOptions& options, ImageHeader& header);

// The frame header of a JPEG stream from the stream's position: the size and the format the
// JPEG codec decodes to, and the orientation of an Exif segment before it. Raises for a stream
// libjpeg would not decode by its header alone.
void ReadJpegFrameHeader(Stream& stream, ImageHeader& header);

}  // namespace imaging
