// JPEG 2000 codec: OpenJPEG streams over the codec's stream for reading, an in-memory stream
// for writing. JP2 files carry an ICC profile in their colour specification
// box.
#include "imaging/ColorProfile.h"
#include "imaging/Headers.h"
#include "imaging/formats/Jpeg2000.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace imaging::formats {

namespace jp2 {

float CompressionRate(int32_t width, int32_t height, int32_t bytesPerPixel, int32_t channels, int32_t quality) {
  const float raw = static_cast<float>(int64_t(width) * height * bytesPerPixel);
  const float factor = 100.0f / static_cast<float>((115 - quality) * (115 - quality));
  const float target = raw * factor + 550.0f + 142.0f * static_cast<float>(channels - 1);
  return 1.0f / (target / raw);
}

}  // namespace jp2

namespace {

using namespace jp2;

// Decoded component buffers may take this many bytes whatever the file's size; beyond it the
// file must hold at least one byte per kMaxExpansion decoded bytes.
constexpr int64_t kUncheckedDecodedBytes = int64_t(64) << 20;
constexpr int64_t kMaxExpansion = 2048;

// OpenJPEG allocates the coding parameters of every tile and component while it reads the main
// header; beyond this many tile components a file must hold a tile-part header (SOT and SOD
// markers, 14 bytes) for each of its tiles.
constexpr int64_t kUncheckedTileComponents = 4096;
constexpr int64_t kMinTilePartBytes = 14;

enum class Jp2Form { None, JP2, CodeStream };

Jp2Form DetectForm(const uint8_t* bytes, int64_t count) {
  if (count >= 8 && std::memcmp(bytes, kJP2Signature, 8) == 0) return Jp2Form::JP2;
  if (count >= 4 && std::memcmp(bytes, kCodeStreamSignature, 4) == 0) return Jp2Form::CodeStream;
  return Jp2Form::None;
}

// OpenJPEG's error messages for one codec; warnings and information are not reported.
struct Messages {
  std::string Errors;
};

void CollectError(const char* message, void* userData) {
  auto* m = static_cast<Messages*>(userData);
  std::string text(message ? message : "");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) return;
  if (!m->Errors.empty()) m->Errors += "; ";
  m->Errors += text;
}

void IgnoreMessage(const char*, void*) {}

void RouteMessages(opj_codec_t* codec, Messages& messages) {
  opj_set_error_handler(codec, CollectError, &messages);
  opj_set_warning_handler(codec, IgnoreMessage, nullptr);
  opj_set_info_handler(codec, IgnoreMessage, nullptr);
}

[[noreturn]] void RaiseJp2(const Messages& messages, const char* what) {
  if (messages.Errors.empty()) RaiseImaging("JPEG 2000: %s.", what);
  RaiseImaging("JPEG 2000: %s: %s", what, messages.Errors.c_str());
}

