// WebP reading and writing through libwebp: lossy (VP8) and lossless (VP8L) pictures with or
// without alpha, and animations. A load of the first image gives an animation's first frame,
// placed on its canvas; a full load gives every frame as the player shows it (libwebp's
// animation decoder composes them), with the frames' durations and the loop count. A save of
// several images writes an animation through libwebp's animation encoder.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include "imaging/Codec.h"
#include "imaging/Headers.h"

namespace imaging::formats {

void ParseWebPHeader(const uint8_t* bytes, size_t size, ImageHeader& header);

namespace {

constexpr size_t kRiffHeaderSize = 12;
constexpr uint32_t kAnimationFlag = 0x02;
constexpr uint32_t kAlphaFlag = 0x10;

uint32_t LittleEndian24(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); }
uint32_t LittleEndian32(const uint8_t* p) { return LittleEndian24(p) | (uint32_t(p[3]) << 24); }

bool IsWebPSignature(const uint8_t* p) {
  return std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "WEBP", 4) == 0;
}

struct DemuxDeleter {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

struct MuxDeleter {
  void operator()(WebPMux* m) const { WebPMuxDelete(m); }
};

struct AnimationDecoderDeleter {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

struct AnimationEncoderDeleter {
  void operator()(WebPAnimEncoder* e) const { WebPAnimEncoderDelete(e); }
};

// The longest a frame is shown, in milliseconds: the file stores 24 bits.
constexpr int32_t kMaxFrameDuration = (1 << 24) - 1;

// The encoded file with an ICCP chunk (the muxer writes the extended header that announces it).
std::vector<uint8_t> WithProfile(const uint8_t* encoded, size_t size, const std::vector<uint8_t>& profile) {
  const WebPData picture{encoded, size};
  std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxCreate(&picture, 0));
  if (!mux) RaiseImaging("WebP: the encoded picture cannot be opened to add the colour profile.");
  const WebPData icc{profile.data(), profile.size()};
  if (WebPMuxSetChunk(mux.get(), "ICCP", &icc, 0) != WEBP_MUX_OK)
    RaiseImaging("WebP: the colour profile cannot be added.");
  WebPData assembled;
  WebPDataInit(&assembled);
  if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK)
    RaiseImaging("WebP: the file with the colour profile cannot be assembled.");
  std::vector<uint8_t> result(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return result;
}

struct MemoryWriterGuard {
  WebPMemoryWriter writer;
  WebPPicture picture;
  bool pictureInitialised = false;
  MemoryWriterGuard() { WebPMemoryWriterInit(&writer); }
  ~MemoryWriterGuard() {
    if (pictureInitialised) WebPPictureFree(&picture);
    WebPMemoryWriterClear(&writer);
  }
  MemoryWriterGuard(const MemoryWriterGuard&) = delete;
  MemoryWriterGuard& operator=(const MemoryWriterGuard&) = delete;
};

const char* EncodingErrorText(WebPEncodingError error) {
  switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION: return "the picture is larger than 16383 pixels on a side";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "the picture is too large for one lossy partition";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return "the file would exceed 4 GiB";
    default: return "the encoder failed";
  }
}

class WebPCodec : public Codec {
public:
  WebPCodec() {
    Name = "WebP Image";
    CanLoad = true;
    CanSave = true;
    IsMultiImage = true;
    SupportedFormats = MakeFormatSet({PixelFormat::R8G8B8, PixelFormat::A8R8G8B8});
    AddMasks("*.webp");
    CanReadHeader = true;
  }

