// Photoshop PSD codec: reads the merged image of every colour mode that maps onto a library
// format, writes the merged image (RLE) and optionally the same pixels as one layer; the ICC
// profile image resource is read and written.
#include "imaging/ColorProfile.h"
#include "imaging/Headers.h"
#include "imaging/formats/Psd.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace imaging::formats {

namespace {

using namespace psd;

// Photoshop's own limit for PSD documents; beyond it 16-bit packed row lengths can overflow.
constexpr int32_t kMaxPsdSide = 30000;

// The image resource that holds the document's ICC profile.
constexpr uint16_t kIccProfileResource = 1039;

uint16_t GetU16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t GetU32BE(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint16_t ReadU16(Stream& stream, const char* what) {
  uint8_t b[2];
  stream.ReadExact(b, 2, what);
  return GetU16BE(b);
}

uint32_t ReadU32(Stream& stream, const char* what) {
  uint8_t b[4];
  stream.ReadExact(b, 4, what);
  return GetU32BE(b);
}

PsdHeader ParseHeader(const uint8_t* raw) {
  PsdHeader h{};
  std::memcpy(h.Signature, raw, 4);
  h.Version = GetU16BE(raw + 4);
  std::memcpy(h.Reserved, raw + 6, 6);
  h.Channels = GetU16BE(raw + 12);
  h.Height = GetU32BE(raw + 14);
  h.Width = GetU32BE(raw + 18);
  h.Depth = GetU16BE(raw + 22);
  h.Mode = GetU16BE(raw + 24);
  return h;
}

// Skips a section whose length was just read, refusing lengths that run past the end.
void SkipSection(Stream& stream, uint32_t length, const char* what) {
  if (int64_t(length) > stream.Remaining())
    RaiseImaging("PSD: %s of %u bytes runs past the end of the file.", what, length);
  stream.Seek(length, SeekOrigin::Current);
}

// Walks the image resources section of `length` bytes and leaves the stream after it. A resource
// is a signature ("8BIM"), its ID, a Pascal name padded to an even size, the data size and the
// data, padded to an even size. True when the ICC profile resource is there; `profile` then
// holds its data, or nothing when the data runs past the section or exceeds the limit of a
// profile. Other damage ends the walk quietly: the picture does not need the resources.
bool ReadProfileResource(Stream& stream, uint32_t length, std::vector<uint8_t>& profile) {
  if (int64_t(length) > stream.Remaining())
    RaiseImaging("PSD: image resources section of %u bytes runs past the end of the file.", length);
  const int64_t end = stream.Position() + length;
  bool found = false;
  // The smallest resource: signature, ID, an empty name and the data size.
  while (!found && end - stream.Position() >= 12) {
    uint8_t head[7];
    stream.ReadExact(head, sizeof(head), "PSD image resource");
    const bool adobe = std::memcmp(head, "8BIM", 4) == 0;
    const uint16_t id = GetU16BE(head + 4);
    const int64_t nameRest = (int64_t(head[6]) + 2) / 2 * 2 - 1;  // the name after its length byte
    if (end - stream.Position() < nameRest + 4) break;
    stream.Seek(nameRest, SeekOrigin::Current);
    const uint32_t size = ReadU32(stream, "PSD image resource size");
    const int64_t left = end - stream.Position();
    if (adobe && id == kIccProfileResource) {
      found = true;
      if (int64_t(size) <= left && size <= kMaxColorProfileBytes) {
        profile.resize(size);
        stream.ReadExact(profile.data(), size, "PSD colour profile");
      }
    } else if (int64_t(size) + (size & 1) <= left) {
      stream.Seek(int64_t(size) + (size & 1), SeekOrigin::Current);
    } else {
      break;
    }
  }
  stream.Seek(end, SeekOrigin::Begin);
  return found;
}

// The library format for a header, or Unknown for combinations that are not read.
PixelFormat ChooseFormat(const PsdHeader& h) {
  const bool bits8 = h.Depth == 8, bits16 = h.Depth == 16, bits32 = h.Depth == 32;
  switch (h.Mode) {
    case cmGrayscale:
    case cmDuotone:
      if (bits8) return h.Channels == 1 ? PixelFormat::Gray8 : PixelFormat::A8Gray8;
      if (bits16) return h.Channels == 1 ? PixelFormat::Gray16 : PixelFormat::A16Gray16;
      // The library's one-channel float format is a red channel; gray (and alpha) go into a
      // four-channel float format with the gray in every colour channel.
      if (bits32) return PixelFormat::A32R32G32B32F;
      return PixelFormat::Unknown;
    case cmIndexed:
      return bits8 ? PixelFormat::Index8 : PixelFormat::Unknown;
    case cmCMYK:
      // The conversion needs all four inks, and Photoshop has no 32-bit CMYK.
      if (h.Channels < 4 || bits32) return PixelFormat::Unknown;
      [[fallthrough]];
    case cmRGB:
    case cmMultichannel:
    case cmLab:
      if (bits32) return PixelFormat::A32R32G32B32F;
      if (h.Channels < 3 || !(bits8 || bits16)) return PixelFormat::Unknown;
      if (h.Channels == 3) return bits8 ? PixelFormat::R8G8B8 : PixelFormat::R16G16B16;
      return bits8 ? PixelFormat::A8R8G8B8 : PixelFormat::A16R16G16B16;
    default:
      return PixelFormat::Unknown;
  }
}

// Sample position inside a pixel for file channel i: files store red first and alpha last,
// the library stores blue first and alpha last. Negative means the channel is not kept.
int SamplePosition(int channel, int channelCount, bool hasAlpha, bool cmyk) {
  if (channel > 4) return -1;
  if (hasAlpha && !cmyk) return channel == channelCount - 1 ? channelCount - 1 : channelCount - channel - 2;
  return channelCount - channel - 1;
}

// Expands one PackBits row; stops when the row is full or the packed bytes are used up.
void UnpackBitsRow(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize) {
  size_t s = 0, d = 0;
  while (d < dstSize && s < srcSize) {
    const int8_t n = static_cast<int8_t>(src[s++]);
    if (n >= 0) {
      size_t count = std::min<size_t>(size_t(n) + 1, std::min(dstSize - d, srcSize - s));
      std::memcpy(dst + d, src + s, count);
      d += count;
      s += size_t(n) + 1;
    } else if (n != -128) {
      if (s >= srcSize) break;
      const size_t count = std::min<size_t>(size_t(1 - n), dstSize - d);
      std::memset(dst + d, src[s++], count);
      d += count;
    }
  }
}

// Appends one PackBits row: runs of 3 to 128 equal bytes as repeats, the rest as literal blocks
// of up to 128 bytes that end before the next run of three.
void PackBitsRow(const uint8_t* src, size_t size, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < size) {
    size_t run = 1;
    while (i + run < size && run < 128 && src[i + run] == src[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<uint8_t>(1 - int(run)));
      out.push_back(src[i]);
      i += run;
      continue;
    }
    const size_t start = i;
    while (i < size && i - start < 128) {
      if (i + 2 < size && src[i] == src[i + 1] && src[i] == src[i + 2]) break;
      ++i;
    }
    out.push_back(static_cast<uint8_t>(i - start - 1));
    out.insert(out.end(), src + start, src + i);
  }
}

// Big-endian samples of a row to native order (and back: the swap is its own inverse).
void SwapRowSamples(uint8_t* row, size_t bytes, int bytesPerSample) {
  if (bytesPerSample == 2) {
    for (size_t i = 0; i + 1 < bytes; i += 2) std::swap(row[i], row[i + 1]);
  } else if (bytesPerSample == 4) {
    for (size_t i = 0; i + 3 < bytes; i += 4) {
      std::swap(row[i], row[i + 3]);
      std::swap(row[i + 1], row[i + 2]);
    }
  }
}

// Inks are stored inverted: 255 means no ink. The result is plain RGB with opaque alpha.
template <typename T, uint32_t Max>
void ConvertCmykPixels(uint8_t* bits, int64_t pixelCount) {
  T* p = reinterpret_cast<T*>(bits);
  for (int64_t i = 0; i < pixelCount; ++i, p += 4) {
    const uint64_t c = Max - p[3], m = Max - p[2], y = Max - p[1], k = Max - p[0];
    p[2] = static_cast<T>(Max - (c + k - (c * k) / Max));
    p[1] = static_cast<T>(Max - (m + k - (m * k) / Max));
    p[0] = static_cast<T>(Max - (y + k - (y * k) / Max));
    p[3] = static_cast<T>(Max);
  }
}

// A document whose only layer covers the canvas, is visible, blends normally at full opacity and
// has no mask shows exactly that layer's pixels. Its merged image of an RGB picture with
// transparency holds them matted with white in the file's precision, which cannot give the
// colours of faint pixels back; the layer can.
struct SoleLayer {
  bool usable = false;
  int64_t channelData = 0;  // stream position of the first channel's compression field
  std::vector<std::pair<int16_t, uint32_t>> channels;  // id (-1 transparency), length with its compression field
};

struct LayerSection {
  // The layer count, 0 when the section holds no layer info. A negative count tells that the
  // first extra channel of the merged image is its transparency; with a positive one that
  // channel is a saved selection.
  int32_t count = 0;
  SoleLayer sole;
};

// Reads the record of a document's only layer; `infoEnd` ends the layer info.
SoleLayer ReadSoleLayerRecord(Stream& stream, const PsdHeader& header, int64_t infoEnd) {
  SoleLayer layer;
  uint8_t rect[18];
  if (infoEnd - stream.Position() < int64_t(sizeof(rect)) || stream.Read(rect, sizeof(rect)) != sizeof(rect))
    return layer;
  const uint16_t channelCount = GetU16BE(rect + 16);
  if (GetU32BE(rect) != 0 || GetU32BE(rect + 4) != 0 || GetU32BE(rect + 8) != header.Height ||
      GetU32BE(rect + 12) != header.Width || channelCount == 0 || channelCount > 56)
    return layer;
  std::vector<uint8_t> entries(size_t(channelCount) * 6 + 16);
  if (infoEnd - stream.Position() < int64_t(entries.size()) ||
      stream.Read(entries.data(), int64_t(entries.size())) != int64_t(entries.size()))
    return layer;
  int64_t dataBytes = 0;
  for (size_t c = 0; c < channelCount; ++c) {
    const uint8_t* e = &entries[c * 6];
    layer.channels.emplace_back(static_cast<int16_t>(GetU16BE(e)), GetU32BE(e + 2));
    dataBytes += GetU32BE(e + 2);
  }
  const uint8_t* blend = &entries[size_t(channelCount) * 6];
  const bool visible = (blend[10] & 0x02) == 0;
  if (std::memcmp(blend, "8BIM", 4) != 0 || std::memcmp(blend + 4, "norm", 4) != 0 || blend[8] != 255 ||
      blend[9] != 0 || !visible)
    return layer;
  const uint32_t extraLength = GetU32BE(blend + 12);
  uint8_t maskLength[4];
  if (extraLength < 4 || infoEnd - stream.Position() < int64_t(extraLength) || stream.Read(maskLength, 4) != 4 ||
      GetU32BE(maskLength) != 0)
    return layer;
  layer.channelData = stream.Position() - 4 + extraLength;
  layer.usable = layer.channelData + dataBytes <= infoEnd;
  return layer;
}

// Reads what the layer and mask section tells the merged image, and skips the section.
LayerSection ReadLayerSection(Stream& stream, const PsdHeader& header) {
  const uint32_t length = ReadU32(stream, "PSD layer and mask section length");
  if (int64_t(length) > stream.Remaining())
    RaiseImaging("PSD: layer and mask section of %u bytes runs past the end of the file.", length);
  const int64_t sectionEnd = stream.Position() + length;
  LayerSection section;
  if (length >= 6) {
    const uint32_t infoLength = ReadU32(stream, "PSD layer info length");
    if (infoLength >= 2) {
      section.count = static_cast<int16_t>(ReadU16(stream, "PSD layer count"));
      const int64_t infoEnd = std::min<int64_t>(sectionEnd, stream.Position() - 2 + infoLength);
      if (section.count == 1 || section.count == -1) section.sole = ReadSoleLayerRecord(stream, header, infoEnd);
    }
  }
  stream.Seek(sectionEnd, SeekOrigin::Begin);
  return section;
}

// Sets the alpha sample of every pixel to fully opaque.
void MakeOpaque(Image& image, const PixelFormatInfo& info, int bytesPerSample) {
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  uint8_t* p = image.Bits() + (info.ChannelCount - 1) * bytesPerSample;
  const float one = 1.0f;
  for (int64_t i = 0; i < pixels; ++i, p += info.BytesPerPixel) {
    if (bytesPerSample == 4)
      std::memcpy(p, &one, 4);
    else
      std::memset(p, 0xFF, size_t(bytesPerSample));
  }
}

// Copies the gray that was read into the red sample of a float pixel into green and blue.
void SpreadGrayFloats(Image& image) {
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  uint8_t* p = image.Bits();
  for (int64_t i = 0; i < pixels; ++i, p += 16) {
    std::memcpy(p, p + 8, 4);
    std::memcpy(p + 4, p + 8, 4);
  }
}

// Scatters one decoded row of a file channel into its sample position of every pixel.
void StoreChannelRow(const uint8_t* row, Image& image, int32_t y, int position, int bytesPerSample,
                     int bytesPerPixel) {
  uint8_t* dst = image.Bits() + (int64_t(y) * image.Width()) * bytesPerPixel + position * bytesPerSample;
  if (bytesPerSample == bytesPerPixel) {
    std::memcpy(dst, row, size_t(image.Width()) * bytesPerSample);
    return;
  }
  for (int32_t x = 0; x < image.Width(); ++x, dst += bytesPerPixel, row += bytesPerSample)
    std::memcpy(dst, row, size_t(bytesPerSample));
}

// Reads the colour and transparency channels of a sole layer (ids 0, 1, 2 and -1 of an RGB
// document) over the merged image; false, with the image untouched, when the layer holds other
// channels or its data are not raw or PackBits rows that fit their lengths.
bool ReadSoleLayerPixels(Stream& stream, const SoleLayer& layer, Image& image, const PixelFormatInfo& info,
                         int bytesPerSample) {
  if (layer.channels.size() != 4) return false;
  int seen = 0;
  for (const auto& [id, length] : layer.channels) {
    if (id < -1 || id > 2 || (seen & (1 << (id + 1))) != 0) return false;
    seen |= 1 << (id + 1);
  }
  const int64_t height = image.Height(), rowBytes = int64_t(image.Width()) * bytesPerSample;
  struct Channel {
    uint16_t compression;
    int64_t data;                  // stream position of the rows
    std::vector<uint16_t> lengths;  // packed row lengths
  };
  std::vector<Channel> channels;
  int64_t at = layer.channelData, packedMax = 0;
  for (const auto& [id, length] : layer.channels) {
    Channel& c = channels.emplace_back();
    stream.Seek(at, SeekOrigin::Begin);
    uint8_t field[2];
    if (length < 2 || stream.Read(field, 2) != 2) return false;
    c.compression = GetU16BE(field);
    const int64_t body = int64_t(length) - 2;
    if (c.compression == ctRaw) {
      if (body < height * rowBytes) return false;
    } else if (c.compression == ctRLE) {
      if (body < 2 * height) return false;
      std::vector<uint8_t> table(size_t(height) * 2);
      if (stream.Read(table.data(), int64_t(table.size())) != int64_t(table.size())) return false;
      int64_t total = 0;
      for (int64_t y = 0; y < height; ++y) {
        c.lengths.push_back(GetU16BE(&table[size_t(y) * 2]));
        total += c.lengths.back();
        packedMax = std::max<int64_t>(packedMax, c.lengths.back());
      }
      if (total > body - 2 * height) return false;
    } else {
      return false;
    }
    c.data = stream.Position();
    at += length;
  }
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes)), packed(static_cast<size_t>(packedMax));
  for (size_t i = 0; i < channels.size(); ++i) {
    const Channel& c = channels[i];
    const int16_t id = layer.channels[i].first;
    const int position = SamplePosition(id < 0 ? info.ChannelCount - 1 : id, info.ChannelCount, true, false);
    stream.Seek(c.data, SeekOrigin::Begin);
    for (int32_t y = 0; y < image.Height(); ++y) {
      if (c.compression == ctRLE) {
        const uint16_t length = c.lengths[size_t(y)];
        stream.ReadExact(packed.data(), length, "PSD layer row");
        std::fill(row.begin(), row.end(), 0);
        UnpackBitsRow(packed.data(), length, row.data(), row.size());
      } else {
        stream.ReadExact(row.data(), rowBytes, "PSD layer row");
      }
      SwapRowSamples(row.data(), row.size(), bytesPerSample);
      StoreChannelRow(row.data(), image, y, position, bytesPerSample, info.BytesPerPixel);
    }
  }
  return true;
}

