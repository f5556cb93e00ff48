// Writing PNG and JNG datastreams: rows filtered (one type, Paeth, or adaptive) and deflated;
// JNG colour through the JPEG codec, alpha deflated or as a second JPEG.
#include "imaging/formats/PngChunks.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "imaging/formats/Jpeg.h"

namespace imaging::formats {

using namespace ng;

namespace {

// Writes the JPEG data of a JNG datastream with the options of the save (its save override
// format), the datastream's quality and progression, and no colour profile.
void WriteEmbeddedJpeg(const Image& image, const CodecOptions& saveOptions, int32_t quality, bool progressive,
                       std::vector<uint8_t>& target) {
  CodecOptions options = saveOptions;
  options.jpeg = {quality, progressive};
  options.profile = nullptr;
  JpegEncoder jpeg(JpegCodec::Description(), options);
  MemoryStream stream;
  const std::span<const Image> one(&image, 1);
  int32_t index = 0;
  if (!jpeg.PrepareSave(one, index) || !jpeg.WriteImage(stream, one, index))
    RaiseImaging("JNG image of format %s cannot be written as JPEG.", GetFormatName(image.Format()).c_str());
  target = std::move(stream.Data());
}

// ---- Encoding -------------------------------------------------------------------------------

// Deflates everything written to it into `target` at the given level.
class Deflater {
public:
  Deflater(int level, std::vector<uint8_t>& target) : target_(target) {
    std::memset(&stream_, 0, sizeof(stream_));
    const int result = deflateInit(&stream_, level);
    if (result != Z_OK) RaiseZlib(result);
    target_.clear();
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void Write(const uint8_t* data, size_t count) {
    while (count > 0) {
      const size_t step = std::min<size_t>(count, 1u << 30);
      stream_.next_in = const_cast<Bytef*>(data);
      stream_.avail_in = static_cast<uInt>(step);
      while (stream_.avail_in > 0) Run(Z_NO_FLUSH);
      data += step;
      count -= step;
    }
  }

  void Finish() {
    while (Run(Z_FINISH) != Z_STREAM_END) {
    }
    target_.resize(used_);
  }

private:
  int Run(int flush) {
    if (target_.size() - used_ < (1u << 16)) target_.resize(std::max<size_t>(target_.size() * 3 / 2, used_ + (1u << 17)));
    const size_t room = std::min<size_t>(target_.size() - used_, 1u << 30);
    stream_.next_out = target_.data() + used_;
    stream_.avail_out = static_cast<uInt>(room);
    const int result = deflate(&stream_, flush);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) RaiseZlib(result);
    used_ += room - stream_.avail_out;
    return result;
  }

