// TIFF codec: libtiff opened on the codec's stream. Layouts that match a library
// format are read row by row, float RGB and gray of fewer than 8 bits converted on the way;
// everything else goes through libtiff's RGBA reader. Every page comes as stored, with its
// orientation for the caller to apply.
#include "imaging/Headers.h"
#include "imaging/Orientation.h"
#include "imaging/formats/Tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace imaging::formats {

namespace {

using namespace tiff;

// A page may decode to this many bytes whatever the file's size; beyond it the file must hold
// at least one byte per kMaxExpansion decoded bytes, so a small file cannot claim gigabytes.
constexpr int64_t kUncheckedDecodedBytes = int64_t(64) << 20;
constexpr int64_t kMaxExpansion = 2048;
// Largest tile buffer the direct reader allocates.
constexpr int64_t kMaxTileBytes = int64_t(256) << 20;

// What libtiff's procedures work on: the codec's stream, where the TIFF data starts in it, and
// the messages libtiff reported while working on it.
struct TiffClient {
  Stream* Data = nullptr;
  int64_t Base = 0;
  std::string Errors;
};

// The client whose libtiff calls run on this thread; catches the few messages libtiff reports
// before a TIFF object (and with it the handler of that object) exists.
thread_local TiffClient* tCurrentClient = nullptr;

void AppendMessage(TiffClient* client, const char* module, const char* fmt, va_list ap) {
  if (!client) return;
  char text[1024];
  std::vsnprintf(text, sizeof(text), fmt, ap);
  if (!client->Errors.empty()) client->Errors += "; ";
  if (module && *module) {
    client->Errors += module;
    client->Errors += ": ";
  }
  client->Errors += text;
}

int HandleError(TIFF*, void* userData, const char* module, const char* fmt, va_list ap) {
  AppendMessage(static_cast<TiffClient*>(userData), module, fmt, ap);
  return 1;
}

// Warnings describe files libtiff could still read; they are not reported.
int HandleWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

void GlobalError(const char* module, const char* fmt, va_list ap) { AppendMessage(tCurrentClient, module, fmt, ap); }

// libtiff's process-wide handlers would print to the terminal; they are replaced once.
void SilenceGlobalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(GlobalError);
    TIFFSetWarningHandler(nullptr);
  });
}

TiffClient* Client(thandle_t h) { return static_cast<TiffClient*>(h); }

void NoteException(TiffClient* client, const char* what) {
  if (!client->Errors.empty()) client->Errors += "; ";
  client->Errors += what;
}

// The procedures never let an exception of the stream pass through libtiff's C frames.
tmsize_t TiffRead(thandle_t h, void* buffer, tmsize_t size) {
  try {
    return static_cast<tmsize_t>(Client(h)->Data->Read(buffer, size));
  } catch (const std::exception& e) {
    NoteException(Client(h), e.what());
    return -1;
  }
}

tmsize_t TiffWrite(thandle_t h, void* buffer, tmsize_t size) {
  try {
    return static_cast<tmsize_t>(Client(h)->Data->Write(buffer, size));
  } catch (const std::exception& e) {
    NoteException(Client(h), e.what());
    return -1;
  }
}

toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
  TiffClient* c = Client(h);
  const toff_t failed = static_cast<toff_t>(-1);
  try {
    int64_t position;
    switch (whence) {
      case SEEK_SET:
        if (offset > toff_t(std::numeric_limits<int64_t>::max() - c->Base)) return failed;
        position = c->Data->Seek(c->Base + int64_t(offset), SeekOrigin::Begin);
        break;
      case SEEK_CUR:
        position = c->Data->Seek(static_cast<int64_t>(offset), SeekOrigin::Current);
        break;
      case SEEK_END:
        position = c->Data->Seek(static_cast<int64_t>(offset), SeekOrigin::End);
        break;
      default:
        return failed;
    }
    return position < c->Base ? failed : toff_t(position - c->Base);
  } catch (const std::exception& e) {
    NoteException(c, e.what());
    return failed;
  }
}

int TiffClose(thandle_t) { return 0; }