struct CodecDeleter {
  void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
  void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
  void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, CodecDeleter>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamDeleter>;
using ImagePtr = std::unique_ptr<opj_image_t, ImageDeleter>;

// ---- OpenJPEG reading from the codec's stream ----------------------------------------------

struct Source {
  Stream* Data;
  int64_t Base;  // stream position of the first byte of the JPEG 2000 data
  int64_t End;   // stream position after the last byte
};

// The procedures never let an exception of the stream pass through OpenJPEG's C frames.
OPJ_SIZE_T SourceRead(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<Source*>(user);
  try {
    const int64_t got = s->Data->Read(buffer, int64_t(count));
    return got > 0 ? OPJ_SIZE_T(got) : OPJ_SIZE_T(-1);
  } catch (const std::exception&) {
    return OPJ_SIZE_T(-1);
  }
}

OPJ_OFF_T SourceSkip(OPJ_OFF_T count, void* user) {
  auto* s = static_cast<Source*>(user);
  try {
    const int64_t position = s->Data->Position();
    const int64_t target = std::clamp<int64_t>(position + count, s->Base, s->End);
    s->Data->Seek(target, SeekOrigin::Begin);
    return OPJ_OFF_T(target - position);
  } catch (const std::exception&) {
    return -1;
  }
}

OPJ_BOOL SourceSeek(OPJ_OFF_T offset, void* user) {
  auto* s = static_cast<Source*>(user);
  try {
    if (offset < 0 || offset > s->End - s->Base) return OPJ_FALSE;
    s->Data->Seek(s->Base + offset, SeekOrigin::Begin);
    return OPJ_TRUE;
  } catch (const std::exception&) {
    return OPJ_FALSE;
  }
}

// ---- Writing stream into memory --------------------------------------------------------------

struct Sink {
  std::vector<uint8_t> Data;
  size_t Position = 0;
};

OPJ_SIZE_T SinkWrite(void* buffer, OPJ_SIZE_T count, void* user) {
  auto* s = static_cast<Sink*>(user);
  try {
    if (s->Position + count > s->Data.size()) s->Data.resize(s->Position + count);
    std::memcpy(s->Data.data() + s->Position, buffer, count);
    s->Position += count;
    return count;
  } catch (const std::exception&) {
    return OPJ_SIZE_T(-1);
  }
}

OPJ_OFF_T SinkSkip(OPJ_OFF_T count, void* user) {
  auto* s = static_cast<Sink*>(user);
  if (count < 0 && size_t(-count) > s->Position) return -1;
  s->Position = size_t(int64_t(s->Position) + count);
  return count;
}

OPJ_BOOL SinkSeek(OPJ_OFF_T offset, void* user) {
  auto* s = static_cast<Sink*>(user);
  if (offset < 0) return OPJ_FALSE;
  s->Position = size_t(offset);
  return OPJ_TRUE;
}

// ---- Main header checks before OpenJPEG sees the data -------------------------------------

// The image and tile grid of the SIZ marker segment.
struct SizSegment {
  uint32_t Xsiz, Ysiz;      // reference grid size
  uint32_t XOsiz, YOsiz;    // image origin on the grid
  uint32_t XTsiz, YTsiz;    // tile size
  uint32_t XTOsiz, YTOsiz;  // tile grid origin
  uint16_t Csiz;            // components
};

uint32_t GetU32BE(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Reads the SIZ segment at the start of a code stream, or of the code-stream box of a JP2 file.
// False when it is not where it belongs; OpenJPEG then reports the defect itself.
bool ReadSizSegment(Stream& stream, Jp2Form form, int64_t base, int64_t end, SizSegment& siz) {
  int64_t codeStream = base;
  if (form == Jp2Form::JP2) {
    int64_t box = base;
    for (;;) {
      uint8_t header[16];
      if (end - box < 8) return false;
      stream.Seek(box, SeekOrigin::Begin);
      stream.ReadExact(header, 8, "JPEG 2000 box header");
      int64_t length = GetU32BE(header), headerLength = 8;
      if (length == 1) {
        if (end - box < 16) return false;
        stream.ReadExact(header + 8, 8, "JPEG 2000 box header");
        const uint64_t wide = (uint64_t(GetU32BE(header + 8)) << 32) | GetU32BE(header + 12);
        if (wide > uint64_t(end - box)) return false;
        length = int64_t(wide);
        headerLength = 16;
      } else if (length == 0) {
        length = end - box;
      }
      if (std::memcmp(header + 4, "jp2c", 4) == 0) {
        codeStream = box + headerLength;
        break;
      }
      if (length < headerLength || length > end - box) return false;
      box += length;
    }
  }
  uint8_t marker[42];
  if (end - codeStream < int64_t(sizeof(marker))) return false;
  stream.Seek(codeStream, SeekOrigin::Begin);
  stream.ReadExact(marker, sizeof(marker), "JPEG 2000 size marker");
  if (std::memcmp(marker, kCodeStreamSignature, 4) != 0) return false;
  siz.Xsiz = GetU32BE(marker + 8);
  siz.Ysiz = GetU32BE(marker + 12);
  siz.XOsiz = GetU32BE(marker + 16);
  siz.YOsiz = GetU32BE(marker + 20);
  siz.XTsiz = GetU32BE(marker + 24);
  siz.YTsiz = GetU32BE(marker + 28);
  siz.XTOsiz = GetU32BE(marker + 32);
  siz.YTOsiz = GetU32BE(marker + 36);
  siz.Csiz = static_cast<uint16_t>((marker[40] << 8) | marker[41]);
  return true;
}

// Refuses what a small file cannot hold before OpenJPEG allocates for it; the rest of the
// header's consistency is OpenJPEG's to check.
void CheckSizSegment(const SizSegment& siz, int64_t fileSize) {
  if (siz.Xsiz <= siz.XOsiz || siz.Ysiz <= siz.YOsiz || siz.XTsiz == 0 || siz.YTsiz == 0 ||
      siz.XTOsiz > siz.XOsiz || siz.YTOsiz > siz.YOsiz)
    return;
  CheckImageDimensions(int64_t(siz.Xsiz) - siz.XOsiz, int64_t(siz.Ysiz) - siz.YOsiz, "JPEG 2000 file");
  const int64_t across = (int64_t(siz.Xsiz) - siz.XTOsiz + siz.XTsiz - 1) / siz.XTsiz;
  const int64_t down = (int64_t(siz.Ysiz) - siz.YTOsiz + siz.YTsiz - 1) / siz.YTsiz;
  const int64_t tiles = across * down;
  if (tiles * siz.Csiz > kUncheckedTileComponents && tiles * kMinTilePartBytes > fileSize)
    RaiseImaging("JPEG 2000: %lld tiles cannot come from a file of %lld bytes.", static_cast<long long>(tiles),
                 static_cast<long long>(fileSize));
}

// ---- Colour profile box ----------------------------------------------------------------------

void PutU32BE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// The JP2 file OpenJPEG wrote, with the colour specification box of its header box (an
// enumerated sRGB or gray one) replaced by one that holds the ICC profile: method 2, then
// precedence and approximation 0. OpenJPEG 2.5 does not write a profile itself; it marks the box
// as method 2 and leaves the bytes out.
std::vector<uint8_t> WithProfileBox(const std::vector<uint8_t>& file, const std::vector<uint8_t>& profile) {
  // Every box OpenJPEG writes has a 32-bit length that counts its 8-byte header.
  const auto boxLength = [&](size_t at, size_t end) {
    const uint32_t length = at + 8 <= end ? GetU32BE(&file[at]) : 0;
    if (length < 8 || length > end - at) RaiseImaging("JPEG 2000: the encoder wrote a box that cannot be followed.");
    return size_t(length);
  };
  size_t header = 0, headerLength = boxLength(0, file.size());
  while (std::memcmp(&file[header + 4], "jp2h", 4) != 0) {
    header += headerLength;
    headerLength = boxLength(header, file.size());
  }
  const size_t headerEnd = header + headerLength;
  std::vector<uint8_t> out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(header + 8));
  out.reserve(file.size() + profile.size() + 11);
  bool replaced = false;
  for (size_t box = header + 8; box < headerEnd;) {
    const size_t length = boxLength(box, headerEnd);
    if (std::memcmp(&file[box + 4], "colr", 4) == 0 && !replaced) {
      const size_t at = out.size();
      out.resize(at + 11);
      PutU32BE(&out[at], uint32_t(11 + profile.size()));
      std::memcpy(&out[at + 4], "colr", 4);
      out[at + 8] = 2;
      out.insert(out.end(), profile.begin(), profile.end());
      replaced = true;
    } else {
      out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(box),
                 file.begin() + static_cast<std::ptrdiff_t>(box + length));
    }
    box += length;
  }
  if (!replaced) RaiseImaging("JPEG 2000: the encoder wrote no colour specification box.");
  PutU32BE(&out[header], uint32_t(out.size() - header));
  out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(headerEnd), file.end());
  return out;
}

