// The Exif metadata of a JPEG file: its sections of tags, its thumbnail and its XMP packet,
// loaded from a source JPEG and written into another JPEG.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/exif/ByteOrder.h"
#include "engine/exif/Xmp.h"

namespace engine::exif {

// TIFF field types (TIFF 6.0 section 2, Exif 2.32 section 4.6.2; 13 is the IFD type of the
// TIFF technical notes).
enum class ExifDataType : uint16_t {
  Byte = 1,
  Ascii = 2,
  Word = 3,            // SHORT
  LongWord = 4,        // LONG
  Fraction = 5,        // RATIONAL
  SignedByte = 6,
  Undefined = 7,
  SignedWord = 8,
  SignedLongWord = 9,
  SignedFraction = 10,
  SingleFloat = 11,
  DoubleFloat = 12,
  SubDirectory = 13,   // IFD
};
// Bytes per element, 0 for a type outside 1..13.
uint32_t ExifDataTypeSize(uint16_t type);

// Tag ids the carry-over works with.
namespace ttag {
inline constexpr uint16_t ImageWidth = 256;
inline constexpr uint16_t ImageLength = 257;
inline constexpr uint16_t Compression = 259;
inline constexpr uint16_t Orientation = 274;
inline constexpr uint16_t Software = 305;
inline constexpr uint16_t JPEGInterchangeFormat = 513;
inline constexpr uint16_t JPEGInterchangeFormatLength = 514;
inline constexpr uint16_t ExifIFD = 34665;
inline constexpr uint16_t GPSIFD = 34853;
inline constexpr uint16_t MakerNote = 37500;
inline constexpr uint16_t UserComment = 37510;
inline constexpr uint16_t XPComment = 40092;
inline constexpr uint16_t PixelXDimension = 40962;
inline constexpr uint16_t PixelYDimension = 40963;
inline constexpr uint16_t InteropIFD = 40965;
inline constexpr uint16_t CameraOwnerName = 42032;
inline constexpr uint16_t BodySerialNumber = 42033;
inline constexpr uint16_t LensSerialNumber = 42037;
inline constexpr uint16_t CameraSerialNumber = 50735;
inline constexpr uint16_t Padding = 59932;
inline constexpr uint16_t OffsetSchema = 59933;
}  // namespace ttag

// The six sections, numbered as the block's IFDs are known.
enum class ExifSectionKind : int {
  esGeneral = 1,    // IFD0
  esDetails = 2,    // Exif sub-IFD (in IFD0)
  esInterop = 3,    // interoperability sub-IFD (in the Exif sub-IFD)
  esGPS = 4,        // GPS sub-IFD (in IFD0)
  esThumbnail = 5,  // IFD1
  esMakerNote = 6,  // maker note tags; the maker note itself travels as raw tag 37500
};
inline constexpr int kExifSectionCount = 6;

struct ExifTag {
  uint16_t ID = 0;
  ExifDataType DataType = ExifDataType::Undefined;
  uint32_t ElementCount = 0;
  std::vector<uint8_t> Data;        // the values in the block's byte order
  uint32_t OriginalDataOffset = 0;  // offset of data longer than 4 bytes in the source block, else 0
};

// The tags of one IFD, sorted by ascending id, each id at most once.
class ExifSection {
public:
  explicit ExifSection(ExifSectionKind kind) : kind_(kind) {}
  ExifSectionKind Kind() const { return kind_; }
  const std::vector<ExifTag>& Tags() const { return tags_; }
  size_t Count() const { return tags_.size(); }
  bool Empty() const { return tags_.empty(); }
  ExifTag* Find(uint16_t id);
  const ExifTag* Find(uint16_t id) const;
  // Inserts in id order, replacing a tag with the same id.
  ExifTag& Add(ExifTag tag);
  bool Remove(uint16_t id);
  void Clear() { tags_.clear(); }

private:
  ExifSectionKind kind_;
  std::vector<ExifTag> tags_;
};

// Where the maker note's data go when the block is written.
enum class MakerNotePlacement {
  mnKeepAtSourceOffset,  // at the offset they had in the source, so that offsets inside stay valid
  mnWithSection,         // in the Exif section's data area like any other long tag
};

// Sections, byte order and thumbnail, and the reading and building of an Exif block.
class CustomExifData {
public:
  CustomExifData();
  virtual ~CustomExifData() = default;
  CustomExifData(const CustomExifData&) = delete;
  CustomExifData& operator=(const CustomExifData&) = delete;

  bool RemovePaddingTagsOnSave = true;
  bool EnforceASCII = true;
  MakerNotePlacement MakerNotePosition = MakerNotePlacement::mnKeepAtSourceOffset;

