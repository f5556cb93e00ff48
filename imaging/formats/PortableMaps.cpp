// The Netpbm family (PBM, PGM, PPM in their plain and binary forms, PAM) and the portable
// float map. One reader serves all five codecs, so each of them reads every variant.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

#include "imaging/Headers.h"
#include "imaging/Codec.h"
#include "imaging/formats/CodecUtils.h"

namespace imaging::formats {

namespace {

enum class PamTupleType : int32_t {
  Invalid = 0,
  BlackAndWhite = 1,
  Grayscale = 2,
  RGB = 3,
  BlackAndWhiteAlpha = 4,
  GrayscaleAlpha = 5,
  RGBAlpha = 6,
  GrayscaleFP = 7,
  RGBFP = 8,
};

const char* const kTupleNames[] = {"INVALID",          "BLACKANDWHITE",   "GRAYSCALE", "RGB",   "BLACKANDWHITE_ALPHA",
                                   "GRAYSCALE_ALPHA", "RGB_ALPHA", "GRAYSCALEFP", "RGBFP"};

// What a header says about the data that follows (also filled by the writers).
struct MapInfo {
  int64_t Width = 0;
  int64_t Height = 0;
  int32_t Depth = 0;     // channels
  int64_t MaxVal = 0;    // largest sample value
  int32_t BitCount = 0;  // bits per sample: 1, 8, 16; per pixel for floats: 32 or 96
  PamTupleType TupleType = PamTupleType::Invalid;
  bool Binary = false;
  bool IsBigEndian = false;
  bool HasPAMHeader = false;
  char Magic = 0;
};

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads header tokens and plain samples through a 16384-byte buffer; whatever is left in the
// buffer after the header is given back to the stream.
class TokenReader {
public:
  explicit TokenReader(Stream& stream) : stream_(stream) {}

  int Get() {
    if (pos_ == end_ && !Fill()) return -1;
    return buffer_[pos_++];
  }
  // The byte `ahead` places on, within what the buffer already holds, or -1.
  int PeekBuffered(size_t ahead) const { return pos_ + ahead < end_ ? buffer_[pos_ + ahead] : -1; }

  // Skips blanks and comments ("#" at the start of a token, up to the next line feed).
  // Returns the first byte of the token, or -1 at the end of the data.
  int SkipToToken() {
    for (;;) {
      int c = Get();
      while (IsSpace(c)) c = Get();
      if (c != '#') return c;
      while (c != -1 && c != '\n') c = Get();
      if (c == -1) return -1;
    }
  }

  // A whole token; its terminating whitespace character is consumed.
  bool NextToken(std::string& token) {
    token.clear();
    int c = SkipToToken();
    if (c == -1) return false;
    while (c != -1 && !IsSpace(c)) {
      token.push_back(static_cast<char>(c));
      c = Get();
    }
    return true;
  }

  // A decimal sample of plain data. Raises on anything but digits or a value above `limit`.
  uint32_t NextSample(uint32_t limit) {
    int c = SkipToToken();
    if (c == -1) RaiseImaging("Unexpected end of plain portable map data.");
    uint64_t value = 0;
    while (c != -1 && !IsSpace(c)) {
      if (c < '0' || c > '9') RaiseImaging("Invalid character in plain portable map data.");
      value = value * 10 + uint64_t(c - '0');
      if (value > limit) RaiseImaging("Sample value above %u in plain portable map data.", limit);
      c = Get();
    }
    return static_cast<uint32_t>(value);
  }

  // One digit of plain PBM data, which may or may not be separated by whitespace.
  uint8_t NextBit() {
    const int c = SkipToToken();
    if (c == '0' || c == '1') return static_cast<uint8_t>(c - '0');
    if (c == -1) RaiseImaging("Unexpected end of plain portable bit map data.");
    RaiseImaging("Invalid character in plain portable bit map data.");
  }

  // Moves the stream back to just after the last byte taken from the buffer.
  void GiveBack() {
    if (end_ > pos_) stream_.Seek(-static_cast<int64_t>(end_ - pos_), SeekOrigin::Current);
    pos_ = end_ = 0;
  }

  // Bytes still to be read: what the buffer holds and what the stream has left.
  int64_t Remaining() const { return static_cast<int64_t>(end_ - pos_) + stream_.Remaining(); }

private:
  bool Fill() {
    const int64_t n = stream_.Read(buffer_, sizeof buffer_);
    pos_ = 0;
    end_ = n > 0 ? static_cast<size_t>(n) : 0;
    return end_ > 0;
  }

