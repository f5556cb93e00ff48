// HEIF reading and, where libheif has an HEVC encoder, HEIC writing through libheif. Reading
// gives the primary image with its alpha, in 8 bits or, for deeper files, 16 bits per channel,
// with the file's transformations applied by libheif; the Exif orientation is reported as a load
// fact (LoadFacts::heifExifOrientation) and the Exif block and colour profile are available through
// ReadHeifMetadata. Writing stores 8-bit colour with or without alpha at a quality.
#include "imaging/formats/Heif.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <libheif/heif.h>

#include "imaging/Codec.h"
#include "imaging/ColorProfile.h"
#include "imaging/Headers.h"
#include "imaging/formats/IsoMedia.h"

// x265 3.5 (Debian 12) keeps about 1 KB of every encoder libheif opens and closes; the leak
// checker of a sanitizer build is told so, as it cannot be freed from here.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXILO_HEIF_LEAK_CHECKER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VEXILO_HEIF_LEAK_CHECKER)
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
#endif

namespace imaging::formats {

namespace {

struct ContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct HeifImageDeleter {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct HeifEncoderDeleter {
  void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct DecodingOptionsDeleter {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct EncodingOptionsDeleter {
  void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};

// libheif is set up once for the process and stays so.
void InitHeif() {
  static std::once_flag once;
  std::call_once(once, [] { heif_init(nullptr); });
}

// HEIF brands; a file that also names an AVIF brand is left to the AVIF codec.
bool HasHeifBrand(const uint8_t* bytes, size_t size) {
  return isomedia::HasFileTypeBrand(bytes, size, {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs",
                                                  "mif1", "msf1"}) &&
         !isomedia::HasFileTypeBrand(bytes, size, {"avif", "avis"});
}

// What a libheif error means to the user, with libheif's own text. `cut` tells that the file's
// boxes reach beyond its end.
[[noreturn]] void RaiseHeif(const heif_error& error, bool cut = false) {
  const char* cause = "the file is damaged";
  if (cut || error.subcode == heif_suberror_End_of_data) cause = "the file is truncated";
  else if (error.subcode == heif_suberror_Security_limit_exceeded)
    cause = "the picture exceeds the supported maximum (65535 pixels per side, 268435456 pixels in all)";
  else if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype)
    cause = "the file uses a feature libheif cannot read";
  else if (error.code == heif_error_Memory_allocation_error) cause = "out of memory";
  else if (error.code == heif_error_Decoder_plugin_error) cause = "the picture data are damaged";
  std::string text = error.message ? error.message : "";
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  RaiseImaging("HEIF: %s (%s).", cause, text.c_str());
}

void Check(const heif_error& error) {
  if (error.code != heif_error_Ok) RaiseHeif(error);
}

// ---- Item sizes, checked before libheif allocates for them ------------------------------------

using isomedia::BoxCursor;
using isomedia::ForEachBox;
using isomedia::IsType;

// The pieces one item's data may be split into; libheif reads no more.
constexpr int kMaxItemExtents = 32;

// Sizes of at most 32 bits each.
void RefuseOversize(uint64_t width, uint64_t height) {
  if (width > uint64_t(kMaxImageSide) || height > uint64_t(kMaxImageSide) || width * height > uint64_t(kMaxImagePixels))
    CheckImageDimensions(int64_t(width), int64_t(height), "HEIF file");
}

// libheif allocates an image from the size property (ispe) of an item and a composed image
// (grid, overlay) from the output size in the item's data, which may differ from its ispe.
// Both are looked at here, in the meta box, and a file that states more pixels than the library
// takes is refused before libheif decodes anything. Structures this scan cannot follow are left
// to libheif, which refuses damaged files itself.
void CheckHeifItemSizes(const uint8_t* data, size_t size) {
  const uint8_t* meta = nullptr;
  size_t metaSize = 0;
  ForEachBox(data, size, [&](const uint8_t* type, const uint8_t* p, size_t n) {
    if (!meta && IsType(type, "meta") && n >= 4) meta = p + 4, metaSize = n - 4;  // after version and flags
  });
  if (!meta) return;

  struct Composed {
    uint32_t id;
    bool overlay;
  };
  std::vector<Composed> composed;
  const uint8_t* iloc = nullptr;
  size_t ilocSize = 0;
  const uint8_t* idat = nullptr;
  ForEachBox(meta, metaSize, [&](const uint8_t* type, const uint8_t* p, size_t n) {
    if (IsType(type, "iinf")) {
      BoxCursor c{p, n};
      const uint64_t version = c.Read(1);
      c.Skip(3);
      c.Skip(version == 0 ? 2 : 4);  // entry count; the entries are boxes
      if (!c.ok) return;
      ForEachBox(p + c.at, n - c.at, [&](const uint8_t* entryType, const uint8_t* e, size_t en) {
        if (!IsType(entryType, "infe")) return;
        BoxCursor entry{e, en};
        const uint64_t entryVersion = entry.Read(1);
        entry.Skip(3);
        if (entryVersion < 2) return;
        const uint32_t id = uint32_t(entry.Read(entryVersion == 2 ? 2 : 4));
        entry.Skip(2);  // protection index
        if (entry.ok && entry.at + 4 <= en) {
          const uint8_t* itemType = e + entry.at;
          if (IsType(itemType, "grid") || IsType(itemType, "iovl")) composed.push_back({id, IsType(itemType, "iovl")});
        }
      });
    } else if (IsType(type, "iloc")) {
      iloc = p, ilocSize = n;
    } else if (IsType(type, "idat")) {
      idat = p;
    } else if (IsType(type, "iprp")) {
      ForEachBox(p, n, [&](const uint8_t* containerType, const uint8_t* q, size_t qn) {
        if (!IsType(containerType, "ipco")) return;
        ForEachBox(q, qn, [&](const uint8_t* propertyType, const uint8_t* r, size_t rn) {
          if (!IsType(propertyType, "ispe")) return;
          BoxCursor c{r, rn};
          c.Skip(4);
          const uint64_t width = c.Read(4), height = c.Read(4);
          if (c.ok) RefuseOversize(width, height);
        });
      });
    }
  });
  if (!iloc) return;
  std::sort(composed.begin(), composed.end(), [](const Composed& a, const Composed& b) { return a.id < b.id; });

  isomedia::ItemLocationBox locations(iloc, ilocSize);
  BoxCursor& c = locations.cursor;
  // libheif reads the data of every item while it parses the file; extents that cover the same
  // bytes again and again would make it hold many times the file.
  uint64_t claimed = 0;
  for (uint64_t i = 0; i < locations.count && c.ok; ++i) {
    uint32_t id = 0;
    uint64_t method = 0, base = 0, extents = 0;
    locations.ReadItem(id, method, base, extents);
    if (extents > kMaxItemExtents)
      RaiseImaging("HEIF: an item of the file is split into %llu pieces (at most %d are read).",
                   static_cast<unsigned long long>(extents), kMaxItemExtents);
    // The first bytes of the item's data, gathered across its extents.
    uint8_t head[18];
    size_t have = 0;
    for (uint64_t e = 0; e < extents && c.ok; ++e) {
      uint64_t offset = 0, length = 0;
      locations.ReadExtent(offset, length);
      // libheif reads an idat item from the box's data on to the end of the file, not only
      // inside the box; the check must see the bytes libheif will take.
      const uint8_t* source = method == 0 ? data : method == 1 ? idat : nullptr;
      const size_t sourceSize = method == 0 ? size : idat ? size - size_t(idat - data) : 0;
      if (!source || base > sourceSize || offset > sourceSize - base) continue;
      const size_t start = size_t(base + offset);
      const size_t available = length == 0 ? sourceSize - start : size_t(std::min<uint64_t>(length, sourceSize - start));
      claimed += available;
      if (claimed > 2 * uint64_t(size)) RaiseImaging("HEIF: the items of the file claim more data than it holds.");
      const size_t take = std::min(available, sizeof head - have);
      std::memcpy(head + have, source + start, take);
      have += take;
    }
    const auto it = std::lower_bound(composed.begin(), composed.end(), id,
                                     [](const Composed& x, uint32_t wanted) { return x.id < wanted; });
    if (!c.ok || it == composed.end() || it->id != id) continue;
    // grid: version, flags, rows - 1, columns - 1, width, height; iovl: version, flags, four fill
    // values, width, height. Flag 1 makes the sizes 32-bit.
    BoxCursor d{head, have};
    d.Skip(1);
    const bool wide = (d.Read(1) & 1) != 0;
    d.Skip(it->overlay ? 8 : 2);
    const uint64_t width = d.Read(wide ? 4 : 2), height = d.Read(wide ? 4 : 2);
    if (d.ok) RefuseOversize(width, height);
  }
}

// A file parsed by libheif, with the handle of its primary image, whose size is checked.
struct ParsedHeif {
  std::vector<uint8_t> data;  // libheif reads from it without a copy
  std::unique_ptr<heif_context, ContextDeleter> context;
  std::unique_ptr<heif_image_handle, HandleDeleter> primary;
};

void ParseHeif(std::vector<uint8_t> data, ParsedHeif& parsed) {
  if (data.size() < 16) RaiseImaging("HEIF: the file is too short for a file type box.");
  if (!HasHeifBrand(data.data(), std::min(data.size(), isomedia::kFileTypeProbeSize)))
    RaiseImaging("HEIF: the data do not start with a HEIF file type box.");
  CheckHeifItemSizes(data.data(), data.size());
  InitHeif();
  parsed.data = std::move(data);
  parsed.context.reset(heif_context_alloc());
  if (!parsed.context) RaiseImaging("HEIF: out of memory.");
  heif_context* context = parsed.context.get();
  heif_context_set_maximum_image_size_limit(context, int(kMaxImageSide));
  // One thread per file: a run decodes several files at once.
  heif_context_set_max_decoding_threads(context, 0);
  const heif_error read =
      heif_context_read_from_memory_without_copy(context, parsed.data.data(), parsed.data.size(), nullptr);
  if (read.code != heif_error_Ok)
    RaiseHeif(read, isomedia::TopLevelBoxBeyondEnd(parsed.data.data(), parsed.data.size()));
  heif_image_handle* primary = nullptr;
  Check(heif_context_get_primary_image_handle(context, &primary));
  parsed.primary.reset(primary);
  CheckImageDimensions(heif_image_handle_get_width(primary), heif_image_handle_get_height(primary), "HEIF file");
}

// The pixel format the reader gives for the primary image.
PixelFormat NearestFormat(const heif_image_handle* primary) {
  const bool alpha = heif_image_handle_has_alpha_channel(primary) != 0;
  if (heif_image_handle_get_luma_bits_per_pixel(primary) > 8)
    return alpha ? PixelFormat::A16R16G16B16 : PixelFormat::R16G16B16;
  return alpha ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8;
}

// The Exif block of the image from its TIFF header on; empty when it has none or the block's
// leading offset points outside it.
std::vector<uint8_t> ExifOf(const heif_image_handle* image) {
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(image, "Exif", &id, 1) < 1) return {};
  const size_t size = heif_image_handle_get_metadata_size(image, id);
  if (size < 4) return {};
  std::vector<uint8_t> block(size);
  if (heif_image_handle_get_metadata(image, id, block.data()).code != heif_error_Ok) return {};
  // The item starts with the offset of the TIFF header after these four bytes.
  const uint32_t offset = isomedia::BigEndian32(block.data());
  if (uint64_t(offset) + 4 > size) return {};
  size_t start = 4 + size_t(offset);
  // Some writers leave the "Exif\0\0" of a JPEG segment in front of the header.
  if (size - start >= 6 && std::memcmp(block.data() + start, "Exif\0\0", 6) == 0) start += 6;
  return std::vector<uint8_t>(block.begin() + long(start), block.end());
}

std::vector<uint8_t> IccProfileOf(const heif_image_handle* image) {
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(image);
  if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return {};
  const size_t size = heif_image_handle_get_raw_color_profile_size(image);
  if (size > kMaxColorProfileBytes) return {};
  std::vector<uint8_t> profile(size);
  if (profile.empty() || heif_image_handle_get_raw_color_profile(image, profile.data()).code != heif_error_Ok) return {};
  return profile;
}

int32_t ExifOrientationOf(const heif_image_handle* image) {
  const std::vector<uint8_t> exif = ExifOf(image);
  return isomedia::ExifOrientation(exif.data(), exif.size());
}

// Interleaved red-green-blue(-alpha) rows of libheif into the library's blue-green-red(-alpha)
// pixels; wide samples (little-endian, `bits` significant) are stretched to 16 bits.
void CopyRows(const uint8_t* plane, int stride, int bits, bool alpha, Image& image) {
  const size_t channels = alpha ? 4 : 3;
  const size_t width = size_t(image.Width());
  if (bits <= 8) {
    for (int32_t y = 0; y < image.Height(); ++y) {
      const uint8_t* s = plane + size_t(y) * size_t(stride);
      uint8_t* t = image.Bits() + size_t(y) * width * channels;
      for (size_t x = 0; x < width; ++x, s += channels, t += channels) {
        t[0] = s[2];
        t[1] = s[1];
        t[2] = s[0];
        if (alpha) t[3] = s[3];
      }
    }
    return;
  }
  const uint32_t maximum = (1u << bits) - 1;
  auto stretch = [maximum](const uint8_t* p) -> uint16_t {
    const uint32_t v = std::min<uint32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8), maximum);
    return uint16_t((v * 65535u + maximum / 2) / maximum);
  };
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* s = plane + size_t(y) * size_t(stride);
    uint16_t* t = reinterpret_cast<uint16_t*>(image.Bits()) + size_t(y) * width * channels;
    for (size_t x = 0; x < width; ++x, s += channels * 2, t += channels) {
      t[0] = stretch(s + 4);
      t[1] = stretch(s + 2);
      t[2] = stretch(s);
      if (alpha) t[3] = stretch(s + 6);
    }
  }
}

