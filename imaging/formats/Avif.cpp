// AVIF reading and writing through libavif. Reading gives the primary image (of an image
// sequence the first frame) in 8 bits or, for 10 and 12-bit files, 16 bits per channel, colour
// or gray, with or without alpha, turned and mirrored as the file's irot and imir boxes say.
// Writing stores 8-bit colour with or without alpha, lossy at a quality or lossless.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include <avif/avif.h>

#include "imaging/Codec.h"
#include "imaging/ColorProfile.h"
#include "imaging/Headers.h"
#include "imaging/Orientation.h"
#include "imaging/formats/CodecUtils.h"
#include "imaging/formats/IsoMedia.h"

namespace imaging::formats {

namespace {

struct DecoderDeleter {
  void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
struct EncoderDeleter {
  void operator()(avifEncoder* e) const { avifEncoderDestroy(e); }
};
struct AvifImageDeleter {
  void operator()(avifImage* i) const { avifImageDestroy(i); }
};
using LibraryDecoder = std::unique_ptr<avifDecoder, DecoderDeleter>;

bool HasAvifBrand(const uint8_t* bytes, size_t size) { return isomedia::HasFileTypeBrand(bytes, size, {"avif", "avis"}); }

// What a failed libavif call means to the user, with the library's own detail when it gives one.
const char* AvifCause(avifResult result, const avifDiagnostics& diag) {
  // libavif refuses pictures above the limits the decoder is given, and boxes cut short, as a
  // damaged box structure; its detail tells which.
  if (result == AVIF_RESULT_BMFF_PARSE_FAILED && std::strstr(diag.error, "too large"))
    return "the picture exceeds the supported maximum (65535 pixels per side, 268435456 pixels in all)";
  if (result == AVIF_RESULT_BMFF_PARSE_FAILED && std::strstr(diag.error, "truncated")) return "the file is truncated";
  switch (result) {
    case AVIF_RESULT_TRUNCATED_DATA: return "the file is truncated";
    case AVIF_RESULT_IO_ERROR: return "the file ends before the data its boxes point at";
    case AVIF_RESULT_BMFF_PARSE_FAILED: return "the box structure is damaged";
    case AVIF_RESULT_INVALID_FTYP: return "the file type box names no AVIF brand";
    case AVIF_RESULT_NO_CONTENT:
    case AVIF_RESULT_NO_AV1_ITEMS_FOUND: return "the file holds no picture";
    case AVIF_RESULT_DECODE_COLOR_FAILED: return "the picture data are damaged";
    case AVIF_RESULT_DECODE_ALPHA_FAILED: return "the transparency data are damaged";
    case AVIF_RESULT_COLOR_ALPHA_SIZE_MISMATCH: return "the transparency does not match the picture's size";
    case AVIF_RESULT_ISPE_SIZE_MISMATCH: return "the picture does not have the size its header states";
    case AVIF_RESULT_INVALID_IMAGE_GRID: return "the picture grid is invalid";
    case AVIF_RESULT_NO_CODEC_AVAILABLE: return "libavif has no AV1 codec for this task";
    case AVIF_RESULT_OUT_OF_MEMORY: return "out of memory";
    default: return avifResultToString(result);
  }
}

[[noreturn]] void RaiseAvif(avifResult result, const avifDiagnostics& diag) {
  if (diag.error[0] != '\0') RaiseImaging("AVIF: %s (%s).", AvifCause(result, diag), diag.error);
  RaiseImaging("AVIF: %s.", AvifCause(result, diag));
}

// libavif reads the file through this: the bytes it asks for, from the codec's stream, into a
// buffer that stays valid until the next read (libavif copies what it keeps).
struct AvifInput {
  avifIO io;  // first, so that libavif's pointer is this object's
  Stream* stream;
  int64_t start;
  std::vector<uint8_t> buffer;

