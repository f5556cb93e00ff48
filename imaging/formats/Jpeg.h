// JPEG codec through libjpeg (library interface 62), and an unregistered instance of it for the
// JPEG streams inside JNG files.
#pragma once

#include "imaging/Codec.h"

struct jpeg_marker_struct;

namespace imaging {

class JpegCodec : public Codec {
public:
  JpegCodec();

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;
  bool ProbeStream(Stream& stream) const override;
  void ValidateOptions() override;

private:
  // Sets the orientation and colour profile of Facts from the saved APP1 and APP2 segments.
  void ReadPhotoMetadata(jpeg_marker_struct* const markers);
};

// A JPEG codec instance that is never registered; its owner gives it the options (the JPEG
// quality and progression of a write, the load override format of a read) and hands it the
// stream of the embedded JPEG data.
class EmbeddedJpegCodec : public JpegCodec {
public:
  explicit EmbeddedJpegCodec(const CodecOptions& options);
};

}  // namespace imaging