// ---- Writing ----------------------------------------------------------------------------------

void PutU8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}
void PatchU16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = uint8_t(v >> 8);
  out[at + 1] = uint8_t(v);
}
void PatchU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}
void PutText(std::vector<uint8_t>& out, const char* text) {
  out.insert(out.end(), text, text + std::strlen(text));
}

// Pixel layout of an image being written.
struct WriteLayout {
  int32_t Channels;
  int32_t BytesPerSample;
  int32_t BytesPerPixel;
  bool HasAlpha;
};

// Gathers file channel `channel` of row y as big-endian samples.
void GatherChannelRow(const Image& image, const WriteLayout& layout, int channel, int32_t y, uint8_t* row) {
  const int position = SamplePosition(channel, layout.Channels, layout.HasAlpha, false);
  const uint8_t* src =
      image.Bits() + int64_t(y) * image.Width() * layout.BytesPerPixel + position * layout.BytesPerSample;
  const size_t rowBytes = size_t(image.Width()) * layout.BytesPerSample;
  if (layout.BytesPerSample == layout.BytesPerPixel) {
    std::memcpy(row, src, rowBytes);
  } else {
    uint8_t* dst = row;
    for (int32_t x = 0; x < image.Width(); ++x, src += layout.BytesPerPixel, dst += layout.BytesPerSample)
      std::memcpy(dst, src, size_t(layout.BytesPerSample));
  }
  SwapRowSamples(row, rowBytes, layout.BytesPerSample);
}

