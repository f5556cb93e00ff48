// Windows and OS/2 bitmaps (BMP, DIB): the OS/2 core header, the Windows info header and its
// V2 to V5 extensions, uncompressed pixels of 1 to 32 bits, bit-field masks, RLE8 and RLE4.
// Files are written with a 40-byte header (108 bytes for 16-bit formats with alpha), and
// Index8 images optionally RLE8-compressed.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/Codec.h"
#include "imaging/Headers.h"
#include "imaging/formats/BitmapTypes.h"

namespace imaging::formats {

namespace {

using namespace bmp;

// How the pixels of a 16- or 32-bit file map to the image: layouts the pixel formats hold as
// they are, or any other masks, whose fields are scaled to 8 bits.
struct MaskLayout {
  uint32_t Mask[4];   // blue, green, red, alpha (the order of bytes in A8R8G8B8)
  uint32_t Shift[4];
  uint64_t Max[4];    // largest field value, 0 for an absent channel
};

MaskLayout MakeMaskLayout(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
  MaskLayout layout{};
  const uint32_t masks[4] = {blue, green, red, alpha};
  for (int c = 0; c < 4; ++c) {
    layout.Mask[c] = masks[c];
    layout.Shift[c] = masks[c] ? static_cast<uint32_t>(__builtin_ctz(masks[c])) : 0;
    layout.Max[c] = masks[c] >> layout.Shift[c];
  }
  return layout;
}

inline uint8_t ScaleField(uint32_t pixel, const MaskLayout& layout, int c) {
  const uint64_t value = (pixel & layout.Mask[c]) >> layout.Shift[c];
  return static_cast<uint8_t>((value * 255 + layout.Max[c] / 2) / layout.Max[c]);
}

// Converts one row of 16- or 32-bit pixels with arbitrary masks to 8-bit B, G, R, A bytes.
void ExpandMaskedRow(const uint8_t* source, int32_t width, int32_t bytesPerPixel, const MaskLayout& layout,
                     uint8_t* target) {
  for (int32_t x = 0; x < width; ++x, source += bytesPerPixel, target += 4) {
    const uint32_t pixel = bytesPerPixel == 2 ? uint32_t(source[0] | source[1] << 8)
                                              : uint32_t(source[0]) | uint32_t(source[1]) << 8 |
                                                    uint32_t(source[2]) << 16 | uint32_t(source[3]) << 24;
    for (int c = 0; c < 3; ++c) target[c] = layout.Max[c] ? ScaleField(pixel, layout, c) : 0;
    target[3] = layout.Max[3] ? ScaleField(pixel, layout, 3) : 0;
  }
}

// Expands one row of 1-, 2- or 4-bit indices, most significant bits first, to one byte each.
void ExpandPackedRow(const uint8_t* source, int32_t width, int32_t bitCount, uint8_t* target) {
  const uint32_t mask = (1u << bitCount) - 1;
  for (int32_t x = 0; x < width; ++x) {
    const int64_t bit = int64_t(x) * bitCount;
    target[x] = static_cast<uint8_t>((source[bit >> 3] >> (8 - bitCount - (bit & 7))) & mask);
  }
}

// A 16-bit image whose top bit is set nowhere has no alpha; a 32-bit one whose alpha bytes are
// all zero neither.
void DropUnusedAlpha(Image& image) {
  if (image.Format() == PixelFormat::A1R5G5B5) {
    for (int32_t i = 1; i < image.Size(); i += 2)
      if (image.Bits()[i] & 0x80) return;
    image.RelabelFormat(PixelFormat::X1R5G5B5);
  } else if (image.Format() == PixelFormat::A8R8G8B8) {
    for (int32_t i = 3; i < image.Size(); i += 4)
      if (image.Bits()[i] != 0) return;
    image.RelabelFormat(PixelFormat::X8R8G8B8);
  }
}

// Decodes RLE8 or RLE4 data into an Index8 image. Rows are counted in file order: from the
// bottom for bottom-up files, from the top for top-down ones. Pixels the data skips stay 0.
// Pixels of a run or literal that fall beyond the end of its row are dropped, wherever the run
// starts: encoders that pad every row to a multiple of four pixels write whole runs past it.
void DecodeRle(const uint8_t* data, size_t length, bool rle4, Image& image, bool topDown) {
  const int64_t width = image.Width(), height = image.Height();
  int64_t x = 0, row = 0;
  size_t p = 0;
  auto rowPointer = [&]() { return image.Bits() + (topDown ? row : height - 1 - row) * width; };
  while (row < height) {
    if (length - p < 2) break;
    const uint8_t count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {
      uint8_t* line = rowPointer();
      const int64_t end = std::min<int64_t>(x + count, width);
      if (x >= end) {
        // the whole run lies beyond the row
      } else if (!rle4) {
        std::memset(line + x, value, static_cast<size_t>(end - x));
      } else {
        const uint8_t nibbles[2] = {static_cast<uint8_t>(value >> 4), static_cast<uint8_t>(value & 15)};
        for (int64_t i = x; i < end; ++i) line[i] = nibbles[(i - x) & 1];
      }
      x += count;
    } else if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta
      if (length - p < 2) break;
      x += data[p];
      row += data[p + 1];
      p += 2;
    } else {  // literal run
      const size_t bytes = rle4 ? (value + 1u) / 2 : value;
      if (length - p < bytes) break;
      uint8_t* line = rowPointer();
      const int64_t end = std::min<int64_t>(x + value, width);  // may lie before x: nothing stored
      for (int64_t i = x; i < end; ++i) {
        const size_t k = static_cast<size_t>(i - x);
        line[i] = rle4 ? static_cast<uint8_t>((k & 1) ? data[p + k / 2] & 15 : data[p + k / 2] >> 4) : data[p + k];
      }
      x += value;
      p += std::min(length - p, bytes + (bytes & 1));
    }
  }
  // The data may stop without an end-of-bitmap code once every row has been reached; stopping
  // earlier means the file lost its end.
  if (row < height - 1 || (row == height - 1 && x < width))
    RaiseImaging("BMP RLE data ends at row %lld of %lld: the file is truncated.", static_cast<long long>(row),
                 static_cast<long long>(height));
}

// What the file header, the info header and the masks say about the pixels, checked against
// the length of the file.
struct BitmapHeaders {
  BitmapFileHeader File{};
  BitmapInfoHeader Info{};
  bool Core = false;       // OS/2 1.x header: 16-bit sizes, 3-byte palette entries
  bool BitFields = false;  // masks give the channels of 16- or 32-bit pixels
  bool TopDown = false;    // rows stored from the top (negative height)
  int64_t Width = 0;
  int64_t Height = 0;      // rows, whichever way they are stored
  int64_t PixelBytes = 0;  // from the pixel data offset to the end of the file
  int64_t RowSize = 0;     // bytes of one row with its padding
  uint32_t Red = 0, Green = 0, Blue = 0, Alpha = 0;
  PixelFormat Format = PixelFormat::Index8;
  bool Masked = false;  // pixels go through ExpandMaskedRow
};

// Reads the file header and the info header of any known size; fields a shorter header lacks
// stay zero.
void ReadFileAndInfoHeaders(Stream& stream, int64_t fileLength, BitmapHeaders& h) {
  uint8_t raw[kFileHeaderSize + 4 + kMaxInfoFields] = {};
  stream.ReadExact(raw, kFileHeaderSize + 4, "BMP file header");
  ByteReader fileReader(raw, sizeof raw);
  BitmapFileHeader& fileHeader = h.File;
  fileHeader.Type = fileReader.U16();
  // A load has probed the signature already; a header read has not.
  if (fileHeader.Type != kSignature)
    RaiseImaging("The file does not start with \"BM\".");
  fileHeader.Size = fileReader.U32();
  fileHeader.Reserved = fileReader.U32();
  fileHeader.Offset = fileReader.U32();

  BitmapInfoHeader& info = h.Info;
  info.Size = fileReader.U32();
  h.Core = info.Size == kCoreHeaderSize;
  if (!h.Core && info.Size < 16)
    RaiseImaging("Invalid BMP info header size %u (expected 12, or 16 and more).", info.Size);
  if (int64_t(kFileHeaderSize) + info.Size > fileLength)
    RaiseImaging("BMP info header size %u exceeds the file (%lld bytes).", info.Size,
                 static_cast<long long>(fileLength));
  const uint32_t fieldBytes = std::min(info.Size - 4, kMaxInfoFields);
  stream.ReadExact(raw + kFileHeaderSize + 4, fieldBytes, "BMP info header");
  ByteReader reader(raw + kFileHeaderSize + 4, kMaxInfoFields);
  if (h.Core) {
    info.Width = reader.U16();
    info.Height = reader.U16();
    info.Planes = reader.U16();
    info.BitCount = reader.U16();
  } else {
    info.Width = reader.I32();
    info.Height = reader.I32();
    info.Planes = reader.U16();
    info.BitCount = reader.U16();
    info.Compression = reader.U32();
    info.SizeImage = reader.U32();
    info.XPelsPerMeter = reader.I32();
    info.YPelsPerMeter = reader.I32();
    info.ClrUsed = reader.U32();
    info.ClrImportant = reader.U32();
    info.RedMask = reader.U32();
    info.GreenMask = reader.U32();
    info.BlueMask = reader.U32();
    info.AlphaMask = reader.U32();
  }
}

// Refuses compressions and bit counts we do not read, sizes out of range, and uncompressed
// pixels the file is too short to hold.
void CheckHeaders(int64_t fileLength, BitmapHeaders& h) {
  const BitmapInfoHeader& info = h.Info;
  // OS/2 2.x headers (16 to 64 bytes other than the Windows sizes) hold no masks, and their
  // compression values 3 and 4 are Huffman 1D and RLE24, which we do not read.
  const bool os2v2 = !h.Core && info.Size != kInfoHeaderSize && info.Size < kV4HeaderSize && info.Size != 52 &&
                     info.Size != 56;
  const uint32_t bitCount = info.BitCount;
  const uint32_t compression = info.Compression;
  h.BitFields = !os2v2 && (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS);
  const bool knownCompression =
      compression == BI_RGB || compression == BI_RLE8 || compression == BI_RLE4 || h.BitFields;
  const bool knownBitCount = bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
                             bitCount == 24 || bitCount == 32;
  if (knownCompression && !knownBitCount) RaiseImaging("Unsupported BMP bit count %u.", bitCount);
  const bool supported = compression == BI_RGB || (compression == BI_RLE8 && bitCount == 8) ||
                         (compression == BI_RLE4 && bitCount == 4) ||
                         (h.BitFields && (bitCount == 16 || bitCount == 32));
  if (!supported) RaiseImaging("Unsupported BMP compression %u with %u bits per pixel.", compression, bitCount);

  h.Width = info.Width;
  h.TopDown = info.Height < 0;
  h.Height = h.TopDown ? -int64_t(info.Height) : int64_t(info.Height);
  CheckImageDimensions(h.Width, h.Height, "BMP");

  const uint32_t offset = h.File.Offset;
  if (offset > fileLength)
    RaiseImaging("BMP pixel data offset %u lies beyond the end of the file (%lld bytes).", offset,
                 static_cast<long long>(fileLength));
  h.PixelBytes = fileLength - offset;
  h.RowSize = (h.Width * bitCount + 31) / 32 * 4;
  if (compression == BI_RGB || h.BitFields) {
    // The last row may lack its padding; everything before it must be there.
    const int64_t needed = h.RowSize * (h.Height - 1) + (h.Width * bitCount + 7) / 8;
    if (needed > h.PixelBytes)
      RaiseImaging("BMP pixel data is truncated: %lld bytes needed at offset %u, %lld present.",
                   static_cast<long long>(needed), offset, static_cast<long long>(h.PixelBytes));
  }
}

// The channel masks: from a V2 or later header, from the three or four values that follow a
// 40-byte header, or the fixed layouts of 16- and 32-bit files without bit fields.
void ReadMasks(Stream& stream, BitmapHeaders& h) {
  const uint32_t bitCount = h.Info.BitCount;
  if (h.BitFields) {
    if (h.Info.Size == kInfoHeaderSize) {
      uint8_t masks[16] = {};
      const int64_t count = h.Info.Compression == BI_ALPHABITFIELDS ? 16 : 12;
      stream.ReadExact(masks, count, "BMP bit-field masks");
      ByteReader maskReader(masks, sizeof masks);
      h.Red = maskReader.U32();
      h.Green = maskReader.U32();
      h.Blue = maskReader.U32();
      h.Alpha = count == 16 ? maskReader.U32() : 0;
    } else {
      h.Red = h.Info.RedMask, h.Green = h.Info.GreenMask, h.Blue = h.Info.BlueMask, h.Alpha = h.Info.AlphaMask;
    }
  } else if (bitCount == 16) {
    h.Red = 0x7C00, h.Green = 0x03E0, h.Blue = 0x001F;
  } else if (bitCount == 32) {
    h.Red = 0xFF0000, h.Green = 0xFF00, h.Blue = 0xFF;
  }
}

// The pixel format the masks give: layouts a format holds as they are, else 8 bits a channel.
void ChoosePixelFormat(BitmapHeaders& h) {
  const uint32_t red = h.Red, green = h.Green, blue = h.Blue, alpha = h.Alpha;
  PixelFormat format = PixelFormat::Index8;
  bool masked = false;
  if (h.Info.BitCount == 16) {
    if (red == 0x7C00 && green == 0x03E0 && blue == 0x001F && (alpha == 0 || alpha == 0x8000))
      format = PixelFormat::A1R5G5B5;
    else if (red == 0xF800 && green == 0x07E0 && blue == 0x001F && alpha == 0)
      format = PixelFormat::R5G6B5;
    else if (red == 0x0F00 && green == 0x00F0 && blue == 0x000F && (alpha == 0 || alpha == 0xF000))
      format = alpha ? PixelFormat::A4R4G4B4 : PixelFormat::X4R4G4B4;
    else
      masked = true;
  } else if (h.Info.BitCount == 24) {
    format = PixelFormat::R8G8B8;
  } else if (h.Info.BitCount == 32) {
    masked = !(red == 0xFF0000 && green == 0xFF00 && blue == 0xFF && (alpha == 0 || alpha == 0xFF000000u));
    format = PixelFormat::A8R8G8B8;
  }
  if (masked) format = alpha ? PixelFormat::A8R8G8B8 : PixelFormat::X8R8G8B8;
  h.Format = format;
  h.Masked = masked;
}

// Reads and checks everything before the palette; the decoder and the image list share it so
// that both accept and refuse the same files.
BitmapHeaders ReadHeaders(Stream& stream) {
  const int64_t fileLength = stream.Remaining();
  BitmapHeaders h;
  ReadFileAndInfoHeaders(stream, fileLength, h);
  CheckHeaders(fileLength, h);
  ReadMasks(stream, h);
  ChoosePixelFormat(h);
  return h;
}

// The palette follows the info header. OS/2 1.x entries have 3 bytes, the others 4, whose
// last byte is reserved.
void ReadPalette(Stream& stream, int64_t start, const BitmapHeaders& h, Image& image) {
  stream.Seek(start + kFileHeaderSize + h.Info.Size, SeekOrigin::Begin);
  const uint32_t bitCount = h.Info.BitCount;
  const uint32_t entrySize = h.Core ? 3 : 4;
  uint32_t entries = h.Core ? (1u << bitCount) : h.Info.ClrUsed;
  if (entries == 0) entries = 1u << bitCount;
  entries = std::min(entries, 256u);
  uint8_t palette[256 * 4];
  stream.ReadExact(palette, int64_t(entries) * entrySize, "BMP palette");
  for (uint32_t i = 0; i < entries; ++i) {
    const uint8_t* e = palette + i * entrySize;
    image.Palette()[i] = MakeColor32(0xFF, e[2], e[1], e[0]);
  }
  for (int i = 0; i < 256; ++i) image.Palette()[i] |= 0xFF000000u;  // the reserved bytes are no alpha
}

// RLE8 or RLE4 pixels, read up to the length the header gives, else to the end of the file.
void ReadRlePixels(Stream& stream, const BitmapHeaders& h, Image& image) {
  const int64_t width = h.Width, height = h.Height;
  int64_t length = h.Info.SizeImage ? std::min<int64_t>(h.Info.SizeImage, h.PixelBytes) : h.PixelBytes;
  // A few bytes of RLE codes can leave a whole image undefined; no real file needs more
  // than 65536 pixels per byte, so a tiny file cannot make us fill a huge image.
  if (width * height / 65536 > length)
    RaiseImaging("BMP RLE data (%lld bytes) is too short for a %lldx%lld image.", static_cast<long long>(length),
                 static_cast<long long>(width), static_cast<long long>(height));
  std::vector<uint8_t> data(static_cast<size_t>(length));
  length = stream.Read(data.data(), length);
  DecodeRle(data.data(), static_cast<size_t>(length), h.Info.Compression == BI_RLE4, image, h.TopDown);
}

// Uncompressed and bit-field rows, from the pixel data offset on.
void ReadPixelRows(Stream& stream, const BitmapHeaders& h, Image& image) {
  const int64_t width = h.Width, height = h.Height, rowSize = h.RowSize;
  const uint32_t bitCount = h.Info.BitCount;
  const int32_t bytesPerPixel = FindFormatInfo(h.Format)->BytesPerPixel;
  const size_t imageRowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
  std::vector<uint8_t> row(static_cast<size_t>(rowSize));
  const MaskLayout layout = MakeMaskLayout(h.Red, h.Green, h.Blue, h.Alpha);
  for (int64_t fileRow = 0; fileRow < height; ++fileRow) {
    const int64_t wanted = fileRow == height - 1 ? (width * bitCount + 7) / 8 : rowSize;
    uint8_t* target = image.Bits() + static_cast<size_t>(h.TopDown ? fileRow : height - 1 - fileRow) * imageRowBytes;
    if (bitCount >= 8 && !h.Masked) {
      // Rows the image holds as they are go straight into it; only the padding is skipped.
      stream.ReadExact(target, static_cast<int64_t>(imageRowBytes), "BMP pixel data");
      if (wanted > static_cast<int64_t>(imageRowBytes))
        stream.Seek(wanted - static_cast<int64_t>(imageRowBytes), SeekOrigin::Current);
      continue;
    }
    stream.ReadExact(row.data(), wanted, "BMP pixel data");
    if (bitCount < 8)
      ExpandPackedRow(row.data(), image.Width(), static_cast<int32_t>(bitCount), target);
    else
      ExpandMaskedRow(row.data(), image.Width(), static_cast<int32_t>(bitCount / 8), layout, target);
  }
  if (h.Alpha == 0) DropUnusedAlpha(image);
}

// The header fields a saved image gets from its pixel format: 16-bit formats with alpha need
// the 108-byte header for their alpha mask; Index8 images may be RLE8-compressed.
struct BitmapWriteLayout {
  uint32_t HeaderSize;
  uint32_t Compression;
  uint32_t BitCount;
};

BitmapWriteLayout ChooseWriteLayout(const Image& image, const PixelFormatInfo& info, bool useRle) {
  const int32_t bytesPerPixel = info.BytesPerPixel;
  BitmapWriteLayout layout{};
  layout.HeaderSize = info.HasAlphaChannel && bytesPerPixel == 2 ? kV4HeaderSize : kInfoHeaderSize;
  layout.Compression = BI_RGB;
  if (bytesPerPixel == 1 && useRle) layout.Compression = BI_RLE8;
  else if (bytesPerPixel == 2 && image.Format() != PixelFormat::X1R5G5B5) layout.Compression = BI_BITFIELDS;
  layout.BitCount = 8u * static_cast<uint32_t>(bytesPerPixel);
  return layout;
}

// Fills the file header and the info header, with the masks of bit-field formats; returns
// their length.
int64_t BuildHeaders(uint8_t* headers, const Image& image, const PixelFormatInfo& info,
                     const BitmapWriteLayout& layout, uint32_t fileSize, uint32_t offset) {
  ByteWriter w(headers);
  w.U16(kSignature);
  w.U32(fileSize);
  w.U32(0);
  w.U32(offset);
  w.U32(layout.HeaderSize);
  w.I32(image.Width());
  w.I32(image.Height());
  w.U16(1);
  w.U16(static_cast<uint16_t>(layout.BitCount));
  w.U32(layout.Compression);
  w.U32(fileSize - offset);
  w.I32(2835);
  w.I32(2835);
  w.U32(0);
  w.U32(0);
  if (layout.Compression == BI_BITFIELDS) {
    const BitFieldLayout& fields = *info.BitFields;
    w.U32(fields.RMask);
    w.U32(fields.GMask);
    w.U32(fields.BMask);
    if (layout.HeaderSize == kV4HeaderSize) w.U32(fields.AMask);
  }
  if (layout.HeaderSize == kV4HeaderSize) w.Zeros(kFileHeaderSize + kV4HeaderSize - w.Position());
  return static_cast<int64_t>(w.Position());
}

// All 256 entries as blue, green, red and a fourth byte.
void WritePalette(Stream& stream, const Image& image) {
  uint8_t palette[256 * 4];
  for (int i = 0; i < 256; ++i) {
    const Color32 c = image.Palette()[i];
    palette[i * 4 + 0] = Color32Blue(c);
    palette[i * 4 + 1] = Color32Green(c);
    palette[i * 4 + 2] = Color32Red(c);
    palette[i * 4 + 3] = Color32Alpha(c);
  }
  stream.WriteExact(palette, sizeof palette, "BMP palette");
}

// Uncompressed rows, bottom-up, each padded to a multiple of four bytes.
void WritePixelRows(Stream& stream, const Image& image, int32_t bytesPerPixel, uint32_t bitCount) {
  const size_t imageRowBytes = static_cast<size_t>(image.Width()) * static_cast<size_t>(bytesPerPixel);
  const size_t rowSize = (static_cast<size_t>(image.Width()) * bitCount + 31) / 32 * 4;
  std::vector<uint8_t> row(rowSize, 0);
  // Unused bits are written as zeros so that no reader takes them for alpha.
  uint8_t clearMask = 0xFF;
  int32_t clearByte = -1;
  if (image.Format() == PixelFormat::X8R8G8B8) clearByte = 3, clearMask = 0x00;
  else if (image.Format() == PixelFormat::X1R5G5B5) clearByte = 1, clearMask = 0x7F;
  else if (image.Format() == PixelFormat::X4R4G4B4) clearByte = 1, clearMask = 0x0F;
  for (int32_t y = image.Height() - 1; y >= 0; --y) {
    std::memcpy(row.data(), image.Bits() + static_cast<size_t>(y) * imageRowBytes, imageRowBytes);
    if (clearByte >= 0)
      for (size_t i = static_cast<size_t>(clearByte); i < imageRowBytes; i += static_cast<size_t>(bytesPerPixel))
        row[i] &= clearMask;
    stream.WriteExact(row.data(), static_cast<int64_t>(rowSize), "BMP pixel data");
  }
}

class BitmapCodec : public Codec {
public:
  BitmapCodec() {
    Name = "Windows Bitmap Image";
    CanLoad = true;
    CanSave = true;
    IsMultiImage = false;
    SupportedFormats = MakeFormatSet({PixelFormat::Index8, PixelFormat::R5G6B5, PixelFormat::A1R5G5B5,
                                      PixelFormat::A4R4G4B4, PixelFormat::X1R5G5B5, PixelFormat::X4R4G4B4,
                                      PixelFormat::R8G8B8, PixelFormat::A8R8G8B8, PixelFormat::X8R8G8B8});
    AddMasks("*.bmp,*.dib");
    CanReadHeader = true;
  }

