#include "engine/exif/ExifCarrier.h"

#include "engine/exif/ExifData.h"
#include "engine/exif/ExifErrors.h"

namespace vexilo {

namespace exif {

namespace {

class TCarriedExif : public CarriedMetadata {
public:
  explicit TCarriedExif(const std::string& sourcePath) {
    try {
      data_.LoadFromJPEG(sourcePath);
      data_.SetSoftware(kCarriedSoftware);
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

std::unique_ptr<CarriedMetadata> TExifMetadataCarrier::Read(const std::string& sourcePath) {
  return std::make_unique<TCarriedExif>(sourcePath);
}

}  // namespace exif

MetadataCarrier* DefaultMetadataCarrier() {
  static exif::TExifMetadataCarrier carrier;
  return &carrier;
}

}  // namespace vexilo