  bool ProbeStream(Stream& stream) const override {
    uint8_t bytes[kRiffHeaderSize];
    const int64_t n = std::max<int64_t>(stream.Read(bytes, kRiffHeaderSize), 0);
    stream.Seek(-n, SeekOrigin::Current);
    return n == int64_t(kRiffHeaderSize) && IsWebPSignature(bytes);
  }

  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

class WebPDecoder : public Decoder {
public:
  using Decoder::Decoder;

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override {
    const int64_t available = stream.Remaining();
    if (available < int64_t(kRiffHeaderSize)) RaiseImaging("WebP: the file is too short for a header.");
    uint8_t riff[kRiffHeaderSize];
    stream.ReadExact(riff, kRiffHeaderSize, "WebP header");
    if (!IsWebPSignature(riff)) RaiseImaging("WebP: the data do not start with a RIFF WEBP header.");
    // The RIFF size bounds what belongs to the picture; a file that is shorter is truncated.
    const int64_t stated = int64_t(LittleEndian32(riff + 4)) + 8;
    if (stated > available) RaiseImaging("WebP: the file is truncated (%lld of %lld bytes).",
                                         static_cast<long long>(available), static_cast<long long>(stated));
    if (stated < int64_t(kRiffHeaderSize)) RaiseImaging("WebP: the RIFF size is invalid.");
    std::vector<uint8_t> data(static_cast<size_t>(stated));
    std::memcpy(data.data(), riff, kRiffHeaderSize);
    stream.ReadExact(data.data() + kRiffHeaderSize, stated - int64_t(kRiffHeaderSize), "WebP data");

    // The first chunk's size is checked here, before the demuxer refuses a huge canvas as damage.
    ImageHeader header;
    ParseWebPHeader(data.data(), data.size(), header);

    const WebPData webpData{data.data(), data.size()};
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&webpData));
    if (!demux) RaiseImaging("WebP: the file structure is damaged.");

    const uint32_t canvasWidth = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const uint32_t canvasHeight = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    CheckImageDimensions(canvasWidth, canvasHeight, "WebP file");
    ReadProfile(demux.get());
    if ((flags & kAnimationFlag) != 0 && !onlyFirst) {
      const uint32_t frames = WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT);
      if (frames > 1) {
        demux.reset();
        ReadAnimation(data, canvasWidth, canvasHeight, frames, images);
        return true;
      }
    }

    WebPIterator frame;
    if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) RaiseImaging("WebP: the file holds no picture.");
    struct IteratorGuard {
      WebPIterator* iterator;
      ~IteratorGuard() { WebPDemuxReleaseIterator(iterator); }
    } iteratorGuard{&frame};

    WebPBitstreamFeatures features;
    if (WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features) != VP8_STATUS_OK)
      RaiseImaging("WebP: the picture's bitstream header is damaged.");
    if (features.width != frame.width || features.height != frame.height || frame.x_offset < 0 ||
        frame.y_offset < 0 || int64_t(frame.x_offset) + frame.width > int64_t(canvasWidth) ||
        int64_t(frame.y_offset) + frame.height > int64_t(canvasHeight))
      RaiseImaging("WebP: the frame does not fit the canvas.");

    const bool animated = (flags & kAnimationFlag) != 0;
    const bool alpha = animated || features.has_alpha != 0;
    const PixelFormat format = alpha ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8;
    const size_t bytesPerPixel = alpha ? 4 : 3;
    Image& image = images.emplace_back();
    if (!CreateImage(static_cast<int32_t>(canvasWidth), static_cast<int32_t>(canvasHeight), format, image))
      RaiseImaging("Cannot create a WebP image.");
    // Outside the first frame the canvas stays transparent; its background colour is only a hint.
    std::memset(image.Bits(), 0, size_t(canvasWidth) * canvasHeight * bytesPerPixel);

    const size_t stride = size_t(canvasWidth) * bytesPerPixel;
    uint8_t* target = image.Bits() + size_t(frame.y_offset) * stride + size_t(frame.x_offset) * bytesPerPixel;
    const size_t targetSize = (size_t(frame.height) - 1) * stride + size_t(frame.width) * bytesPerPixel;
    const uint8_t* decoded =
        alpha ? WebPDecodeBGRAInto(frame.fragment.bytes, frame.fragment.size, target, targetSize, static_cast<int>(stride))
              : WebPDecodeBGRInto(frame.fragment.bytes, frame.fragment.size, target, targetSize, static_cast<int>(stride));
    if (decoded == nullptr) RaiseImaging("WebP: the picture data are damaged or truncated.");
    return true;
  }