// Colour that a file stores multiplied by alpha, divided out again (8-bit pixels).
void UnpremultiplyAlpha(Image& image) {
  const size_t pixels = size_t(image.Width()) * size_t(image.Height());
  uint8_t* p = image.Bits();
  for (size_t i = 0; i < pixels; ++i, p += 4) {
    const uint32_t a = p[3];
    if (a == 0 || a == 255) continue;
    for (int c = 0; c < 3; ++c) p[c] = uint8_t(std::min<uint32_t>(255, (p[c] * 255u + a / 2) / a));
  }
}

struct ByteWriter {
  static heif_error Write(heif_context*, const void* data, size_t size, void* user) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(user);
    try {
      const auto* p = static_cast<const uint8_t*>(data);
      bytes->insert(bytes->end(), p, p + size);
    } catch (...) {
      return heif_error{heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};
    }
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "Success"};
  }
};

class HeifCodec : public Codec {
public:
  HeifCodec() {
    Name = "HEIF Image";
    CanLoad = true;
    CanSave = HeifCanWrite();
    IsMultiImage = false;
    SupportedFormats = MakeFormatSet({PixelFormat::R8G8B8, PixelFormat::A8R8G8B8});
    AddMasks("*.heic,*.heif");
    CanReadHeader = true;
  }

