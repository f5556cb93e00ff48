// Windows icons and cursors: reading every image of a file, choosing one, drawing it into an
// A8R8G8B8 image, and writing a picture as a one-image icon file. Not part of the codec
// registry; the program's image-file functions call it for .ico and .cur paths.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/Headers.h"
#include "imaging/Image.h"
#include "imaging/Stream.h"
#include "imaging/Types.h"
#include "imaging/formats/IconTypes.h"

namespace imaging::formats {

// Every error of the icon module. It is an ImagingError, so callers that handle the image
// library's errors handle these too.
class IconFileError : public ImagingError {
public:
  explicit IconFileError(const std::string& message) : ImagingError(message) {}
};

class IconCursorList;

// One image of an icon or cursor file: its directory entry as read, its stored data (a bitmap
// with its AND mask, or a PNG file) and the pixels decoded from that data.
class IconCursorImage {
public:
  // Decodes the image data of one directory entry. Raises IconFileError or ImagingError on
  // a defect.
  IconCursorImage(IconCursorList* owner, const IconDirEntry& entry, std::vector<uint8_t> data);
  // An independent copy, with pixels of its own.
  IconCursorImage(const IconCursorImage& other);
  IconCursorImage& operator=(const IconCursorImage&) = delete;
  // A 32-bit image with an AND mask made from a picture: pixels of the colour of the
  // bottom-left pixel become transparent.
  static std::unique_ptr<IconCursorImage> FromImage(const Image& picture);

  IconCursorList* Owner() const { return owner_; }
  const IconDirEntry& Entry() const { return entry_; }
  IconColorType ColorType() const { return colorType_; }
  // The directory entry with the bit count replaced by the colour type's bit count.
  IconDirEntry GetInfo() const;
  // The stored image data (bitmap header, palette, colour bitmap, AND mask; or a PNG file).
  const std::vector<uint8_t>& Data() const { return data_; }

  // The size the image is drawn at: the entry's width and height, where a size byte of 0
  // (256 or more) takes the bitmap's own size.
  int32_t DrawWidth() const;
  int32_t DrawHeight() const;
  // Puts the image, stretched to DrawWidth × DrawHeight, at (x, y) of an A8R8G8B8 canvas,
  // replacing the canvas pixels it covers (the program draws onto an empty canvas).
  void Draw(Image& canvas, int32_t x, int32_t y) const;
  // The image as Draw puts it on an empty DrawWidth × DrawHeight canvas. The decoded pixels are
  // handed over when they already have that size, so no second picture is made; the object is
  // left empty.
  Image Drawn() &&;

private:
  IconCursorImage() = default;
  void Decode();
  // Decodes image data that are a PNG file.
  void DecodePng();

  IconCursorList* owner_ = nullptr;
  IconDirEntry entry_{};
  IconColorType colorType_ = IconColorType::RGBA;
  std::vector<uint8_t> data_;
  // Decoded pixels, A8R8G8B8: masked pixels are 0, others opaque unless a 32-bit bitmap carries
  // its own alpha.
  Image pixels_;

  friend class IconCursorList;
};

// The images of one icon or cursor file.
class IconCursorList {
public:
  // File kinds.
  static constexpr int32_t kKindIcon = 0;
  static constexpr int32_t kKindCursor = 1;
  // Sort kinds and directions.
  static constexpr int32_t kSortNone = 0;
  static constexpr int32_t kSortColorTypeFirst = 1;
  static constexpr int32_t kSortSizeFirst = 2;
  static constexpr int32_t kSortAscending = 0;
  static constexpr int32_t kSortDescending = 1;

  IconCursorList() = default;
  IconCursorList(const IconCursorList&) = delete;
  IconCursorList& operator=(const IconCursorList&) = delete;

  // Copies all images, the kind and the sort settings.
  void Assign(const IconCursorList& other);
  // Reads the held raw bytes into images (clears the list first).
  void ParseFile();
  void Changed();
  void Clear();
  void Delete(int32_t index);
  int32_t IndexOf(const IconCursorImage* image) const;
  void Insert(int32_t index, std::unique_ptr<IconCursorImage> image);
  int32_t Remove(const IconCursorImage* image);
  void Sort(int32_t kind, int32_t direction);

  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;
  void LoadFromStream(Stream& stream);
  void LoadFromBytes(std::vector<uint8_t> bytes);
  void SaveToStream(Stream& stream) const;
  // The file SaveToStream writes, as bytes.
  std::vector<uint8_t> SaveToBytes() const;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  IconCursorImage& Items(int32_t index);
  const IconCursorImage& Items(int32_t index) const;
  IconCursorImage& operator[](int32_t index) { return Items(index); }
  const IconCursorImage& operator[](int32_t index) const { return Items(index); }

  const std::vector<uint8_t>& RawData() const { return raw_; }
  int32_t FileKind = kKindIcon;
  int32_t SortDirection = kSortAscending;
  int32_t SortKind = kSortNone;
  std::function<void()> OnChange;

private:
  void CheckIndex(int32_t index) const;

  std::vector<std::unique_ptr<IconCursorImage>> items_;
  std::vector<uint8_t> raw_;
};

// The picture the program takes from an icon or cursor file: of the images the directory lists,
// the richest (the greatest colour depth, then the largest as drawn; the first of equals), drawn
// at its directory size into an A8R8G8B8 image. The choice is made from the directory and each
// entry's own bitmap or PNG header, and only the chosen entry's pixels are decoded, so a file
// whose entries all point at one large image costs that image once. Defects found in any
// entry's header fail the file, as IconCursorList collects them.
void LoadIconPicture(Stream& stream, Image& picture);

// The size of the picture LoadIconPicture draws, from the same choice; no pixel is decoded.
ImageHeader ReadIconHeader(Stream& stream);

// Writes a picture as a one-image icon file (type 1, also when the caller names it .cur).
std::vector<uint8_t> EncodeIconFile(const Image& picture);

}  // namespace imaging::formats