private:
  // Every frame of an animation, composed on the canvas; `frames` as the demuxer counted them.
  // A frame that cannot be decoded ends the animation with a warning: the frames before it
  // are kept.
  void ReadAnimation(const std::vector<uint8_t>& data, uint32_t width, uint32_t height, uint32_t frames,
                     std::vector<Image>& images) {
    if (frames > kMaxFrames)
      RaiseImaging("WebP animation has %u frames, more than the %lld a file may have.", frames,
                   static_cast<long long>(kMaxFrames));
    if (int64_t(width) * height * frames > kMaxImagePixels)
      RaiseImaging("WebP animation of %u frames of %ux%u pixels holds more than %lld pixels in all.", frames, width,
                   height, static_cast<long long>(kMaxImagePixels));
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) RaiseImaging("WebP: the decoder library does not match its headers.");
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData webpData{data.data(), data.size()};
    std::unique_ptr<WebPAnimDecoder, AnimationDecoderDeleter> decoder(WebPAnimDecoderNew(&webpData, &options));
    if (!decoder) RaiseImaging("WebP: the animation is damaged.");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) RaiseImaging("WebP: the animation is damaged.");
    const size_t bytes = size_t(width) * height * 4;
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
      uint8_t* canvas = nullptr;
      int timestamp = 0;
      if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) {
        if (images.empty()) RaiseImaging("WebP: the first frame of the animation is damaged or truncated.");
        AddLoadWarning("The WebP animation's data end early or are damaged after frame " +
                       std::to_string(images.size()) + "; the frames before it were read");
        break;
      }
      Image& image = images.emplace_back();
      if (!CreateImage(int32_t(width), int32_t(height), PixelFormat::A8R8G8B8, image))
        RaiseImaging("Cannot create a WebP image.");
      std::memcpy(image.Bits(), canvas, bytes);
      Facts.animation.delaysMs.push_back(std::max(0, timestamp - previous));
      previous = timestamp;
    }
    Facts.animation.loopCount = int32_t(std::min<uint32_t>(info.loop_count, 65535));
    if (images.size() < 2) Facts.animation = Animation();
  }

  // The ICCP chunk, which the demuxer has already checked to lie inside the file.
  void ReadProfile(const WebPDemuxer* demux) {
    WebPChunkIterator chunk;
    if (!WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) return;
    const uint8_t* bytes = chunk.chunk.bytes;
    const size_t size = chunk.chunk.size;
    if (size <= kMaxColorProfileBytes) Facts.profile = MakeColorProfile(std::vector<uint8_t>(bytes, bytes + size));
    WebPDemuxReleaseChunkIterator(&chunk);
    if (!Facts.profile) AddLoadWarning("The WebP file's colour profile is damaged; it is left out");
  }
};

class WebPEncoder : public Encoder {
public:
  using Encoder::Encoder;

  void ConvertForSave(Image& image, const PixelFormatInfo& info) override {
    ConvertImageFormat(image, info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8);
  }

  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t) override {
    if (LastIndex > FirstIndex) return WriteAnimation(stream, images.subspan(size_t(FirstIndex), size_t(LastIndex - FirstIndex + 1)));
    PreparedImage prepared;
    if (!PrepareForSave(images[static_cast<size_t>(FirstIndex)], prepared)) return false;
    const Image& image = prepared;
    CheckSize(image);
    const WebPConfig config = Config();
    auto guard = std::make_unique<MemoryWriterGuard>();
    WebPPicture& picture = guard->picture;
    ImportPicture(image, config.lossless != 0, picture);
    guard->pictureInitialised = true;
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &guard->writer;
    if (!WebPEncode(&config, &picture)) RaiseImaging("WebP: cannot encode: %s.", EncodingErrorText(picture.error_code));
    WriteWithProfile(stream, guard->writer.mem, guard->writer.size, image.Format());
    return true;
  }

protected:
  void ValidateOptions() override {
    if (static_cast<uint32_t>(Options.webp.quality - 1) >= 100u) Options.webp.quality = 90;
  }

