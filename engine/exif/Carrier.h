// The conversion run's metadata hooks carried out with ExifData: the Exif block and XMP
// packet of a JPEG source go into its JPEG output with Software set to "Corvana Vexilo", the
// orientation set upright when the pixels were turned, and without the personal data when the
// job strips them.
#pragma once

#include <memory>
#include <string>

#include "engine/ConversionRun.h"

namespace engine::exif {

inline constexpr char kCarriedSoftware[] = "Corvana Vexilo";

class ExifMetadataCarrier : public MetadataCarrier {
public:
  // Loads the metadata and sets Software. A source whose metadata cannot be read still gives
  // a block: its error is raised by the write, so that only a JPEG output, which would have
  // carried the metadata, reports the failure, and an output of another type is not held up.
  // The changes are made right away (ExifData::MarkUpright, StripPersonalData); the write
  // then puts the changed block into the output.
  std::unique_ptr<CarriedMetadata> Read(const std::string& sourcePath, const CarryChanges& changes) override;
};

}  // namespace engine::exif