  static avifResult Read(avifIO* io, uint32_t readFlags, uint64_t offset, size_t size, avifROData* out) {
    auto* self = reinterpret_cast<AvifInput*>(io);
    if (readFlags != 0 || offset > io->sizeHint) return AVIF_RESULT_IO_ERROR;
    size = static_cast<size_t>(std::min<uint64_t>(size, io->sizeHint - offset));
    try {
      self->buffer.resize(size);
      if (self->stream->Seek(self->start + int64_t(offset), SeekOrigin::Begin) != self->start + int64_t(offset) ||
          self->stream->Read(self->buffer.data(), int64_t(size)) != int64_t(size))
        return AVIF_RESULT_IO_ERROR;
    } catch (...) {
      return AVIF_RESULT_IO_ERROR;
    }
    out->data = self->buffer.data();
    out->size = size;
    return AVIF_RESULT_OK;
  }
};

// A decoder over the stream's data, parsed: the container's facts are known, no pixel is
// decoded yet. Files above the library's size limits are refused here.
LibraryDecoder ParseAvif(Stream& stream, AvifInput& io) {
  uint8_t head[isomedia::kFileTypeProbeSize];
  const size_t headSize = isomedia::PeekFileType(stream, head);
  if (headSize < 16) RaiseImaging("AVIF: the file is too short for a file type box.");
  if (!HasAvifBrand(head, headSize)) RaiseImaging("AVIF: the data do not start with an AVIF file type box.");

  LibraryDecoder decoder(avifDecoderCreate());
  if (!decoder) RaiseImaging("AVIF: out of memory.");
  // One thread per file: a run decodes several files at once.
  decoder->maxThreads = 1;
  // Conformance details (a missing pixi box, an odd clap) do not stop a picture from showing.
  decoder->strictFlags = AVIF_STRICT_DISABLED;
  decoder->ignoreExif = AVIF_TRUE;
  decoder->ignoreXMP = AVIF_TRUE;
  decoder->imageSizeLimit = static_cast<uint32_t>(kMaxImagePixels);
  decoder->imageDimensionLimit = static_cast<uint32_t>(kMaxImageSide);

  std::memset(&io.io, 0, sizeof io.io);
  io.io.read = AvifInput::Read;
  io.io.sizeHint = static_cast<uint64_t>(stream.Remaining());
  io.io.persistent = AVIF_FALSE;
  io.stream = &stream;
  io.start = stream.Position();
  avifDecoderSetIO(decoder.get(), &io.io);  // io.destroy is unset: the decoder leaves `io` alone

  const avifResult parsed = avifDecoderParse(decoder.get());
  if (parsed != AVIF_RESULT_OK) RaiseAvif(parsed, decoder->diag);
  CheckImageDimensions(decoder->image->width, decoder->image->height, "AVIF file");
  return decoder;
}

// The library's format nearest to a picture of this depth, colour and alpha.
PixelFormat NearestFormat(uint32_t depth, avifPixelFormat yuvFormat, bool alpha) {
  const bool wide = depth > 8;
  if (yuvFormat == AVIF_PIXEL_FORMAT_YUV400)
    return wide ? (alpha ? PixelFormat::A16Gray16 : PixelFormat::Gray16) : (alpha ? PixelFormat::A8Gray8 : PixelFormat::Gray8);
  return wide ? (alpha ? PixelFormat::A16R16G16B16 : PixelFormat::R16G16B16)
              : (alpha ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8);
}

// Quarter turns counter-clockwise of the irot box (0 to 3), 0 when the file has none.
uint8_t QuarterTurns(const avifImage& avif) {
  return (avif.transformFlags & AVIF_TRANSFORM_IROT) ? uint8_t(avif.irot.angle & 3) : 0;
}

// Gives the image the turn (irot, counter-clockwise) and then the mirroring (imir) the file
// asks for; the container applies them in this order. Each of the twelve combinations is one
// of the eight Exif orientations, which the library knows how to stand upright.
void ApplyTransforms(Image& image, const avifImage& avif) {
  // Rows: quarter turns; columns: no mirror, top and bottom exchanged (imir mode 0), left and
  // right exchanged (mode 1).
  static constexpr int32_t kOrientation[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
  const int mirror = (avif.transformFlags & AVIF_TRANSFORM_IMIR) ? (avif.imir.mode == 0 ? 1 : 2) : 0;
  const int32_t orientation = kOrientation[QuarterTurns(avif)][mirror];
  if (orientation != kOrientationTopLeft && !OrientImage(image, orientation))
    RaiseImaging("AVIF: cannot turn the picture as the file says.");
}

// Takes the gray and alpha samples out of blue-green-red(-alpha) rows of T.
template <typename T>
void CollapseToGray(const uint8_t* rgb, size_t pixels, bool alpha, uint8_t* target) {
  const size_t channels = alpha ? 4 : 3;
  const T* s = reinterpret_cast<const T*>(rgb);
  T* t = reinterpret_cast<T*>(target);
  for (size_t i = 0; i < pixels; ++i, s += channels) {
    *t++ = s[1];
    if (alpha) *t++ = s[3];
  }
}

class AvifCodec : public Codec {
public:
  AvifCodec() {
    Name = "AVIF Image";
    CanLoad = true;
    CanSave = true;
    IsMultiImage = false;
    SupportedFormats = MakeFormatSet({PixelFormat::R8G8B8, PixelFormat::A8R8G8B8});
    AddMasks("*.avif");
    CanReadHeader = true;
  }

  bool ProbeStream(Stream& stream) const override {
    uint8_t bytes[isomedia::kFileTypeProbeSize];
    const size_t n = isomedia::PeekFileType(stream, bytes);
    return HasAvifBrand(bytes, n);
  }

  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

class AvifDecoder : public Decoder {
public:
  using Decoder::Decoder;

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool) override {
    AvifInput io;
    LibraryDecoder decoder = ParseAvif(stream, io);
    const avifResult decoded = avifDecoderNextImage(decoder.get());
    if (decoded != AVIF_RESULT_OK) RaiseAvif(decoded, decoder->diag);
    const avifImage& avif = *decoder->image;
    // The AV1 data may state another size than the container did.
    CheckImageDimensions(avif.width, avif.height, "AVIF picture");

    const bool alpha = avif.alphaPlane != nullptr;
    const bool wide = avif.depth > 8;
    const bool gray = avif.yuvFormat == AVIF_PIXEL_FORMAT_YUV400;
    const PixelFormat format = NearestFormat(avif.depth, avif.yuvFormat, alpha);
    Image& image = images.emplace_back();
    if (!CreateImage(int32_t(avif.width), int32_t(avif.height), format, image))
      RaiseImaging("Cannot create an AVIF image.");

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &avif);
    rgb.depth = wide ? 16 : 8;
    rgb.format = alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
    rgb.rowBytes = avif.width * (alpha ? 4u : 3u) * (wide ? 2u : 1u);
    // Gray goes through colour rows; everything else lands in the image directly.
    std::vector<uint8_t> colour;
    if (gray) {
      colour.resize(size_t(rgb.rowBytes) * avif.height);
      rgb.pixels = colour.data();
    } else {
      rgb.pixels = image.Bits();
    }
    const avifResult converted = avifImageYUVToRGB(&avif, &rgb);
    if (converted != AVIF_RESULT_OK) RaiseAvif(converted, decoder->diag);
    if (gray) {
      const size_t pixels = size_t(avif.width) * avif.height;
      if (wide) CollapseToGray<uint16_t>(colour.data(), pixels, alpha, image.Bits());
      else CollapseToGray<uint8_t>(colour.data(), pixels, alpha, image.Bits());
    }
    ApplyTransforms(image, avif);
    if (avif.icc.size > 0) {
      if (avif.icc.size <= kMaxColorProfileBytes)
        Facts.profile = MakeColorProfile(std::vector<uint8_t>(avif.icc.data, avif.icc.data + avif.icc.size));
      if (!Facts.profile) AddLoadWarning("The AVIF file's colour profile is damaged; it is left out");
    }
    return true;
  }
};

class AvifEncoder : public Encoder {
public:
  using Encoder::Encoder;

