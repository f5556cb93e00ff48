// JPEG codec through libjpeg (library interface 62), and an unregistered instance of it for the
// JPEG streams inside JNG files.
#pragma once

#include "imaging/Codec.h"

struct jpeg_marker_struct;

namespace imaging {

class JpegCodec : public Codec {
public:
  JpegCodec();

  int32_t Quality = 90;     // 1..100, option 10
  int32_t Progressive = 0;  // boolean, option 11

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;
  bool ProbeStream(Stream& stream) const override;
  void ValidateOptions() override;

protected:
  // For instances that are not the registered codec: binds no options.
  struct Unregistered {};
  explicit JpegCodec(Unregistered);

private:
  void InitIdentity();
  // Sets LoadedOrientation and IccProfile from the saved APP1 and APP2 segments.
  void ReadPhotoMetadata(jpeg_marker_struct* const markers);
};

// A JPEG codec instance that is never registered and binds no options; its owner sets Quality
// and Progressive directly and hands it the stream of the embedded JPEG data.
class EmbeddedJpegCodec : public JpegCodec {
public:
  EmbeddedJpegCodec();
};

}  // namespace imaging
