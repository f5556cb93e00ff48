// Width, height and pixel format of a file's first image, read from its header without
// decoding pixels. Each read opens the file in a FileStream of its own (one 16 KiB buffer
// whatever the file declares) and touches no state shared between threads, so any number of
// threads may read headers at the same time.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/Options.h"
#include "imaging/Stream.h"
#include "imaging/Types.h"

namespace imaging {

// What a header tells: the size and format of the image the codec's loader would give first.
struct ImageHeader {
  int32_t Width = 0;
  int32_t Height = 0;
  PixelFormat Format = PixelFormat::Unknown;
  // The orientation of the stored pixels (imaging/Orientation.h) as the loader reports
  // it: a JPEG's first Exif segment before its frame header, a TIFF page's tag; else 1.
  int32_t Orientation = 1;
  // The frames of an animation or the pages of a multi-page file a full load gives, counted
  // without decoding; 1 for a file of one picture (and for types whose header read does not
  // count them). A count above kMaxFrames stops at kMaxFrames + 1.
  int32_t Frames = 1;
};

// Whether the codec of `extension` (a registered extension, or "ico"/"cur") reads headers;
// false for codecs whose files must be decoded to know their size (XPM) and unknown extensions.
bool CanReadImageHeader(const std::string& extension);

// Reads the header of the file at `path` as the codec of `extension` (the result of
// DetectFileFormat, or "ico"/"cur"), through the registry's description of that codec (its
// ReadHeader) or the icon codec. False when that codec reads no headers; raises ImagingError
// when the file cannot be opened or its header is damaged or refused (above 2^28 pixels or
// 65535 on a side). Only the GIF codec's header depends on the options (gif.loadAnimated).
bool ReadImageHeader(const std::string& path, const std::string& extension, const CodecOptions& options,
                     ImageHeader& header);
// The same from a stream that is open already, read from its current position.
bool ReadImageHeader(Stream& stream, const std::string& extension, const CodecOptions& options,
                     ImageHeader& header);

}  // namespace imaging