// Writes the channels [first, last] as RLE: the row-length table, then the packed rows.
void PutRLEChannels(const Image& image, const WriteLayout& layout, int first, int last,
                    std::vector<uint8_t>& out, std::vector<uint8_t>& row) {
  const size_t table = out.size();
  out.resize(out.size() + size_t(last - first + 1) * size_t(image.Height()) * 2, 0);
  size_t entry = table;
  for (int c = first; c <= last; ++c) {
    for (int32_t y = 0; y < image.Height(); ++y, entry += 2) {
      GatherChannelRow(image, layout, c, y, row.data());
      const size_t before = out.size();
      PackBitsRow(row.data(), size_t(image.Width()) * layout.BytesPerSample, out);
      PatchU16(out, entry, static_cast<uint16_t>(out.size() - before));
    }
  }
}

void PutLayerSection(const Image& image, const WriteLayout& layout, std::vector<uint8_t>& out,
                     std::vector<uint8_t>& row) {
  const size_t sectionStart = out.size();
  PutU32(out, 0);  // section length, filled in below
  const size_t infoStart = out.size();
  PutU32(out, 0);  // layer info length, filled in below
  // A negative count tells readers that the first alpha channel holds the merged transparency.
  PutU16(out, static_cast<uint16_t>(layout.HasAlpha ? -1 : 1));
  PutU32(out, 0);
  PutU32(out, 0);
  PutU32(out, uint32_t(image.Height()));
  PutU32(out, uint32_t(image.Width()));
  PutU16(out, uint16_t(layout.Channels));
  const size_t entries = out.size();
  out.resize(out.size() + size_t(layout.Channels) * 6, 0);
  PutText(out, "8BIM");
  PutText(out, "norm");
  PutU8(out, 255);  // opacity
  PutU8(out, 0);    // clipping
  PutU8(out, 0);    // flags
  PutU8(out, 0);    // filler
  PutU32(out, 16);  // extra data: mask length, blending ranges length, name
  PutU32(out, 0);
  PutU32(out, 0);
  PutU8(out, uint8_t(std::strlen(kLayerName)));
  PutText(out, kLayerName);
  for (int c = 0; c < layout.Channels; ++c) {
    const size_t start = out.size();
    PutU16(out, ctRLE);
    PutRLEChannels(image, layout, c, c, out, row);
    const bool alpha = layout.HasAlpha && c == layout.Channels - 1;
    PatchU16(out, entries + size_t(c) * 6, static_cast<uint16_t>(alpha ? -1 : c));
    PatchU32(out, entries + size_t(c) * 6 + 2, static_cast<uint32_t>(out.size() - start));
  }
  // The layer info ends with the channel data and its length, which counts what follows its own
  // field, is even; the global layer mask info comes after it.
  if ((out.size() - infoStart) % 2 != 0) PutU8(out, 0);
  PatchU32(out, infoStart, static_cast<uint32_t>(out.size() - infoStart - 4));
  PutU32(out, 0);  // no global layer mask info
  PatchU32(out, sectionStart, static_cast<uint32_t>(out.size() - sectionStart - 4));
}

