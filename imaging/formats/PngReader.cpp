// Reading PNG and JNG datastreams: PNG image data are inflated row by row straight into the
// image and unfiltered in place; JNG datastreams go through the JPEG codec. CRCs are not
// checked. Also the header readers of the three file types.
#include "imaging/Headers.h"
#include "imaging/formats/PngChunks.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "imaging/formats/Jpeg.h"
#include "imaging/formats/PngUnfilter.h"

namespace imaging::formats {

using namespace ng;

namespace {

// ---- Inflating ----------------------------------------------------------------------------

// Inflates a whole zlib stream held in memory, in pieces of exactly the requested size.
class Inflater {
public:
  explicit Inflater(const std::vector<uint8_t>& data) : next_(data.data()), left_(data.size()) {
    std::memset(&stream_, 0, sizeof(stream_));
    const int result = inflateInit(&stream_);
    if (result != Z_OK) RaiseZlib(result);
  }
  ~Inflater() { inflateEnd(&stream_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Fills `target` with exactly `count` bytes: raises on corrupt or short data.
  void Read(uint8_t* target, size_t count) {
    while (count > 0) {
      if (ended_) RaiseImaging("PNG image data are shorter than the image size requires.");
      if (stream_.avail_in == 0 && left_ > 0) {
        const size_t step = std::min<size_t>(left_, 1u << 30);
        stream_.next_in = const_cast<Bytef*>(next_);
        stream_.avail_in = static_cast<uInt>(step);
        next_ += step;
        left_ -= step;
      }
      const size_t step = std::min<size_t>(count, 1u << 30);
      stream_.next_out = target;
      stream_.avail_out = static_cast<uInt>(step);
      const int result = inflate(&stream_, Z_NO_FLUSH);
      const size_t produced = step - stream_.avail_out;
      target += produced;
      count -= produced;
      if (result == Z_STREAM_END) {
        ended_ = true;
      } else if (result == Z_BUF_ERROR) {
        // No progress possible: the input is used up before the stream ended.
        if (stream_.avail_in == 0 && left_ == 0) RaiseZlib(Z_BUF_ERROR);
      } else if (result != Z_OK) {
        RaiseZlib(result == Z_NEED_DICT ? Z_DATA_ERROR : result);
      }
    }
  }

private:
  z_stream stream_;
  const uint8_t* next_;
  size_t left_;
  bool ended_ = false;
};

// ---- Decoding one PNG datastream --------------------------------------------------------------

struct PngLayout {
  PixelFormat format;
  uint32_t bitsPerPixel;
};

PngLayout PNGLayout(const PngImageHeader& h) {
  const uint8_t d = h.BitDepth;
  switch (h.ColorType) {
    case 0:
      if (d == 1 || d == 2 || d == 4 || d == 8) return {PixelFormat::Gray8, d};
      if (d == 16) return {PixelFormat::Gray16, 16};
      break;
    case 2:
      if (d == 8) return {PixelFormat::R8G8B8, 24};
      if (d == 16) return {PixelFormat::R16G16B16, 48};
      break;
    case 3:
      if (d == 1 || d == 2 || d == 4 || d == 8) return {PixelFormat::Index8, d};
      break;
    case 4:
      if (d == 8) return {PixelFormat::A8Gray8, 16};
      if (d == 16) return {PixelFormat::A16Gray16, 32};
      break;
    case 6:
      if (d == 8) return {PixelFormat::A8R8G8B8, 32};
      if (d == 16) return {PixelFormat::A16R16G16B16, 64};
      break;
    default:
      break;
  }
  RaiseImaging("PNG colour type %u with bit depth %u is not supported.", unsigned(h.ColorType), unsigned(d));
}

// What turns unfiltered PNG bytes of a row into the library's layout, for depths of 8 and 16:
// red and blue change places, 16-bit samples become native order, and the MNG intrapixel
// differencing is undone.
struct RowFixup {
  uint32_t bytesPerPixel = 0;
  bool sixteenBit = false;
  bool truecolour = false;
  bool intrapixel = false;

  bool Needed() const { return sixteenBit || truecolour; }

  void Apply(uint8_t* row, size_t pixels) const {
    if (!sixteenBit) {
      for (size_t i = 0; i < pixels; ++i, row += bytesPerPixel) {
        uint8_t r = row[0];
        uint8_t b = row[2];
        if (intrapixel) {
          r = static_cast<uint8_t>(r + row[1]);
          b = static_cast<uint8_t>(b + row[1]);
        }
        row[0] = b;
        row[2] = r;
      }
      return;
    }
    const size_t words = bytesPerPixel / 2;
    for (size_t i = 0; i < pixels; ++i, row += bytesPerPixel) {
      uint16_t w[4];
      for (size_t k = 0; k < words; ++k) w[k] = LoadBE16(row + 2 * k);
      if (truecolour) {
        if (intrapixel) {
          w[0] = static_cast<uint16_t>(w[0] + w[1]);
          w[2] = static_cast<uint16_t>(w[2] + w[1]);
        }
        std::swap(w[0], w[2]);
      }
      std::memcpy(row, w, bytesPerPixel);
    }
  }
};

// Unpacks one row of 1-, 2- or 4-bit samples (most significant bits first) to one byte each;
// gray samples are scaled to the full 8-bit range, palette indices kept.
void UnpackRow(const uint8_t* packed, uint8_t* target, size_t pixels, uint32_t depth, bool scaleGray) {
  const uint32_t mask = (1u << depth) - 1;
  const uint32_t scale = !scaleGray ? 1 : depth == 1 ? 255 : depth == 2 ? 85 : 17;
  const uint32_t perByte = 8 / depth;
  for (size_t x = 0; x < pixels; ++x) {
    const uint32_t shift = 8 - depth * (uint32_t(x % perByte) + 1);
    target[x] = static_cast<uint8_t>(((packed[x / perByte] >> shift) & mask) * scale);
  }
}

struct Adam7Pass {
  uint32_t columnStart, rowStart, columnStep, rowStep;
};
constexpr Adam7Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

void DecodeNonInterlaced(Inflater& inflater, Image& image, const PngLayout& layout, const RowFixup& fixup) {
  const size_t width = size_t(image.Width());
  const size_t height = size_t(image.Height());
  const size_t bpp = (layout.bitsPerPixel + 7) / 8;
  const size_t rowBytes = (width * layout.bitsPerPixel + 7) / 8;
  const std::vector<uint8_t> zeroRow(rowBytes, 0);

  if (layout.bitsPerPixel >= 8) {
    // Inflate straight into the image rows and unfilter there; the layout fix-up runs one row
    // behind because the next row's filter needs this one as the file stores it.
    for (size_t y = 0; y < height; ++y) {
      uint8_t* row = image.Bits() + y * rowBytes;
      const uint8_t* prev = y > 0 ? row - rowBytes : zeroRow.data();
      uint8_t type = 0;
      inflater.Read(&type, 1);
      inflater.Read(row, rowBytes);
      if (type > 4)
        std::memset(row, 0, rowBytes);
      else
        UnfilterRow(type, row, prev, rowBytes, bpp);
      if (fixup.Needed() && y > 0) fixup.Apply(row - rowBytes, width);
    }
    if (fixup.Needed()) fixup.Apply(image.Bits() + (height - 1) * rowBytes, width);
    return;
  }

  std::vector<uint8_t> rows(2 * rowBytes, 0);
  uint8_t* cur = rows.data();
  uint8_t* prev = rows.data() + rowBytes;
  const bool gray = image.Format() == PixelFormat::Gray8;
  for (size_t y = 0; y < height; ++y) {
    uint8_t type = 0;
    inflater.Read(&type, 1);
    inflater.Read(cur, rowBytes);
    if (type > 4)
      std::memset(cur, 0, rowBytes);
    else
      UnfilterRow(type, cur, prev, rowBytes, bpp);
    UnpackRow(cur, image.Bits() + y * width, width, layout.bitsPerPixel, gray);
    std::swap(cur, prev);
  }
}

void DecodeAdam7(Inflater& inflater, Image& image, const PngLayout& layout, const RowFixup& fixup) {
  const size_t width = size_t(image.Width());
  const size_t height = size_t(image.Height());
  const uint32_t bits = layout.bitsPerPixel;
  const size_t bpp = (bits + 7) / 8;
  const size_t rowBytes = (width * bits + 7) / 8;
  // Depths below 8 collect the packed rows first; the others scatter whole pixels into the image.
  std::vector<uint8_t> packed(bits < 8 ? rowBytes * height : 0, 0);
  uint8_t* target = bits < 8 ? packed.data() : image.Bits();
  std::vector<uint8_t> passRows(2 * rowBytes, 0);

  for (const Adam7Pass& pass : kAdam7) {
    if (pass.columnStart >= width || pass.rowStart >= height) continue;
    const size_t passWidth = (width + pass.columnStep - pass.columnStart - 1) / pass.columnStep;
    const size_t passRowBytes = (passWidth * bits + 7) / 8;
    uint8_t* cur = passRows.data();
    uint8_t* prev = passRows.data() + rowBytes;
    std::memset(passRows.data(), 0, passRows.size());
    for (size_t y = pass.rowStart; y < height; y += pass.rowStep) {
      uint8_t type = 0;
      inflater.Read(&type, 1);
      inflater.Read(cur, passRowBytes);
      UnfilterRow(type, cur, prev, passRowBytes, bpp);
      uint8_t* line = target + y * rowBytes;
      if (bits >= 8) {
        for (size_t i = 0, x = pass.columnStart; i < passWidth; ++i, x += pass.columnStep)
          std::memcpy(line + x * bpp, cur + i * bpp, bpp);
      } else {
        const uint32_t mask = (1u << bits) - 1;
        const uint32_t perByte = 8 / bits;
        for (size_t i = 0, x = pass.columnStart; i < passWidth; ++i, x += pass.columnStep) {
          const uint32_t sample = (cur[i / perByte] >> (8 - bits * (uint32_t(i % perByte) + 1))) & mask;
          line[x / perByte] |= static_cast<uint8_t>(sample << (8 - bits * (uint32_t(x % perByte) + 1)));
        }
      }
      std::swap(cur, prev);
    }
  }

  if (bits < 8) {
    const bool gray = image.Format() == PixelFormat::Gray8;
    for (size_t y = 0; y < height; ++y) UnpackRow(packed.data() + y * rowBytes, image.Bits() + y * width, width, bits, gray);
  } else if (fixup.Needed()) {
    for (size_t y = 0; y < height; ++y) fixup.Apply(image.Bits() + y * rowBytes, width);
  }
}

// Bytes the filtered rows of an image take, filter type bytes included.
uint64_t FilteredSize(const PngImageHeader& header, uint32_t bitsPerPixel) {
  const uint64_t width = header.Width, height = header.Height;
  if (header.InterlaceMethod != 1) return height * ((width * bitsPerPixel + 7) / 8 + 1);
  uint64_t total = 0;
  for (const Adam7Pass& pass : kAdam7) {
    if (pass.columnStart >= width || pass.rowStart >= height) continue;
    const uint64_t passWidth = (width + pass.columnStep - pass.columnStart - 1) / pass.columnStep;
    const uint64_t passHeight = (height + pass.rowStep - pass.rowStart - 1) / pass.rowStep;
    total += passHeight * ((passWidth * bitsPerPixel + 7) / 8 + 1);
  }
  return total;
}

// Deflate turns one byte into at most 1032 (a 258-byte match in two bits); data that cannot
// possibly fill the image are refused before the image is allocated.
constexpr uint64_t kMaxInflateRatio = 1032;

void DecodePNGData(const PngImageHeader& header, const std::vector<uint8_t>& data, Image& image) {
  if (header.Width > kMaxChunkLength || header.Height > kMaxChunkLength)
    RaiseImaging("PNG image size %ux%u is invalid.", header.Width, header.Height);
  CheckImageDimensions(header.Width, header.Height, "PNG image");
  const PngLayout layout = PNGLayout(header);
  if (FilteredSize(header, layout.bitsPerPixel) > uint64_t(data.size()) * kMaxInflateRatio + 1024)
    RaiseImaging("PNG image data (%llu bytes) are too short for a %ux%u image.",
                 static_cast<unsigned long long>(data.size()), header.Width, header.Height);
  CreateImage(static_cast<int32_t>(header.Width), static_cast<int32_t>(header.Height), layout.format, image);

  RowFixup fixup;
  fixup.bytesPerPixel = layout.bitsPerPixel / 8;
  fixup.sixteenBit = header.BitDepth == 16;
  fixup.truecolour = header.ColorType == 2 || header.ColorType == 6;
  fixup.intrapixel = fixup.truecolour && header.FilterMethod == 64;

  Inflater inflater(data);
  if (header.InterlaceMethod == 1)
    DecodeAdam7(inflater, image, layout, fixup);
  else
    DecodeNonInterlaced(inflater, image, layout, fixup);
}

// ---- Side chunks ------------------------------------------------------------------------------

// A tRNS or bKGD colour: four 16-bit words, for truecolour in the order blue, green, red.
struct SideColour {
  uint16_t w[4] = {0, 0, 0, 0};
};

SideColour ReadSideColour(const std::vector<uint8_t>& bytes, bool truecolour, const Datastream& frame) {
  uint8_t padded[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(padded, bytes.data(), std::min<size_t>(bytes.size(), 8));
  SideColour c;
  for (int i = 0; i < 4; ++i) c.w[i] = LoadBE16(padded + 2 * i);
  if (truecolour) std::swap(c.w[0], c.w[2]);
  const uint8_t ct = frame.ImageHeader.ColorType;
  const uint8_t depth = frame.ImageHeader.BitDepth;
  if (!frame.IsJpegFrame && (ct == 0 || ct == 4) && depth < 8) {
    const uint32_t scale = depth == 1 ? 255 : depth == 2 ? 85 : depth == 4 ? 17 : 1;
    c.w[0] = static_cast<uint16_t>(c.w[0] * scale);
  }
  return c;
}

// Writes the colour as one pixel of an alpha format; false when a sample does not fit.
bool MakeKeyPixel(PixelFormat format, const SideColour& c, bool opaque, uint8_t (&pixel)[8]) {
  const uint16_t alpha16 = opaque ? 0xFFFF : 0;
  switch (format) {
    case PixelFormat::A8Gray8:
      if (c.w[0] > 255) return false;
      pixel[0] = static_cast<uint8_t>(c.w[0]);
      pixel[1] = static_cast<uint8_t>(alpha16);
      return true;
    case PixelFormat::A8R8G8B8:
      if (c.w[0] > 255 || c.w[1] > 255 || c.w[2] > 255) return false;
      for (int i = 0; i < 3; ++i) pixel[i] = static_cast<uint8_t>(c.w[i]);
      pixel[3] = static_cast<uint8_t>(alpha16);
      return true;
    case PixelFormat::A16Gray16: {
      const uint16_t words[2] = {c.w[0], alpha16};
      std::memcpy(pixel, words, 4);
      return true;
    }
    case PixelFormat::A16R16G16B16: {
      const uint16_t words[4] = {c.w[0], c.w[1], c.w[2], alpha16};
      std::memcpy(pixel, words, 8);
      return true;
    }
    default:
      return false;
  }
}

PixelFormat AlphaFormatOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::Gray8: return PixelFormat::A8Gray8;
    case PixelFormat::Gray16: return PixelFormat::A16Gray16;
    case PixelFormat::R8G8B8: return PixelFormat::A8R8G8B8;
    case PixelFormat::R16G16B16: return PixelFormat::A16R16G16B16;
    default: return PixelFormat::Unknown;
  }
}

// ---- JNG ------------------------------------------------------------------------------------

// Reads a JPEG stream held in memory through a JPEG decoder of its own, with the options of the
// load; false when the JPEG decoder answers false (a colour space it does not give).
bool ReadEmbeddedJpeg(const std::vector<uint8_t>& data, const CodecOptions& options, Image& image) {
  JpegDecoder jpeg(options);
  MemoryStream stream = MemoryStream::ViewOf(data);
  std::vector<Image> images;
  if (!jpeg.ReadImages(stream, images, true) || images.empty()) return false;
  image = std::move(images.front());
  return true;
}

}  // namespace

// ---- Colour profile -------------------------------------------------------------------------

ColorProfile ng::ReadProfileChunk(const std::vector<uint8_t>& data) {
  // A name of 1 to 79 Latin-1 characters, its terminating 00, the compression method (0).
  const auto end = std::find(data.begin(), data.begin() + std::min<size_t>(data.size(), 80), uint8_t(0));
  if (end == data.begin() || end == data.end() || static_cast<size_t>(end - data.begin()) >= 80) return nullptr;
  const size_t method = static_cast<size_t>(end - data.begin()) + 1;
  if (method >= data.size() || data[method] != 0) return nullptr;
  try {
    const std::vector<uint8_t> deflated(data.begin() + static_cast<ptrdiff_t>(method) + 1, data.end());
    Inflater inflater(deflated);
    std::vector<uint8_t> profile(4);
    inflater.Read(profile.data(), 4);
    const uint32_t size = LoadBE32(profile.data());
    if (size < kColorProfileHeaderSize || size > kMaxColorProfileBytes) return nullptr;
    profile.resize(size);
    inflater.Read(profile.data() + 4, size - 4);
    return MakeColorProfile(std::move(profile));
  } catch (const ImagingError&) {
    return nullptr;
  }
}

// ---- Decoding -------------------------------------------------------------------------------

bool DecodePNGFrame(const Datastream& frame, Image& image) {
  DecodePNGData(frame.ImageHeader, frame.ImageDataStream, image);
  return true;
}

bool DecodeJNGFrame(const Datastream& frame, const CodecOptions& options, Image& image) {
  const JngHeader& h = frame.JpegHeader;
  if (h.SampleDepth == 12) {
    // 12-bit JPEG data are not decoded; the image keeps its size.
    CheckImageDimensions(h.Width, h.Height, "JNG image");
    CreateImage(static_cast<int32_t>(h.Width), static_cast<int32_t>(h.Height), PixelFormat::R8G8B8, image);
    return true;
  }
  if (!ReadEmbeddedJpeg(frame.JpegDataStream, options, image)) return false;

  const bool hasAlpha = h.ColorType == 12 || h.ColorType == 14;
  // A caller that asked for A8R8G8B8 gets the colour data in it already, with room for alpha.
  if (!hasAlpha || (image.Format() != PixelFormat::Gray8 && image.Format() != PixelFormat::R8G8B8 &&
                    image.Format() != PixelFormat::A8R8G8B8))
    return true;

  Image alpha;
  if (h.AlphaCompressionMethod == 0) {
    PngImageHeader alphaHeader{h.Width, h.Height, h.AlphaSampleDepth, 0, 0, h.AlphaFilterMethod, h.AlphaInterlaceMethod};
    DecodePNGData(alphaHeader, frame.ImageDataStream, alpha);
  } else {
    CodecOptions alphaOptions = options;
    alphaOptions.library.loadOverrideFormat = PixelFormat::Unknown;
    if (!ReadEmbeddedJpeg(frame.JpegAlphaStream, alphaOptions, alpha)) return false;
  }
  if (alpha.Width() != image.Width() || alpha.Height() != image.Height())
    ResizeImage(alpha, image.Width(), image.Height(), ResizeFilter::Nearest);
  const PixelFormatInfo* alphaInfo = FindFormatInfo(alpha.Format());
  if (alphaInfo->BytesPerPixel > 1 || !alphaInfo->HasGrayChannel) ConvertImageFormat(alpha, PixelFormat::Gray8);

  const bool gray = image.Format() == PixelFormat::Gray8;
  ConvertImageFormat(image, gray ? PixelFormat::A8Gray8 : PixelFormat::A8R8G8B8);
  const size_t step = gray ? 2 : 4;
  uint8_t* target = image.Bits() + step - 1;
  const uint8_t* source = alpha.Bits();
  const size_t count = size_t(image.Width()) * size_t(image.Height());
  for (size_t i = 0; i < count; ++i, target += step) *target = source[i];
  return true;
}

void ApplyFrameSideChunks(const Datastream& frame, Image& image) {
  const PixelFormatInfo* info = FindFormatInfo(image.Format());
  if (!info || image.Bits() == nullptr) return;
  const bool truecolour = frame.IsJpegFrame ? (frame.JpegHeader.ColorType == 10 || frame.JpegHeader.ColorType == 14)
                                            : (frame.ImageHeader.ColorType == 2 || frame.ImageHeader.ColorType == 6);
  const bool indexed = image.Format() == PixelFormat::Index8;

  bool hasTransparent = false;
  SideColour transparent;
  if (!frame.TransparencyBytes.empty() && !indexed && !info->HasAlphaChannel) {
    transparent = ReadSideColour(frame.TransparencyBytes, truecolour, frame);
    hasTransparent = true;
  }
  bool hasBackground = false;
  SideColour background;
  if (!frame.BackgroundBytes.empty()) {
    background = ReadSideColour(frame.BackgroundBytes, truecolour, frame);
    hasBackground = true;
  }

  if (indexed) {
    std::memset(image.Palette(), 0xFF, 256 * sizeof(Color32));
    const int32_t count = std::min(frame.PaletteCount(), 256);
    const uint8_t* p = frame.PaletteBytes.data();
    for (int32_t i = 0; i < count; ++i, p += 3) image.Palette()[i] = MakeColor32(255, p[0], p[1], p[2]);
    const size_t alphas = std::min<size_t>(frame.TransparencyBytes.size(), 256);
    for (size_t i = 0; i < alphas; ++i)
      image.Palette()[i] = (image.Palette()[i] & 0x00FFFFFFu) | (Color32(frame.TransparencyBytes[i]) << 24);
  }

  if (hasTransparent) {
    const PixelFormat alphaFormat = AlphaFormatOf(image.Format());
    if (alphaFormat == PixelFormat::Unknown) return;
    uint8_t key[8];
    uint8_t replacement[8];
    if (!MakeKeyPixel(alphaFormat, transparent, true, key)) return;
    if (!MakeKeyPixel(alphaFormat, hasBackground ? background : transparent, false, replacement) &&
        !MakeKeyPixel(alphaFormat, transparent, false, replacement))
      return;
    ConvertImageFormat(image, alphaFormat);
    ReplaceImageColor(image, 0, 0, image.Width(), image.Height(), key, replacement);
  }
}

namespace {

// The chunks up to the first image data: the first image header (IHDR or JHDR), and for a PNG
// datastream whether a tRNS chunk gives it an alpha channel. MNG files start with MHDR.
struct NetworkGraphicsHeaderScan {
  bool hasFrame = false;
  bool jpegFrame = false;
  PngImageHeader png{};
  JngHeader jng{};
  bool transparency = false;
  uint32_t frameWidth = 0, frameHeight = 0;
};

NetworkGraphicsHeaderScan ScanNGHeaders(Stream& stream, const uint8_t* signature) {
  uint8_t bytes[8];
  stream.ReadExact(bytes, 8, "PNG signature");
  if (std::memcmp(bytes, signature, 8) != 0) RaiseImaging("The file does not carry the expected signature.");
  NetworkGraphicsHeaderScan scan;
  const bool mng = std::memcmp(signature, kMNGSignature, 8) == 0;
  if (mng) {
    stream.ReadExact(bytes, 8, "MNG header chunk");
    const uint32_t length = LoadBE32(bytes);
    if (LoadBE32(bytes + 4) != kMHDR || length < kMNGHeaderSize || length > kMaxChunkLength)
      RaiseImaging("MNG file without a valid header chunk.");
    uint8_t mhdr[8];
    stream.ReadExact(mhdr, 8, "MNG header chunk");
    scan.frameWidth = LoadBE32(mhdr);
    scan.frameHeight = LoadBE32(mhdr + 4);
    stream.Seek(int64_t(length) - 8 + 4, SeekOrigin::Current);
  }
  while (stream.Read(bytes, 8) == 8) {
    const uint32_t length = LoadBE32(bytes);
    const ChunkId type = LoadBE32(bytes + 4);
    if (length > kMaxChunkLength) RaiseChunkRead(type);
    if (type == kIHDR || type == kJHDR) {
      if (scan.hasFrame) break;
      if (length > stream.Remaining()) RaiseChunkRead(type);
      std::vector<uint8_t> data(length);
      stream.ReadExact(data.data(), length, "image header chunk");
      stream.Seek(4, SeekOrigin::Current);
      scan.hasFrame = true;
      scan.jpegFrame = type == kJHDR;
      if (scan.jpegFrame) scan.jng = ParseJpegHeader(data);
      else scan.png = ParseImageHeader(data);
      continue;
    }
    if (type == kIDAT || type == kJDAT || type == kJDAA || type == kIEND || type == kMEND) {
      if (!scan.hasFrame && type != kIEND && type != kMEND)
        RaiseImaging("%s chunk found before the image header.", ChunkName(type).c_str());
      if (scan.hasFrame || type == kMEND || !mng) break;
    }
    if (type == kTRNS && scan.hasFrame) scan.transparency = true;
    stream.Seek(int64_t(length) + 4, SeekOrigin::Current);
  }
  return scan;
}

void SetPNGResult(const NetworkGraphicsHeaderScan& scan, ImageHeader& header) {
  const PngImageHeader& h = scan.png;
  if (h.Width > kMaxChunkLength || h.Height > kMaxChunkLength)
    RaiseImaging("PNG image size %ux%u is invalid.", h.Width, h.Height);
  CheckImageDimensions(h.Width, h.Height, "PNG image");
  PixelFormat format = PNGLayout(h).format;
  if (scan.transparency && format != PixelFormat::Index8 && AlphaFormatOf(format) != PixelFormat::Unknown)
    format = AlphaFormatOf(format);
  header = {int32_t(h.Width), int32_t(h.Height), format};
}

void SetJNGResult(const NetworkGraphicsHeaderScan& scan, ImageHeader& header) {
  const JngHeader& h = scan.jng;
  CheckImageDimensions(h.Width, h.Height, "JNG image");
  const bool gray = h.ColorType == 8 || h.ColorType == 12;
  const bool alpha = h.ColorType == 12 || h.ColorType == 14;
  PixelFormat format = gray ? PixelFormat::Gray8 : PixelFormat::R8G8B8;
  if (alpha && h.SampleDepth != 12) format = gray ? PixelFormat::A8Gray8 : PixelFormat::A8R8G8B8;
  header = {int32_t(h.Width), int32_t(h.Height), format};
}

}  // namespace

void ReadPNGHeader(Stream& stream, ImageHeader& header) {
  const NetworkGraphicsHeaderScan scan = ScanNGHeaders(stream, kPNGSignature);
  if (!scan.hasFrame || scan.jpegFrame) RaiseImaging("The PNG file holds no PNG image header.");
  SetPNGResult(scan, header);
}

void ReadJNGHeader(Stream& stream, ImageHeader& header) {
  const NetworkGraphicsHeaderScan scan = ScanNGHeaders(stream, kJNGSignature);
  if (!scan.hasFrame || !scan.jpegFrame) RaiseImaging("The JNG file holds no JNG image header.");
  SetJNGResult(scan, header);
}

void ReadMNGHeader(Stream& stream, ImageHeader& header) {
  const NetworkGraphicsHeaderScan scan = ScanNGHeaders(stream, kMNGSignature);
  if (!scan.hasFrame) {
    CheckImageDimensions(scan.frameWidth, scan.frameHeight, "MNG frame");
    header = {int32_t(scan.frameWidth), int32_t(scan.frameHeight), PixelFormat::A8R8G8B8};
  } else if (scan.jpegFrame) {
    SetJNGResult(scan, header);
  } else {
    SetPNGResult(scan, header);
  }
}

ImageHeader NetworkGraphicsCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  ImageHeader header;
  switch (type_) {
    case NetworkGraphicsType::PNG: ReadPNGHeader(stream, header); break;
    case NetworkGraphicsType::MNG: ReadMNGHeader(stream, header); break;
    case NetworkGraphicsType::JNG: ReadJNGHeader(stream, header); break;
  }
  return header;
}

}  // namespace imaging::formats