toff_t TiffSize(thandle_t h) {
  TiffClient* c = Client(h);
  try {
    const int64_t end = c->Data->Position() + c->Data->Remaining();
    return end < c->Base ? 0 : toff_t(end - c->Base);
  } catch (const std::exception& e) {
    NoteException(c, e.what());
    return 0;
  }
}

int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Makes the client current for this thread while libtiff works on it.
class CurrentClientScope {
public:
  explicit CurrentClientScope(TiffClient* client) : previous_(tCurrentClient) { tCurrentClient = client; }
  ~CurrentClientScope() { tCurrentClient = previous_; }
  CurrentClientScope(const CurrentClientScope&) = delete;
  CurrentClientScope& operator=(const CurrentClientScope&) = delete;

private:
  TiffClient* previous_;
};

TiffPtr OpenTiff(TiffClient& client, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) RaiseImaging("TIFF: out of memory.");
  TIFFOpenOptionsSetErrorHandlerExtR(options, HandleError, &client);
  TIFFOpenOptionsSetWarningHandlerExtR(options, HandleWarning, &client);
  TIFF* tif = TIFFClientOpenExt("LibTIFF", mode, &client, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                                TiffMap, TiffUnmap, options);
  TIFFOpenOptionsFree(options);
  return TiffPtr(tif);
}

[[noreturn]] void RaiseTiff(const TiffClient& client, const std::string& what) {
  if (client.Errors.empty()) RaiseImaging("TIFF: %s.", what.c_str());
  RaiseImaging("TIFF: %s: %s", what.c_str(), client.Errors.c_str());
}

// The library format of a layout libtiff can hand over row by row without conversion.
PixelFormat DirectFormat(uint16_t photometric, uint16_t sampleFormat, uint16_t bits, uint16_t samples,
                         uint16_t planar) {
  using PF = PixelFormat;
  if (planar != PLANARCONFIG_CONTIG && samples != 1) return PF::Unknown;
  if (photometric == PHOTOMETRIC_MINISBLACK) {
    if (sampleFormat == SAMPLEFORMAT_UINT) {
      if (bits == 8) return samples == 1 ? PF::Gray8 : samples == 2 ? PF::A8Gray8 : PF::Unknown;
      if (bits == 16) return samples == 1 ? PF::Gray16 : samples == 2 ? PF::A16Gray16 : PF::Unknown;
      if (bits == 32 && samples == 1) return PF::Gray32;
    } else if (sampleFormat == SAMPLEFORMAT_IEEEFP && (samples == 1 || samples == 2)) {
      // The library's one-channel float formats are red channels; gray (and alpha) go into a
      // four-channel float format with the gray in every colour channel (ExpandGrayFloats).
      if (bits == 16) return PF::A16R16G16B16F;
      if (bits == 32) return PF::A32R32G32B32F;
    }
  } else if (photometric == PHOTOMETRIC_RGB) {
    if (sampleFormat == SAMPLEFORMAT_UINT) {
      if (bits == 8) return samples == 3 ? PF::R8G8B8 : samples == 4 ? PF::A8R8G8B8 : PF::Unknown;
      if (bits == 16) return samples == 3 ? PF::R16G16B16 : samples == 4 ? PF::A16R16G16B16 : PF::Unknown;
    } else if (sampleFormat == SAMPLEFORMAT_IEEEFP && samples == 4) {
      if (bits == 16) return PF::A16R16G16B16F;
      if (bits == 32) return PF::A32R32G32B32F;
      if (bits == 64) return PF::A16R16G16B16;  // converted: ConvertedRows
    } else if (sampleFormat == SAMPLEFORMAT_IEEEFP && samples == 3 && (bits == 16 || bits == 32 || bits == 64)) {
      return PF::R16G16B16;  // converted: ConvertedRows
    }
  } else if (photometric == PHOTOMETRIC_PALETTE) {
    if (sampleFormat == SAMPLEFORMAT_UINT && bits == 8 && samples == 1) return PF::Index8;
  }
  return PF::Unknown;
}

// Layouts that are read row by row but converted on the way: float RGB without a float format
// of its own (three samples, or 64 bits), and gray of fewer than 8 bits or stored white-is-zero.
enum class RowConversion { None, FloatToRgb16, LowBitGray };