  bool ProbeStream(Stream& stream) const override {
    uint8_t header[kFileHeaderSize];
    const int64_t n = stream.Read(header, kFileHeaderSize);
    stream.Seek(-n, SeekOrigin::Current);
    return n == kFileHeaderSize && header[0] == 'B' && header[1] == 'M';
  }

  ImageHeader ReadHeader(Stream& stream, const CodecOptions& options) const override;
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;
};

class BitmapDecoder : public Decoder {
public:
  using Decoder::Decoder;
  bool ReadImages(Stream& stream, std::vector<Image>& images, bool onlyFirst) override;
};

class BitmapEncoder : public Encoder {
public:
  using Encoder::Encoder;
  bool WriteImage(Stream& stream, std::span<const Image> images, int32_t index) override;
  void ConvertForSave(Image& image, const PixelFormatInfo& info) override;

private:
  void WriteRle8(Stream& stream, const Image& image);
};

std::unique_ptr<Decoder> BitmapCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<BitmapDecoder>(options);
}

std::unique_ptr<Encoder> BitmapCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<BitmapEncoder>(*this, options);
}

bool BitmapDecoder::ReadImages(Stream& stream, std::vector<Image>& images, bool) {
  const int64_t start = stream.Position();
  const BitmapHeaders h = ReadHeaders(stream);

  Image& image = images.emplace_back();
  if (!CreateImage(static_cast<int32_t>(h.Width), static_cast<int32_t>(h.Height), h.Format, image))
    RaiseImaging("Cannot create a %lldx%lld BMP image.", static_cast<long long>(h.Width),
                 static_cast<long long>(h.Height));
  if (h.Info.BitCount <= 8) ReadPalette(stream, start, h, image);

  stream.Seek(start + h.File.Offset, SeekOrigin::Begin);
  if (h.Info.Compression == BI_RLE8 || h.Info.Compression == BI_RLE4)
    ReadRlePixels(stream, h, image);
  else
    ReadPixelRows(stream, h, image);
  return true;
}

