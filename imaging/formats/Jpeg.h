// JPEG codec through libjpeg (library interface 62); its decoder and encoder also read and
// write the JPEG streams inside JNG files.
#pragma once

#include "imaging/Codec.h"

struct jpeg_marker_struct;

namespace imaging::formats {

class JpegCodec : public Codec {
public:
  JpegCodec();

  bool ProbeStream(Stream& stream) const override;
  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;

  // A description of its own for the encoders of JPEG data inside other files (JNG).
  static const JpegCodec& Description();
};

// Reads one JPEG stream from the stream's position, leaving the stream right behind it.
class JpegDecoder : public Decoder {
public:
  using Decoder::Decoder;
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;

private:
  // Sets the orientation and colour profile of Facts from the saved APP1 and APP2 segments.
  void ReadPhotoMetadata(jpeg_marker_struct* const markers);
};

// Writes one picture as a JPEG stream at the quality and progression of the options.
class JpegEncoder : public Encoder {
public:
  using Encoder::Encoder;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;

protected:
  void ValidateOptions() override;
};

}  // namespace imaging::formats