// ---- Component mapping -----------------------------------------------------------------------

// Sample position of component i in a pixel of n channels: red first in the file, blue first
// in the library, alpha last in both.
int ChannelPosition(int component, int channels, bool hasAlpha) {
  if (hasAlpha) return component == channels - 1 ? channels - 1 : channels - component - 2;
  return channels - component - 1;
}

PixelFormat ChooseFormat(uint32_t components, uint32_t precision) {
  using PF = PixelFormat;
  const bool upTo8 = precision >= 1 && precision <= 8, upTo16 = precision >= 9 && precision <= 16;
  switch (components) {
    case 1:
      if (upTo8) return PF::Gray8;
      if (upTo16) return PF::Gray16;
      return precision >= 17 && precision <= 32 ? PF::Gray32 : PF::Unknown;
    case 2: return upTo8 ? PF::A8Gray8 : upTo16 ? PF::A16Gray16 : PF::Unknown;
    case 3: return upTo8 ? PF::R8G8B8 : upTo16 ? PF::R16G16B16 : PF::Unknown;
    case 4: return upTo8 ? PF::A8R8G8B8 : upTo16 ? PF::A16R16G16B16 : PF::Unknown;
    default: return PF::Unknown;
  }
}

// Brings a decoded sample of `precision` bits to the full range of `bits` bits: signed samples
// are first shifted to unsigned, then the range is stretched with rounding.
struct SampleScale {
  int64_t Offset, Max, Numerator, Denominator;
  bool Identity;
  SampleScale(uint32_t precision, bool isSigned, int bits) {
    Offset = isSigned ? int64_t(1) << (precision - 1) : 0;
    Max = (int64_t(1) << precision) - 1;
    Numerator = bits == 32 ? int64_t(0xFFFFFFFF) : (int64_t(1) << bits) - 1;
    Denominator = Max;
    Identity = Numerator == Denominator;
  }
  uint64_t operator()(int32_t raw) const {
    const int64_t v = std::clamp<int64_t>(int64_t(raw) + Offset, 0, Max);
    if (Identity) return uint64_t(v);
    return uint64_t((v * Numerator + Denominator / 2) / Denominator);
  }
};