// Photoshop stores the merged image of an RGB document with transparency matted with white:
// every colour sample is blended over white by its pixel's alpha. Readers of the format take
// the white out again, and so does ReadImages.
template <typename T, int Max>
void MatteWithWhite(Image& image, int channels) {
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  T* p = reinterpret_cast<T*>(image.Bits());
  for (int64_t i = 0; i < pixels; ++i, p += channels) {
    const int64_t a = p[channels - 1];
    for (int c = 0; c < channels - 1; ++c)
      p[c] = static_cast<T>((int64_t(p[c]) * a + int64_t(Max) * (Max - a) + Max / 2) / Max);
  }
}

// Takes the white matte out of the colours of a merged image with transparency; pixels that are
// fully transparent keep the stored colour.
template <typename T, int Max>
void RemoveWhiteMatte(Image& image, int channels) {
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  T* p = reinterpret_cast<T*>(image.Bits());
  for (int64_t i = 0; i < pixels; ++i, p += channels) {
    const int64_t a = p[channels - 1];
    if (a == 0 || a == Max) continue;
    for (int c = 0; c < channels - 1; ++c) {
      const int64_t v = (int64_t(p[c]) - (Max - a)) * Max;
      p[c] = static_cast<T>(std::clamp<int64_t>((v + (v >= 0 ? a / 2 : -a / 2)) / a, 0, Max));
    }
  }
}

