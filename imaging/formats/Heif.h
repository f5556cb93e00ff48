// What a HEIF file's primary image carries beside its pixels, for the metadata carry-over.
//
// libheif gives the pixels with the file's transformations (irot, imir, clap) applied, so the
// decoded picture already shows as the file means it. Cameras write the same turn into the
// Exif orientation as well; it describes the stored pixels, so it must not be applied to the
// decoded picture a second time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imaging::formats {

struct HeifMetadata {
  std::vector<uint8_t> Exif;        // the Exif block from its TIFF header on ("II*\0" or "MM\0*"), or empty
  std::vector<uint8_t> IccProfile;  // the profile of a 'prof' or 'rICC' colour box, or empty
  int32_t ExifOrientation = 0;      // tag 274 of the Exif block, 1 to 8; 0 when there is none
};

// Reads the metadata of a HEIF file without decoding its pixels. Raises ImagingError when the
// file cannot be opened or libheif refuses it.
void ReadHeifMetadata(const std::string& fileName, HeifMetadata& metadata);

// Whether this libheif can write HEIC files (it has an HEVC encoder).
bool HeifCanWrite();

}  // namespace imaging::formats