void StoreSample(uint8_t* p, int bytes, uint64_t v) {
  if (bytes == 1) {
    *p = uint8_t(v);
  } else if (bytes == 2) {
    const uint16_t w = uint16_t(v);
    std::memcpy(p, &w, 2);
  } else {
    const uint32_t d = uint32_t(v);
    std::memcpy(p, &d, 4);
  }
}

// The picture's place on the reference grid. Components that all share one sampling step make
// a picture of their own size (as the reference decoder writes them: a gray image sampled every
// 13th column is that many columns wide, not stretched 13 times); components of different steps,
// such as subsampled chroma, are spread onto the whole grid.
struct PictureGrid {
  int64_t width = 0, height = 0;
  uint32_t stepX = 1, stepY = 1;
  int64_t originX = 0, originY = 0;  // the first picture column and row, in steps
};

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

template <typename StepOf>
PictureGrid GridOf(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, uint32_t components, StepOf stepOf) {
  PictureGrid grid;
  const auto [firstX, firstY] = stepOf(0u);
  bool shared = firstX > 0 && firstY > 0;
  for (uint32_t c = 1; c < components && shared; ++c) shared = stepOf(c) == std::pair<uint32_t, uint32_t>(firstX, firstY);
  if (shared) grid.stepX = firstX, grid.stepY = firstY;
  grid.originX = CeilDiv(x0, grid.stepX);
  grid.originY = CeilDiv(y0, grid.stepY);
  grid.width = CeilDiv(x1, grid.stepX) - grid.originX;
  grid.height = CeilDiv(y1, grid.stepY) - grid.originY;
  return grid;
}

// Copies every component into its sample position, repeating subsampled samples, and places
// components by their own offsets on the reference grid.
void FillImage(const opj_image_t& decoded, const PictureGrid& grid, Image& image, const PixelFormatInfo& info,
               int alphaComponent) {
  const int channels = info.ChannelCount;
  const int bytesPerSample = info.BytesPerPixel / channels;
  std::vector<int32_t> columns(size_t(image.Width()));
  for (int c = 0; c < channels; ++c) {
    const opj_image_comp_t& comp = decoded.comps[c];
    // Colour components keep their order around an alpha component found anywhere.
    const int colourIndex = alphaComponent >= 0 && c > alphaComponent ? c - 1 : c;
    const int position = c == alphaComponent ? channels - 1 : ChannelPosition(colourIndex, channels, info.HasAlphaChannel);
    const SampleScale scale(comp.prec, comp.sgnd != 0, bytesPerSample * 8);
    for (int32_t x = 0; x < image.Width(); ++x) {
      const int64_t col = (grid.originX + x) * grid.stepX / comp.dx - int64_t(comp.x0);
      columns[size_t(x)] = int32_t(std::clamp<int64_t>(col, 0, int64_t(comp.w) - 1));
    }
    for (int32_t y = 0; y < image.Height(); ++y) {
      const int64_t rowIndex =
          std::clamp<int64_t>((grid.originY + y) * grid.stepY / comp.dy - int64_t(comp.y0), 0, int64_t(comp.h) - 1);
      const int32_t* src = comp.data + rowIndex * int64_t(comp.w);
      uint8_t* dst = image.Bits() + (int64_t(y) * image.Width()) * info.BytesPerPixel + position * bytesPerSample;
      for (int32_t x = 0; x < image.Width(); ++x, dst += info.BytesPerPixel)
        StoreSample(dst, bytesPerSample, scale(src[columns[size_t(x)]]));
    }
  }
}

