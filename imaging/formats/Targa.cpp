// Truevision Targa: colour-mapped, true-colour and gray images, raw or run-length encoded,
// with the optional image ID, colour map, extension area and footer of version 2.0 files.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/Headers.h"
#include "imaging/Codec.h"
#include "imaging/formats/ByteReader.h"
#include "imaging/formats/CodecUtils.h"
#include "imaging/formats/TargaTypes.h"

namespace imaging::formats {

namespace {

bool IsRLEType(uint8_t type) {
  return type == kTargaRLEColorMapped || type == kTargaRLETrueColor || type == kTargaRLEGray;
}

TargaHeader ParseHeader(const uint8_t* bytes) {
  ByteReader reader(bytes, kTargaHeaderSize, "Targa");
  TargaHeader h{};
  h.IDLength = reader.U8("header");
  h.ColorMapType = reader.U8("header");
  h.ImageType = reader.U8("header");
  h.ColorMapOff = reader.U16LE("header");
  h.ColorMapLength = reader.U16LE("header");
  h.ColorEntrySize = reader.U8("header");
  h.XOrg = reader.U16LE("header");
  h.YOrg = reader.U16LE("header");
  h.Width = reader.U16LE("header");
  h.Height = reader.U16LE("header");
  h.PixelSize = reader.U8("header");
  h.Desc = reader.U8("header");
  return h;
}

PixelFormat FormatOfDepth(uint8_t depth) {
  switch (depth) {
    case 8: return PixelFormat::Gray8;
    case 15: return PixelFormat::X1R5G5B5;
    case 16: return PixelFormat::A1R5G5B5;
    case 24: return PixelFormat::R8G8B8;
    case 32: return PixelFormat::A8R8G8B8;
    default: return PixelFormat::Unknown;
  }
}

PixelFormat PixelFormatOf(const TargaHeader& h) {
  PixelFormat format = PixelFormat::Unknown;
  switch (h.ImageType) {
    case kTargaColorMapped:
    case kTargaRLEColorMapped:
      format = PixelFormat::Index8;
      break;
    case kTargaTrueColor:
    case kTargaRLETrueColor:
      if (h.PixelSize != 8) format = FormatOfDepth(h.PixelSize);
      break;
    case kTargaGray:
    case kTargaRLEGray:
      // 16-bit gray pixels carry a second byte (alpha or attribute bits) after the gray value.
      format = h.PixelSize == 16 ? PixelFormat::A8Gray8 : PixelFormat::Gray8;
      break;
    default:
      break;
  }
  if (format == PixelFormat::Unknown) format = FormatOfDepth(h.PixelSize);
  const PixelFormatInfo* info = FindFormatInfo(format);
  // A depth that does not match the pixel size of the format would misread every pixel.
  if (!info || info->BytesPerPixel != (h.PixelSize + 7) / 8)
    RaiseImaging("Unsupported Targa pixel depth %d for image type %d.", h.PixelSize, h.ImageType);
  return format;
}

// Five bits widen to eight by repeating their top bits, so that 31 is 255 (white stays white).
constexpr uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

Color32 Color15To32(uint16_t v) {
  return MakeColor32(255, Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31));
}

// Reads (or for images without indices skips) the colour map into `palette`.
void ReadColorMap(Stream& stream, const TargaHeader& h, Color32* palette) {
  const size_t entryBytes = (size_t(h.ColorEntrySize) + 7) / 8;
  const size_t bytes = size_t(h.ColorMapLength) * entryBytes;
  const bool used = h.ImageType == kTargaColorMapped || h.ImageType == kTargaRLEColorMapped;
  if (!used) {
    if (stream.Remaining() < static_cast<int64_t>(bytes)) RaiseImaging("Unexpected end of Targa data in colour map.");
    stream.Seek(static_cast<int64_t>(bytes), SeekOrigin::Current);
    return;
  }
  std::vector<uint8_t> map(bytes);
  stream.ReadExact(map.data(), static_cast<int64_t>(bytes), "Targa colour map");
  const size_t count = std::min<size_t>(h.ColorMapLength, 256);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = map.data() + i * entryBytes;
    switch (h.ColorEntrySize) {
      case 15:
      case 16:
        // The attribute bit of 16-bit entries is rarely meaningful; such palettes are opaque.
        palette[i] = Color15To32(static_cast<uint16_t>(e[0] | (e[1] << 8)));
        break;
      case 24:
        palette[i] = MakeColor32(255, e[2], e[1], e[0]);
        break;
      case 32:
        palette[i] = MakeColor32(e[3], e[2], e[1], e[0]);
        break;
      default:
        break;
    }
  }
}