private:
  static void CheckSize(const Image& image) {
    if (image.Width() > WEBP_MAX_DIMENSION || image.Height() > WEBP_MAX_DIMENSION)
      RaiseImaging("WebP: a picture of %d x %d pixels is larger than 16383 pixels on a side.", image.Width(),
                   image.Height());
  }

  WebPConfig Config() const {
    WebPConfig config;
    if (!WebPConfigInit(&config)) RaiseImaging("WebP: the encoder library does not match its headers.");
    config.lossless = Options.webp.lossless ? 1 : 0;
    if (config.lossless) {
      // Keeps the colour under transparent pixels and uses the library's default effort.
      config.quality = 75;
      config.exact = 1;
    } else {
      config.quality = static_cast<float>(Options.webp.quality);
    }
    if (!WebPValidateConfig(&config)) RaiseImaging("WebP: invalid encoder settings.");
    return config;
  }

  // Initialises `picture` with the image's pixels; the caller frees it.
  static void ImportPicture(const Image& image, bool argb, WebPPicture& picture) {
    if (!WebPPictureInit(&picture)) RaiseImaging("WebP: the encoder library does not match its headers.");
    picture.use_argb = argb;
    picture.width = image.Width();
    picture.height = image.Height();
    const bool alpha = image.Format() == PixelFormat::A8R8G8B8;
    const int stride = image.Width() * (alpha ? 4 : 3);
    const int imported = alpha ? WebPPictureImportBGRA(&picture, image.Bits(), stride)
                               : WebPPictureImportBGR(&picture, image.Bits(), stride);
    if (!imported) {
      WebPPictureFree(&picture);
      RaiseImaging("WebP: out of memory for a picture of %d x %d pixels.", image.Width(), image.Height());
    }
  }

  // Writes the encoded file, with the colour profile for pixels of `format` when there is one.
  void WriteWithProfile(Stream& stream, const uint8_t* encoded, size_t size, PixelFormat format) const {
    if (const ColorProfile profile = SaveProfileFor(format)) {
      const std::vector<uint8_t> file = WithProfile(encoded, size, *profile);
      stream.WriteExact(file.data(), static_cast<int64_t>(file.size()), "WebP data");
      return;
    }
    stream.WriteExact(encoded, static_cast<int64_t>(size), "WebP data");
  }

  // The frames as an animation on a canvas of the first frame's size, each shown for its delay
  // (100 ms where none is known), played as often as the options' animation says.
  bool WriteAnimation(Stream& stream, std::span<const Image> frames) {
    const Image& first = frames[0];
    CheckSize(first);
    const WebPConfig config = Config();
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) RaiseImaging("WebP: the encoder library does not match its headers.");
    options.anim_params.loop_count = std::clamp(Options.animation.loopCount, 0, 65535);
    std::unique_ptr<WebPAnimEncoder, AnimationEncoderDeleter> encoder(
        WebPAnimEncoderNew(first.Width(), first.Height(), &options));
    if (!encoder) RaiseImaging("WebP: out of memory for an animation of %d x %d pixels.", first.Width(), first.Height());
    int64_t timestamp = 0;
    PixelFormat format = PixelFormat::R8G8B8;
    for (size_t i = 0; i < frames.size(); ++i) {
      PreparedImage prepared;
      if (!PrepareForSave(frames[i], prepared)) return false;
      const Image& image = prepared;
      if (image.Width() != first.Width() || image.Height() != first.Height())
        RaiseImaging("WebP: frame %zu of the animation is %d x %d pixels, the first %d x %d; an animation's frames "
                     "have one size.", i + 1, image.Width(), image.Height(), first.Width(), first.Height());
      if (image.Format() == PixelFormat::A8R8G8B8) format = image.Format();
      WebPPicture picture;
      ImportPicture(image, true, picture);
      const bool added = WebPAnimEncoderAdd(encoder.get(), &picture, int(timestamp), &config) != 0;
      const WebPEncodingError error = picture.error_code;
      WebPPictureFree(&picture);
      if (!added)
        RaiseImaging("WebP: cannot encode frame %zu: %s (%s).", i + 1, EncodingErrorText(error),
                     WebPAnimEncoderGetError(encoder.get()));
      timestamp += std::clamp(Options.animation.DelayOf(i, 100), 0, kMaxFrameDuration);
      if (timestamp > INT32_MAX / 2) RaiseImaging("WebP: the animation would last too long.");
    }
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, int(timestamp), nullptr))
      RaiseImaging("WebP: cannot finish the animation: %s.", WebPAnimEncoderGetError(encoder.get()));
    WebPData assembled;
    WebPDataInit(&assembled);
    if (!WebPAnimEncoderAssemble(encoder.get(), &assembled))
      RaiseImaging("WebP: cannot assemble the animation: %s.", WebPAnimEncoderGetError(encoder.get()));
    struct DataGuard {
      WebPData* data;
      ~DataGuard() { WebPDataClear(data); }
    } dataGuard{&assembled};
    WriteWithProfile(stream, assembled.bytes, assembled.size, format);
    return true;
  }
};

std::unique_ptr<Decoder> WebPCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<WebPDecoder>(options);
}