void RemoveWhiteMatteFloats(Image& image, int channels) {
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  float* p = reinterpret_cast<float*>(image.Bits());
  for (int64_t i = 0; i < pixels; ++i, p += channels) {
    const float a = p[channels - 1];
    if (!(a > 0.0f) || a >= 1.0f) continue;
    for (int c = 0; c < channels - 1; ++c) p[c] = (p[c] - (1.0f - a)) / a;
  }
}

}  // namespace

PsdCodec::PsdCodec() {
  Name = "Photoshop Image";
  CanLoad = true;
  CanSave = true;
  IsMultiImage = false;
  SupportedFormats = MakeFormatSet({PixelFormat::Index8, PixelFormat::Gray8, PixelFormat::A8Gray8,
                                    PixelFormat::Gray16, PixelFormat::A16Gray16, PixelFormat::R8G8B8,
                                    PixelFormat::A8R8G8B8, PixelFormat::R16G16B16, PixelFormat::A16R16G16B16,
                                    PixelFormat::R32F, PixelFormat::A32R32G32B32F});
  AddMasks("*.psd,*.pdd");
  CanReadHeader = true;
}

bool PsdCodec::ProbeStream(Stream& stream) const {
  uint8_t raw[kHeaderSize];
  const int64_t got = stream.Read(raw, kHeaderSize);
  stream.Seek(-got, SeekOrigin::Current);
  return got == kHeaderSize && std::memcmp(raw, "8BPS", 4) == 0 && GetU16BE(raw + 4) == 1;
}