void BitmapEncoder::ConvertForSave(Image& image, const PixelFormatInfo& info) {
  PixelFormat target;
  if (info.IsFloatingPoint)
    target = info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::R8G8B8;
  else if (info.HasGrayChannel || info.IsIndexed)
    target = info.HasAlphaChannel ? PixelFormat::A8R8G8B8 : PixelFormat::Index8;
  else if (info.HasAlphaChannel)
    target = PixelFormat::A8R8G8B8;
  else if (info.HasBitFields)
    target = PixelFormat::X1R5G5B5;
  else
    target = PixelFormat::R8G8B8;
  ConvertImageFormat(image, target);
}

bool BitmapEncoder::WriteImage(Stream& stream, std::span<const Image> images, int32_t index) {
  PreparedImage prepared;
  if (!PrepareForSave(images[static_cast<size_t>(index)], prepared)) return false;
  const Image& image = prepared;

  const PixelFormatInfo& info = *FindFormatInfo(image.Format());
  const BitmapWriteLayout layout = ChooseWriteLayout(image, info, Options.bitmap.useRle);
  const int64_t start = stream.Position();
  uint8_t headers[kFileHeaderSize + kV4HeaderSize + 12];
  // The sizes are known only at the end; the headers are written again then.
  const int64_t headerBytes = BuildHeaders(headers, image, info, layout, 0, 0);
  stream.WriteExact(headers, headerBytes, "BMP headers");
  if (image.Palette()) WritePalette(stream, image);
  const int64_t offset = stream.Position() - start;

  if (layout.Compression == BI_RLE8)
    WriteRle8(stream, image);
  else
    WritePixelRows(stream, image, info.BytesPerPixel, layout.BitCount);

  const int64_t end = stream.Position();
  if (end - start > int64_t(UINT32_MAX)) RaiseImaging("BMP file would exceed 4 GiB.");
  stream.Seek(start, SeekOrigin::Begin);
  BuildHeaders(headers, image, info, layout, static_cast<uint32_t>(end - start), static_cast<uint32_t>(offset));
  stream.WriteExact(headers, headerBytes, "BMP headers");
  stream.Seek(end, SeekOrigin::Begin);
  return true;
}

