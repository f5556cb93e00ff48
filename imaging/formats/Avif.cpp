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

// ---- Item sizes against the coded pictures ---------------------------------------------------

// Bits of an AV1 header, most significant first; a read past the end yields 0 and clears `ok`.
class Av1BitReader {
public:
  Av1BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool ok = true;

  uint32_t Read(int bits) {
    uint32_t value = 0;
    for (int i = 0; i < bits; ++i) {
      if (position_ >= size_ * 8) {
        ok = false;
        return 0;
      }
      value = (value << 1) | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1u);
      ++position_;
    }
    return value;
  }
  // The variable-length code uvlc() of the AV1 specification (4.10.3); only skipped here.
  void SkipUvlc() {
    int leadingZeros = 0;
    while (ok && Read(1) == 0) ++leadingZeros;
    if (leadingZeros < 32) Read(leadingZeros);
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// The largest frame an AV1 sequence header allows; with a reduced still-picture header every
// frame has exactly that size.
struct Av1FrameLimit {
  uint32_t width = 0;
  uint32_t height = 0;
  bool exact = false;
};

// The sequence header's maximum frame size (AV1 specification 5.5.1), read as far as it.
bool ReadSequenceHeader(const uint8_t* data, size_t size, Av1FrameLimit& limit) {
  Av1BitReader bits(data, size);
  bits.Read(3);  // seq_profile
  bits.Read(1);  // still_picture
  const bool reduced = bits.Read(1) != 0;
  if (reduced) {
    bits.Read(5);  // seq_level_idx[0]
  } else {
    bool decoderModelInfo = false;
    int bufferDelayLength = 0;
    if (bits.Read(1)) {  // timing_info_present_flag
      bits.Read(32);     // num_units_in_display_tick
      bits.Read(32);     // time_scale
      if (bits.Read(1)) bits.SkipUvlc();  // equal_picture_interval, num_ticks_per_picture_minus_1
      decoderModelInfo = bits.Read(1) != 0;
      if (decoderModelInfo) {
        bufferDelayLength = int(bits.Read(5)) + 1;
        bits.Read(32);  // num_units_in_decoding_tick
        bits.Read(5);   // buffer_removal_time_length_minus_1
        bits.Read(5);   // frame_presentation_time_length_minus_1
      }
    }
    const bool initialDisplayDelay = bits.Read(1) != 0;
    const int operatingPoints = int(bits.Read(5)) + 1;
    for (int i = 0; i < operatingPoints && bits.ok; ++i) {
      bits.Read(12);  // operating_point_idc
      if (bits.Read(5) > 7) bits.Read(1);  // seq_level_idx, seq_tier
      if (decoderModelInfo && bits.Read(1)) {
        bits.Read(bufferDelayLength);  // decoder_buffer_delay
        bits.Read(bufferDelayLength);  // encoder_buffer_delay
        bits.Read(1);                  // low_delay_mode_flag
      }
      if (initialDisplayDelay && bits.Read(1)) bits.Read(4);
    }
  }
  const int widthBits = int(bits.Read(4)) + 1;
  const int heightBits = int(bits.Read(4)) + 1;
  limit.width = bits.Read(widthBits) + 1;
  limit.height = bits.Read(heightBits) + 1;
  limit.exact = reduced;
  return bits.ok;
}

// The sequence header among the first OBUs of an AV1 item's data (AV1 specification 5.3).
bool ReadAv1FrameLimit(const uint8_t* data, size_t size, Av1FrameLimit& limit) {
  size_t at = 0;
  for (int obu = 0; obu < 8 && at < size; ++obu) {
    const uint8_t header = data[at];
    const int type = (header >> 3) & 15;
    at += 1 + ((header >> 2) & 1);  // the extension byte
    uint64_t length = size - std::min(at, size);
    if (header & 2) {  // obu_has_size_field: leb128
      length = 0;
      for (int i = 0;; ++i) {
        if (i == 8 || at >= size) return false;
        const uint8_t byte = data[at++];
        length |= uint64_t(byte & 0x7F) << (7 * i);
        if (!(byte & 0x80)) break;
      }
    }
    if (at > size) return false;
    if (type == 1) return ReadSequenceHeader(data + at, size_t(std::min<uint64_t>(length, size - at)), limit);
    if (length > size - at) return false;
    at += size_t(length);
  }
  return false;
}

// libavif scales a decoded AV1 picture to the size its item's ispe property states, so a file
// whose property was edited gives a small picture stretched to any size, at the cost of that
// size. Before anything is decoded, the ispe of every AV1 item is compared with the sequence
// header in the item's data: larger than the frames it allows, or with a reduced still-picture
// header other than its one size, the file is refused. What this scan cannot follow is left to
// libavif.
void CheckAvifItemSizes(Stream& stream, int64_t start, int64_t size) {
  const int64_t end = start + size;
  // The meta box, from the top-level boxes.
  std::vector<uint8_t> meta;
  for (int64_t at = start; end - at >= 8;) {
    uint8_t header[16];
    stream.Seek(at, SeekOrigin::Begin);
    const int64_t got = stream.Read(header, 16);
    if (got < 8) return;
    uint64_t boxSize = isomedia::BigEndian32(header);
    int64_t headerSize = 8;
    if (boxSize == 1) {
      if (got < 16) return;
      boxSize = (uint64_t(isomedia::BigEndian32(header + 8)) << 32) | isomedia::BigEndian32(header + 12);
      headerSize = 16;
    } else if (boxSize == 0) {
      boxSize = uint64_t(end - at);
    }
    if (boxSize < uint64_t(headerSize) || boxSize > uint64_t(end - at)) return;
    if (isomedia::IsType(header + 4, "meta")) {
      if (boxSize - uint64_t(headerSize) > (uint64_t(1) << 26)) return;
      meta.resize(size_t(boxSize) - size_t(headerSize));
      stream.Seek(at + headerSize, SeekOrigin::Begin);
      stream.ReadExact(meta.data(), int64_t(meta.size()), "AVIF meta box");
      break;
    }
    at += int64_t(boxSize);
  }
  if (meta.size() < 4) return;
  const uint8_t* boxes = meta.data() + 4;  // after version and flags
  const size_t boxesSize = meta.size() - 4;

  struct Item {
    uint32_t id = 0;
    bool av1 = false;
    uint32_t width = 0, height = 0;  // from its ispe; 0 for none
    uint64_t method = 0, offset = 0, length = 0;
    bool located = false;
  };
  std::vector<Item> items;
  auto find = [&](uint32_t id) -> Item& {
    for (Item& item : items)
      if (item.id == id) return item;
    items.push_back(Item{});
    items.back().id = id;
    return items.back();
  };
  std::vector<std::pair<uint32_t, uint32_t>> sizes;  // the ipco properties; ispe sizes, else 0
  const uint8_t* idat = nullptr;
  size_t idatSize = 0;
  const uint8_t* iloc = nullptr;
  size_t ilocSize = 0;
  const uint8_t* ipma = nullptr;
  size_t ipmaSize = 0;
  isomedia::ForEachBox(boxes, boxesSize, [&](const uint8_t* type, const uint8_t* p, size_t n) {
    if (isomedia::IsType(type, "iinf")) {
      isomedia::BoxCursor c{p, n};
      const uint64_t version = c.Read(1);
      c.Skip(3);
      c.Skip(version == 0 ? 2 : 4);
      if (!c.ok) return;
      isomedia::ForEachBox(p + c.at, n - c.at, [&](const uint8_t* entryType, const uint8_t* e, size_t en) {
        if (!isomedia::IsType(entryType, "infe")) return;
        isomedia::BoxCursor entry{e, en};
        const uint64_t entryVersion = entry.Read(1);
        entry.Skip(3);
        if (entryVersion < 2) return;
        const uint32_t id = uint32_t(entry.Read(entryVersion == 2 ? 2 : 4));
        entry.Skip(2);  // protection index
        if (entry.ok && entry.at + 4 <= en) find(id).av1 = isomedia::IsType(e + entry.at, "av01");
      });
    } else if (isomedia::IsType(type, "iloc")) {
      iloc = p, ilocSize = n;
    } else if (isomedia::IsType(type, "idat")) {
      idat = p, idatSize = n;
    } else if (isomedia::IsType(type, "iprp")) {
      isomedia::ForEachBox(p, n, [&](const uint8_t* containerType, const uint8_t* q, size_t qn) {
        if (isomedia::IsType(containerType, "ipma")) {
          ipma = q, ipmaSize = qn;
        } else if (isomedia::IsType(containerType, "ipco")) {
          isomedia::ForEachBox(q, qn, [&](const uint8_t* propertyType, const uint8_t* r, size_t rn) {
            isomedia::BoxCursor c{r, rn};
            c.Skip(4);
            const uint32_t width = uint32_t(c.Read(4)), height = uint32_t(c.Read(4));
            const bool ispe = isomedia::IsType(propertyType, "ispe") && c.ok;
            sizes.emplace_back(ispe ? width : 0, ispe ? height : 0);
          });
        }
      });
    }
  });
  if (ipma) {
    isomedia::BoxCursor c{ipma, ipmaSize};
    const uint64_t version = c.Read(1);
    const bool wideIndex = (c.Read(3) & 1) != 0;
    const uint64_t count = c.Read(4);
    for (uint64_t i = 0; i < count && c.ok; ++i) {
      const uint32_t id = uint32_t(c.Read(version < 1 ? 2 : 4));
      const uint64_t associations = c.Read(1);
      for (uint64_t k = 0; k < associations && c.ok; ++k) {
        const uint64_t index = c.Read(wideIndex ? 2 : 1) & (wideIndex ? 0x7FFF : 0x7F);
        if (index == 0 || index > sizes.size() || sizes[size_t(index - 1)].first == 0) continue;
        Item& item = find(id);
        item.width = sizes[size_t(index - 1)].first;
        item.height = sizes[size_t(index - 1)].second;
      }
    }
  }
  if (iloc) {
    isomedia::ItemLocationBox locations(iloc, ilocSize);
    for (uint64_t i = 0; i < locations.count && locations.cursor.ok; ++i) {
      uint32_t id = 0;
      uint64_t method = 0, base = 0, extents = 0;
      locations.ReadItem(id, method, base, extents);
      for (uint64_t e = 0; e < extents && locations.cursor.ok; ++e) {
        uint64_t offset = 0, length = 0;
        locations.ReadExtent(offset, length);
        Item& item = find(id);
        if (e == 0 && locations.cursor.ok)
          item.method = method, item.offset = base + offset, item.length = length, item.located = true;
      }
    }
  }

  for (const Item& item : items) {
    if (!item.av1 || item.width == 0 || !item.located) continue;
    // The first bytes of the item's data: the sequence header comes first.
    uint8_t head[512];
    size_t have = 0;
    if (item.method == 0 && item.offset < uint64_t(end - start)) {
      uint64_t wanted = std::min<uint64_t>(sizeof head, uint64_t(end - start) - item.offset);
      if (item.length != 0) wanted = std::min(wanted, item.length);
      stream.Seek(start + int64_t(item.offset), SeekOrigin::Begin);
      have = size_t(std::max<int64_t>(stream.Read(head, int64_t(wanted)), 0));
    } else if (item.method == 1 && idat && item.offset < idatSize) {
      uint64_t wanted = std::min<uint64_t>(sizeof head, idatSize - item.offset);
      if (item.length != 0) wanted = std::min(wanted, item.length);
      std::memcpy(head, idat + item.offset, size_t(wanted));
      have = size_t(wanted);
    }
    Av1FrameLimit limit;
    if (!ReadAv1FrameLimit(head, have, limit)) continue;
    const bool larger = item.width > limit.width || item.height > limit.height;
    const bool other = limit.exact && (item.width != limit.width || item.height != limit.height);
    if (larger || other)
      RaiseImaging("AVIF: the size property of a picture (%u x %u) disagrees with its coded picture (%s%u x %u): "
                   "the file was edited or is damaged.",
                   item.width, item.height, limit.exact ? "" : "at most ", limit.width, limit.height);
  }
}

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
  CheckAvifItemSizes(stream, io.start, int64_t(io.io.sizeHint));
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