  bool ProbeStream(Stream& stream) const override {
    uint8_t bytes[isomedia::kFileTypeProbeSize];
    const size_t n = isomedia::PeekFileType(stream, bytes);
    return HasHeifBrand(bytes, n);
  }

  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

class HeifDecoder : public Decoder {
public:
  using Decoder::Decoder;

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool) override {
    ParsedHeif parsed;
    ParseHeif(isomedia::ReadRemaining(stream, "HEIF"), parsed);
    const heif_image_handle* primary = parsed.primary.get();
    Facts.heifExifOrientation = ExifOrientationOf(primary);
    if (std::vector<uint8_t> icc = IccProfileOf(primary); !icc.empty()) {
      Facts.profile = MakeColorProfile(std::move(icc));
      if (!Facts.profile) AddLoadWarning("The HEIF file's colour profile is damaged; it is left out");
    }

    const PixelFormat format = NearestFormat(primary);
    const bool alpha = format == PixelFormat::A8R8G8B8 || format == PixelFormat::A16R16G16B16;
    const bool wide = format == PixelFormat::R16G16B16 || format == PixelFormat::A16R16G16B16;
    const heif_chroma chroma = wide ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    std::unique_ptr<heif_decoding_options, DecodingOptionsDeleter> options(heif_decoding_options_alloc());
    if (!options) RaiseImaging("HEIF: out of memory.");
    heif_image* decodedImage = nullptr;
    Check(heif_decode_image(primary, &decodedImage, heif_colorspace_RGB, chroma, options.get()));
    std::unique_ptr<heif_image, HeifImageDeleter> decoded(decodedImage);

    const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    CheckImageDimensions(width, height, "HEIF picture");
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const int bits = wide ? heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) : 8;
    const int64_t rowBytes = int64_t(width) * (alpha ? 4 : 3) * (wide ? 2 : 1);
    if (!plane || stride < rowBytes || (wide && (bits <= 8 || bits > 16)))
      RaiseImaging("HEIF: libheif gave the picture in an unexpected layout.");