RowConversion ConversionOf(uint16_t photometric, uint16_t sampleFormat, uint16_t bits, uint16_t samples,
                           uint16_t planar) {
  if (planar != PLANARCONFIG_CONTIG && samples != 1) return RowConversion::None;
  if (photometric == PHOTOMETRIC_RGB && sampleFormat == SAMPLEFORMAT_IEEEFP && (samples == 3 || bits == 64))
    return RowConversion::FloatToRgb16;
  if ((photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
      sampleFormat == SAMPLEFORMAT_UINT && samples == 1 &&
      (bits == 1 || bits == 2 || bits == 4 || (bits == 8 && photometric == PHOTOMETRIC_MINISWHITE)))
    return RowConversion::LowBitGray;
  return RowConversion::None;
}

// The library format of a page that is read row by row, or Unknown for libtiff's RGBA reader.
PixelFormat RowFormat(uint16_t photometric, uint16_t sampleFormat, uint16_t bits, uint16_t samples,
                      uint16_t planar) {
  if (ConversionOf(photometric, sampleFormat, bits, samples, planar) == RowConversion::LowBitGray)
    return PixelFormat::Gray8;
  return DirectFormat(photometric, sampleFormat, bits, samples, planar);
}

// libtiff delivers red first; the library stores blue first. Exchanges the first and third
// sample of every pixel in a row.
void SwapRedBlueRow(uint8_t* row, int32_t width, int bytesPerPixel, int bytesPerSample) {
  uint8_t tmp[8];
  for (int32_t x = 0; x < width; ++x, row += bytesPerPixel) {
    std::memcpy(tmp, row, size_t(bytesPerSample));
    std::memcpy(row, row + 2 * bytesPerSample, size_t(bytesPerSample));
    std::memcpy(row + 2 * bytesPerSample, tmp, size_t(bytesPerSample));
  }
}

void ReadPalette(TIFF* tif, const TiffClient& client, Image& image) {
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) RaiseTiff(client, "palette page without a colour map");
  // Some writers store 8-bit values in the 16-bit map; libtiff's own reader takes them as such.
  bool eightBit = true;
  for (int i = 0; i < 256 && eightBit; ++i) eightBit = red[i] < 256 && green[i] < 256 && blue[i] < 256;
  const int shift = eightBit ? 0 : 8;
  for (int i = 0; i < 256; ++i)
    image.Palette()[i] = MakeColor32(255, uint8_t(red[i] >> shift), uint8_t(green[i] >> shift), uint8_t(blue[i] >> shift));
}

// Hands every decoded row of the page, or a tile's part of one, in the file's layout to
// `store(y, x, source, columns)`. Strip rows are decoded where `rowTarget(y)` says: the image's
// own row when the layout needs no conversion (store then finds them in place), else `row`.
template <typename RowTarget, typename Store>
void ReadRows(TIFF* tif, TiffClient& client, int32_t width, int32_t height, int64_t bitsPerPixel,
              RowTarget rowTarget, Store store) {
  const auto bytesOf = [bitsPerPixel](int64_t columns) { return (columns * bitsPerPixel + 7) / 8; };
  if (TIFFIsTiled(tif)) {
    uint32_t tileWidth = 0, tileHeight = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
    const int64_t tileBytes = int64_t(TIFFTileSize64(tif));
    // Tiles of packed pixels must start on a byte.
    if (tileWidth == 0 || tileHeight == 0 || (int64_t(tileWidth) * bitsPerPixel) % 8 != 0 ||
        tileBytes != int64_t(tileHeight) * bytesOf(tileWidth) || tileBytes > kMaxTileBytes)
      RaiseTiff(client, "unsupported tile layout");
    const int64_t tileRowBytes = bytesOf(tileWidth);
    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
    for (uint32_t ty = 0; ty < uint32_t(height); ty += tileHeight) {
      for (uint32_t tx = 0; tx < uint32_t(width); tx += tileWidth) {
        if (TIFFReadTile(tif, tile.data(), tx, ty, 0, 0) < 0)
          RaiseTiff(client, "reading the tile at " + std::to_string(tx) + "," + std::to_string(ty) + " failed");
        const uint32_t rows = std::min<uint32_t>(tileHeight, uint32_t(height) - ty);
        const uint32_t columns = std::min<uint32_t>(tileWidth, uint32_t(width) - tx);
        for (uint32_t r = 0; r < rows; ++r)
          store(int32_t(ty + r), int32_t(tx), tile.data() + int64_t(r) * tileRowBytes, int32_t(columns));
      }
    }
    return;
  }
  const int64_t rowBytes = bytesOf(width);
  if (int64_t(TIFFScanlineSize64(tif)) != rowBytes) RaiseTiff(client, "unexpected scan line size");
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* target = rowTarget(y);
    if (TIFFReadScanline(tif, target, uint32_t(y), 0) < 0)
      RaiseTiff(client, "reading row " + std::to_string(y) + " failed");
    store(y, 0, target, width);
  }
}