  Stream& stream_;
  uint8_t buffer_[16384];
  size_t pos_ = 0;
  size_t end_ = 0;
};

bool ParseCount(const std::string& token, int64_t& value) {
  if (token.empty() || token.size() > 10) return false;
  const auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  return ec == std::errc() && ptr == token.data() + token.size() && value >= 0;
}

// Reads the header. False when it does not describe a readable image.
bool ReadMapHeader(TokenReader& reader, MapInfo& info) {
  if (reader.Get() != 'P') return false;
  const int magic = reader.Get();
  info.Magic = static_cast<char>(magic);
  // The first line's ending decides the byte order of 16-bit samples. Header tokens may
  // follow the magic on the same line, so the ending is only looked at, not consumed.
  bool crlf = false;
  for (size_t i = 0;; ++i) {
    const int c = reader.PeekBuffered(i);
    if (c == -1) break;
    if (c == '\n') {
      crlf = i > 0 && reader.PeekBuffered(i - 1) == '\r';
      break;
    }
  }

  std::string token;
  auto count = [&](int64_t& value) { return reader.NextToken(token) && ParseCount(token, value); };
  switch (magic) {
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6': {
      if (!count(info.Width) || !count(info.Height)) return false;
      if (magic == '1' || magic == '4') {
        info.MaxVal = 1;
        info.BitCount = 1;
      } else {
        if (!count(info.MaxVal)) return false;
        info.BitCount = info.MaxVal < 257 ? 8 : 16;
      }
      info.Depth = magic == '3' || magic == '6' ? 3 : 1;
      info.TupleType = magic == '1' || magic == '4'   ? PamTupleType::BlackAndWhite
                       : magic == '2' || magic == '5' ? PamTupleType::Grayscale
                                                      : PamTupleType::RGB;
      break;
    }
    case '7': {
      int64_t depth = 0;
      auto keyword = [&](const char* word) { return reader.NextToken(token) && token == word; };
      if (!keyword("WIDTH") || !count(info.Width) || !keyword("HEIGHT") || !count(info.Height) ||
          !keyword("DEPTH") || !count(depth) || !keyword("MAXVAL") || !count(info.MaxVal) || !keyword("TUPLTYPE") ||
          !reader.NextToken(token))
        return false;
      info.TupleType = PamTupleType::Invalid;
      for (size_t i = 0; i < std::size(kTupleNames); ++i)
        if (strcasecmp(token.c_str(), kTupleNames[i]) == 0) info.TupleType = static_cast<PamTupleType>(i);
      if (!keyword("ENDHDR")) return false;
      info.Depth = static_cast<int32_t>(std::min<int64_t>(depth, 255));
      info.BitCount = info.MaxVal < 257 ? 8 : 16;
      info.HasPAMHeader = true;
      break;
    }
    case 'F':
    case 'f': {
      if (!count(info.Width) || !count(info.Height) || !reader.NextToken(token)) return false;
      double scale = 0;
      const auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), scale);
      if (ec != std::errc() || ptr != token.data() + token.size()) scale = 0;
      info.IsBigEndian = scale > 0;
      info.TupleType = magic == 'F' ? PamTupleType::RGBFP : PamTupleType::GrayscaleFP;
      info.Depth = magic == 'F' ? 3 : 1;
      info.BitCount = magic == 'F' ? 96 : 32;
      break;
    }
    default:
      return false;
  }
  info.Binary = magic >= '4';
  if (magic >= '4' && magic <= '7') info.IsBigEndian = !crlf;

  if (info.Width < 1 || info.Height < 1) return false;
  switch (info.TupleType) {
    case PamTupleType::BlackAndWhite:
    case PamTupleType::BlackAndWhiteAlpha:
      // Samples of these types are 0 or 1, one byte each.
      if (info.MaxVal != 1) return false;
      break;
    case PamTupleType::Grayscale:
    case PamTupleType::RGB:
    case PamTupleType::GrayscaleAlpha:
    case PamTupleType::RGBAlpha:
      // Samples are rescaled by the maximum; it must be a usable divisor and fit 16 bits.
      if (info.MaxVal < 1 || info.MaxVal > 65535) return false;
      break;
    case PamTupleType::GrayscaleFP:
    case PamTupleType::RGBFP:
      if (info.HasPAMHeader) return false;
      break;
    case PamTupleType::Invalid:
      return false;
  }
  switch (info.TupleType) {
    case PamTupleType::BlackAndWhite:
    case PamTupleType::Grayscale:
    case PamTupleType::GrayscaleFP: return info.Depth == 1;
    case PamTupleType::RGB:
    case PamTupleType::RGBFP: return info.Depth == 3;
    case PamTupleType::BlackAndWhiteAlpha:
    case PamTupleType::GrayscaleAlpha: return info.Depth == 2;
    case PamTupleType::RGBAlpha: return info.Depth == 4;
    case PamTupleType::Invalid: return false;
  }
  return false;
}