  void ConvertForSave(Image& image, const PixelFormatInfo& info) override {
    ConvertImageFormat(image, info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8);
  }

  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override {
    PreparedImage prepared;
    if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;
    const Image& image = prepared;
    const bool alpha = image.Format() == PixelFormat::A8R8G8B8;
    const bool lossless = Options.avif.lossless;

    // Lossless files keep red, green and blue as they are (identity matrix, no subsampling);
    // lossy ones at a high quality keep the full colour resolution as well.
    const avifPixelFormat yuvFormat = lossless || Options.avif.quality >= 90 ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420;
    std::unique_ptr<avifImage, AvifImageDeleter> avif(
        avifImageCreate(uint32_t(image.Width()), uint32_t(image.Height()), 8, yuvFormat));
    if (!avif) RaiseImaging("AVIF: out of memory for a picture of %d x %d pixels.", image.Width(), image.Height());
    avif->yuvRange = AVIF_RANGE_FULL;
    avif->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    avif->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    avif->matrixCoefficients = lossless ? AVIF_MATRIX_COEFFICIENTS_IDENTITY : AVIF_MATRIX_COEFFICIENTS_BT601;
    // A profile describes the colours; the nclx values above then only tell how YUV maps to RGB.
    if (const ColorProfile profile = SaveProfileFor(image.Format()))
      avifImageSetProfileICC(avif.get(), profile->data(), profile->size());

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, avif.get());
    rgb.depth = 8;
    rgb.format = alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
    rgb.pixels = const_cast<uint8_t*>(image.Bits());  // only read by the conversion to YUV
    rgb.rowBytes = uint32_t(image.Width()) * (alpha ? 4u : 3u);
    const avifResult converted = avifImageRGBToYUV(avif.get(), &rgb);
    if (converted != AVIF_RESULT_OK) RaiseImaging("AVIF: cannot convert the picture: %s.", avifResultToString(converted));