    Image& image = images.emplace_back();
    if (!CreateImage(width, height, format, image)) RaiseImaging("Cannot create a HEIF image.");
    CopyRows(plane, stride, bits, alpha, image);
    if (alpha && !wide && heif_image_is_premultiplied_alpha(decoded.get())) UnpremultiplyAlpha(image);
    return true;
  }
};

class HeifEncoder : public Encoder {
public:
  using Encoder::Encoder;

  void ConvertForSave(Image& image, const PixelFormatInfo& info) override {
    ConvertImageFormat(image, info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8);
  }

  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override {
    if (!HeifCanWrite()) RaiseImaging("HEIF: this libheif has no HEVC encoder, so HEIC files can only be read.");
    PreparedImage prepared;
    if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;
    const Image& image = prepared;
    // The run hands every picture over with alpha; libheif would store an opaque one as an
    // extra alpha picture.
    const bool alpha = image.Format() == PixelFormat::A8R8G8B8 && !IsImageOpaque(image);
    const size_t sourceChannels = image.Format() == PixelFormat::A8R8G8B8 ? 4 : 3;

    heif_image* pictureImage = nullptr;
    Check(heif_image_create(image.Width(), image.Height(), heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &pictureImage));
    std::unique_ptr<heif_image, HeifImageDeleter> picture(pictureImage);
    Check(heif_image_add_plane(picture.get(), heif_channel_interleaved, image.Width(), image.Height(), 8));
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
    const size_t channels = alpha ? 4 : 3;
    if (!plane || stride < int64_t(image.Width()) * int64_t(channels))
      RaiseImaging("HEIF: libheif gave the picture in an unexpected layout.");
    for (int32_t y = 0; y < image.Height(); ++y) {
      const uint8_t* s = image.Bits() + size_t(y) * size_t(image.Width()) * sourceChannels;
      uint8_t* t = plane + size_t(y) * size_t(stride);
      for (int32_t x = 0; x < image.Width(); ++x, s += sourceChannels, t += channels) {
        t[0] = s[2];
        t[1] = s[1];
        t[2] = s[0];
        if (alpha) t[3] = s[3];
      }
    }

    if (const ColorProfile profile = SaveProfileFor(image.Format()))
      Check(heif_image_set_raw_color_profile(picture.get(), "prof", profile->data(), profile->size()));

    InitHeif();
    std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context) RaiseImaging("HEIF: out of memory.");
    heif_encoder* encoderPointer = nullptr;
    Check(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &encoderPointer));
    std::unique_ptr<heif_encoder, HeifEncoderDeleter> encoder(encoderPointer);
    Check(heif_encoder_set_lossy_quality(encoder.get(), Options.heif.quality));
    std::unique_ptr<heif_encoding_options, EncodingOptionsDeleter> options(heif_encoding_options_alloc());
    if (!options) RaiseImaging("HEIF: out of memory.");
    options->save_alpha_channel = alpha ? 1 : 0;
    Check(heif_context_encode_image(context.get(), picture.get(), encoder.get(), options.get(), nullptr));

    std::vector<uint8_t> bytes;
    heif_writer writer{1, ByteWriter::Write};
    Check(heif_context_write(context.get(), &writer, &bytes));
    stream.WriteExact(bytes.data(), static_cast<int64_t>(bytes.size()), "HEIF data");
    return true;
  }