// Rows that need converting are decoded into one row buffer of `rowBytes` first.
template <typename Store>
void ReadConvertedRows(TIFF* tif, TiffClient& client, int32_t width, int32_t height, int64_t bitsPerPixel,
                       Store store) {
  std::vector<uint8_t> row(static_cast<size_t>((int64_t(width) * bitsPerPixel + 7) / 8));
  ReadRows(tif, client, width, height, bitsPerPixel, [&](int32_t) { return row.data(); }, store);
}

void ReadDirectRows(TIFF* tif, TiffClient& client, Image& image, int bytesPerPixel) {
  const int64_t rowBytes = int64_t(image.Width()) * bytesPerPixel;
  const auto rowOf = [&](int32_t y) { return image.Bits() + int64_t(y) * rowBytes; };
  ReadRows(tif, client, image.Width(), image.Height(), int64_t(bytesPerPixel) * 8, rowOf,
           [&](int32_t y, int32_t x, const uint8_t* source, int32_t columns) {
             uint8_t* target = rowOf(y) + int64_t(x) * bytesPerPixel;
             if (source != target) std::memcpy(target, source, size_t(columns) * size_t(bytesPerPixel));
           });
}

// A float sample of 16, 32 or 64 bits in the machine's order (libtiff swaps them), clamped to
// 0..1 and mapped to 16 bits.
uint16_t FloatSampleTo16(const uint8_t* p, int bits) {
  double v;
  if (bits == 16) {
    uint16_t half;
    std::memcpy(&half, p, 2);
    v = HalfToFloat(half);
  } else if (bits == 32) {
    float f;
    std::memcpy(&f, p, 4);
    v = f;
  } else {
    std::memcpy(&v, p, 8);
  }
  if (!(v > 0.0)) return 0;  // also NaN
  return v >= 1.0 ? 65535 : static_cast<uint16_t>(v * 65535.0 + 0.5);
}

// Reads float RGB(A) rows into 16-bit samples, blue first as the library stores them.
void ReadFloatRgbRows(TIFF* tif, TiffClient& client, Image& image, int samples, int bits) {
  const int bytesPerSample = bits / 8;
  const int targetSamples = FindFormatInfo(image.Format())->ChannelCount;
  ReadConvertedRows(tif, client, image.Width(), image.Height(), int64_t(samples) * bits,
           [&](int32_t y, int32_t x, const uint8_t* source, int32_t columns) {
             uint16_t* target = reinterpret_cast<uint16_t*>(image.Bits()) + (int64_t(y) * image.Width() + x) * targetSamples;
             for (int32_t i = 0; i < columns; ++i, source += samples * bytesPerSample, target += targetSamples) {
               target[2] = FloatSampleTo16(source, bits);
               target[1] = FloatSampleTo16(source + bytesPerSample, bits);
               target[0] = FloatSampleTo16(source + 2 * bytesPerSample, bits);
               if (targetSamples == 4) target[3] = FloatSampleTo16(source + 3 * bytesPerSample, bits);
             }
           });
}