PixelFormat FormatOf(const MapInfo& info) {
  const bool wide = info.BitCount == 16;
  switch (info.TupleType) {
    case PamTupleType::BlackAndWhite: return PixelFormat::Gray8;
    case PamTupleType::Grayscale: return wide ? PixelFormat::Gray16 : PixelFormat::Gray8;
    case PamTupleType::RGB: return wide ? PixelFormat::R16G16B16 : PixelFormat::R8G8B8;
    case PamTupleType::BlackAndWhiteAlpha: return PixelFormat::A8Gray8;
    case PamTupleType::GrayscaleAlpha: return wide ? PixelFormat::A16Gray16 : PixelFormat::A8Gray8;
    case PamTupleType::RGBAlpha: return wide ? PixelFormat::A16R16G16B16 : PixelFormat::A8R8G8B8;
    // The library's one-channel float formats are red channels; gray samples are kept in all
    // three colour channels so that conversions show them as gray.
    case PamTupleType::GrayscaleFP: return PixelFormat::A32R32G32B32F;
    case PamTupleType::RGBFP: return PixelFormat::A32B32G32R32F;
    case PamTupleType::Invalid: break;
  }
  return PixelFormat::Unknown;
}

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void SwapBytes(uint8_t* data, size_t bytes, size_t width) {
  for (size_t i = 0; i + width <= bytes; i += width) std::reverse(data + i, data + i + width);
}

// File order R, G, B(, A) becomes the buffer's B, G, R(, A).
void SwapRedBlue(Image& image, size_t channels, size_t sampleBytes) {
  const size_t pixelBytes = channels * sampleBytes;
  const size_t count = size_t(image.Width()) * size_t(image.Height());
  uint8_t* p = image.Bits();
  for (size_t i = 0; i < count; ++i, p += pixelBytes)
    std::swap_ranges(p, p + sampleBytes, p + 2 * sampleBytes);
}

void ReadPlain(TokenReader& reader, const MapInfo& info, Image& image) {
  const size_t samples = size_t(image.Width()) * size_t(image.Height()) * size_t(info.Depth);
  if (info.Magic == '1') {
    for (size_t i = 0; i < samples; ++i) image.Bits()[i] = reader.NextBit() ? 0 : 255;
    return;
  }
  const bool wide = info.BitCount == 16;
  const uint32_t limit = wide ? 65535 : 255;
  const size_t pixels = size_t(image.Width()) * size_t(image.Height());
  const size_t channels = size_t(info.Depth);
  for (size_t i = 0; i < pixels; ++i) {
    for (size_t c = 0; c < channels; ++c) {
      // Colour samples come as R, G, B and are stored as B, G, R.
      const size_t slot = channels == 3 ? 2 - c : c;
      const uint32_t v = reader.NextSample(limit);
      if (wide)
        Store16(image.Bits() + (i * channels + slot) * 2, static_cast<uint16_t>(v));
      else
        image.Bits()[i * channels + slot] = static_cast<uint8_t>(v);
    }
  }
}

