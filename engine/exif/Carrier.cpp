#include "engine/exif/Carrier.h"

#include "engine/exif/Data.h"
#include "engine/exif/Errors.h"

namespace engine {

namespace exif {

namespace {

class CarriedExif : public CarriedMetadata {
public:
  CarriedExif(const std::string& sourcePath, const CarryChanges& changes) {
    try {
      data_.LoadFromJPEG(sourcePath);
      data_.SetSoftware(kCarriedSoftware);
      if (changes.uprightFrom != 1) data_.MarkUpright(changes.uprightFrom);
      if (changes.stripPersonal) data_.StripPersonalData();
    } catch (const ExifError& e) {
      readError_ = e.what();
      failed_ = true;
    }
  }

  void WriteInto(const std::string& outputPath) override {
    if (failed_) throw ExifError(readError_);
    data_.SaveToJPEG(outputPath);
  }

private:
  ExifData data_;
  bool failed_ = false;
  std::string readError_;
};

}  // namespace

std::unique_ptr<CarriedMetadata> ExifMetadataCarrier::Read(const std::string& sourcePath,
                                                            const CarryChanges& changes) {
  return std::make_unique<CarriedExif>(sourcePath, changes);
}

}  // namespace exif

MetadataCarrier* DefaultMetadataCarrier() {
  static exif::ExifMetadataCarrier carrier;
  return &carrier;
}

}  // namespace engine