namespace {

// The file header, checked: signature, version, channels and a size within the limits, with
// the format the merged image decodes to (Unknown for a colour mode or depth this codec does
// not read, which ends the parse).
struct PsdPicture {
  PsdHeader header;
  PixelFormat format;
};

PsdPicture ParsePicture(Stream& stream) {
  uint8_t raw[kHeaderSize];
  stream.ReadExact(raw, kHeaderSize, "PSD header");
  const PsdHeader header = ParseHeader(raw);
  if (std::memcmp(header.Signature, "8BPS", 4) != 0) RaiseImaging("PSD: the file does not start with \"8BPS\".");
  if (header.Version != 1) RaiseImaging("PSD: version %u is not supported.", unsigned(header.Version));
  if (header.Channels == 0) RaiseImaging("PSD: the header declares no channels.");
  const PixelFormat format = ChooseFormat(header);
  if (format != PixelFormat::Unknown) CheckImageDimensions(header.Width, header.Height, "PSD file");
  return {header, format};
}

}  // namespace

namespace {

class PsdDecoder : public Decoder {
public:
  using Decoder::Decoder;
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
};

class PsdEncoder : public Encoder {
public:
  using Encoder::Encoder;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;
};

}  // namespace

std::unique_ptr<Decoder> PsdCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<PsdDecoder>(options);
}

std::unique_ptr<Encoder> PsdCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<PsdEncoder>(*this, options);
}