// Decodes packets from one block of the file into the pixel buffer and moves the stream back
// over the part of the block the packets did not use.
void DecodeRLE(Stream& stream, Image& image, int32_t bpp) {
  const int64_t raw = int64_t(image.Width()) * image.Height() * bpp;
  const int64_t block = std::min(raw + raw / 2 + 1, stream.Remaining());
  std::vector<uint8_t> data(static_cast<size_t>(block));
  const int64_t got = std::max<int64_t>(stream.Read(data.data(), block), 0);
  const size_t n = static_cast<size_t>(got);
  const size_t bytesPerPixel = static_cast<size_t>(bpp);
  const size_t total = size_t(image.Width()) * size_t(image.Height());
  uint8_t* out = image.Bits();
  size_t produced = 0;
  size_t pos = 0;
  while (produced < total && pos < n) {
    const uint8_t packet = data[pos++];
    if (packet >= 128) {
      const size_t count = std::min<size_t>(packet - 127, total - produced);
      if (bytesPerPixel > n - pos) {
        pos = n;
        break;
      }
      const uint8_t* pixel = data.data() + pos;
      pos += bytesPerPixel;
      for (size_t i = 0; i < count; ++i, out += bytesPerPixel) std::memcpy(out, pixel, bytesPerPixel);
      produced += count;
    } else {
      const size_t count = size_t(packet) + 1;
      const size_t available = (n - pos) / bytesPerPixel;
      const size_t copied = std::min({count, total - produced, available});
      std::memcpy(out, data.data() + pos, copied * bytesPerPixel);
      out += copied * bytesPerPixel;
      produced += copied;
      pos = std::min(n, pos + count * bytesPerPixel);
      if (available < count) break;
    }
  }
  stream.Seek(-static_cast<int64_t>(n - pos), SeekOrigin::Current);
}

// Moves the stream past any extension area and footer.
void SkipTrailer(Stream& stream) {
  for (;;) {
    bool found = false;
    uint8_t size[2];
    int64_t n = std::max<int64_t>(stream.Read(size, 2), 0);
    if (n == 2 && (size[0] | (size[1] << 8)) == kTargaExtensionSize) {
      stream.Seek(kTargaExtensionSize - 2, SeekOrigin::Current);
      found = true;
    } else {
      stream.Seek(-n, SeekOrigin::Current);
    }
    uint8_t footer[kTargaFooterSize];
    n = std::max<int64_t>(stream.Read(footer, kTargaFooterSize), 0);
    if (n == int64_t(kTargaFooterSize) && std::memcmp(footer + kTargaSignatureOffset, kTargaSignature, 16) == 0)
      found = true;
    else
      stream.Seek(-n, SeekOrigin::Current);
    if (!found) break;
  }
}

// Row-by-row run-length encoder: raw packets up to the next pair of equal neighbours, runs
// of equal pixels, at most 128 pixels per packet.
size_t EncodeRowRLE(const uint8_t* row, int32_t width, size_t bpp, uint8_t* out) {
  auto same = [&](int32_t a, int32_t b) { return std::memcmp(row + size_t(a) * bpp, row + size_t(b) * bpp, bpp) == 0; };
  uint8_t* const start = out;
  int32_t x = 0;
  while (x < width) {
    const int32_t left = width - x;
    // Pixels before the next pair of equal neighbours; all but the last when none follows.
    const int32_t limit = std::min(left - 1, 128);
    int32_t raw = 0;
    while (raw < limit && !same(x + raw, x + raw + 1)) ++raw;
    if (left == 1) raw = 1;
    int32_t run = 1;
    while (run < left && run < 128 && same(x, x + run)) ++run;
    if (raw > 0) {
      *out++ = static_cast<uint8_t>(raw - 1);
      std::memcpy(out, row + size_t(x) * bpp, size_t(raw) * bpp);
      out += size_t(raw) * bpp;
      x += raw;
    } else {
      *out++ = static_cast<uint8_t>(run - 1 + 128);
      std::memcpy(out, row + size_t(x) * bpp, bpp);
      out += bpp;
      x += run;
    }
  }
  return static_cast<size_t>(out - start);
}