// Reads gray of 1, 2, 4 or 8 bits (white-is-zero turned round) into 8-bit gray.
void ReadLowBitGrayRows(TIFF* tif, TiffClient& client, Image& image, int bits, bool whiteIsZero) {
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1u;
  const unsigned scale = 255u / mask;
  const uint8_t flip = whiteIsZero ? 0xFF : 0x00;
  ReadConvertedRows(tif, client, image.Width(), image.Height(), bits,
           [&](int32_t y, int32_t x, const uint8_t* source, int32_t columns) {
             uint8_t* target = image.Bits() + int64_t(y) * image.Width() + x;
             for (int32_t i = 0; i < columns; ++i) {
               const int shift = 8 - bits * (i % perByte + 1);
               target[i] = uint8_t(((source[i / perByte] >> shift) & mask) * scale) ^ flip;
             }
           });
}

// Float gray pages arrive as 1 or 2 samples per pixel, packed at the start of the buffer. Each
// pixel becomes gray, gray, gray and alpha (1.0 without an alpha sample). The pixels are
// widened from the last one back: a pixel's new place never lies before its packed place, so
// nothing is overwritten before it is read.
template <typename Sample>
void ExpandGrayFloats(Image& image, int samples, Sample one) {
  const int64_t pixels = int64_t(image.Width()) * image.Height();
  const Sample* in = reinterpret_cast<const Sample*>(image.Bits());
  Sample* out = reinterpret_cast<Sample*>(image.Bits());
  for (int64_t i = pixels - 1; i >= 0; --i) {
    Sample gray, alpha = one;
    std::memcpy(&gray, in + i * samples, sizeof(Sample));
    if (samples == 2) std::memcpy(&alpha, in + i * samples + 1, sizeof(Sample));
    const Sample pixel[4] = {gray, gray, gray, alpha};
    std::memcpy(out + i * 4, pixel, sizeof(pixel));
  }
}

// The page's ICC profile (tag 34675), or null when it has none or a damaged one.
ColorProfile ReadProfileTag(TIFF* tif) {
  uint32_t size = 0;
  void* data = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_ICCPROFILE, &size, &data) || data == nullptr) return nullptr;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  ColorProfile profile =
      size <= kMaxColorProfileBytes ? MakeColorProfile(std::vector<uint8_t>(bytes, bytes + size)) : nullptr;
  if (!profile) AddLoadWarning("The TIFF file's colour profile is damaged; it is left out");
  return profile;
}

