// ZSoft PCX, read only: 1, 2, 4 and 8 bits per pixel in one to four planes, raw or run-length
// encoded, with the header's 16-colour palette or the 256-colour palette after the data.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/Headers.h"
#include "imaging/Codec.h"
#include "imaging/formats/ByteReader.h"
#include "imaging/formats/PcxTypes.h"

namespace imaging::formats {

namespace {

PcxHeader ParseHeader(const uint8_t* bytes) {
  ByteReader reader(bytes, kPCXHeaderSize, "PCX");
  PcxHeader h{};
  h.Id = reader.U8("header");
  h.Version = reader.U8("header");
  h.Encoding = reader.U8("header");
  h.BitsPerPixel = reader.U8("header");
  h.XMin = reader.U16LE("header");
  h.YMin = reader.U16LE("header");
  h.XMax = reader.U16LE("header");
  h.YMax = reader.U16LE("header");
  h.DpiX = reader.U16LE("header");
  h.DpiY = reader.U16LE("header");
  std::memcpy(h.ColorMap, reader.Bytes(sizeof h.ColorMap, "header"), sizeof h.ColorMap);
  h.Reserved = reader.U8("header");
  h.Planes = reader.U8("header");
  h.BytesPerLine = reader.U16LE("header");
  h.PaletteInfo = reader.U16LE("header");
  return h;
}

enum class Layout { None, Indexed8, RGB, RGBA, Packed, EGA };

Layout LayoutOf(const PcxHeader& h) {
  if (h.BitsPerPixel == 8 && h.Planes == 1) return Layout::Indexed8;
  if (h.BitsPerPixel == 8 && h.Planes == 3) return Layout::RGB;
  if (h.BitsPerPixel == 8 && h.Planes == 4) return Layout::RGBA;
  if ((h.BitsPerPixel == 1 && h.Planes == 1) || h.BitsPerPixel == 2 || (h.BitsPerPixel == 4 && h.Planes == 1))
    return Layout::Packed;
  if (h.BitsPerPixel == 1 && h.Planes == 4) return Layout::EGA;
  return Layout::None;
}

// What the header tells, checked: the layout of the planes (None for one this codec does not
// read), the picture's size and the format it decodes to. Raises for a size beyond the limits
// and for scan lines too short for a row.
struct PcxPicture {
  PcxHeader header;
  Layout layout;
  int64_t width;
  int64_t height;
  PixelFormat format;
};

PcxPicture ParsePicture(Stream& stream) {
  uint8_t bytes[kPCXHeaderSize];
  stream.ReadExact(bytes, kPCXHeaderSize, "PCX header");
  PcxPicture picture{ParseHeader(bytes), Layout::None, 0, 0, PixelFormat::Unknown};
  const PcxHeader& h = picture.header;
  picture.layout = LayoutOf(h);
  if (picture.layout == Layout::None) return picture;
  picture.width = int64_t(h.XMax) - h.XMin + 1;
  picture.height = int64_t(h.YMax) - h.YMin + 1;
  CheckImageDimensions(picture.width, picture.height, "PCX image");
  // Every plane's scan line must hold a whole row of pixels.
  const int64_t planeBits = picture.layout == Layout::EGA ? 1 : h.BitsPerPixel;
  if (int64_t(h.BytesPerLine) * 8 < picture.width * planeBits)
    RaiseImaging("PCX bytes per line (%d) too small for an image %lld pixels wide at %d bits per pixel.",
                 h.BytesPerLine, static_cast<long long>(picture.width), h.BitsPerPixel);
  picture.format = picture.layout == Layout::RGB    ? PixelFormat::R8G8B8
                   : picture.layout == Layout::RGBA ? PixelFormat::A8R8G8B8
                                                    : PixelFormat::Index8;
  return picture;
}

// Run-length decoding of the whole image: a byte of 192 or more repeats the next byte by its
// low six bits; runs may cross scan lines and planes but never the end of the image.
size_t DecodeRLE(const uint8_t* data, size_t size, uint8_t* out, size_t total) {
  size_t pos = 0;
  size_t produced = 0;
  while (produced < total) {
    if (pos >= size) RaiseImaging("PCX image data is truncated.");
    const uint8_t b = data[pos++];
    if (b < 192) {
      out[produced++] = b;
      continue;
    }
    if (pos >= size) RaiseImaging("PCX image data is truncated.");
    const size_t count = std::min<size_t>(b & 63, total - produced);
    std::memset(out + produced, data[pos++], count);
    produced += count;
  }
  return pos;
}

class PcxCodec : public Codec {
public:
  PcxCodec() {
    Name = "ZSoft Paintbrush Image";
    CanLoad = true;
    CanSave = false;
    IsMultiImage = false;
    AddMasks("*.pcx");
    CanReadHeader = true;
  }

