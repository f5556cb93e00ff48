// JPEG XL reading and writing through libjxl. Reading gives the first frame (of an animation the
// first picture a player shows) in 8 bits or, for deeper and floating-point files, 16 bits per
// channel, colour or gray, with or without alpha. libjxl applies the orientation of the code
// stream while decoding, so the picture comes upright and the load reports orientation 1; the
// header reader gives the turned size too. Writing stores 8 or 16-bit colour or gray with or
// without alpha and the options' colour profile, lossy at a butteraugli distance derived from
// the quality, or lossless.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include <jxl/decode.h>
#include <jxl/encode.h>

#include "imaging/Codec.h"
#include "imaging/ColorProfile.h"
#include "imaging/Headers.h"
#include "imaging/formats/Jxl.h"

namespace imaging::formats {

namespace {

struct DecoderDeleter {
  void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct EncoderDeleter {
  void operator()(JxlEncoder* e) const { JxlEncoderDestroy(e); }
};
using LibraryDecoder = std::unique_ptr<JxlDecoder, DecoderDeleter>;
using LibraryEncoder = std::unique_ptr<JxlEncoder, EncoderDeleter>;

// libjxl keeps every channel of a frame, extra channels included, as a plane of 4-byte
// samples. The channels of a picture may add up to the pixels of a four-channel picture at the
// library's limit; more extra channels (depth, spot colours, ...) are refused before decoding.
constexpr int64_t kMaxChannelPixels = kMaxImagePixels * 4;

// The file is given to libjxl in pieces of this size; unused bytes of a piece stay for the next.
constexpr size_t kInputPiece = 64 * 1024;

bool HasJxlSignature(const uint8_t* bytes, size_t size) {
  const JxlSignature signature = JxlSignatureCheck(bytes, size);
  return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

// Feeds the stream to a decoder in pieces and runs it to the next event it was asked for.
class JxlInput {
public:
  JxlInput(JxlDecoder* decoder, Stream& stream) : decoder_(decoder), stream_(stream) {}

  // The next event (or a request for an output buffer); raises for damaged or cut data.
  JxlDecoderStatus Next() {
    for (;;) {
      const JxlDecoderStatus status = JxlDecoderProcessInput(decoder_);
      if (status == JXL_DEC_ERROR) RaiseImaging("JPEG XL: the code stream is damaged.");
      if (status != JXL_DEC_NEED_MORE_INPUT) return status;
      if (!ReadPiece()) RaiseImaging("JPEG XL: the file is truncated.");
    }
  }

private:
  bool ReadPiece() {
    const size_t unused = given_ ? JxlDecoderReleaseInput(decoder_) : 0;
    if (finished_) return false;
    // Keep the bytes libjxl has not used, then append the next piece.
    if (unused > 0) std::memmove(buffer_.data(), buffer_.data() + (buffer_.size() - unused), unused);
    buffer_.resize(unused + kInputPiece);
    const int64_t read = stream_.Read(buffer_.data() + unused, int64_t(kInputPiece));
    buffer_.resize(unused + size_t(std::max<int64_t>(read, 0)));
    if (read < int64_t(kInputPiece)) {
      finished_ = true;
      if (read <= 0) return false;
    }
    // The input is not closed at the end: libjxl then asks for more, which tells a file that
    // ends early from damaged data.
    JxlDecoderSetInput(decoder_, buffer_.data(), buffer_.size());
    given_ = true;
    return true;
  }

  JxlDecoder* decoder_;
  Stream& stream_;
  std::vector<uint8_t> buffer_;
  bool given_ = false;
  bool finished_ = false;
};

LibraryDecoder CreateLibraryDecoder(int events) {
  LibraryDecoder decoder(JxlDecoderCreate(nullptr));
  if (!decoder) RaiseImaging("JPEG XL: out of memory.");
  // The default single-threaded runner: a run decodes several files at once.
  if (JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS)
    RaiseImaging("JPEG XL: libjxl refuses the decoder's settings.");
  JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE);
  return decoder;
}

// The basic information of the code stream, checked against the library's limits.
JxlBasicInfo ReadBasicInfo(JxlDecoder* decoder, JxlInput& input) {
  if (input.Next() != JXL_DEC_BASIC_INFO) RaiseImaging("JPEG XL: the code stream has no header.");
  JxlBasicInfo info;
  if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS) RaiseImaging("JPEG XL: the header is damaged.");
  CheckImageDimensions(info.xsize, info.ysize, "JPEG XL file");
  const int64_t channels = int64_t(info.num_color_channels) + info.num_extra_channels;
  if (int64_t(info.xsize) * info.ysize * channels > kMaxChannelPixels)
    RaiseImaging("JPEG XL: %u channels of %u x %u pixels exceed the supported maximum.", unsigned(channels),
                 unsigned(info.xsize), unsigned(info.ysize));
  return info;
}

// Whether the stream starts with a code stream or a JPEG XL container; leaves it where it was.
bool StartsWithJxlSignature(Stream& stream) {
  uint8_t head[12];
  const int64_t start = stream.Position();
  const int64_t n = stream.Read(head, sizeof head);
  stream.Seek(start, SeekOrigin::Begin);
  return n >= 2 && HasJxlSignature(head, size_t(n));
}

void CheckSignature(Stream& stream) {
  if (!StartsWithJxlSignature(stream))
    RaiseImaging("JPEG XL: the data start with neither a code stream nor a JPEG XL container.");
}

// The library's format for what a load gives of a file with this header.
PixelFormat NearestFormat(const JxlBasicInfo& info) {
  const bool wide = info.bits_per_sample > 8 || info.exponent_bits_per_sample > 0;
  const bool alpha = info.alpha_bits > 0;
  if (info.num_color_channels == 1)
    return wide ? (alpha ? PixelFormat::A16Gray16 : PixelFormat::Gray16) : (alpha ? PixelFormat::A8Gray8 : PixelFormat::Gray8);
  return wide ? (alpha ? PixelFormat::A16R16G16B16 : PixelFormat::R16G16B16)
              : (alpha ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8);
}

// libjxl gives red first; the library keeps blue first. Swaps the two in every pixel.
template <typename T>
void SwapRedAndBlue(uint8_t* bits, size_t pixels, size_t channels) {
  T* p = reinterpret_cast<T*>(bits);
  for (size_t i = 0; i < pixels; ++i, p += channels) std::swap(p[0], p[2]);
}

bool IsSRGB(const JxlColorEncoding& encoding) {
  return encoding.white_point == JXL_WHITE_POINT_D65 && encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB &&
         (encoding.color_space == JXL_COLOR_SPACE_GRAY ||
          (encoding.color_space == JXL_COLOR_SPACE_RGB && encoding.primaries == JXL_PRIMARIES_SRGB));
}

class JxlCodec : public Codec {
public:
  JxlCodec() {
    Name = "JPEG XL Image";
    CanLoad = true;
    CanSave = true;
    IsMultiImage = false;
    SupportedFormats = MakeFormatSet({PixelFormat::R8G8B8, PixelFormat::A8R8G8B8, PixelFormat::R16G16B16,
                                      PixelFormat::A16R16G16B16, PixelFormat::Gray8, PixelFormat::A8Gray8,
                                      PixelFormat::Gray16, PixelFormat::A16Gray16});
    AddMasks("*.jxl");
    CanReadHeader = true;
  }