// Reads one page as it is stored; returns its orientation, which the caller applies.
int32_t ReadPage(TIFF* tif, TiffClient& client, int64_t fileSize, Image& image) {
  uint32_t width = 0, height = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
    RaiseTiff(client, "page without image width or length");
  CheckImageDimensions(width, height, "TIFF file");
  uint16_t orientation = ORIENTATION_TOPLEFT, bits = 1, samples = 1, sampleFormat = SAMPLEFORMAT_UINT;
  uint16_t photometric = 0xFFFF, planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);

  const PixelFormat direct = RowFormat(photometric, sampleFormat, bits, samples, planar);
  const PixelFormat format = direct != PixelFormat::Unknown ? direct : PixelFormat::A8R8G8B8;
  const PixelFormatInfo& info = *FindFormatInfo(format);
  const int64_t decodedBytes = int64_t(width) * height * info.BytesPerPixel;
  if (decodedBytes > kUncheckedDecodedBytes && decodedBytes / kMaxExpansion > fileSize)
    RaiseImaging("TIFF: a %ux%u page cannot come from a file of %lld bytes.", width, height,
                 static_cast<long long>(fileSize));
  // libtiff decodes a whole tile, or for its RGBA reader a whole strip (up to four of them for
  // separate planes), in the file's own layout: many samples per pixel make that block far
  // larger than the image, so it needs the same check.
  const int64_t blockBytes = (TIFFIsTiled(tif) ? int64_t(TIFFTileSize64(tif)) : int64_t(TIFFStripSize64(tif))) *
                             (planar == PLANARCONFIG_SEPARATE ? 4 : 1);
  if (blockBytes > kUncheckedDecodedBytes && blockBytes / kMaxExpansion > fileSize)
    RaiseImaging("TIFF: a %ux%u page of %u samples per pixel cannot come from a file of %lld bytes.", width, height,
                 unsigned(samples), static_cast<long long>(fileSize));

  if (direct == PixelFormat::Unknown) {
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif, message)) RaiseImaging("TIFF: %s.", message);
  }
  if (!CreateImage(int32_t(width), int32_t(height), format, image))
    RaiseImaging("TIFF: cannot create a %ux%u image.", width, height);

  const RowConversion conversion = ConversionOf(photometric, sampleFormat, bits, samples, planar);
  if (conversion == RowConversion::FloatToRgb16) {
    ReadFloatRgbRows(tif, client, image, samples, bits);
    return ValidOrientation(orientation);
  }
  if (conversion == RowConversion::LowBitGray) {
    ReadLowBitGrayRows(tif, client, image, bits, photometric == PHOTOMETRIC_MINISWHITE);
    return ValidOrientation(orientation);
  }
  if (direct != PixelFormat::Unknown) {
    if (format == PixelFormat::Index8) ReadPalette(tif, client, image);
    const bool grayFloats = photometric == PHOTOMETRIC_MINISBLACK && sampleFormat == SAMPLEFORMAT_IEEEFP;
    ReadDirectRows(tif, client, image, grayFloats ? samples * bits / 8 : info.BytesPerPixel);
    if (grayFloats) {
      if (bits == 16)
        ExpandGrayFloats<uint16_t>(image, samples, FloatToHalf(1.0f));
      else
        ExpandGrayFloats<float>(image, samples, 1.0f);
    }
    if (photometric == PHOTOMETRIC_RGB) {
      const int bytesPerSample = info.BytesPerPixel / info.ChannelCount;
      for (int32_t y = 0; y < image.Height(); ++y)
        SwapRedBlueRow(image.Bits() + int64_t(y) * image.Width() * info.BytesPerPixel, image.Width(), info.BytesPerPixel,
                       bytesPerSample);
    }
    return ValidOrientation(orientation);
  }
  // Asked for the page's own orientation, libtiff's RGBA reader leaves the rows as stored; it
  // could only flip them, not turn pages of orientations 5 to 8, so the caller's one transform
  // does that for every page alike. It stops at the first strip or tile that cannot be read:
  // without that it goes on and fills the rows of a cut file from whatever its buffer held,
  // and answers success.
  const int32_t stored = ValidOrientation(orientation);
  if (!TIFFReadRGBAImageOriented(tif, width, height, reinterpret_cast<uint32_t*>(image.Bits()), stored, 1))
    RaiseTiff(client, "the page could not be decoded");
  uint8_t* p = image.Bits();
  for (int64_t i = 0; i < int64_t(width) * height; ++i, p += 4) std::swap(p[0], p[2]);
  return stored;
}

}  // namespace

TiffCodec::TiffCodec() {
  using PF = PixelFormat;
  Name = "Tagged Image File Format";
  CanLoad = true;
  CanSave = true;
  IsMultiImage = true;
  SupportedFormats = MakeFormatSet({PF::Index8, PF::Gray8, PF::A8Gray8, PF::Gray16, PF::Gray32, PF::A16Gray16,
                                    PF::R8G8B8, PF::A8R8G8B8, PF::R16G16B16, PF::A16R16G16B16, PF::R32F,
                                    PF::A32R32G32B32F, PF::R16F, PF::A16R16G16B16F});
  AddMasks("*.tif,*.tiff");
  CanReadHeader = true;
  SilenceGlobalHandlers();
}

bool TiffCodec::ProbeStream(Stream& stream) const {
  uint8_t id[4];
  const int64_t got = stream.Read(id, 4);
  stream.Seek(-got, SeekOrigin::Current);
  return got == 4 && ((id[0] == 'M' && id[1] == 'M' && id[2] == 0 && id[3] == 0x2A) ||
                      (id[0] == 'I' && id[1] == 'I' && id[2] == 0x2A && id[3] == 0));
}

namespace {

class TiffDecoder : public Decoder {
public:
  using Decoder::Decoder;
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
};

class TiffEncoder : public Encoder {
public:
  using Encoder::Encoder;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;
};

}  // namespace

