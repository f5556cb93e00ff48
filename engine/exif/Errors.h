// The errors of the metadata classes. Each carries its fixed message; the conversion run
// treats any of them as a failure of the file it is working on.
#pragma once

#include <stdexcept>
#include <string>

#include "base/Error.h"

namespace engine::exif {

class EExifError : public base::Error {
public:
  explicit EExifError(const std::string& message) : base::Error(message) {}
};

class EInvalidJPEGHeader : public EExifError {
public:
  EInvalidJPEGHeader() : EExifError("JPEG header is not valid") {}
};

class EInvalidTiffData : public EExifError {
public:
  EInvalidTiffData() : EExifError("Malformed TIFF data") {}
};

class ENotOnlyASCIIError : public EExifError {
public:
  ENotOnlyASCIIError() : EExifError("Tag may contain only ASCII string data") {}
};

class EInvalidXMPPacket : public EExifError {
public:
  EInvalidXMPPacket() : EExifError("XMP packet is not valid") {}
};

}  // namespace engine::exif