// The header, checked: an image type and depth this codec reads and a size within the limits,
// and the format the pixels decode to (A1R5G5B5 for 16 bits, which the decoder relabels
// X1R5G5B5 when no pixel sets the attribute bit).
struct TargaPicture {
  TargaHeader header;
  PixelFormat format;
};

TargaPicture ParsePicture(Stream& stream) {
  uint8_t bytes[kTargaHeaderSize];
  stream.ReadExact(bytes, kTargaHeaderSize, "Targa header");
  const TargaHeader h = ParseHeader(bytes);
  const bool typeOk = h.ImageType <= 3 || (h.ImageType >= 9 && h.ImageType <= 11);
  const bool depthOk = h.PixelSize == 1 || h.PixelSize == 8 || h.PixelSize == 15 || h.PixelSize == 16 ||
                       h.PixelSize == 24 || h.PixelSize == 32;
  if (!typeOk || !depthOk)
    RaiseImaging("Targa: image type %u with %u bits per pixel is not supported.", unsigned(h.ImageType),
                 unsigned(h.PixelSize));
  const PixelFormat format = PixelFormatOf(h);
  CheckImageDimensions(h.Width, h.Height, "Targa image");
  return {h, format};
}

class TargaCodec : public Codec {
public:
  TargaCodec() {
    Name = "Truevision Targa Image";
    CanLoad = true;
    CanSave = true;
    IsMultiImage = false;
    SupportedFormats = MakeFormatSet(
        {PixelFormat::Index8, PixelFormat::Gray8, PixelFormat::A1R5G5B5, PixelFormat::R8G8B8, PixelFormat::A8R8G8B8});
    AddMasks("*.tga");
    CanReadHeader = true;
  }

  bool ProbeStream(Stream& stream) const override {
    uint8_t bytes[kTargaHeaderSize];
    const int64_t n = std::max<int64_t>(stream.Read(bytes, kTargaHeaderSize), 0);
    stream.Seek(-n, SeekOrigin::Current);
    if (n != int64_t(kTargaHeaderSize)) return false;
    const TargaHeader h = ParseHeader(bytes);
    const bool typeOk = h.ImageType <= 3 || (h.ImageType >= 9 && h.ImageType <= 11);
    const bool depthOk = h.PixelSize == 1 || h.PixelSize == 8 || h.PixelSize == 15 || h.PixelSize == 16 ||
                         h.PixelSize == 24 || h.PixelSize == 32;
    const bool mapOk = h.ColorEntrySize == 0 || h.ColorEntrySize == 15 || h.ColorEntrySize == 16 ||
                       h.ColorEntrySize == 24 || h.ColorEntrySize == 32;
    return typeOk && depthOk && mapOk;
  }

  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

class TargaDecoder : public Decoder {
public:
  using Decoder::Decoder;

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool) override {
    const TargaPicture picture = ParsePicture(stream);
    const TargaHeader& h = picture.header;
    const PixelFormat format = picture.format;
    if (h.IDLength > 0) {
      uint8_t id[255];
      stream.ReadExact(id, h.IDLength, "Targa image ID");
    }
    const int32_t bpp = FindFormatInfo(format)->BytesPerPixel;

    Color32 palette[256] = {};
    if (h.ColorMapType == 1) ReadColorMap(stream, h, palette);

    // A small file cannot stand for a huge picture: even the densest packets (128 equal
    // pixels) need 1 + bpp bytes, so less data than that is refused before allocating.
    const int64_t pixels = int64_t(h.Width) * h.Height;
    const int64_t leastData = std::min(pixels * bpp, (pixels + 127) / 128 * (1 + bpp));
    if (stream.Remaining() < leastData)
      RaiseImaging("Targa image data is truncated: too little data for %dx%d pixels.", h.Width, h.Height);

    Image& image = images.emplace_back();
    if (!CreateImage(h.Width, h.Height, format, image))
      RaiseImaging("Cannot create a %dx%d Targa image.", h.Width, h.Height);
    if (image.Palette()) std::memcpy(image.Palette(), palette, sizeof palette);

    if (h.ImageType >= kTargaColorMapped && h.ImageType <= kTargaGray) {
      // Truncated raw data leaves the rest of the image zero.
      stream.Read(image.Bits(), image.Size());
    } else if (IsRLEType(h.ImageType)) {
      DecodeRLE(stream, image, bpp);
    }

    if (image.Format() == PixelFormat::A1R5G5B5) {
      bool anyAlpha = false;
      for (int32_t i = 1; i < image.Size() && !anyAlpha; i += 2) anyAlpha = (image.Bits()[i] & 0x80) != 0;
      if (!anyAlpha) image.RelabelFormat(PixelFormat::X1R5G5B5);
    }

    SkipTrailer(stream);

    if ((h.Desc & kTargaDescTopDown) == 0) FlipImage(image);
    if (h.Desc & kTargaDescRightToLeft) MirrorImageRows(image, bpp);
    return true;
  }
};

