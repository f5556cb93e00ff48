// The errors of the metadata classes. Each carries its fixed message; the conversion run
// treats any of them as a failure of the file it is working on.
#pragma once

#include <stdexcept>
#include <string>

#include "base/Error.h"

namespace engine::exif {

class ExifError : public base::Error {
public:
  explicit ExifError(const std::string& message) : base::Error(message) {}
};

class InvalidJpegHeader : public ExifError {
public:
  InvalidJpegHeader() : ExifError("JPEG header is not valid") {}
};

class InvalidTiffData : public ExifError {
public:
  InvalidTiffData() : ExifError("Malformed TIFF data") {}
};

class NotOnlyAsciiError : public ExifError {
public:
  NotOnlyAsciiError() : ExifError("Tag may contain only ASCII string data") {}
};

class InvalidXmpPacket : public ExifError {
public:
  InvalidXmpPacket() : ExifError("XMP packet is not valid") {}
};

}  // namespace engine::exif