  bool ProbeStream(Stream& stream) const override {
    uint8_t bytes[kPCXHeaderSize];
    const int64_t n = std::max<int64_t>(stream.Read(bytes, kPCXHeaderSize), 0);
    stream.Seek(-n, SeekOrigin::Current);
    if (n != int64_t(kPCXHeaderSize)) return false;
    const PcxHeader h = ParseHeader(bytes);
    // Palette info 0 is common in files of many writers and means nothing different.
    return h.Id == kPCXManufacturer && (h.Version == 0 || (h.Version >= 2 && h.Version <= 5)) && h.Encoding <= 1 &&
           (h.BitsPerPixel == 1 || h.BitsPerPixel == 2 || h.BitsPerPixel == 4 || h.BitsPerPixel == 8) &&
           (h.Planes == 1 || h.Planes == 3 || h.Planes == 4) && h.PaletteInfo <= 2;
  }

  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
};

class PcxDecoder : public Decoder {
public:
  using Decoder::Decoder;

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool) override {
    const PcxPicture picture = ParsePicture(stream);
    if (picture.layout == Layout::None) return false;
    const PcxHeader& h = picture.header;
    const Layout layout = picture.layout;
    const int64_t width = picture.width;
    const int64_t height = picture.height;

    const size_t lineBytes = size_t(h.Planes) * h.BytesPerLine;
    const size_t total = lineBytes * size_t(height);
    // A run covers at most 63 bytes, so a file shorter than that cannot hold the image.
    const int64_t available = stream.Remaining();
    const int64_t minimum = h.Encoding == 1 ? int64_t((total + 62) / 63) * 2 : int64_t(total);
    if (available < minimum) RaiseImaging("PCX image data is truncated.");

    std::vector<uint8_t> planes(total);
    if (h.Encoding == 1) {
      // Two bytes per output byte is the worst any encoder produces.
      const int64_t block = std::min<int64_t>(available, int64_t(total) * 2);
      std::vector<uint8_t> data(static_cast<size_t>(block));
      stream.ReadExact(data.data(), block, "PCX image data");
      const size_t used = DecodeRLE(data.data(), data.size(), planes.data(), total);
      stream.Seek(-static_cast<int64_t>(data.size() - used), SeekOrigin::Current);
    } else {
      stream.ReadExact(planes.data(), static_cast<int64_t>(total), "PCX image data");
    }

    Image& image = images.emplace_back();
    if (!CreateImage(static_cast<int32_t>(width), static_cast<int32_t>(height), picture.format, image))
      RaiseImaging("Cannot create a PCX image.");
    if (layout == Layout::Packed || layout == Layout::EGA)
      for (size_t i = 0; i < 16; ++i)
        image.Palette()[i] = MakeColor32(255, h.ColorMap[i * 3], h.ColorMap[i * 3 + 1], h.ColorMap[i * 3 + 2]);

    const size_t w = size_t(width);
    const size_t bpl = h.BytesPerLine;
    for (size_t y = 0; y < size_t(height); ++y) {
      const uint8_t* line = planes.data() + y * lineBytes;
      switch (layout) {
        case Layout::Indexed8:
          std::memcpy(image.Bits() + y * w, line, w);
          break;
        case Layout::RGB:
        case Layout::RGBA: {
          // Planes hold red, green, blue (and alpha) lines one after another.
          const size_t channels = layout == Layout::RGB ? 3 : 4;
          uint8_t* out = image.Bits() + y * w * channels;
          for (size_t x = 0; x < w; ++x, out += channels) {
            out[0] = line[2 * bpl + x];
            out[1] = line[bpl + x];
            out[2] = line[x];
            if (channels == 4) out[3] = line[3 * bpl + x];
          }
          break;
        }
        case Layout::Packed: {
          const unsigned bits = h.BitsPerPixel;
          const unsigned mask = (1u << bits) - 1;
          uint8_t* out = image.Bits() + y * w;
          for (size_t x = 0; x < w; ++x) {
            const size_t bit = x * bits;
            out[x] = static_cast<uint8_t>((line[bit / 8] >> (8 - bits - bit % 8)) & mask);
          }
          break;
        }
        case Layout::EGA: {
          uint8_t* out = image.Bits() + y * w;
          for (size_t x = 0; x < w; ++x) {
            uint8_t index = 0;
            for (size_t p = 0; p < 4; ++p) index |= static_cast<uint8_t>(((line[p * bpl + x / 8] >> (7 - x % 8)) & 1) << p);
            out[x] = index;
          }
          break;
        }
        case Layout::None:
          break;
      }
    }

    if (layout == Layout::Indexed8) {
      uint8_t marker = 0;
      const int64_t n = std::max<int64_t>(stream.Read(&marker, 1), 0);
      if (n == 1 && marker == kPCXPaletteMarker) {
        uint8_t palette[kPCXPaletteSize];
        stream.ReadExact(palette, kPCXPaletteSize, "PCX palette");
        for (size_t i = 0; i < 256; ++i)
          image.Palette()[i] = MakeColor32(255, palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]);
      } else {
        stream.Seek(-n, SeekOrigin::Current);
      }
    }
    return true;
  }
};

std::unique_ptr<Decoder> PcxCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<PcxDecoder>(options);
}

}  // namespace

std::unique_ptr<Codec> CreatePcxCodec() { return std::make_unique<PcxCodec>(); }

ImageHeader PcxCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  const PcxPicture picture = ParsePicture(stream);
  if (picture.layout == Layout::None) RaiseImaging("PCX: the plane layout is not supported.");
  return {int32_t(picture.width), int32_t(picture.height), picture.format};
}

}  // namespace imaging::formats