template <typename T>
void SyccToRgb(Image& image, double offset, double maxValue) {
  T* p = reinterpret_cast<T*>(image.Bits());
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  auto clampRound = [maxValue](double v) { return static_cast<T>(std::clamp(std::floor(v + 0.5), 0.0, maxValue)); };
  for (int64_t i = 0; i < pixels; ++i, p += 3) {
    const double y = p[2], cb = p[1] - offset, cr = p[0] - offset;
    p[2] = clampRound(y + 1.402 * cr);
    p[1] = clampRound(y - 0.34414 * cb - 0.71414 * cr);
    p[0] = clampRound(y + 1.772 * cb);
  }
}

}  // namespace

Jpeg2000Codec::Jpeg2000Codec() {
  using PF = PixelFormat;
  Name = "JPEG 2000 Image";
  CanLoad = true;
  CanSave = true;
  IsMultiImage = false;
  SupportedFormats = MakeFormatSet(
      {PF::Gray8, PF::A8Gray8, PF::Gray16, PF::A16Gray16, PF::R8G8B8, PF::A8R8G8B8, PF::R16G16B16, PF::A16R16G16B16});
  AddMasks("*.jp2,*.j2k,*.j2c,*.jpx,*.jpc");
  CanReadHeader = true;
}

bool Jpeg2000Codec::ProbeStream(Stream& stream) const {
  uint8_t bytes[8];
  const int64_t got = stream.Read(bytes, 8);
  stream.Seek(-got, SeekOrigin::Current);
  return got == 8 && DetectForm(bytes, got) != Jp2Form::None;
}

namespace {

class Jpeg2000Decoder : public Decoder {
public:
  using Decoder::Decoder;
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
};

class Jpeg2000Encoder : public Encoder {
public:
  using Encoder::Encoder;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;

protected:
  void ValidateOptions() override;
};

}  // namespace

std::unique_ptr<Decoder> Jpeg2000Codec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<Jpeg2000Decoder>(options);
}

std::unique_ptr<Encoder> Jpeg2000Codec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<Jpeg2000Encoder>(*this, options);
}

void Jpeg2000Encoder::ValidateOptions() {
  if (uint32_t(Options.jpeg2000.quality - 1) > 99u) Options.jpeg2000.quality = kDefaultQuality;
}