  z_stream stream_;
  std::vector<uint8_t>& target_;
  size_t used_ = 0;
};

inline uint8_t FilterByte(uint8_t type, uint8_t x, uint8_t a, uint8_t b, uint8_t c) {
  switch (type) {
    case 1: return static_cast<uint8_t>(x - a);
    case 2: return static_cast<uint8_t>(x - b);
    case 3: return static_cast<uint8_t>(x - ((a + b) >> 1));
    case 4: return static_cast<uint8_t>(x - PaethPredictor(a, b, c));
    default: return x;
  }
}

// Filters `row` against `prev` (both as the file stores them) into `out`.
void FilterRow(uint8_t type, const uint8_t* row, const uint8_t* prev, uint8_t* out, size_t n, size_t bpp) {
  switch (type) {
    case 0:
      std::memcpy(out, row, n);
      return;
    case 2:
      for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(row[i] - prev[i]);
      return;
    default:
      for (size_t i = 0; i < bpp && i < n; ++i) out[i] = FilterByte(type, row[i], 0, prev[i], 0);
      for (size_t i = bpp; i < n; ++i) out[i] = FilterByte(type, row[i], row[i - bpp], prev[i], prev[i - bpp]);
      return;
  }
}

uint64_t FilterCost(const uint8_t* row, size_t n) {
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += static_cast<uint64_t>(std::abs(static_cast<int8_t>(row[i])));
  return sum;
}

// Copies a source row into the byte order of the file: red first, 16-bit samples big-endian.
void StorePNGRow(const uint8_t* source, uint8_t* target, size_t pixels, size_t bpp, bool swapRedBlue, bool sixteenBit) {
  if (!sixteenBit) {
    std::memcpy(target, source, pixels * bpp);
    if (swapRedBlue)
      for (size_t i = 0; i < pixels; ++i) std::swap(target[i * bpp], target[i * bpp + 2]);
    return;
  }
  const size_t words = bpp / 2;
  for (size_t i = 0; i < pixels; ++i, source += bpp, target += bpp) {
    uint16_t w[4];
    std::memcpy(w, source, bpp);
    if (swapRedBlue) std::swap(w[0], w[2]);
    for (size_t k = 0; k < words; ++k) {
      target[2 * k] = static_cast<uint8_t>(w[k] >> 8);
      target[2 * k + 1] = static_cast<uint8_t>(w[k]);
    }
  }
}

// Builds the IHDR of a prepared image.
PngImageHeader HeaderForImage(const Image& image) {
  const PixelFormatInfo* info = FindFormatInfo(image.Format());
  if (!info || info->BytesPerPixel <= 0 || info->IsFloatingPoint || info->IsCompressed)
    RaiseImaging("PNG cannot store images of format %s.", GetFormatName(image.Format()).c_str());
  PngImageHeader h{};
  h.Width = static_cast<uint32_t>(image.Width());
  h.Height = static_cast<uint32_t>(image.Height());
  uint32_t depth = 8u * static_cast<uint32_t>(info->BytesPerPixel);
  if (info->HasGrayChannel) {
    h.ColorType = info->HasAlphaChannel ? 4 : 0;
    if (info->HasAlphaChannel) depth /= 2;
  } else if (info->IsIndexed) {
    h.ColorType = 3;
  } else if (info->HasAlphaChannel) {
    h.ColorType = 6;
    depth /= 4;
  } else {
    h.ColorType = 2;
    depth /= 3;
  }
  h.BitDepth = static_cast<uint8_t>(depth);
  return h;
}

// Filters and deflates the rows of an image whose format the PNG layout table covers.
void EncodePNGRows(const Image& image, const PngImageHeader& header, int32_t preFilter, int32_t compressLevel,
                   std::vector<uint8_t>& target) {
  const PixelFormatInfo* info = FindFormatInfo(image.Format());
  const size_t bpp = size_t(info->BytesPerPixel);
  const size_t width = size_t(image.Width());
  const size_t rowBytes = width * bpp;
  const bool truecolour = header.ColorType == 2 || header.ColorType == 6;
  const bool sixteenBit = header.BitDepth == 16;
  const bool redFirst = image.Format() == PixelFormat::B16G16R16 || image.Format() == PixelFormat::A16B16G16R16;
  const bool swapRedBlue = truecolour && !redFirst;
  const bool transform = swapRedBlue || sixteenBit;

  int fixedType = 0;
  bool adaptive = false;
  if (preFilter <= 4)
    fixedType = preFilter;
  else if (preFilter == 5)
    fixedType = truecolour ? 4 : 0;
  else
    adaptive = header.BitDepth >= 8 && header.ColorType != 3;

  std::vector<uint8_t> zeroRow(rowBytes, 0);
  std::vector<uint8_t> fileRows(transform ? 2 * rowBytes : 0);
  std::vector<uint8_t> filtered((adaptive ? 5 : 1) * (rowBytes + 1));
  const uint8_t* prev = zeroRow.data();
  Deflater deflater(compressLevel, target);
  for (size_t y = 0; y < size_t(image.Height()); ++y) {
    const uint8_t* source = image.Bits() + y * rowBytes;
    const uint8_t* row = source;
    if (transform) {
      uint8_t* slot = fileRows.data() + (y % 2) * rowBytes;
      StorePNGRow(source, slot, width, bpp, swapRedBlue, sixteenBit);
      row = slot;
    }
    uint8_t* chosen = filtered.data();
    if (!adaptive) {
      chosen[0] = static_cast<uint8_t>(fixedType);
      FilterRow(static_cast<uint8_t>(fixedType), row, prev, chosen + 1, rowBytes, bpp);
    } else {
      uint64_t best = UINT64_MAX;
      for (uint8_t type = 0; type <= 4; ++type) {
        uint8_t* candidate = filtered.data() + type * (rowBytes + 1);
        candidate[0] = type;
        FilterRow(type, row, prev, candidate + 1, rowBytes, bpp);
        const uint64_t cost = FilterCost(candidate + 1, rowBytes);
        if (cost < best) {
          best = cost;
          chosen = candidate;
        }
      }
    }
    deflater.Write(chosen, rowBytes + 1);
    prev = row;
  }
  deflater.Finish();
}

}  // namespace

std::vector<uint8_t> ng::MakeProfileChunk(const std::vector<uint8_t>& profile, int compressLevel) {
  static constexpr char kName[] = "ICC profile";
  std::vector<uint8_t> chunk(kName, kName + sizeof(kName));  // with its 00
  chunk.push_back(0);                                       // deflate
  std::vector<uint8_t> deflated;
  Deflater deflater(compressLevel, deflated);
  deflater.Write(profile.data(), profile.size());
  deflater.Finish();
  chunk.insert(chunk.end(), deflated.begin(), deflated.end());
  return chunk;
}

// ---- DatastreamSaver -----------------------------------------------------------------------------

void DatastreamSaver::AddPNGFrame(const Image& image) {
  Datastream& frame = AddFrame(false);
  frame.ImageHeader = HeaderForImage(image);
  EncodePNGRows(image, frame.ImageHeader, Settings.preFilter, Settings.compressLevel, frame.ImageDataStream);
  if (image.Format() == PixelFormat::Index8) {
    frame.PaletteBytes.resize(256 * 3);
    bool translucent = false;
    for (int i = 0; i < 256; ++i) {
      const Color32 c = image.Palette()[i];
      frame.PaletteBytes[size_t(i) * 3] = Color32Red(c);
      frame.PaletteBytes[size_t(i) * 3 + 1] = Color32Green(c);
      frame.PaletteBytes[size_t(i) * 3 + 2] = Color32Blue(c);
      translucent = translucent || Color32Alpha(c) != 255;
    }
    if (translucent) {
      frame.TransparencyBytes.resize(256);
      for (int i = 0; i < 256; ++i) frame.TransparencyBytes[size_t(i)] = Color32Alpha(image.Palette()[i]);
    }
  }
}

void DatastreamSaver::AddJNGFrame(const Image& image) {
  const bool gray = image.Format() == PixelFormat::Gray8 || image.Format() == PixelFormat::A8Gray8;
  const bool hasAlpha = image.Format() == PixelFormat::A8Gray8 || image.Format() == PixelFormat::A8R8G8B8;
  if (!gray && image.Format() != PixelFormat::R8G8B8 && !hasAlpha)
    RaiseImaging("JNG cannot store images of format %s.", GetFormatName(image.Format()).c_str());

  Datastream& frame = AddFrame(true);
  JngHeader& h = frame.JpegHeader;
  h.Width = static_cast<uint32_t>(image.Width());
  h.Height = static_cast<uint32_t>(image.Height());
  h.ColorType = static_cast<uint8_t>(gray ? (hasAlpha ? 12 : 8) : (hasAlpha ? 14 : 10));
  h.SampleDepth = 8;
  h.CompressionMethod = 8;
  h.InterlaceMethod = Settings.progressive ? 8 : 0;
  h.AlphaSampleDepth = hasAlpha ? 8 : 0;
  h.AlphaCompressionMethod = Settings.lossyAlpha ? 8 : 0;

  if (!hasAlpha) {
    WriteEmbeddedJpeg(image, Options, Settings.quality, Settings.progressive, frame.JpegDataStream);
    return;
  }
  Image colour;
  Image alpha;
  CopyImage(image, colour);
  ConvertImageFormat(colour, gray ? PixelFormat::Gray8 : PixelFormat::R8G8B8);
  CreateImage(image.Width(), image.Height(), PixelFormat::Gray8, alpha);
  const size_t step = gray ? 2 : 4;
  const uint8_t* source = image.Bits() + step - 1;
  const size_t count = size_t(image.Width()) * size_t(image.Height());
  for (size_t i = 0; i < count; ++i, source += step) alpha.Bits()[i] = *source;

  WriteEmbeddedJpeg(colour, Options, Settings.quality, Settings.progressive, frame.JpegDataStream);
  if (Settings.lossyAlpha) {
    WriteEmbeddedJpeg(alpha, Options, Settings.quality, false, frame.JpegAlphaStream);
  } else {
    const PngImageHeader alphaHeader{h.Width, h.Height, 8, 0, 0, 0, 0};
    EncodePNGRows(alpha, alphaHeader, Settings.preFilter, Settings.compressLevel, frame.ImageDataStream);
  }
}

void DatastreamSaver::SaveFile(Stream& stream) {
  const uint8_t* signature = FileType == NetworkGraphicsType::MNG   ? kMNGSignature
                             : FileType == NetworkGraphicsType::JNG ? kJNGSignature
                                                            : kPNGSignature;
  stream.WriteExact(signature, 8, "PNG signature");
  if (FileType == NetworkGraphicsType::MNG) {
    uint8_t mhdr[kMNGHeaderSize];
    const uint32_t* fields = &MNGHeader.FrameWidth;
    for (uint32_t i = 0; i < kMNGHeaderSize / 4; ++i) StoreBE32(mhdr + 4 * i, fields[i]);
    WriteChunk(stream, kMHDR, mhdr, sizeof(mhdr));
  }
  for (const auto& frame : Frames) WriteFrame(stream, *frame);
  if (FileType == NetworkGraphicsType::MNG) WriteChunk(stream, kMEND, nullptr, 0);
}

}  // namespace imaging::formats