void ReadBitmapRows(Stream& stream, Image& image) {
  const size_t rowBytes = (size_t(image.Width()) + 7) / 8;
  std::vector<uint8_t> row(rowBytes);
  for (int32_t y = 0; y < image.Height(); ++y) {
    stream.ReadExact(row.data(), static_cast<int64_t>(rowBytes), "portable bit map data");
    uint8_t* out = image.Bits() + size_t(y) * size_t(image.Width());
    for (int32_t x = 0; x < image.Width(); ++x) out[x] = (row[size_t(x) / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
  }
}

// Float maps store the bottom row first. Colour pixels (R, G, B) go to A32B32G32R32F, gray
// samples to A32R32G32B32F with the sample in every colour channel; alpha is 1.0.
void ReadFloatRows(Stream& stream, const MapInfo& info, Image& image) {
  const bool color = info.TupleType == PamTupleType::RGBFP;
  const size_t fileBytesPerPixel = color ? 12 : 4;
  const size_t rowBytes = size_t(image.Width()) * fileBytesPerPixel;
  std::vector<uint8_t> row(rowBytes);
  const float one = 1.0f;
  for (int32_t y = image.Height() - 1; y >= 0; --y) {
    stream.ReadExact(row.data(), static_cast<int64_t>(rowBytes), "portable float map data");
    if (info.IsBigEndian) SwapBytes(row.data(), rowBytes, 4);
    uint8_t* out = image.Bits() + size_t(y) * size_t(image.Width()) * 16;
    for (int32_t x = 0; x < image.Width(); ++x, out += 16) {
      const uint8_t* in = row.data() + size_t(x) * fileBytesPerPixel;
      if (color) {
        std::memcpy(out, in, 12);
      } else {
        std::memcpy(out, in, 4);
        std::memcpy(out + 4, in, 4);
        std::memcpy(out + 8, in, 4);
      }
      std::memcpy(out + 12, &one, 4);
    }
  }
}

void FinishSamples(const MapInfo& info, Image& image) {
  const bool wide = info.BitCount == 16;
  const size_t samples = size_t(image.Width()) * size_t(image.Height()) * size_t(info.Depth);
  if (info.HasPAMHeader &&
      (info.TupleType == PamTupleType::BlackAndWhite || info.TupleType == PamTupleType::BlackAndWhiteAlpha)) {
    for (size_t i = 0; i < samples; ++i) {
      if (image.Bits()[i] > 1) RaiseImaging("Sample value %d above 1 in a black-and-white portable map.", image.Bits()[i]);
      image.Bits()[i] = image.Bits()[i] ? 255 : 0;
    }
  }
  if (wide && info.Binary && info.IsBigEndian) SwapBytes(image.Bits(), samples * 2, 2);
  if (info.Binary && (info.TupleType == PamTupleType::RGB || info.TupleType == PamTupleType::RGBAlpha))
    SwapRedBlue(image, size_t(info.Depth), wide ? 2 : 1);

  const bool scaled = info.TupleType == PamTupleType::Grayscale || info.TupleType == PamTupleType::RGB ||
                      info.TupleType == PamTupleType::GrayscaleAlpha || info.TupleType == PamTupleType::RGBAlpha;
  const int64_t full = wide ? 65535 : 255;
  if (!scaled || info.MaxVal == full) return;
  const uint32_t maxVal = static_cast<uint32_t>(info.MaxVal);
  for (size_t i = 0; i < samples; ++i) {
    const uint32_t v = wide ? Load16(image.Bits() + i * 2) : image.Bits()[i];
    if (v > maxVal) RaiseImaging("Sample value %u above the maximum %u in portable map data.", v, maxVal);
    const uint32_t rescaled = static_cast<uint32_t>(int64_t(v) * full / maxVal);
    if (wide)
      Store16(image.Bits() + i * 2, static_cast<uint16_t>(rescaled));
    else
      image.Bits()[i] = static_cast<uint8_t>(rescaled);
  }
}

// The header, checked: false when it cannot be read; raises for a size beyond the limits.
// The header read and the decoder both parse through here; the decoder goes on with the same
// reader to the samples.
bool ParseMap(TokenReader& reader, MapInfo& info) {
  if (!ReadMapHeader(reader, info)) return false;
  CheckImageDimensions(info.Width, info.Height, "portable map");
  return true;
}

// The description of each of the five codecs: they differ in name, masks, magic numbers and
// the formats they write.
class PortableMapCodec : public Codec {
public:
  PortableMapCodec(const char* name, const char* masks, char plainMagic, char binaryMagic, bool canSave,
                   std::initializer_list<PixelFormat> formats)
      : plainMagic_(plainMagic), binaryMagic_(binaryMagic) {
    Name = name;
    CanLoad = true;
    CanSave = canSave;
    IsMultiImage = false;
    SupportedFormats = MakeFormatSet(formats);
    AddMasks(masks);
    CanReadHeader = true;
  }

  bool ProbeStream(Stream& stream) const override {
    uint8_t bytes[4];
    const int64_t n = std::max<int64_t>(stream.Read(bytes, 4), 0);
    stream.Seek(-n, SeekOrigin::Current);
    return n >= 3 && bytes[0] == 'P' && (bytes[1] == plainMagic_ || bytes[1] == binaryMagic_) && IsSpace(bytes[2]);
  }

  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;

private:
  char plainMagic_;
  char binaryMagic_;
};

// Reads any of the maps: the header tells which.
class PortableMapDecoder : public Decoder {
public:
  using Decoder::Decoder;

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool) override {
    TokenReader reader(stream);
    MapInfo info;
    if (!ParseMap(reader, info)) return false;
    const PixelFormat format = FormatOf(info);
    const int64_t pixels = info.Width * info.Height;

    // Refuse before allocating when the file cannot hold the picture it announces.
    int64_t needed;
    if (!info.Binary)
      needed = info.Magic == '1' ? pixels : pixels * info.Depth * 2 - 1;
    else if (info.Magic == '4')
      needed = (info.Width + 7) / 8 * info.Height;
    else if (info.BitCount >= 32)
      needed = pixels * info.BitCount / 8;
    else
      needed = pixels * info.Depth * (info.BitCount / 8);
    if (info.Binary) reader.GiveBack();
    const int64_t available = info.Binary ? stream.Remaining() : reader.Remaining();
    if (available < needed)
      RaiseImaging("Portable map data is truncated: %lld bytes for a %lldx%lld image that needs %lld.",
                   static_cast<long long>(available), static_cast<long long>(info.Width),
                   static_cast<long long>(info.Height), static_cast<long long>(needed));

    Image& image = images.emplace_back();
    if (!CreateImage(static_cast<int32_t>(info.Width), static_cast<int32_t>(info.Height), format, image))
      RaiseImaging("Cannot create a portable map image.");

    if (!info.Binary) {
      ReadPlain(reader, info, image);
      reader.GiveBack();
    } else if (info.Magic == '4') {
      ReadBitmapRows(stream, image);
    } else if (info.BitCount >= 32) {
      ReadFloatRows(stream, info, image);
    } else {
      stream.ReadExact(image.Bits(), image.Size(), "portable map data");
    }
    FinishSamples(info, image);
    return true;
  }
};

// Writes the map of its codec: the magic numbers tell which.
class PortableMapEncoder : public Encoder {
public:
  PortableMapEncoder(const Codec& description, const CodecOptions& options, char plainMagic, char binaryMagic)
      : Encoder(description, options), plainMagic_(plainMagic), binaryMagic_(binaryMagic) {}

  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override {
    PreparedImage prepared;
    if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;
    const Image& image = prepared;
    const PixelFormatInfo* format = FindFormatInfo(image.Format());

    MapInfo info;
    info.Width = image.Width();
    info.Height = image.Height();
    info.Depth = format->ChannelCount;
    info.BitCount = format->BytesPerPixel / format->ChannelCount * 8;
    if (format->IsFloatingPoint)
      info.TupleType = format->ChannelCount > 1 ? PamTupleType::RGBFP : PamTupleType::GrayscaleFP;
    else if (format->HasGrayChannel)
      info.TupleType = format->HasAlphaChannel ? PamTupleType::GrayscaleAlpha : PamTupleType::Grayscale;
    else
      info.TupleType = format->HasAlphaChannel ? PamTupleType::RGBAlpha : PamTupleType::RGB;
    info.MaxVal = (int64_t(1) << std::min(info.BitCount, 16)) - 1;

    char magic;
    if (binaryMagic_ == '7') {
      magic = '7';
      info.Binary = true;
    } else if (binaryMagic_ == 'f' || binaryMagic_ == 'F') {
      magic = info.TupleType == PamTupleType::RGBFP ? 'F' : 'f';
      info.Binary = true;
    } else {
      info.Binary = SaveBinary();
      magic = info.Binary ? binaryMagic_ : plainMagic_;
    }

    std::string header = std::string("P") + magic + "\n";
    if (magic == '7') {
      header += FormatText("%s %d\n", "WIDTH", image.Width());
      header += FormatText("%s %d\n", "HEIGHT", image.Height());
      header += FormatText("%s %d\n", "DEPTH", info.Depth);
      header += FormatText("%s %d\n", "MAXVAL", static_cast<int>(info.MaxVal));
      header += FormatText("%s %s\n", "TUPLTYPE", kTupleNames[static_cast<int>(info.TupleType)]);
      header += "ENDHDR\n";
    } else {
      header += std::to_string(image.Width()) + "\n" + std::to_string(image.Height()) + "\n";
      if (info.TupleType == PamTupleType::Grayscale || info.TupleType == PamTupleType::RGB)
        header += std::to_string(info.MaxVal) + "\n";
      else if (magic == 'f' || magic == 'F')
        header += "-1\n";
    }
    stream.WriteExact(header.data(), static_cast<int64_t>(header.size()), "portable map header");

    if (magic == 'f' || magic == 'F')
      WriteFloatRows(stream, image, magic == 'F');
    else if (info.Binary)
      WriteBinaryRows(stream, image, info);
    else
      WritePlain(stream, image, info);
    return true;
  }

  void ConvertForSave(Image& image, const PixelFormatInfo& info) override {
    switch (binaryMagic_) {
      case '5':
        ConvertToEightOrSixteenBits(image, info, PixelFormat::Gray8, PixelFormat::Gray16);
        break;
      case '6':
        ConvertToEightOrSixteenBits(image, info, PixelFormat::R8G8B8, PixelFormat::R16G16B16);
        break;
      case '7': {
        const bool alpha = info.HasAlphaChannel;
        PixelFormat target;
        if (info.IsFloatingPoint)
          target = alpha ? PixelFormat::A16R16G16B16 : PixelFormat::R16G16B16;
        else if (info.HasGrayChannel)
          target = alpha ? PixelFormat::A16Gray16 : PixelFormat::Gray16;
        else if (info.BytesPerPixel <= 4)
          target = alpha ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8;
        else
          target = alpha ? PixelFormat::A16R16G16B16 : PixelFormat::R16G16B16;
        ConvertImageFormat(image, target);
        break;
      }
      case 'f':
        ConvertImageFormat(image,
                           info.ChannelCount > 1 || info.IsIndexed ? PixelFormat::A32B32G32R32F : PixelFormat::R32F);
        break;
      default:
        break;
    }
  }

private:
  // PGM and PPM: the 16-bit format for floats, for gray of more than 8 bits and for formats of
  // 5 or more bytes per pixel; else the 8-bit one.
  static void ConvertToEightOrSixteenBits(Image& image, const PixelFormatInfo& info, PixelFormat eight,
                                          PixelFormat sixteen) {
    bool wide;
    if (info.IsFloatingPoint)
      wide = true;
    else if (info.HasGrayChannel)
      wide = info.BytesPerPixel / std::max(info.ChannelCount, 1) > 1;
    else
      wide = info.BytesPerPixel >= 5;
    ConvertImageFormat(image, wide ? sixteen : eight);
  }

  // Float maps: little-endian (scale -1), bottom row first; colour pixels as R, G, B.
  static void WriteFloatRows(Stream& stream, const Image& image, bool color) {
    const size_t fileBytesPerPixel = color ? 12 : 4;
    const size_t rowBytes = size_t(image.Width()) * fileBytesPerPixel;
    std::vector<uint8_t> row(rowBytes);
    for (int32_t y = image.Height() - 1; y >= 0; --y) {
      const uint8_t* src = image.Bits() + size_t(y) * size_t(image.Width()) * (color ? 16 : 4);
      if (color)
        for (int32_t x = 0; x < image.Width(); ++x) std::memcpy(row.data() + size_t(x) * 12, src + size_t(x) * 16, 12);
      else
        std::memcpy(row.data(), src, rowBytes);
      stream.WriteExact(row.data(), static_cast<int64_t>(rowBytes), "portable float map data");
    }
  }

  // The buffer's order (B, G, R(, A), native 16-bit words) becomes the file's R, G, B(, A)
  // with big-endian words.
  static void WriteBinaryRows(Stream& stream, const Image& image, const MapInfo& info) {
    const size_t sampleBytes = size_t(info.BitCount) / 8;
    const size_t channels = size_t(info.Depth);
    const size_t rowBytes = size_t(image.Width()) * channels * sampleBytes;
    const bool color = info.TupleType == PamTupleType::RGB || info.TupleType == PamTupleType::RGBAlpha;
    std::vector<uint8_t> row(rowBytes);
    for (int32_t y = 0; y < image.Height(); ++y) {
      const uint8_t* src = image.Bits() + size_t(y) * rowBytes;
      std::memcpy(row.data(), src, rowBytes);
      if (color) {
        uint8_t* p = row.data();
        for (int32_t x = 0; x < image.Width(); ++x, p += channels * sampleBytes)
          std::swap_ranges(p, p + sampleBytes, p + 2 * sampleBytes);
      }
      if (sampleBytes == 2) SwapBytes(row.data(), rowBytes, 2);
      stream.WriteExact(row.data(), static_cast<int64_t>(rowBytes), "portable map data");
    }
  }

  // Plain data: the samples of a pixel separated by blanks, each pixel followed by a blank,
  // and a line feed after the pixel that takes a line beyond 65 characters.
  static void WritePlain(Stream& stream, const Image& image, const MapInfo& info) {
    const size_t sampleBytes = size_t(info.BitCount) / 8;
    const size_t channels = size_t(info.Depth);
    const size_t pixelBytes = channels * sampleBytes;
    // Worst case per pixel: channels × (5 digits + blank) and a line feed.
    std::vector<char> text(size_t(image.Width()) * (channels * 6 + 1));
    size_t lineLength = 0;
    for (int32_t y = 0; y < image.Height(); ++y) {
      const uint8_t* src = image.Bits() + size_t(y) * size_t(image.Width()) * pixelBytes;
      char* out = text.data();
      for (int32_t x = 0; x < image.Width(); ++x, src += pixelBytes) {
        char* pixelStart = out;
        for (size_t c = 0; c < channels; ++c) {
          const size_t slot = channels == 3 ? 2 - c : c;
          const uint32_t v = sampleBytes == 2 ? Load16(src + slot * 2) : src[slot];
          if (c > 0) *out++ = ' ';
          out = std::to_chars(out, out + 5, v).ptr;
        }
        *out++ = ' ';
        lineLength += size_t(out - pixelStart);
        if (lineLength > 65) {
          *out++ = '\n';
          lineLength = 0;
        }
      }
      stream.WriteExact(text.data(), out - text.data(), "portable map data");
    }
  }

  // Whether the save writes the binary form of a gray or pixel map; the plain text form otherwise.
  bool SaveBinary() const {
    if (binaryMagic_ == '5') return Options.portableMap.grayMapBinary;
    if (binaryMagic_ == '6') return Options.portableMap.pixelMapBinary;
    return true;
  }

  char plainMagic_;
  char binaryMagic_;
};

std::unique_ptr<Decoder> PortableMapCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<PortableMapDecoder>(options);
}