bool PsdDecoder::ReadImages(Stream& stream, std::vector<Image>& images, bool) {
  const PsdPicture picture = ParsePicture(stream);
  if (picture.format == PixelFormat::Unknown) return false;
  const PsdHeader& header = picture.header;
  const PixelFormat format = picture.format;
  const PixelFormatInfo& info = *FindFormatInfo(format);
  const int32_t width = int32_t(header.Width), height = int32_t(header.Height);
  const int bytesPerSample = header.Depth / 8;
  const bool cmyk = header.Mode == cmCMYK;
  const bool grayFloats = format == PixelFormat::A32R32G32B32F && (header.Mode == cmGrayscale || header.Mode == cmDuotone);

  Color32 palette[256];
  const uint32_t colorDataLength = ReadU32(stream, "PSD colour mode data length");
  if (format == PixelFormat::Index8) {
    if (colorDataLength < kIndexedColorDataSize)
      RaiseImaging("PSD: the colour table of an indexed image holds %u bytes, %u expected.", colorDataLength,
                   kIndexedColorDataSize);
    uint8_t table[kIndexedColorDataSize];
    stream.ReadExact(table, kIndexedColorDataSize, "PSD colour table");
    for (int i = 0; i < 256; ++i) palette[i] = MakeColor32(255, table[i], table[256 + i], table[512 + i]);
    SkipSection(stream, colorDataLength - kIndexedColorDataSize, "colour mode data");
  } else {
    SkipSection(stream, colorDataLength, "colour mode data");
  }
  std::vector<uint8_t> profile;
  if (ReadProfileResource(stream, ReadU32(stream, "PSD image resources length"), profile)) {
    Facts.profile = MakeColorProfile(std::move(profile));
    if (!Facts.profile) AddLoadWarning("The PSD file's colour profile is damaged; it is left out");
  }
  const LayerSection layers = ReadLayerSection(stream, header);
  const int32_t layerCount = layers.count;
  const bool extraChannelIsAlpha = layerCount <= 0;
  const uint16_t compression = ReadU16(stream, "PSD compression of the merged image");
  if (compression != ctRaw && compression != ctRLE)
    RaiseImaging("PSD: compression %u of the merged image is not supported.", unsigned(compression));

  // Only channels up to the last kept one are read; everything after it is left alone.
  const int channels = header.Channels;
  const auto position = [&](int c) {
    // Gray goes to red (spread to green and blue afterwards), the first extra channel to alpha.
    if (grayFloats) return c == 0 ? 2 : c == 1 && extraChannelIsAlpha ? 3 : -1;
    const int p = SamplePosition(c, info.ChannelCount, info.HasAlphaChannel, cmyk);
    return info.HasAlphaChannel && !cmyk && p == info.ChannelCount - 1 && !extraChannelIsAlpha ? -1 : p;
  };
  int lastKept = -1;
  for (int c = 0; c < channels; ++c)
    if (position(c) >= 0) lastKept = c;
  const int64_t rowBytes = int64_t(width) * bytesPerSample;
  const int64_t keptRows = int64_t(lastKept + 1) * height;

  std::vector<uint16_t> rowLengths;
  int64_t packedMax = 0;
  if (compression == ctRLE) {
    const int64_t entries = int64_t(channels) * height;
    if (entries * 2 > stream.Remaining()) RaiseImaging("PSD: the table of packed row lengths is truncated.");
    std::vector<uint8_t> table(size_t(entries) * 2);
    stream.ReadExact(table.data(), entries * 2, "PSD row length table");
    rowLengths.resize(size_t(entries));
    int64_t packedTotal = 0;
    for (size_t i = 0; i < rowLengths.size(); ++i) {
      rowLengths[i] = GetU16BE(&table[i * 2]);
      if (int64_t(i) < keptRows) {
        packedTotal += rowLengths[i];
        packedMax = std::max<int64_t>(packedMax, rowLengths[i]);
      }
    }
    // A PackBits row of n bytes needs at least two bytes per 128; less is not a PSD row, and
    // checking it keeps a small file from claiming a huge image.
    const int64_t minimumPacked = keptRows * 2 * ((rowBytes + 127) / 128);
    if (packedTotal < minimumPacked)
      RaiseImaging("PSD: %lld bytes of packed rows cannot hold a %dx%d image.", static_cast<long long>(packedTotal),
                   width, height);
    if (packedTotal > stream.Remaining())
      RaiseImaging("PSD: the packed image data is truncated (%lld bytes expected).",
                   static_cast<long long>(packedTotal));
  } else if (keptRows * rowBytes > stream.Remaining()) {
    RaiseImaging("PSD: the image data is truncated (%lld bytes expected).",
                 static_cast<long long>(keptRows * rowBytes));
  }

  Image& image = images.emplace_back();
  if (!CreateImage(width, height, format, image)) RaiseImaging("PSD: cannot create a %dx%d image.", width, height);
  if (image.Palette()) std::memcpy(image.Palette(), palette, sizeof(palette));

  // The merged image of an RGB picture with transparency is stored matted with white; a sole
  // layer that shows as it is holds the exact colours, and then the merged image is not read.
  const bool matted = !grayFloats && info.HasAlphaChannel && !cmyk && channels >= info.ChannelCount &&
                      extraChannelIsAlpha && header.Mode == cmRGB && layerCount < 0;
  if (matted && layers.sole.usable) {
    const int64_t mergedData = stream.Position();
    if (ReadSoleLayerPixels(stream, layers.sole, image, info, bytesPerSample)) return true;
    stream.Seek(mergedData, SeekOrigin::Begin);
  }

  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  std::vector<uint8_t> packed(static_cast<size_t>(packedMax));
  for (int c = 0; c <= lastKept; ++c) {
    const int target = position(c);
    for (int32_t y = 0; y < height; ++y) {
      if (compression == ctRLE) {
        const uint16_t length = rowLengths[size_t(c) * size_t(height) + size_t(y)];
        if (target < 0) {
          stream.Seek(length, SeekOrigin::Current);
          continue;
        }
        stream.ReadExact(packed.data(), length, "PSD packed row");
        std::fill(row.begin(), row.end(), 0);
        UnpackBitsRow(packed.data(), length, row.data(), row.size());
      } else {
        if (target < 0) {
          stream.Seek(rowBytes, SeekOrigin::Current);
          continue;
        }
        stream.ReadExact(row.data(), rowBytes, "PSD image row");
      }
      SwapRowSamples(row.data(), row.size(), bytesPerSample);
      StoreChannelRow(row.data(), image, y, target, bytesPerSample, info.BytesPerPixel);
    }
  }

  const int64_t pixels = int64_t(width) * height;
  if (cmyk) {
    if (bytesPerSample == 1)
      ConvertCmykPixels<uint8_t, 255>(image.Bits(), pixels);
    else
      ConvertCmykPixels<uint16_t, 65535>(image.Bits(), pixels);
  }
  if (grayFloats) {
    SpreadGrayFloats(image);
    if (channels < 2 || !extraChannelIsAlpha) MakeOpaque(image, info, bytesPerSample);
  } else if (info.HasAlphaChannel && !cmyk && (channels < info.ChannelCount || !extraChannelIsAlpha)) {
    MakeOpaque(image, info, bytesPerSample);
  } else if (matted) {
    if (bytesPerSample == 1)
      RemoveWhiteMatte<uint8_t, 255>(image, info.ChannelCount);
    else if (bytesPerSample == 2)
      RemoveWhiteMatte<uint16_t, 65535>(image, info.ChannelCount);
    else
      RemoveWhiteMatteFloats(image, info.ChannelCount);
  }
  return true;
}