void BitmapEncoder::WriteRle8(Stream& stream, const Image& image) {
  constexpr size_t kBlock = 8192;
  std::vector<uint8_t> out;
  out.reserve(kBlock + 600);
  const int32_t width = image.Width();
  for (int32_t y = image.Height() - 1; y >= 0; --y) {
    const uint8_t* line = image.Bits() + static_cast<size_t>(y) * static_cast<size_t>(width);
    int32_t x = 0;
    while (x < width) {
      int32_t run = 1;
      while (run < 255 && x + run < width && line[x + run] == line[x]) ++run;
      int32_t literal = 0;
      if (run == 1) {
        for (int32_t k = x; literal < 255 && k < width; ++k, ++literal)
          if (k + 1 < width && line[k + 1] == line[k]) break;
      }
      if (run > 1 || literal < 3) {
        out.push_back(static_cast<uint8_t>(run));
        out.push_back(line[x]);
        x += run;
      } else {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(literal));
        out.insert(out.end(), line + x, line + x + literal);
        if (literal & 1) out.push_back(0);
        x += literal;
      }
      if (out.size() >= kBlock) {
        stream.WriteExact(out.data(), static_cast<int64_t>(out.size()), "BMP RLE data");
        out.clear();
      }
    }
    out.push_back(0);
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(1);
  stream.WriteExact(out.data(), static_cast<int64_t>(out.size()), "BMP RLE data");
}

}  // namespace

std::unique_ptr<Codec> CreateBitmapCodec() { return std::make_unique<BitmapCodec>(); }

// The headers as the decoder reads and checks them, without the pixels.
ImageHeader BitmapCodec::ReadHeader(Stream& stream, const CodecOptions&) const {
  const BitmapHeaders h = ReadHeaders(stream);
  return {int32_t(h.Width), int32_t(h.Height), h.Format};
}

}  // namespace imaging::formats