std::unique_ptr<Decoder> TiffCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<TiffDecoder>(options);
}

std::unique_ptr<Encoder> TiffCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<TiffEncoder>(*this, options);
}

bool TiffDecoder::ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) {
  TiffClient client;
  client.Data = &stream;
  client.Base = stream.Position();
  const int64_t fileSize = stream.Remaining();
  CurrentClientScope scope(&client);
  TiffPtr tif = OpenTiff(client, "r");
  if (!tif) RaiseTiff(client, "the file could not be opened");
  // Every page, also for a load of the first image (whose caller takes the first); a full load
  // (which a run makes to keep the pages) only up to the limits of pages and of pixels in all.
  const tdir_t pages = TIFFNumberOfDirectories(tif.get());
  const bool bounded = !onlyFirst;
  if (bounded && pages > kMaxFrames)
    RaiseImaging("TIFF file has %u pages, more than the %lld a file may have.", unsigned(pages),
                 static_cast<long long>(kMaxFrames));
  if (!TIFFSetDirectory(tif.get(), 0)) RaiseTiff(client, "the first page could not be read");
  int64_t pixels = 0;
  for (tdir_t page = 0; page < pages; ++page) {
    // Moving on from the current directory keeps a long chain of pages linear to read.
    if (page > 0 && !TIFFReadDirectory(tif.get()))
      RaiseTiff(client, "page " + std::to_string(page) + " could not be read");
    if (page > 0) {
      uint32_t width = 0, height = 0;
      TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
      TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
      pixels += int64_t(width) * height;
      if (bounded && pixels > kMaxImagePixels)
        RaiseImaging("TIFF pages hold more than %lld pixels in all.", static_cast<long long>(kMaxImagePixels));
    }
    const int32_t orientation = ReadPage(tif.get(), client, fileSize, images.emplace_back());
    if (page == 0) pixels = int64_t(images.back().Width()) * images.back().Height();
    // The facts describe the first page, the one a conversion takes.
    if (page == 0) {
      Facts.orientation = orientation;
      Facts.profile = ReadProfileTag(tif.get());
    }
  }
  return true;
}

bool TiffEncoder::WriteImage(Stream& stream, std::span<const Image> images, int32_t) {
  const int32_t requested = Options.tiff.compressionScheme;
  const int32_t scheme = uint32_t(requested) > 4u ? kDefaultCompressionScheme : requested;
  TiffClient client;
  client.Data = &stream;
  client.Base = stream.Position();
  CurrentClientScope scope(&client);
  TiffPtr tif = OpenTiff(client, "w");
  if (!tif) RaiseTiff(client, "the output could not be opened");

  std::vector<uint8_t> row;
  for (int32_t i = FirstIndex; i <= LastIndex; ++i) {
    PreparedImage prepared;
    if (!PrepareForSave(images[size_t(i)], prepared)) return false;
    const Image& image = prepared;

    const PixelFormatInfo& info = *FindFormatInfo(image.Format());
    const uint16_t samples = uint16_t(info.ChannelCount);
    const uint16_t bits = uint16_t(info.BytesPerPixel / info.ChannelCount * 8);
    uint16_t photometric = PHOTOMETRIC_RGB;
    if (info.IsIndexed)
      photometric = PHOTOMETRIC_PALETTE;
    else if (info.HasGrayChannel || samples == 1)
      photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t compression = kCompressionCodes[scheme];
    const bool jpegAllowed = bits == 8 && (samples == 1 || samples == 3) && !info.IsIndexed && !info.IsFloatingPoint;
    if (scheme == kJpegCompressionScheme && !jpegAllowed) compression = COMPRESSION_LZW;

    TIFF* t = tif.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(image.Width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(image.Height()));
    TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, uint16_t(info.IsFloatingPoint ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(image.Height()));
    // Without this tag readers take the last sample for an unspecified extra and drop the
    // transparency.
    if (info.HasAlphaChannel) {
      const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    if (const ColorProfile profile = SaveProfileFor(image.Format()))
      TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(profile->size()), profile->data());
    if (!TIFFSetField(t, TIFFTAG_COMPRESSION, compression))
      RaiseTiff(client, "compression " + std::to_string(compression) + " is not available");
    if (info.IsIndexed) {
      // 65535 is full intensity in a colour map: 8-bit values are widened by 257, so readers that
      // scale and readers that take the high byte both get the value back.
      std::vector<uint16_t> map(768);
      for (int c = 0; c < 256; ++c) {
        map[size_t(c)] = uint16_t(Color32Red(image.Palette()[c]) * 257);
        map[size_t(256 + c)] = uint16_t(Color32Green(image.Palette()[c]) * 257);
        map[size_t(512 + c)] = uint16_t(Color32Blue(image.Palette()[c]) * 257);
      }
      TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
    }

    // Rows go through a copy: libtiff's encoders may change the buffer they are given, and RGB
    // rows need red first.
    const size_t rowBytes = size_t(image.Width()) * size_t(info.BytesPerPixel);
    row.resize(rowBytes);
    for (int32_t y = 0; y < image.Height(); ++y) {
      std::memcpy(row.data(), image.Bits() + int64_t(y) * int64_t(rowBytes), rowBytes);
      if (photometric == PHOTOMETRIC_RGB) SwapRedBlueRow(row.data(), image.Width(), info.BytesPerPixel, bits / 8);
      if (TIFFWriteScanline(t, row.data(), uint32_t(y), 0) < 0)
        RaiseTiff(client, "writing row " + std::to_string(y) + " failed");
    }
    if (!TIFFWriteDirectory(t)) RaiseTiff(client, "writing the page directory failed");
  }
  if (!TIFFFlush(tif.get())) RaiseTiff(client, "finishing the file failed");
  tif.reset();
  if (!client.Errors.empty()) RaiseTiff(client, "writing the file failed");
  return true;
}