protected:
  void ValidateOptions() override {
    if (static_cast<uint32_t>(Options.heif.quality - 1) >= 100u) Options.heif.quality = 50;
  }
};

std::unique_ptr<Decoder> HeifCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<HeifDecoder>(options);
}

std::unique_ptr<Encoder> HeifCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<HeifEncoder>(*this, options);
}

}  // namespace

bool HeifCanWrite() {
  InitHeif();
  return heif_have_encoder_for_format(heif_compression_HEVC) != 0;
}

std::unique_ptr<Codec> CreateHeifCodec() { return std::make_unique<HeifCodec>(); }

void ReadHeifHeader(Stream& stream, ImageHeader& header) {
  ParsedHeif parsed;
  ParseHeif(isomedia::ReadRemaining(stream, "HEIF"), parsed);
  header.Width = heif_image_handle_get_width(parsed.primary.get());
  header.Height = heif_image_handle_get_height(parsed.primary.get());
  header.Format = NearestFormat(parsed.primary.get());
}

void ReadHeifMetadata(const std::string& fileName, HeifMetadata& metadata) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) RaiseImaging("HEIF: cannot open \"%s\".", fileName.c_str());
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) RaiseImaging("HEIF: cannot read \"%s\".", fileName.c_str());
  ParsedHeif parsed;
  ParseHeif(std::move(data), parsed);
  metadata.Exif = ExifOf(parsed.primary.get());
  metadata.IccProfile = IccProfileOf(parsed.primary.get());
  metadata.ExifOrientation = isomedia::ExifOrientation(metadata.Exif.data(), metadata.Exif.size());
}

ImageHeader HeifCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  ImageHeader header;
  ReadHeifHeader(stream, header);
  return header;
}

}  // namespace imaging::formats