std::unique_ptr<Encoder> PortableMapCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<PortableMapEncoder>(*this, options, plainMagic_, binaryMagic_);
}

}  // namespace

std::unique_ptr<Codec> CreatePbmCodec() {
  return std::make_unique<PortableMapCodec>("Portable Bit Map", "*.pbm", '1', '4', false,
                                            std::initializer_list<PixelFormat>{});
}

std::unique_ptr<Codec> CreatePgmCodec() {
  return std::make_unique<PortableMapCodec>("Portable Gray Map", "*.pgm", '2', '5', true,
                                            std::initializer_list<PixelFormat>{PixelFormat::Gray8, PixelFormat::Gray16});
}

std::unique_ptr<Codec> CreatePpmCodec() {
  return std::make_unique<PortableMapCodec>(
      "Portable Pixel Map", "*.ppm", '3', '6', true,
      std::initializer_list<PixelFormat>{PixelFormat::R8G8B8, PixelFormat::R16G16B16});
}

std::unique_ptr<Codec> CreatePamCodec() {
  return std::make_unique<PortableMapCodec>(
      "Portable Arbitrary Map", "*.pam", '7', '7', true,
      std::initializer_list<PixelFormat>{PixelFormat::Gray8, PixelFormat::A8Gray8, PixelFormat::Gray16,
                                         PixelFormat::A16Gray16, PixelFormat::R8G8B8, PixelFormat::A8R8G8B8,
                                         PixelFormat::R16G16B16, PixelFormat::A16R16G16B16});
}

std::unique_ptr<Codec> CreatePfmCodec() {
  return std::make_unique<PortableMapCodec>("Portable Float Map", "*.pfm", 'F', 'f', true,
                                            std::initializer_list<PixelFormat>{PixelFormat::R32F,
                                                                               PixelFormat::A32B32G32R32F});
}

ImageHeader PortableMapCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  TokenReader reader(stream);
  MapInfo info;
  if (!ParseMap(reader, info)) RaiseImaging("The portable map header cannot be read.");
  return {int32_t(info.Width), int32_t(info.Height), FormatOf(info)};
}

}  // namespace imaging::formats