void TiffEncoder::ConvertForSave(Image& image, const PixelFormatInfo& info) {
  using PF = PixelFormat;
  PF target;
  if (info.SwappedFormat != PF::Unknown && GetSavableFormats()[size_t(info.SwappedFormat)])
    target = info.SwappedFormat;
  else if (info.IsFloatingPoint)
    target = info.ChannelCount == 1 ? PF::R32F : PF::A32R32G32B32F;
  else if (info.HasAlphaChannel)
    target = info.HasGrayChannel ? PF::A16Gray16 : PF::A8R8G8B8;
  else
    target = info.HasGrayChannel ? PF::Gray32 : PF::R8G8B8;
  ConvertImageFormat(image, target);
}

std::unique_ptr<Codec> CreateTiffCodec() { return std::make_unique<TiffCodec>(); }

// The first directory through libtiff, with the client procedures of this call only.
void ReadTiffHeader(Stream& stream, ImageHeader& result) {
  TiffClient client;
  client.Data = &stream;
  client.Base = stream.Position();
  CurrentClientScope scope(&client);
  TiffPtr tif = OpenTiff(client, "r");
  if (!tif) RaiseTiff(client, "the file could not be opened");
  uint32_t width = 0, height = 0;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
    RaiseTiff(client, "page without image width or length");
  CheckImageDimensions(width, height, "TIFF file");
  uint16_t bits = 1, samples = 1, sampleFormat = SAMPLEFORMAT_UINT, photometric = 0xFFFF, planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  const PixelFormat direct = RowFormat(photometric, sampleFormat, bits, samples, planar);
  if (direct == PixelFormat::Unknown) {
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif.get(), message)) RaiseImaging("TIFF: %s.", message);
  }
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  result = {int32_t(width), int32_t(height), direct != PixelFormat::Unknown ? direct : PixelFormat::A8R8G8B8,
            ValidOrientation(orientation)};
  // libtiff walks the chain of directories (and stops at a loop) without reading any pixels.
  result.Frames = static_cast<int32_t>(std::min<int64_t>(TIFFNumberOfDirectories(tif.get()), kMaxFrames + 1));
}

ImageHeader TiffCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  ImageHeader header;
  ReadTiffHeader(stream, header);
  return header;
}

}  // namespace imaging::formats
