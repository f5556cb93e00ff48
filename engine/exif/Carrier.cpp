#include "engine/exif/Carrier.h"

#include "engine/exif/Data.h"
#include "engine/exif/Errors.h"

namespace engine {

namespace exif {

namespace {

class TCarriedExif : public CarriedMetadata {
public:
  TCarriedExif(const std::string& sourcePath, const CarryChanges& changes) {
    try {
      data_.LoadFromJPEG(sourcePath);
      data_.SetSoftware(kCarriedSoftware);
      if (changes.uprightFrom != 1) data_.MarkUpright(changes.uprightFrom);
      if (changes.stripPersonal) data_.StripPersonalData();
    } catch (const EExifError& e) {
      readError_ = e.what();
      failed_ = true;
    }
  }

  void WriteInto(const std::string& outputPath) override {
    if (failed_) throw EExifError(readError_);
    data_.SaveToJPEG(outputPath);
  }

private:
  TExifData data_;
  bool failed_ = false;
  std::string readError_;
};

}  // namespace

std::unique_ptr<CarriedMetadata> TExifMetadataCarrier::Read(const std::string& sourcePath,
                                                            const CarryChanges& changes) {
  return std::make_unique<TCarriedExif>(sourcePath, changes);
}

}  // namespace exif

MetadataCarrier* DefaultMetadataCarrier() {
  static exif::TExifMetadataCarrier carrier;
  return &carrier;
}

}  // namespace engine