    std::unique_ptr<avifEncoder, EncoderDeleter> encoder(avifEncoderCreate());
    if (!encoder) RaiseImaging("AVIF: out of memory.");
    encoder->maxThreads = 1;
    encoder->speed = Options.avif.speed;
    const int quantizer = lossless ? AVIF_QUANTIZER_LOSSLESS : ((100 - Options.avif.quality) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100;
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    // Transparency is kept exactly, as the WebP codec keeps it.
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;

    avifRWData output = AVIF_DATA_EMPTY;
    struct OutputGuard {
      avifRWData* data;
      ~OutputGuard() { avifRWDataFree(data); }
    } outputGuard{&output};
    const avifResult written = avifEncoderWrite(encoder.get(), avif.get(), &output);
    if (written != AVIF_RESULT_OK) {
      if (encoder->diag.error[0] != '\0')
        RaiseImaging("AVIF: cannot encode: %s (%s).", avifResultToString(written), encoder->diag.error);
      RaiseImaging("AVIF: cannot encode: %s.", avifResultToString(written));
    }
    stream.WriteExact(output.data, static_cast<int64_t>(output.size), "AVIF data");
    return true;
  }

protected:
  void ValidateOptions() override {
    AvifOptions& avif = Options.avif;
    if (static_cast<uint32_t>(avif.quality - 1) >= 100u) avif.quality = 60;
    if (static_cast<uint32_t>(avif.speed) > uint32_t(AVIF_SPEED_FASTEST)) avif.speed = 6;
  }
};

std::unique_ptr<Decoder> AvifCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<AvifDecoder>(options);
}

std::unique_ptr<Encoder> AvifCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<AvifEncoder>(*this, options);
}

}  // namespace

std::unique_ptr<Codec> CreateAvifCodec() { return std::make_unique<AvifCodec>(); }

// The container's facts after parsing, before any AV1 data is decoded: the size after a
// quarter turn, alpha, gray and the depth as the reader will give them.
void ReadAvifHeader(Stream& stream, ImageHeader& header) {
  AvifInput io;
  LibraryDecoder decoder = ParseAvif(stream, io);
  const avifImage& avif = *decoder->image;
  const bool swap = (QuarterTurns(avif) & 1) != 0;
  header.Width = int32_t(swap ? avif.height : avif.width);
  header.Height = int32_t(swap ? avif.width : avif.height);
  header.Format = NearestFormat(avif.depth, avif.yuvFormat, decoder->alphaPresent != 0);
}

ImageHeader AvifCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  ImageHeader header;
  ReadAvifHeader(stream, header);
  return header;
}

}  // namespace imaging::formats
