// JPEG codec through libjpeg (library interface 62), and its variant that reads and writes
// through a caller-given input/output table (used for the JPEG streams inside JNG files).
#pragma once

#include "imaging/Codec.h"

struct jpeg_marker_struct;

namespace imaging {

class JpegCodec : public Codec {
public:
  JpegCodec();

  int32_t Quality = 90;     // 1..100, option 10
  int32_t Progressive = 0;  // boolean, option 11

  bool ReadImages(const IOHandle& handle, std::vector<Image>& images, bool onlyFirst) override;
  bool WriteImage(const IOHandle& handle, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;
  bool ProbeStream(const IOHandle& handle) const override;
  void ValidateOptions() override;

protected:
  // For instances that are not the registered codec: binds no options.
  struct Unregistered {};
  explicit JpegCodec(Unregistered);

  // The table libjpeg's source and destination managers reach the data through; the
  // registered codec uses the table the handle was opened with.
  virtual const IOFunctions& SetJpegStreamIO(const IOHandle& handle);

private:
  void InitIdentity();
  // Sets LoadedOrientation and IccProfile from the saved APP1 and APP2 segments.
  void ReadPhotoMetadata(jpeg_marker_struct* const markers);
};

// A JPEG codec instance that reads and writes through the table given to UseStreamIO. It is
// never registered and binds no options; its owner sets Quality and Progressive directly.
class EmbeddedJpegCodec : public JpegCodec {
public:
  EmbeddedJpegCodec();
  void UseStreamIO(const IOFunctions& io) { streamIO_ = &io; }

protected:
  const IOFunctions& SetJpegStreamIO(const IOHandle& handle) override;

private:
  const IOFunctions* streamIO_ = nullptr;
};

}  // namespace imaging