class TargaEncoder : public Encoder {
public:
  using Encoder::Encoder;

  void ConvertForSave(Image& image, const PixelFormatInfo& info) override {
    PixelFormat target;
    if (info.HasGrayChannel)
      target = info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::Gray8;
    else if (info.IsIndexed)
      target = PixelFormat::Index8;
    else if (info.HasAlphaChannel)
      target = PixelFormat::A8R8G8B8;
    else if (info.HasBitFields)
      target = PixelFormat::A1R5G5B5;
    else
      target = PixelFormat::R8G8B8;
    ConvertImageFormat(image, target);
  }

  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override {
    PreparedImage prepared;
    if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;
    const Image& image = prepared;
    if (image.Width() > 32767 || image.Height() > 32767)
      RaiseImaging("Targa images are limited to 32767 pixels per side; this one is %dx%d.", image.Width(),
                   image.Height());
    const PixelFormatInfo* info = FindFormatInfo(image.Format());
    const bool rle = Options.targa.useRle;
    const bool indexed = image.Format() == PixelFormat::Index8;

    uint8_t header[kTargaHeaderSize] = {};
    header[1] = indexed ? 1 : 0;
    if (indexed)
      header[2] = rle ? kTargaRLEColorMapped : kTargaColorMapped;
    else if (info->HasGrayChannel)
      header[2] = rle ? kTargaRLEGray : kTargaGray;
    else
      header[2] = rle ? kTargaRLETrueColor : kTargaTrueColor;
    if (indexed) {
      PutU16LE(header + 5, 256);
      header[7] = 24;
    }
    PutU16LE(header + 12, static_cast<uint16_t>(image.Width()));
    PutU16LE(header + 14, static_cast<uint16_t>(image.Height()));
    header[16] = static_cast<uint8_t>(info->BytesPerPixel * 8);
    header[17] = image.Format() == PixelFormat::A8R8G8B8   ? kTargaDescTopDown | 8
                 : image.Format() == PixelFormat::A1R5G5B5 ? kTargaDescTopDown | 1
                                                          : kTargaDescTopDown;
    stream.WriteExact(header, kTargaHeaderSize, "Targa header");

    if (indexed) {
      uint8_t map[256 * 3];
      for (size_t i = 0; i < 256; ++i) {
        map[i * 3 + 0] = Color32Blue(image.Palette()[i]);
        map[i * 3 + 1] = Color32Green(image.Palette()[i]);
        map[i * 3 + 2] = Color32Red(image.Palette()[i]);
      }
      stream.WriteExact(map, sizeof map, "Targa colour map");
    }

    if (!rle) {
      stream.WriteExact(image.Bits(), image.Size(), "Targa image data");
      return true;
    }
    const size_t bpp = static_cast<size_t>(info->BytesPerPixel);
    const size_t rowBytes = size_t(image.Width()) * bpp;
    std::vector<uint8_t> packed(size_t(image.Width()) * (bpp + 1));
    for (int32_t y = 0; y < image.Height(); ++y) {
      const size_t n = EncodeRowRLE(image.Bits() + size_t(y) * rowBytes, image.Width(), bpp, packed.data());
      stream.WriteExact(packed.data(), static_cast<int64_t>(n), "Targa image data");
    }
    return true;
  }
};

std::unique_ptr<Decoder> TargaCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<TargaDecoder>(options);
}

std::unique_ptr<Encoder> TargaCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<TargaEncoder>(*this, options);
}

}  // namespace

std::unique_ptr<Codec> CreateTargaCodec() { return std::make_unique<TargaCodec>(); }

ImageHeader TargaCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  const TargaPicture picture = ParsePicture(stream);
  return {int32_t(picture.header.Width), int32_t(picture.header.Height), picture.format};
}

}  // namespace imaging::formats