  bool ProbeStream(Stream& stream) const override { return StartsWithJxlSignature(stream); }

  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

class JxlImageDecoder : public Decoder {
public:
  using Decoder::Decoder;

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool) override {
    CheckSignature(stream);
    LibraryDecoder decoder = CreateLibraryDecoder(JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE);
    JxlInput input(decoder.get(), stream);
    const JxlBasicInfo info = ReadBasicInfo(decoder.get(), input);
    if (input.Next() != JXL_DEC_COLOR_ENCODING) RaiseImaging("JPEG XL: the colour encoding is missing.");
    ReadColorProfile(decoder.get(), info);

    const PixelFormat format = NearestFormat(info);
    const bool wide = format == PixelFormat::Gray16 || format == PixelFormat::A16Gray16 ||
                      format == PixelFormat::R16G16B16 || format == PixelFormat::A16R16G16B16;
    const uint32_t channels = info.num_color_channels + (info.alpha_bits > 0 ? 1u : 0u);
    const JxlPixelFormat pixels{channels, wide ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    Image& image = images.emplace_back();
    if (!CreateImage(int32_t(info.xsize), int32_t(info.ysize), format, image))
      RaiseImaging("Cannot create a JPEG XL image.");
    const size_t imageBytes = size_t(info.xsize) * info.ysize * channels * (wide ? 2u : 1u);

    // The first frame a player shows; libjxl composes the frames of an animation.
    for (;;) {
      const JxlDecoderStatus status = input.Next();
      if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
        size_t needed = 0;
        if (JxlDecoderImageOutBufferSize(decoder.get(), &pixels, &needed) != JXL_DEC_SUCCESS || needed != imageBytes)
          RaiseImaging("JPEG XL: the frame does not have the picture's size.");
        if (JxlDecoderSetImageOutBuffer(decoder.get(), &pixels, image.Bits(), imageBytes) != JXL_DEC_SUCCESS)
          RaiseImaging("JPEG XL: libjxl refuses the output buffer.");
      } else if (status == JXL_DEC_FULL_IMAGE) {
        break;
      } else if (status == JXL_DEC_SUCCESS) {
        RaiseImaging("JPEG XL: the file holds no picture.");
      }
    }
    if (channels >= 3) {
      const size_t count = size_t(info.xsize) * info.ysize;
      if (wide) SwapRedAndBlue<uint16_t>(image.Bits(), count, channels);
      else SwapRedAndBlue<uint8_t>(image.Bits(), count, channels);
    }
    return true;
  }

private:
  // Chooses the colour space of the decoded samples and reports the profile that describes
  // them: none for sRGB, the file's own profile for pixels kept in it, libjxl's description of
  // any other encoding. Lossy pictures whose file carries an ICC profile come as sRGB (libjxl
  // has no colour management to reach that profile).
  void ReadColorProfile(JxlDecoder* decoder, const JxlBasicInfo& info) {
    JxlColorEncoding original;
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &original) !=
        JXL_DEC_SUCCESS) {
      JxlColorEncoding srgb;
      JxlColorEncodingSetToSRGB(&srgb, info.num_color_channels == 1 ? JXL_TRUE : JXL_FALSE);
      JxlDecoderSetPreferredColorProfile(decoder, &srgb);
    }
    JxlColorEncoding data;
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &data) == JXL_DEC_SUCCESS &&
        IsSRGB(data))
      return;
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS ||
        size == 0)
      return;
    if (size <= kMaxColorProfileBytes) {
      std::vector<uint8_t> bytes(size);
      if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, bytes.data(), size) ==
          JXL_DEC_SUCCESS)
        Facts.profile = MakeColorProfile(std::move(bytes));
    }
    if (!Facts.profile) AddLoadWarning("The JPEG XL file's colour profile is damaged; it is left out");
  }
};

