// Windows icon and cursor files, read and written by our own code after the published layout:
// a 6-byte header, 16-byte directory entries, and per image a BITMAPINFOHEADER, an optional
// palette, the colour (XOR) bitmap and the 1-bit AND mask, both stored bottom row first, or a
// complete PNG file, which the PNG reader decodes.
#include "imaging/Headers.h"
#include "imaging/formats/Icon.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "imaging/Image.h"
#include "imaging/PixelFormats.h"
#include "imaging/formats/ByteReader.h"
#include "imaging/formats/Png.h"

namespace imaging::formats {

namespace {

const char* const kCorrupt = "Can not load icon from file: The file could be corrupt.";
const char* const kBadHeader = "Not a valid icon file header.";
uint32_t GetU32LE(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t GetU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Icons made since Windows Vista store large images (256 pixels, often every size) as complete
// PNG files instead of bitmaps.
bool IsPngData(const uint8_t* data, size_t size) {
  return size >= sizeof(kPngSignature) && std::memcmp(data, kPngSignature, sizeof(kPngSignature)) == 0;
}
bool IsPngData(const std::vector<uint8_t>& data) { return IsPngData(data.data(), data.size()); }

// A bitmap entry starts with the size of its header, one of the published header versions.
bool IsBitmapData(const uint8_t* data, size_t size) {
  if (size < 4) return false;
  const uint32_t headerSize = GetU32LE(data);
  for (uint32_t known : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
    if (headerSize == known) return true;
  return false;
}
bool IsBitmapData(const std::vector<uint8_t>& data) { return IsBitmapData(data.data(), data.size()); }

// The colour type a PNG image ranks with among the bitmaps: anything with an alpha channel as
// 32 bits, truecolour as 24, palette and gray images by their bits per pixel.
IconColorType ColorTypeOfPng(const PngImageHeader& header) {
  switch (header.ColorType) {
    case 4:
    case 6: return IconColorType::RGBA;
    case 2: return IconColorType::RGB;
    default: break;
  }
  if (header.BitDepth == 1) return IconColorType::Mono;
  if (header.BitDepth <= 4) return IconColorType::Colors16;
  return header.ColorType == 0 ? IconColorType::Gray256 : IconColorType::Colors256;
}

// Rows of Windows bitmaps are padded to 32 bits.
size_t BitmapStride(int64_t width, int32_t bitCount) {
  return static_cast<size_t>((width * bitCount + 31) / 32 * 4);
}

// The bytes a bitmap entry spans, of which `head` holds the first `headSize`. Some writers state
// in the directory only the header and colour table of a bitmap (a 1 x 4 cursor stating 48 of
// its 80 bytes); the bitmap's own header tells its size, so its rows are read from behind the
// stated size, up to the end of the file (`available` bytes from the entry's start).
uint32_t BitmapEntryBytes(const uint8_t* head, size_t headSize, uint32_t stated, uint64_t available) {
  if (headSize < kIconBitmapInfoHeaderSize || stated >= available) return stated;
  const uint32_t headerSize = GetU32LE(head);
  const int32_t width = static_cast<int32_t>(GetU32LE(head + 4));
  const int32_t doubledHeight = static_cast<int32_t>(GetU32LE(head + 8));
  const uint16_t bits = GetU16LE(head + 14);
  const uint32_t used = GetU32LE(head + 32);
  if (width <= 0 || doubledHeight < 2 || bits == 0 || bits > 32) return stated;
  const uint64_t full = bits <= 8 ? uint64_t(1) << bits : 0;
  const uint64_t colors = bits <= 8 ? (used > 0 && used < full ? used : full) : 0;
  const uint64_t height = uint64_t(doubledHeight / 2);
  const uint64_t needed = uint64_t(headerSize) + colors * 4 +
                          (uint64_t(BitmapStride(width, bits)) + BitmapStride(width, 1)) * height;
  if (needed <= stated) return stated;
  return static_cast<uint32_t>(std::min(needed, available));
}

// The file header's kind (icon or cursor) and image count, checked.
IconFileHeader ParseFileHeader(const uint8_t* bytes) {
  const IconFileHeader header{GetU16LE(bytes), GetU16LE(bytes + 2), GetU16LE(bytes + 4)};
  if (header.Reserved != 0 || (header.Kind != kIconKindIcon && header.Kind != kIconKindCursor) || header.Count < 1 ||
      header.Count > kIconMaxCount)
    throw IconFileError(kBadHeader);
  return header;
}

// One directory entry of kIconDirEntrySize bytes.
IconDirEntry ParseDirEntry(const uint8_t* bytes) {
  IconDirEntry entry{};
  entry.Width = bytes[0];
  entry.Height = bytes[1];
  entry.ColorCount = bytes[2];
  entry.Reserved = bytes[3];
  entry.Planes = GetU16LE(bytes + 4);
  entry.BitCount = GetU16LE(bytes + 6);
  entry.BytesInRes = GetU32LE(bytes + 8);
  entry.ImageOffset = GetU32LE(bytes + 12);
  return entry;
}

// Checks that an entry's data lie inside a file of `fileSize` bytes and, for a bitmap whose
// entry states less than its header describes, widens the entry to the bitmap (see
// BitmapEntryBytes). `head` holds the first `headSize` bytes at the entry's offset.
void FitEntryToFile(IconDirEntry& entry, const uint8_t* head, size_t headSize, uint64_t fileSize) {
  if (uint64_t(entry.ImageOffset) + entry.BytesInRes > fileSize) throw IconFileError(kCorrupt);
  if (IsBitmapData(head, headSize))
    entry.BytesInRes = BitmapEntryBytes(head, headSize, entry.BytesInRes, fileSize - entry.ImageOffset);
}

int32_t BitsOfColorType(IconColorType type) {
  switch (type) {
    case IconColorType::Mono: return 1;
    case IconColorType::Colors16: return 4;
    case IconColorType::Colors256:
    case IconColorType::Gray256: return 8;
    case IconColorType::RGB: return 24;
    case IconColorType::RGBA: return 32;
  }
  return 32;
}

IconColorType ColorTypeOfBits(uint16_t bitCount) {
  switch (bitCount) {
    case 1: return IconColorType::Mono;
    case 4: return IconColorType::Colors16;
    case 8: return IconColorType::Colors256;
    case 24: return IconColorType::RGB;
    case 32: return IconColorType::RGBA;
    default: break;
  }
  throw IconFileError(FormatText("Invalid color depth in bitmap header: (BPP = %d)", bitCount));
}

// Where the parts of a bitmap entry lie, from its header, checked against the entry's size.
struct BitmapLayout {
  uint16_t bitCount = 0;
  int32_t width = 0;
  int32_t height = 0;         // of the image: half the header's height
  size_t colors = 0;          // palette entries
  size_t paletteOffset = 0;   // from the start of the entry's data
  size_t pixelOffset = 0;     // the colour (XOR) bitmap
  size_t xorStride = 0;
  size_t andStride = 0;
  size_t maskOffset = 0;      // the AND mask
  size_t maskBytes = 0;       // of the mask that are there
};

// Reads and checks the header of a bitmap entry of `size` bytes, of which `head` holds the first
// `headSize`: at least the first kIconV5HeaderSize, or all of them when there are fewer. No
// pixel is looked at, so a choice among entries can use it without decoding any.
BitmapLayout ReadBitmapLayout(const uint8_t* head, size_t headSize, size_t size) {
  // The depth is judged from the byte pair where a bitmap header keeps it, before anything
  // else.
  if (size < kIconBitCountOffset + 2) throw IconFileError(kCorrupt);
  BitmapLayout layout;
  layout.bitCount = static_cast<uint16_t>(head[kIconBitCountOffset] | (head[kIconBitCountOffset + 1] << 8));
  ColorTypeOfBits(layout.bitCount);

  if (size < kIconBitmapInfoHeaderSize) throw IconFileError(kCorrupt);
  ByteReader reader(head, headSize, "icon");
  IconBitmapInfoHeader header{};
  header.Size = reader.U32LE("bitmap header");
  header.Width = reader.I32LE("bitmap header");
  header.Height = reader.I32LE("bitmap header");
  header.Planes = reader.U16LE("bitmap header");
  header.BitCount = reader.U16LE("bitmap header");
  header.Compression = reader.U32LE("bitmap header");
  header.SizeImage = reader.U32LE("bitmap header");
  header.XPelsPerMeter = reader.I32LE("bitmap header");
  header.YPelsPerMeter = reader.I32LE("bitmap header");
  header.ClrUsed = reader.U32LE("bitmap header");
  header.ClrImportant = reader.U32LE("bitmap header");

  if (header.Size < kIconBitmapInfoHeaderSize || header.Size > size) throw IconFileError(kCorrupt);
  if (header.Compression != 0) throw IconFileError(kCorrupt);
  if (header.Width <= 0 || header.Height < 2) throw IconFileError(kCorrupt);
  layout.width = header.Width;
  layout.height = header.Height / 2;
  CheckImageDimensions(layout.width, layout.height, "icon image");

  if (layout.bitCount <= 8) {
    const size_t full = size_t(1) << layout.bitCount;
    layout.colors = header.ClrUsed > 0 && header.ClrUsed < full ? header.ClrUsed : full;
  }
  layout.paletteOffset = header.Size;
  layout.pixelOffset = layout.paletteOffset + layout.colors * 4;
  layout.xorStride = BitmapStride(layout.width, layout.bitCount);
  layout.andStride = BitmapStride(layout.width, 1);
  if (layout.pixelOffset > size || layout.xorStride * size_t(layout.height) > size - layout.pixelOffset)
    throw IconFileError(kCorrupt);
  // Some writers cut the AND mask short, or put an embedded colour profile where the mask
  // would be; missing mask rows count as opaque.
  layout.maskOffset = layout.pixelOffset + layout.xorStride * size_t(layout.height);
  layout.maskBytes = size - layout.maskOffset;
  if (header.Size >= kIconV5HeaderSize) {
    ByteReader v5(head, headSize, "icon");
    v5.Seek(kIconColorSpaceOffset, "bitmap header");
    const uint32_t colorSpace = v5.U32LE("bitmap header");
    v5.Seek(kIconProfileDataOffset, "bitmap header");
    const size_t profileOffset = v5.U32LE("bitmap header");
    if (colorSpace == kIconEmbeddedProfile && profileOffset >= layout.maskOffset)
      layout.maskBytes = std::min(layout.maskBytes, profileOffset - layout.maskOffset);
  }
  return layout;
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName) {
  FILE* file = std::fopen(fileName.c_str(), "rb");
  if (!file) throw IconFileError(FormatText("Cannot open icon file \"%s\": %s.", fileName.c_str(), std::strerror(errno)));
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) throw IconFileError(FormatText("Cannot read icon file \"%s\".", fileName.c_str()));
  return bytes;
}

}  // namespace

// ---- IconCursorImage -------------------------------------------------------------------------

IconCursorImage::IconCursorImage(IconCursorList* owner, const IconDirEntry& entry, std::vector<uint8_t> data)
    : owner_(owner), entry_(entry), data_(std::move(data)) {
  Decode();
}

IconDirEntry IconCursorImage::GetInfo() const {
  IconDirEntry info = entry_;
  info.BitCount = static_cast<uint16_t>(BitsOfColorType(colorType_));
  return info;
}

IconCursorImage::IconCursorImage(const IconCursorImage& other)
    : owner_(other.owner_), entry_(other.entry_), colorType_(other.colorType_), data_(other.data_),
      pixels_(other.pixels_.Clone()) {}

int32_t IconCursorImage::DrawWidth() const { return entry_.Width != 0 ? entry_.Width : pixels_.Width(); }
int32_t IconCursorImage::DrawHeight() const { return entry_.Height != 0 ? entry_.Height : pixels_.Height(); }

void IconCursorImage::Decode() {
  if (IsPngData(data_)) {
    DecodePng();
    return;
  }
  const BitmapLayout layout = ReadBitmapLayout(data_.data(), data_.size(), data_.size());
  colorType_ = ColorTypeOfBits(layout.bitCount);
  const uint16_t bitCount = layout.bitCount;
  const int32_t width = layout.width;
  const int32_t height = layout.height;
  const size_t colors = layout.colors;
  const size_t xorStride = layout.xorStride;
  const size_t andStride = layout.andStride;
  const size_t maskBytes = layout.maskBytes;
  const uint8_t* palette = data_.data() + layout.paletteOffset;
  const uint8_t* xorBits = data_.data() + layout.pixelOffset;
  const uint8_t* andBits = data_.data() + layout.maskOffset;

  CreateImage(width, height, PixelFormat::A8R8G8B8, pixels_);

  // A 32-bit bitmap whose alpha bytes are all zero predates alpha icons: its mask decides.
  bool ownAlpha = false;
  if (bitCount == 32) {
    for (size_t row = 0; row < size_t(height) && !ownAlpha; ++row) {
      const uint8_t* src = xorBits + row * xorStride;
      for (int32_t x = 0; x < width; ++x)
        if (src[size_t(x) * 4 + 3] != 0) {
          ownAlpha = true;
          break;
        }
    }
  }

  for (size_t row = 0; row < size_t(height); ++row) {
    const uint8_t* src = xorBits + row * xorStride;
    const uint8_t* mask = (row + 1) * andStride <= maskBytes ? andBits + row * andStride : nullptr;
    uint8_t* out = pixels_.Bits() + (size_t(height) - 1 - row) * size_t(width) * 4;
    for (int32_t x = 0; x < width; ++x) {
      Color32 color;
      if (bitCount <= 8) {
        const size_t bitPos = size_t(x) * bitCount;
        const uint8_t byte = src[bitPos / 8];
        const uint32_t index = (byte >> (8 - bitCount - bitPos % 8)) & ((1u << bitCount) - 1);
        color = 0;
        if (index < colors) {
          const uint8_t* entry = palette + index * 4;
          color = MakeColor32(0, entry[2], entry[1], entry[0]);
        }
      } else if (bitCount == 24) {
        const uint8_t* p = src + size_t(x) * 3;
        color = MakeColor32(0, p[2], p[1], p[0]);
      } else {
        const uint8_t* p = src + size_t(x) * 4;
        color = MakeColor32(p[3], p[2], p[1], p[0]);
      }
      if (ownAlpha) {
        PutU32LE(out + size_t(x) * 4, color);
        continue;
      }
      const bool masked = mask && ((mask[x / 8] >> (7 - x % 8)) & 1);
      PutU32LE(out + size_t(x) * 4, masked ? 0 : (color | 0xFF000000u));
    }
  }
}

void IconCursorImage::DecodePng() {
  MemoryStream stream = MemoryStream::ViewOf(data_);
  DatastreamLoader loader;
  if (!loader.LoadFile(stream) || loader.Frames.empty() || loader.Frames.front()->IsJpegFrame)
    throw IconFileError("The PNG data hold no image.");
  const Datastream& frame = *loader.Frames.front();
  colorType_ = ColorTypeOfPng(frame.ImageHeader);

  Image image;
  DecodePNGFrame(frame, image);
  ApplyFrameSideChunks(frame, image);
  if (image.Format() != PixelFormat::A8R8G8B8 && !ConvertImageFormat(image, PixelFormat::A8R8G8B8))
    throw IconFileError("The PNG image cannot be converted to 32 bits.");
  pixels_ = std::move(image);
}

void IconCursorImage::Draw(Image& canvas, int32_t x, int32_t y) const {
  const int32_t width = pixels_.Width();
  const int32_t height = pixels_.Height();
  if (canvas.Format() != PixelFormat::A8R8G8B8 || !canvas.Bits() || width <= 0 || height <= 0) return;
  const int32_t drawWidth = DrawWidth();
  const int32_t drawHeight = DrawHeight();
  for (int32_t ty = 0; ty < drawHeight; ++ty) {
    const int32_t cy = y + ty;
    if (cy < 0 || cy >= canvas.Height()) continue;
    const size_t sy = size_t(int64_t(ty) * height / drawHeight);
    const uint8_t* src = pixels_.Bits() + sy * size_t(width) * 4;
    uint8_t* dst = canvas.Bits() + size_t(cy) * size_t(canvas.Width()) * 4;
    for (int32_t tx = 0; tx < drawWidth; ++tx) {
      const int32_t cx = x + tx;
      if (cx < 0 || cx >= canvas.Width()) continue;
      std::memcpy(dst + size_t(cx) * 4, src + size_t(int64_t(tx) * width / drawWidth) * 4, 4);
    }
  }
}

Image IconCursorImage::Drawn() && {
  Image drawn;
  if (DrawWidth() == pixels_.Width() && DrawHeight() == pixels_.Height()) {
    drawn = std::move(pixels_);
  } else if (CreateImage(DrawWidth(), DrawHeight(), PixelFormat::A8R8G8B8, drawn)) {
    Draw(drawn, 0, 0);
  }
  data_.clear();
  data_.shrink_to_fit();
  pixels_.Reset();
  return drawn;
}

std::unique_ptr<IconCursorImage> IconCursorImage::FromImage(const Image& picture) {
  if (!IsImageValid(picture)) throw IconFileError("Cannot make an icon from an empty image.");
  // The directory entry has one byte per side, 0 standing for 256. Larger sizes would live
  // only in the bitmap header, which readers do not agree to honour, so they are refused.
  if (picture.Width() > kIconMaxSide || picture.Height() > kIconMaxSide)
    throw IconFileError(FormatText("An icon can hold at most %d x %d pixels; this picture has %d x %d.", kIconMaxSide,
                                    kIconMaxSide, picture.Width(), picture.Height()));
  Image image;
  if (!CopyImage(picture, image)) throw IconFileError("Cannot make an icon from an empty image.");
  if (image.Format() != PixelFormat::A8R8G8B8 && !ConvertImageFormat(image, PixelFormat::A8R8G8B8))
    throw IconFileError("Cannot convert the image to 32 bits for the icon.");

  const int32_t width = image.Width();
  const int32_t height = image.Height();
  const size_t xorStride = size_t(width) * 4;
  const size_t andStride = BitmapStride(width, 1);
  const size_t dataSize = kIconBitmapInfoHeaderSize + (xorStride + andStride) * size_t(height);

  std::unique_ptr<IconCursorImage> icon(new IconCursorImage());
  icon->data_.assign(dataSize, 0);
  uint8_t* out = icon->data_.data();
  PutU32LE(out + 0, kIconBitmapInfoHeaderSize);
  PutU32LE(out + 4, static_cast<uint32_t>(width));
  PutU32LE(out + 8, static_cast<uint32_t>(height) * 2);
  PutU16LE(out + 12, 1);
  PutU16LE(out + 14, 32);
  PutU32LE(out + 20, static_cast<uint32_t>((xorStride + andStride) * size_t(height)));

  // The transparent colour is compared without alpha, as a colour of the picture.
  const uint8_t* bottomLeft = image.Bits() + size_t(height - 1) * xorStride;
  const uint32_t transparent = uint32_t(bottomLeft[0] | (bottomLeft[1] << 8) | (bottomLeft[2] << 16));
  uint8_t* xorBits = out + kIconBitmapInfoHeaderSize;
  uint8_t* andBits = xorBits + xorStride * size_t(height);
  for (size_t row = 0; row < size_t(height); ++row) {
    const uint8_t* src = image.Bits() + (size_t(height) - 1 - row) * xorStride;
    uint8_t* dst = xorBits + row * xorStride;
    uint8_t* mask = andBits + row * andStride;
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* p = src + size_t(x) * 4;
      uint8_t* q = dst + size_t(x) * 4;
      const bool masked = uint32_t(p[0] | (p[1] << 8) | (p[2] << 16)) == transparent;
      q[0] = p[0];
      q[1] = p[1];
      q[2] = p[2];
      q[3] = masked ? 0 : p[3];
      if (masked) mask[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }

  icon->entry_.Width = static_cast<uint8_t>(width == kIconMaxSide ? 0 : width);
  icon->entry_.Height = static_cast<uint8_t>(height == kIconMaxSide ? 0 : height);
  icon->entry_.Planes = 1;
  icon->entry_.BitCount = 32;
  icon->entry_.BytesInRes = static_cast<uint32_t>(dataSize);
  icon->Decode();
  return icon;
}

// ---- IconCursorList --------------------------------------------------------------------------

void IconCursorList::Assign(const IconCursorList& other) {
  if (&other == this) return;
  items_.clear();
  for (const auto& item : other.items_) {
    std::unique_ptr<IconCursorImage> copy(new IconCursorImage(*item));
    copy->owner_ = this;
    items_.push_back(std::move(copy));
  }
  raw_ = other.raw_;
  FileKind = other.FileKind;
  SortDirection = other.SortDirection;
  SortKind = other.SortKind;
  Changed();
}

void IconCursorList::ParseFile() {
  items_.clear();
  if (raw_.size() < kIconFileHeaderSize) throw IconFileError(kBadHeader);
  const IconFileHeader header = ParseFileHeader(raw_.data());
  FileKind = header.Kind == kIconKindCursor ? kKindCursor : kKindIcon;

  // A bad entry does not stop the others; all defects are reported together at the end.
  std::string errors;
  for (size_t i = 0; i < header.Count; ++i) {
    try {
      const size_t position = kIconFileHeaderSize + i * kIconDirEntrySize;
      if (position + kIconDirEntrySize > raw_.size()) throw IconFileError(kCorrupt);
      IconDirEntry entry = ParseDirEntry(raw_.data() + position);
      if (entry.ImageOffset > raw_.size()) throw IconFileError(kCorrupt);
      FitEntryToFile(entry, raw_.data() + entry.ImageOffset, raw_.size() - entry.ImageOffset, raw_.size());
      std::vector<uint8_t> data(raw_.begin() + entry.ImageOffset,
                                raw_.begin() + entry.ImageOffset + entry.BytesInRes);
      const bool png = IsPngData(data);
      if (!png && !IsBitmapData(data))
        throw IconFileError(
            FormatText("Image %d of the icon file is neither a Windows bitmap nor a PNG image.", int(i + 1)));
      try {
        items_.push_back(std::make_unique<IconCursorImage>(this, entry, std::move(data)));
      } catch (const ImagingError& e) {
        if (!png) throw;
        throw IconFileError(FormatText("PNG image %d of the icon file cannot be read: %s", int(i + 1), e.what()));
      }
    } catch (const std::exception& e) {
      errors += e.what();
      errors += "\r\n";
    }
  }
  if (!errors.empty())
    throw IconFileError("Some icons could not be loaded due to the following errors: \r\n" + errors);
}

void IconCursorList::Changed() {
  if (OnChange) OnChange();
}

void IconCursorList::Clear() {
  items_.clear();
  Changed();
}

void IconCursorList::CheckIndex(int32_t index) const {
  if (index < 0 || index >= Count()) throw IconFileError(FormatText("Icon list index out of bounds: (%d)", index));
}

void IconCursorList::Delete(int32_t index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
  Changed();
}

int32_t IconCursorList::IndexOf(const IconCursorImage* image) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == image) return static_cast<int32_t>(i);
  return -1;
}

void IconCursorList::Insert(int32_t index, std::unique_ptr<IconCursorImage> image) {
  if (index < 0 || index > Count()) throw IconFileError(FormatText("Icon list index out of bounds: (%d)", index));
  if (!image) throw IconFileError("Can not add Nil entries to icon list.");
  image->owner_ = this;
  items_.insert(items_.begin() + index, std::move(image));
  Changed();
}

int32_t IconCursorList::Remove(const IconCursorImage* image) {
  const int32_t index = IndexOf(image);
  if (index >= 0) Delete(index);
  return index;
}

IconCursorImage& IconCursorList::Items(int32_t index) {
  CheckIndex(index);
  return *items_[static_cast<size_t>(index)];
}

const IconCursorImage& IconCursorList::Items(int32_t index) const {
  CheckIndex(index);
  return *items_[static_cast<size_t>(index)];
}

void IconCursorList::Sort(int32_t kind, int32_t direction) {
  SortKind = kind;
  SortDirection = direction;
  if (kind != kSortColorTypeFirst && kind != kSortSizeFirst) return;
  // The size is the sum of width and height as drawn, so an image whose size bytes are 0
  // counts with its own size (256 pixels, or more for a PNG image). Equal keys keep their order.
  auto keys = [kind](const IconCursorImage& image) {
    const int32_t type = static_cast<int32_t>(image.ColorType());
    const int32_t size = image.DrawWidth() + image.DrawHeight();
    return kind == kSortColorTypeFirst ? std::pair(type, size) : std::pair(size, type);
  };
  const bool descending = direction == kSortDescending;
  std::stable_sort(items_.begin(), items_.end(), [&](const auto& a, const auto& b) {
    return descending ? keys(*b) < keys(*a) : keys(*a) < keys(*b);
  });
  Changed();
}

void IconCursorList::LoadFromFile(const std::string& fileName) { LoadFromBytes(ReadWholeFile(fileName)); }

void IconCursorList::LoadFromStream(Stream& stream) {
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  int64_t n;
  while ((n = stream.Read(buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  LoadFromBytes(std::move(bytes));
}

void IconCursorList::LoadFromBytes(std::vector<uint8_t> bytes) {
  items_.clear();
  raw_ = std::move(bytes);
  ParseFile();
  SortKind = kSortNone;
  Changed();
}

std::vector<uint8_t> IconCursorList::SaveToBytes() const {
  if (items_.empty())
    throw IconFileError("In order to save an icon file, there must at least be one icon in the list.");
  size_t total = kIconFileHeaderSize + items_.size() * kIconDirEntrySize;
  for (const auto& item : items_) total += item->Data().size();
  if (total > UINT32_MAX) throw IconFileError("The icon file would exceed 4 GiB.");
  std::vector<uint8_t> out(kIconFileHeaderSize + items_.size() * kIconDirEntrySize);
  PutU16LE(out.data(), 0);
  PutU16LE(out.data() + 2, FileKind == kKindCursor ? kIconKindCursor : kIconKindIcon);
  PutU16LE(out.data() + 4, static_cast<uint16_t>(items_.size()));
  size_t offset = out.size();
  for (size_t i = 0; i < items_.size(); ++i) {
    const IconDirEntry& e = items_[i]->Entry();
    uint8_t* p = out.data() + kIconFileHeaderSize + i * kIconDirEntrySize;
    p[0] = e.Width;
    p[1] = e.Height;
    p[2] = e.ColorCount;
    p[3] = e.Reserved;
    PutU16LE(p + 4, e.Planes);
    PutU16LE(p + 6, e.BitCount);
    PutU32LE(p + 8, static_cast<uint32_t>(items_[i]->Data().size()));
    PutU32LE(p + 12, static_cast<uint32_t>(offset));
    offset += items_[i]->Data().size();
  }
  out.reserve(total);
  for (const auto& item : items_) out.insert(out.end(), item->Data().begin(), item->Data().end());
  return out;
}

void IconCursorList::SaveToStream(Stream& stream) const {
  const std::vector<uint8_t> bytes = SaveToBytes();
  if (stream.Write(bytes.data(), static_cast<int64_t>(bytes.size())) != static_cast<int64_t>(bytes.size()))
    throw IconFileError("Cannot write the icon file.");
}

void IconCursorList::SaveToFile(const std::string& fileName) const {
  const std::vector<uint8_t> bytes = SaveToBytes();
  FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) throw IconFileError(FormatText("Cannot create icon file \"%s\": %s.", fileName.c_str(), std::strerror(errno)));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written)
    throw IconFileError(FormatText("Cannot write icon file \"%s\".", fileName.c_str()));
}

std::vector<uint8_t> EncodeIconFile(const Image& picture) {
  IconCursorList list;
  list.Insert(0, IconCursorImage::FromImage(picture));
  return list.SaveToBytes();
}

namespace {

// What the directory and an entry's own header tell of one image, without its pixels.
struct IconEntryHeader {
  IconDirEntry entry{};
  IconColorType colorType = IconColorType::RGBA;
  int32_t width = 0;   // the bitmap's or PNG image's own size
  int32_t height = 0;
  int32_t DrawWidth() const { return entry.Width != 0 ? entry.Width : width; }
  int32_t DrawHeight() const { return entry.Height != 0 ? entry.Height : height; }
};

// The colour type and size of a PNG entry, from its signature and IHDR chunk.
void ReadPngEntryHeader(const uint8_t* head, size_t headSize, IconEntryHeader& image) {
  const auto GetU32BE = [](const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
  };
  if (headSize < 33 || GetU32BE(head + 12) != 0x49484452u) throw IconFileError("The PNG data hold no image.");
  const PngImageHeader png{GetU32BE(head + 16), GetU32BE(head + 20), head[24], head[25], 0, 0, 0};
  if (png.Width > 0x7FFFFFFFu || png.Height > 0x7FFFFFFFu) throw IconFileError(kCorrupt);
  CheckImageDimensions(png.Width, png.Height, "icon image");
  image.width = int32_t(png.Width);
  image.height = int32_t(png.Height);
  image.colorType = ColorTypeOfPng(png);
}

// Reads the file header, every directory entry and the header of every entry's data: what the
// choice of an image needs, and every check that needs no pixel. Defects are collected entry by
// entry, as IconCursorList::ParseFile collects them, and raised together. Entries may overlap or
// share their data; each is looked at on its own.
std::vector<IconEntryHeader> ScanIconFile(Stream& stream) {
  const int64_t start = stream.Position();
  const int64_t fileSize = stream.Remaining();
  uint8_t bytes[kIconDirEntrySize];
  if (fileSize < int64_t(kIconFileHeaderSize)) throw IconFileError(kBadHeader);
  stream.ReadExact(bytes, kIconFileHeaderSize, "icon file header");
  const uint16_t count = ParseFileHeader(bytes).Count;

  std::vector<IconEntryHeader> images;
  std::string errors;
  for (uint32_t i = 0; i < count; ++i) {
    try {
      const int64_t position = int64_t(kIconFileHeaderSize) + int64_t(i) * int64_t(kIconDirEntrySize);
      if (position + int64_t(kIconDirEntrySize) > fileSize) throw IconFileError(kCorrupt);
      stream.Seek(start + position, SeekOrigin::Begin);
      stream.ReadExact(bytes, kIconDirEntrySize, "icon directory entry");
      IconEntryHeader image;
      IconDirEntry& entry = image.entry;
      entry = ParseDirEntry(bytes);
      if (entry.ImageOffset > uint64_t(fileSize)) throw IconFileError(kCorrupt);
      // Enough of the entry's data for any bitmap header or a PNG signature and IHDR.
      uint8_t head[kIconV5HeaderSize];
      const size_t headSize = size_t(std::min<uint64_t>(uint64_t(fileSize) - entry.ImageOffset, sizeof head));
      stream.Seek(start + int64_t(entry.ImageOffset), SeekOrigin::Begin);
      stream.ReadExact(head, int64_t(headSize), "icon image");
      FitEntryToFile(entry, head, headSize, uint64_t(fileSize));
      if (IsPngData(head, std::min<size_t>(headSize, entry.BytesInRes))) {
        try {
          ReadPngEntryHeader(head, std::min<size_t>(headSize, entry.BytesInRes), image);
        } catch (const ImagingError& e) {
          throw IconFileError(FormatText("PNG image %d of the icon file cannot be read: %s", int(i + 1), e.what()));
        }
      } else if (IsBitmapData(head, headSize)) {
        const BitmapLayout layout = ReadBitmapLayout(head, headSize, entry.BytesInRes);
        image.width = layout.width;
        image.height = layout.height;
        image.colorType = ColorTypeOfBits(layout.bitCount);
      } else {
        throw IconFileError(
            FormatText("Image %d of the icon file is neither a Windows bitmap nor a PNG image.", int(i + 1)));
      }
      images.push_back(image);
    } catch (const std::exception& e) {
      errors += e.what();
      errors += "\r\n";
    }
  }
  if (!errors.empty())
    throw IconFileError("Some icons could not be loaded due to the following errors: \r\n" + errors);
  return images;
}

// The image the program takes: the greatest colour type, then the largest sum of the drawn
// width and height, the first of equals in file order. IconCursorList's two stable sorts (size
// first, then colour type first, both descending) put the same image first.
size_t ChooseRichest(const std::vector<IconEntryHeader>& images) {
  size_t best = 0;
  const auto key = [](const IconEntryHeader& image) {
    return std::pair(int32_t(image.colorType), image.DrawWidth() + image.DrawHeight());
  };
  for (size_t i = 1; i < images.size(); ++i)
    if (key(images[best]) < key(images[i])) best = i;
  return best;
}

}  // namespace

void LoadIconPicture(Stream& stream, Image& picture) {
  const int64_t start = stream.Position();
  const std::vector<IconEntryHeader> images = ScanIconFile(stream);
  const size_t chosen = ChooseRichest(images);
  const IconDirEntry& entry = images[chosen].entry;
  try {
    std::vector<uint8_t> data(entry.BytesInRes);
    stream.Seek(start + int64_t(entry.ImageOffset), SeekOrigin::Begin);
    stream.ReadExact(data.data(), int64_t(data.size()), "icon image");
    const bool png = IsPngData(data);
    try {
      picture = IconCursorImage(nullptr, entry, std::move(data)).Drawn();
    } catch (const ImagingError& e) {
      if (!png) throw;
      throw IconFileError(FormatText("PNG image %d of the icon file cannot be read: %s", int(chosen + 1), e.what()));
    }
  } catch (const std::exception& e) {
    throw IconFileError(std::string("Some icons could not be loaded due to the following errors: \r\n") + e.what() +
                        "\r\n");
  }
}

ImageHeader ReadIconHeader(Stream& stream) {
  const std::vector<IconEntryHeader> images = ScanIconFile(stream);
  const IconEntryHeader& chosen = images[ChooseRichest(images)];
  return {chosen.DrawWidth(), chosen.DrawHeight(), PixelFormat::A8R8G8B8};
}

}  // namespace imaging::formats