bool PsdEncoder::WriteImage(Stream& stream, std::span<const Image> images, int32_t index) {
  PreparedImage prepared;
  if (!PrepareForSave(images[size_t(index)], prepared)) return false;
  const Image& image = prepared;

  if (image.Width() > kMaxPsdSide || image.Height() > kMaxPsdSide)
    RaiseImaging("PSD: a %dx%d image exceeds the format's limit of %d pixels per side.", image.Width(), image.Height(),
                 kMaxPsdSide);
  const PixelFormatInfo& info = *FindFormatInfo(image.Format());
  WriteLayout layout{info.ChannelCount, info.BytesPerPixel / info.ChannelCount, info.BytesPerPixel,
                      info.HasAlphaChannel};
  const bool floats = info.IsFloatingPoint;

  std::vector<uint8_t> out;
  out.reserve(size_t(image.Size()) + size_t(image.Size()) / 64 + 4096);
  PutText(out, "8BPS");
  PutU16(out, 1);
  out.resize(out.size() + 6, 0);
  PutU16(out, uint16_t(layout.Channels));
  PutU32(out, uint32_t(image.Height()));
  PutU32(out, uint32_t(image.Width()));
  PutU16(out, uint16_t(layout.BytesPerSample * 8));
  uint16_t mode = cmRGB;
  if (info.IsIndexed)
    mode = cmIndexed;
  else if (info.HasGrayChannel || layout.Channels == 1)
    mode = cmGrayscale;
  PutU16(out, mode);

  if (info.IsIndexed) {
    PutU32(out, kIndexedColorDataSize);
    for (int shift : {16, 8, 0})
      for (int i = 0; i < 256; ++i) PutU8(out, uint8_t(image.Palette()[i] >> shift));
  } else {
    PutU32(out, 0);
  }
  // The one image resource written is the ICC profile, with an empty name. One-channel float
  // pixels make a gray document, which only a gray profile describes.
  if (const ColorProfile profile = SaveProfileFor(mode == cmGrayscale ? PixelFormat::Gray16 : image.Format())) {
    const uint32_t size = uint32_t(profile->size());
    PutU32(out, 12 + size + (size & 1));
    PutText(out, "8BIM");
    PutU16(out, kIccProfileResource);
    PutU16(out, 0);
    PutU32(out, size);
    out.insert(out.end(), profile->begin(), profile->end());
    if (size & 1) PutU8(out, 0);
  } else {
    PutU32(out, 0);
  }

  std::vector<uint8_t> row(size_t(image.Width()) * size_t(layout.BytesPerSample));
  const bool withLayer = Options.psd.saveAsLayer && !floats;
  if (withLayer)
    PutLayerSection(image, layout, out, row);
  else
    PutU32(out, 0);

  // With a layer the file declares its transparency, and the merged image of an RGB document is
  // matted as Photoshop stores it (readers leave gray ones as stored); the layer keeps the
  // exact colours.
  Image matted;
  const Image* merged = &image;
  if (withLayer && layout.HasAlpha && mode == cmRGB) {
    if (!CopyImage(image, matted)) RaiseImaging("PSD: cannot copy the %dx%d image.", image.Width(), image.Height());
    if (layout.BytesPerSample == 1)
      MatteWithWhite<uint8_t, 255>(matted, layout.Channels);
    else
      MatteWithWhite<uint16_t, 65535>(matted, layout.Channels);
    merged = &matted;
  }

  if (floats) {
    PutU16(out, ctRaw);
    for (int c = 0; c < layout.Channels; ++c)
      for (int32_t y = 0; y < image.Height(); ++y) {
        GatherChannelRow(image, layout, c, y, row.data());
        out.insert(out.end(), row.begin(), row.end());
      }
  } else {
    PutU16(out, ctRLE);
    PutRLEChannels(*merged, layout, 0, layout.Channels - 1, out, row);
  }
  stream.WriteExact(out.data(), int64_t(out.size()), "PSD file");
  return true;
}

void PsdEncoder::ConvertForSave(Image& image, const PixelFormatInfo& info) {
  PixelFormat target;
  if (info.IsFloatingPoint)
    target = info.ChannelCount == 1 ? PixelFormat::R32F : PixelFormat::A32R32G32B32F;
  else if (info.HasGrayChannel)
    target = info.HasAlphaChannel ? PixelFormat::A16Gray16 : PixelFormat::Gray16;
  else if (info.SwappedFormat != PixelFormat::Unknown && GetSavableFormats()[size_t(info.SwappedFormat)])
    target = info.SwappedFormat;
  else
    target = info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8;
  ConvertImageFormat(image, target);
}

std::unique_ptr<Codec> CreatePsdCodec() { return std::make_unique<PsdCodec>(); }

ImageHeader PsdCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  const PsdPicture picture = ParsePicture(stream);
  if (picture.format == PixelFormat::Unknown) RaiseImaging("PSD: the colour mode or depth is not supported.");
  return {int32_t(picture.header.Width), int32_t(picture.header.Height), picture.format};
}

}  // namespace imaging::formats