class JxlImageEncoder : public Encoder {
public:
  using Encoder::Encoder;

  void ConvertForSave(Image& image, const PixelFormatInfo& info) override {
    const bool wide = info.IsFloatingPoint || (info.ChannelCount > 0 && info.BytesPerPixel / info.ChannelCount > 1);
    PixelFormat target;
    if (info.HasGrayChannel)
      target = wide ? (info.HasAlphaChannel ? PixelFormat::A16Gray16 : PixelFormat::Gray16)
                    : (info.HasAlphaChannel ? PixelFormat::A8Gray8 : PixelFormat::Gray8);
    else
      target = wide ? (info.HasAlphaChannel ? PixelFormat::A16R16G16B16 : PixelFormat::R16G16B16)
                    : (info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8);
    ConvertImageFormat(image, target);
  }

  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override {
    PreparedImage prepared;
    if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;
    const Image& image = prepared;
    const PixelFormatInfo& format = *FindFormatInfo(image.Format());
    const bool gray = format.HasGrayChannel;
    const bool alpha = format.HasAlphaChannel;
    const uint32_t channels = (gray ? 1u : 3u) + (alpha ? 1u : 0u);
    const bool wide = uint32_t(format.BytesPerPixel) == channels * 2u;
    const bool lossless = Options.jxl.lossless;

    LibraryEncoder encoder(JxlEncoderCreate(nullptr));
    if (!encoder) RaiseImaging("JPEG XL: out of memory.");
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(image.Width());
    info.ysize = uint32_t(image.Height());
    info.bits_per_sample = wide ? 16 : 8;
    info.num_color_channels = gray ? 1 : 3;
    info.num_extra_channels = alpha ? 1 : 0;
    info.alpha_bits = alpha ? info.bits_per_sample : 0;
    // Lossless pictures keep their samples in the file's colour space; lossy ones go to XYB.
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    Check(encoder.get(), JxlEncoderSetBasicInfo(encoder.get(), &info), "the picture's header");
    if (const ColorProfile profile = SaveProfileFor(image.Format())) {
      Check(encoder.get(), JxlEncoderSetICCProfile(encoder.get(), profile->data(), profile->size()),
            "the colour profile");
    } else {
      JxlColorEncoding srgb;
      JxlColorEncodingSetToSRGB(&srgb, gray ? JXL_TRUE : JXL_FALSE);
      Check(encoder.get(), JxlEncoderSetColorEncoding(encoder.get(), &srgb), "the colour encoding");
    }

    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (!settings) RaiseImaging("JPEG XL: out of memory.");
    Check(encoder.get(), JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, Options.jxl.effort),
          "the effort");
    if (lossless) Check(encoder.get(), JxlEncoderSetFrameLossless(settings, JXL_TRUE), "lossless coding");
    else Check(encoder.get(), JxlEncoderSetFrameDistance(settings, JxlDistanceForQuality(Options.jxl.quality)), "the distance");