std::unique_ptr<Encoder> WebPCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<WebPEncoder>(*this, options);
}

}  // namespace

std::unique_ptr<Codec> CreateWebPCodec() { return std::make_unique<WebPCodec>(); }

// The size from the first chunk: the lossy key frame header, the lossless header or the
// extended header's canvas. The format is the one the reader gives (alpha for animations).
void ParseWebPHeader(const uint8_t* bytes, size_t size, ImageHeader& header) {
  if (size < kRiffHeaderSize + 8 || !IsWebPSignature(bytes))
    RaiseImaging("WebP: the data do not start with a RIFF WEBP header.");
  const uint8_t* chunk = bytes + kRiffHeaderSize;
  const uint8_t* payload = chunk + 8;
  const size_t available = size - kRiffHeaderSize - 8;
  uint32_t width = 0, height = 0;
  bool alpha = false;
  if (std::memcmp(chunk, "VP8 ", 4) == 0) {
    if (available < 10) RaiseImaging("WebP: the lossy picture header is truncated.");
    if (payload[3] != 0x9D || payload[4] != 0x01 || payload[5] != 0x2A || (payload[0] & 1) != 0)
      RaiseImaging("WebP: the lossy picture does not start with a key frame.");
    width = (payload[6] | (uint32_t(payload[7]) << 8)) & 0x3FFF;
    height = (payload[8] | (uint32_t(payload[9]) << 8)) & 0x3FFF;
  } else if (std::memcmp(chunk, "VP8L", 4) == 0) {
    if (available < 5) RaiseImaging("WebP: the lossless picture header is truncated.");
    if (payload[0] != 0x2F) RaiseImaging("WebP: the lossless picture has a wrong signature.");
    const uint32_t bits = LittleEndian32(payload + 1);
    width = (bits & 0x3FFF) + 1;
    height = ((bits >> 14) & 0x3FFF) + 1;
    alpha = ((bits >> 28) & 1) != 0;
  } else if (std::memcmp(chunk, "VP8X", 4) == 0) {
    if (available < 10) RaiseImaging("WebP: the extended header is truncated.");
    const uint32_t flags = payload[0];
    width = LittleEndian24(payload + 4) + 1;
    height = LittleEndian24(payload + 7) + 1;
    alpha = (flags & (kAlphaFlag | kAnimationFlag)) != 0;
  } else {
    RaiseImaging("WebP: the first chunk is not a picture header.");
  }
  if (width == 0 || height == 0) RaiseImaging("WebP: the picture has no pixels.");
  CheckImageDimensions(width, height, "WebP file");
  header.Width = int32_t(width);
  header.Height = int32_t(height);
  header.Format = alpha ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8;
}

// The frames of an animation: its ANMF chunks, counted by walking the chunk headers from the
// one after the extended header, with a seek over each chunk's payload.
int32_t CountWebPFrames(Stream& stream, int64_t start, uint32_t riffSize) {
  const int64_t end = start + 8 + int64_t(riffSize);
  int64_t position = start + int64_t(kRiffHeaderSize);
  int32_t frames = 0;
  while (position + 8 <= end && frames <= kMaxFrames) {
    uint8_t chunk[8];
    stream.Seek(position, SeekOrigin::Begin);
    if (stream.Read(chunk, sizeof chunk) != int64_t(sizeof chunk)) break;
    if (std::memcmp(chunk, "ANMF", 4) == 0) ++frames;
    const int64_t size = LittleEndian32(chunk + 4);
    position += 8 + size + (size & 1);
  }
  return std::max(frames, 1);
}

void ReadWebPHeader(Stream& stream, ImageHeader& header) {
  const int64_t start = stream.Position();
  uint8_t bytes[30];
  const int64_t count = stream.Read(bytes, sizeof bytes);
  ParseWebPHeader(bytes, count > 0 ? size_t(count) : 0, header);
  if (std::memcmp(bytes + kRiffHeaderSize, "VP8X", 4) == 0 && (bytes[kRiffHeaderSize + 8] & kAnimationFlag) != 0)
    header.Frames = CountWebPFrames(stream, start, LittleEndian32(bytes + 4));
}

ImageHeader WebPCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  ImageHeader header;
  ReadWebPHeader(stream, header);
  return header;
}

}  // namespace imaging::formats