  ExifSection& Section(ExifSectionKind kind) { return *sections_[static_cast<int>(kind) - 1]; }
  const ExifSection& Section(ExifSectionKind kind) const { return *sections_[static_cast<int>(kind) - 1]; }
  Endianness ByteOrder() const { return byteOrder_; }
  // File position of the loaded block's TIFF header; 0 when nothing was loaded.
  int64_t OffsetBase() const { return offsetBase_; }
  // The thumbnail's JPEG data, empty when there is none.
  const std::vector<uint8_t>& Thumbnail() const { return thumbnail_; }
  void SetThumbnail(std::vector<uint8_t> jpeg) { thumbnail_ = std::move(jpeg); }
  // True when any section holds a tag.
  bool HasTags() const;

  // Empties the sections and the thumbnail; the byte order returns to little-endian.
  virtual void Clear();

  // Reads a TIFF block (the bytes after "Exif" 00 00) found at file position offsetBase.
  // Raises InvalidTiffData when the TIFF header is malformed; damaged directories and tags
  // further in are skipped.
  void LoadFromTiffData(std::span<const uint8_t> tiff, int64_t offsetBase);
  // Builds the APP1 data ("Exif" 00 00 and the TIFF block) from the sections.
  std::vector<uint8_t> SaveToExifSegmentData();

  // Value `index` of a BYTE, SHORT, LONG, SLONG or IFD tag as an unsigned number.
  std::optional<uint32_t> ReadInteger(const ExifTag& tag, uint32_t index = 0) const;
  // Sets an ASCII tag (text and a terminating 00). Raises NotOnlyAsciiError for text with
  // bytes above 127 while EnforceASCII is on.
  void SetString(ExifSectionKind section, uint16_t id, const std::string& text);
  void SetWord(ExifSectionKind section, uint16_t id, uint16_t value);
  void SetLongWord(ExifSectionKind section, uint16_t id, uint32_t value);
  // The text of an ASCII tag up to its first 00, empty when absent.
  std::string GetString(ExifSectionKind section, uint16_t id) const;

protected:
  Endianness byteOrder_ = Endianness::LittleEndian;
  int64_t offsetBase_ = 0;
  std::vector<uint8_t> thumbnail_;

private:
  friend class ExifBlockBuilder;
  // A single SHORT or LONG.
  void SetSingleValue(ExifSectionKind section, uint16_t id, ExifDataType type, uint32_t value);
  std::unique_ptr<ExifSection> sections_[kExifSectionCount];
};

// The metadata of one JPEG file: the Exif block and the XMP packet.
class ExifData : public CustomExifData {
public:
  ExifData() = default;

  void Clear() override;

  // Loads from a JPEG file (read-only) or from JPEG data in memory. Raises
  // InvalidJpegHeader for data that do not start with SOI and InvalidTiffData for a
  // malformed Exif block; a JPEG without metadata loads as empty.
  void LoadFromJPEG(const std::string& fileName);
  void LoadFromJPEG(std::span<const uint8_t> jpeg);

  // Tag 305 of IFD0; setting it also gives the text to the XMP properties xmp:CreatorTool,
  // tiff:Software and tiff:software where the packet holds them.
  std::string Software() const { return GetString(ExifSectionKind::esGeneral, 305); }
  void SetSoftware(const std::string& text);

  // For pixels that were turned upright from `orientation` (2 to 8): Orientation becomes 1 in
  // IFD0, in IFD1 and in the XMP packet where they hold it, and the thumbnail is turned the same
  // way (and left out when it cannot be decoded, rather than shown the wrong way round).
  void MarkUpright(int32_t orientation);
  // Leaves out what tells where a photo was taken and whose camera took it: the GPS section,
  // UserComment, CameraOwnerName, BodySerialNumber, LensSerialNumber, XPComment and
  // CameraSerialNumber, and the XMP packet's exif:GPS*, exif:UserComment, the owner and serial
  // number properties of exifEX and aux, and the location properties of photoshop and the IPTC
  // schemas. Artist, Copyright and the maker note stay.
  void StripPersonalData();

  // True while the XMP segment of the source is held unparsed.
  bool HasRawXMP() const { return !rawXmp_.empty(); }
  // The XMP packet, parsed from the raw segment the first time it is asked for (raising
  // InvalidXmpPacket for text that is not XML); the raw segment is then dropped.
  ContainedXmpPacket& XMPPacket();

  // The JPEG data with this metadata in place of the metadata they carry. Raises
  // InvalidJpegHeader for data without SOI and ExifError when the metadata cannot be
  // stored; the input is never changed.
  std::vector<uint8_t> InsertIntoJPEG(std::span<const uint8_t> jpeg);
  // Rewrites the JPEG file with this metadata. The new content is built in memory first and
  // then replaces the file in one step, so a failure leaves the file as it was.
  void SaveToJPEG(const std::string& fileName);

private:
  // Sets tags 40962/40963 and the XMP pixel dimensions from the frame header of `jpeg`.
  void UpdatePixelDimensions(std::span<const uint8_t> jpeg);

  std::vector<uint8_t> rawXmp_;  // the whole APP1 data of the source's XMP segment
  ContainedXmpPacket xmp_;
};

}  // namespace engine::exif