    // libjxl takes red first; the picture keeps blue first.
    std::vector<uint8_t> samples(image.Bits(), image.Bits() + size_t(format.BytesPerPixel) * size_t(image.Width()) *
                                                                  size_t(image.Height()));
    if (!gray) {
      const size_t count = size_t(image.Width()) * size_t(image.Height());
      if (wide) SwapRedAndBlue<uint16_t>(samples.data(), count, channels);
      else SwapRedAndBlue<uint8_t>(samples.data(), count, channels);
    }
    const JxlPixelFormat pixels{channels, wide ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    Check(encoder.get(), JxlEncoderAddImageFrame(settings, &pixels, samples.data(), samples.size()), "the picture");
    samples = {};
    JxlEncoderCloseInput(encoder.get());

    std::vector<uint8_t> output(64 * 1024);
    uint8_t* next = output.data();
    size_t available = output.size();
    for (;;) {
      const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &available);
      if (status == JXL_ENC_SUCCESS) break;
      if (status != JXL_ENC_NEED_MORE_OUTPUT) Check(encoder.get(), status, "the picture");
      const size_t used = size_t(next - output.data());
      output.resize(output.size() * 2);
      next = output.data() + used;
      available = output.size() - used;
    }
    stream.WriteExact(output.data(), int64_t(next - output.data()), "JPEG XL data");
    return true;
  }

protected:
  void ValidateOptions() override {
    JxlOptions& jxl = Options.jxl;
    if (static_cast<uint32_t>(jxl.quality - 1) >= 100u) jxl.quality = 90;
    if (jxl.effort < 1 || jxl.effort > 9) jxl.effort = 7;
  }

private:
  static void Check(JxlEncoder* encoder, JxlEncoderStatus status, const char* what) {
    if (status == JXL_ENC_SUCCESS) return;
    switch (JxlEncoderGetError(encoder)) {
      case JXL_ENC_ERR_OOM: RaiseImaging("JPEG XL: out of memory while encoding %s.", what);
      case JXL_ENC_ERR_BAD_INPUT: RaiseImaging("JPEG XL: libjxl refuses %s.", what);
      default: RaiseImaging("JPEG XL: cannot encode %s.", what);
    }
  }
};

std::unique_ptr<Decoder> JxlCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<JxlImageDecoder>(options);
}

std::unique_ptr<Encoder> JxlCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<JxlImageEncoder>(*this, options);
}

// The size libjxl gives (already turned by the orientation) and the format a load gives.
ImageHeader JxlCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  CheckSignature(stream);
  LibraryDecoder decoder = CreateLibraryDecoder(JXL_DEC_BASIC_INFO);
  JxlInput input(decoder.get(), stream);
  const JxlBasicInfo info = ReadBasicInfo(decoder.get(), input);
  ImageHeader header;
  header.Width = int32_t(info.xsize);
  header.Height = int32_t(info.ysize);
  header.Format = NearestFormat(info);
  return header;
}

}  // namespace

// The distance cjxl gives a quality: 0.1 at 100, 0.09 more per step down to 30 (6.4), then
// growing faster to 15 at 1 (libjxl's documented mapping of `cjxl -q`).
float JxlDistanceForQuality(int32_t quality) {
  const double q = std::clamp(quality, 1, 100);
  if (q >= 30) return float(0.1 + (100 - q) * 0.09);
  return float(std::min(6.4 + std::pow(2.5, (30 - q) / 5.0) / 6.25, 15.0));
}

std::unique_ptr<Codec> CreateJxlCodec() { return std::make_unique<JxlCodec>(); }

}  // namespace imaging::formats