bool Jpeg2000Decoder::ReadImages(Stream& stream, std::vector<Image>& images, bool) {
  Source source{&stream, stream.Position(), 0};
  const int64_t fileSize = stream.Remaining();
  source.End = source.Base + fileSize;
  uint8_t signature[8];
  const int64_t got = stream.Read(signature, 8);
  stream.Seek(source.Base, SeekOrigin::Begin);
  const Jp2Form form = DetectForm(signature, got);
  if (form == Jp2Form::None) return false;
  SizSegment siz;
  if (ReadSizSegment(stream, form, source.Base, source.End, siz)) {
    if (siz.Csiz < 1 || siz.Csiz > 4) return false;
    CheckSizSegment(siz, fileSize);
  }
  stream.Seek(source.Base, SeekOrigin::Begin);

  Messages messages;
  CodecPtr codec(opj_create_decompress(form == Jp2Form::JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (!codec) RaiseImaging("JPEG 2000: cannot create the decoder.");
  RouteMessages(codec.get(), messages);
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  if (!opj_setup_decoder(codec.get(), &parameters)) RaiseJp2(messages, "the decoder could not be set up");

  StreamPtr input(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
  if (!input) RaiseImaging("JPEG 2000: cannot create the input stream.");
  opj_stream_set_read_function(input.get(), SourceRead);
  opj_stream_set_skip_function(input.get(), SourceSkip);
  opj_stream_set_seek_function(input.get(), SourceSeek);
  opj_stream_set_user_data(input.get(), &source, nullptr);
  opj_stream_set_user_data_length(input.get(), OPJ_UINT64(fileSize));

  opj_image_t* header = nullptr;
  if (!opj_read_header(input.get(), codec.get(), &header)) {
    opj_image_destroy(header);
    RaiseJp2(messages, "the header could not be read");
  }
  ImagePtr decoded(header);
  // Everything that decides the size of OpenJPEG's buffers is checked before decoding.
  if (decoded->numcomps < 1 || decoded->numcomps > 4) return false;
  if (decoded->x1 <= decoded->x0 || decoded->y1 <= decoded->y0)
    RaiseImaging("JPEG 2000: the image area is empty.");
  const int64_t width = int64_t(decoded->x1) - decoded->x0, height = int64_t(decoded->y1) - decoded->y0;
  CheckImageDimensions(width, height, "JPEG 2000 file");
  int64_t decodedBytes = 0;
  for (uint32_t c = 0; c < decoded->numcomps; ++c) {
    const opj_image_comp_t& comp = decoded->comps[c];
    if (comp.dx == 0 || comp.dy == 0) RaiseImaging("JPEG 2000: component %u has a zero sampling step.", c);
    decodedBytes += ((width + comp.dx - 1) / comp.dx + 1) * ((height + comp.dy - 1) / comp.dy + 1) * 4;
  }
  if (decodedBytes > kUncheckedDecodedBytes && decodedBytes / kMaxExpansion > fileSize)
    RaiseImaging("JPEG 2000: a %lldx%lld image with %u components cannot come from a file of %lld bytes.",
                 static_cast<long long>(width), static_cast<long long>(height), decoded->numcomps,
                 static_cast<long long>(fileSize));

  if (!opj_decode(codec.get(), input.get(), decoded.get())) RaiseJp2(messages, "decoding failed");
  // A missing end-of-codestream marker after complete image data is not worth refusing.
  opj_end_decompress(codec.get(), input.get());

  // A JP2 palette or channel definition may have changed the components.
  const opj_image_t& img = *decoded;
  if (img.numcomps < 1 || img.numcomps > 4) return false;
  for (uint32_t c = 0; c < img.numcomps; ++c)
    if (img.comps[c].data == nullptr || img.comps[c].w == 0 || img.comps[c].h == 0 || img.comps[c].dx == 0 ||
        img.comps[c].dy == 0 || img.comps[c].prec < 1 || img.comps[c].prec > 32)
      RaiseImaging("JPEG 2000: component %u was not decoded.", c);
  const PixelFormat format = ChooseFormat(img.numcomps, img.comps[0].prec);
  if (format == PixelFormat::Unknown) return false;
  const PixelFormatInfo& info = *FindFormatInfo(format);

  // OpenJPEG hands over the bytes of a method-2 colour specification box untouched; CIELab
  // parameters come in the same buffer without a length.
  if (img.icc_profile_buf != nullptr && img.icc_profile_len > 0) {
    if (img.icc_profile_len <= kMaxColorProfileBytes)
      Facts.profile = MakeColorProfile(std::vector<uint8_t>(img.icc_profile_buf, img.icc_profile_buf + img.icc_profile_len));
    if (!Facts.profile) AddLoadWarning("The JPEG 2000 file's colour profile is damaged; it is left out");
  }

  int alphaComponent = -1;
  if (info.HasAlphaChannel) {
    alphaComponent = int(img.numcomps) - 1;
    for (uint32_t c = 0; c < img.numcomps; ++c)
      if (img.comps[c].alpha) alphaComponent = int(c);
  }

  const PictureGrid grid = GridOf(img.x0, img.y0, img.x1, img.y1, img.numcomps,
                                  [&](uint32_t c) { return std::pair(img.comps[c].dx, img.comps[c].dy); });
  Image& image = images.emplace_back();
  if (!CreateImage(int32_t(grid.width), int32_t(grid.height), format, image))
    RaiseImaging("JPEG 2000: cannot create a %lldx%lld image.", static_cast<long long>(grid.width),
                 static_cast<long long>(grid.height));
  FillImage(img, grid, image, info, alphaComponent);

  // Code streams carry no colour space; subsampled chroma beside a full-size first component
  // marks YCbCr, as OpenJPEG's own tools take it.
  bool sycc = img.color_space == OPJ_CLRSPC_SYCC;
  if (img.color_space == OPJ_CLRSPC_UNKNOWN || img.color_space == OPJ_CLRSPC_UNSPECIFIED)
    sycc = img.numcomps == 3 && img.comps[0].dx == 1 && img.comps[0].dy == 1 &&
           (img.comps[1].dx != 1 || img.comps[1].dy != 1);
  if (sycc && img.numcomps == 3) {
    if (format == PixelFormat::R8G8B8)
      SyccToRgb<uint8_t>(image, 128.0, 255.0);
    else
      SyccToRgb<uint16_t>(image, 32768.0, 65535.0);
  }
  return true;
}

bool Jpeg2000Encoder::WriteImage(Stream& stream, std::span<const Image> images, int32_t index) {
  PreparedImage prepared;
  if (!PrepareForSave(images[size_t(index)], prepared)) return false;
  const Image& image = prepared;

  const PixelFormatInfo& info = *FindFormatInfo(image.Format());
  const int channels = info.ChannelCount;
  const int bytesPerSample = info.BytesPerPixel / channels;
  opj_image_cmptparm_t parameters[4];
  std::memset(parameters, 0, sizeof(parameters));
  for (int c = 0; c < channels; ++c) {
    parameters[c].dx = 1;
    parameters[c].dy = 1;
    parameters[c].w = uint32_t(image.Width());
    parameters[c].h = uint32_t(image.Height());
    parameters[c].prec = uint32_t(bytesPerSample * 8);
    parameters[c].sgnd = 0;
  }
  ImagePtr encoded(opj_image_create(uint32_t(channels), parameters,
                                     info.HasGrayChannel ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
  if (!encoded) RaiseImaging("JPEG 2000: cannot create the image to encode.");
  encoded->x0 = 0;
  encoded->y0 = 0;
  encoded->x1 = uint32_t(image.Width());
  encoded->y1 = uint32_t(image.Height());
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  for (int c = 0; c < channels; ++c) {
    opj_image_comp_t& comp = encoded->comps[c];
    // The alpha flag makes the JP2 encoder write a channel definition marking it as opacity.
    comp.alpha = info.HasAlphaChannel && c == channels - 1 ? 1 : 0;
    const uint8_t* src = image.Bits() + ChannelPosition(c, channels, info.HasAlphaChannel) * bytesPerSample;
    for (int64_t i = 0; i < pixels; ++i, src += info.BytesPerPixel) {
      if (bytesPerSample == 1) {
        comp.data[i] = *src;
      } else {
        uint16_t v;
        std::memcpy(&v, src, 2);
        comp.data[i] = v;
      }
    }
  }

  opj_cparameters_t settings;
  opj_set_default_encoder_parameters(&settings);
  settings.cp_disto_alloc = 1;
  settings.tcp_numlayers = 1;
  // Every resolution level needs at least one sample across the smaller side.
  int levels = kResolutionLevels;
  while (levels > 1 && (std::min(image.Width(), image.Height()) >> (levels - 1)) == 0) --levels;
  settings.numresolution = levels;
  settings.tcp_rates[0] =
      Options.jpeg2000.lossless ? 0.0f : CompressionRate(image.Width(), image.Height(), info.BytesPerPixel, channels, Options.jpeg2000.quality);
  settings.cod_format = Options.jpeg2000.codeStreamOnly ? 0 : 1;

  Messages messages;
  CodecPtr codec(opj_create_compress(Options.jpeg2000.codeStreamOnly ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
  if (!codec) RaiseImaging("JPEG 2000: cannot create the encoder.");
  RouteMessages(codec.get(), messages);
  if (!opj_setup_encoder(codec.get(), &settings, encoded.get())) RaiseJp2(messages, "the encoder could not be set up");

  Sink sink;
  StreamPtr output(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE));
  if (!output) RaiseImaging("JPEG 2000: cannot create the output stream.");
  opj_stream_set_write_function(output.get(), SinkWrite);
  opj_stream_set_skip_function(output.get(), SinkSkip);
  opj_stream_set_seek_function(output.get(), SinkSeek);
  opj_stream_set_user_data(output.get(), &sink, nullptr);
  if (!opj_start_compress(codec.get(), encoded.get(), output.get()) || !opj_encode(codec.get(), output.get()) ||
      !opj_end_compress(codec.get(), output.get()))
    RaiseJp2(messages, "encoding failed");
  output.reset();
  // A code stream has no place for a profile.
  if (const ColorProfile profile = Options.jpeg2000.codeStreamOnly ? nullptr : SaveProfileFor(image.Format()))
    sink.Data = WithProfileBox(sink.Data, *profile);
  stream.WriteExact(sink.Data.data(), int64_t(sink.Data.size()), "JPEG 2000 file");
  return true;
}

void Jpeg2000Encoder::ConvertForSave(Image& image, const PixelFormatInfo& info) {
  using PF = PixelFormat;
  PF target;
  const int bytesPerChannel = info.ChannelCount > 0 ? info.BytesPerPixel / info.ChannelCount : 0;
  if (info.IsFloatingPoint)
    target = info.ChannelCount == 1 ? PF::Gray16 : PF::A16R16G16B16;
  else if (info.HasGrayChannel)
    target = info.HasAlphaChannel ? PF::A16Gray16 : PF::Gray16;
  else if (info.IsIndexed)
    target = PF::A8R8G8B8;
  else if (bytesPerChannel < 2)
    target = info.HasAlphaChannel ? PF::A8R8G8B8 : PF::R8G8B8;
  else
    target = info.HasAlphaChannel ? PF::A16R16G16B16 : PF::R16G16B16;
  ConvertImageFormat(image, target);
}

std::unique_ptr<Codec> CreateJpeg2000Codec() { return std::make_unique<Jpeg2000Codec>(); }

// The image area of the SIZ segment and the format of its component count and precision; a
// JP2 palette box can still change the format the decoder gives.
void ReadJpeg2000Header(Stream& stream, ImageHeader& result) {
  const int64_t base = stream.Position();
  const int64_t end = base + stream.Remaining();
  uint8_t signature[8];
  const int64_t got = stream.Read(signature, 8);
  const Jp2Form form = DetectForm(signature, got);
  if (form == Jp2Form::None) RaiseImaging("JPEG 2000: the signature is missing.");
  SizSegment siz;
  if (!ReadSizSegment(stream, form, base, end, siz)) RaiseImaging("JPEG 2000: the size marker cannot be found.");
  if (siz.Csiz < 1 || siz.Csiz > 4) RaiseImaging("JPEG 2000: %u components are not supported.", unsigned(siz.Csiz));
  if (siz.Xsiz <= siz.XOsiz || siz.Ysiz <= siz.YOsiz) RaiseImaging("JPEG 2000: the image area is empty.");
  CheckSizSegment(siz, end - base);
  CheckImageDimensions(int64_t(siz.Xsiz) - siz.XOsiz, int64_t(siz.Ysiz) - siz.YOsiz, "JPEG 2000 file");
  // Each component's precision and sampling steps follow the fixed part of the segment.
  uint8_t components[4 * 3];
  stream.ReadExact(components, size_t(siz.Csiz) * 3, "JPEG 2000 component sizes");
  const PictureGrid grid = GridOf(siz.XOsiz, siz.YOsiz, siz.Xsiz, siz.Ysiz, siz.Csiz, [&](uint32_t c) {
    return std::pair<uint32_t, uint32_t>(components[c * 3 + 1], components[c * 3 + 2]);
  });
  result = {int32_t(grid.width), int32_t(grid.height), ChooseFormat(siz.Csiz, (components[0] & 0x7F) + 1u)};
}

ImageHeader Jpeg2000Codec::ReadHeader(Stream& stream, const CodecOptions&) const {
  ImageHeader header;
  ReadJpeg2000Header(stream, header);
  return header;
}

}  // namespace imaging::formats
