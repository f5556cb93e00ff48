#include "engine/exif/Data.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <utility>

#include "engine/exif/Errors.h"
#include "engine/exif/Thumbnail.h"
#include "engine/exif/JpegHeaderParser.h"
#include "engine/exif/TiffStructures.h"

namespace engine::exif {

uint32_t ExifDataTypeSize(uint16_t type) {
  static constexpr uint8_t kSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < 14 ? kSizes[type] : 0;
}

// ---- TExifSection -----------------------------------------------------------------------------

TExifTag* TExifSection::Find(uint16_t id) {
  auto it = std::lower_bound(tags_.begin(), tags_.end(), id, [](const TExifTag& t, uint16_t v) { return t.ID < v; });
  return it != tags_.end() && it->ID == id ? &*it : nullptr;
}

const TExifTag* TExifSection::Find(uint16_t id) const { return const_cast<TExifSection*>(this)->Find(id); }

TExifTag& TExifSection::Add(TExifTag tag) {
  auto it = std::lower_bound(tags_.begin(), tags_.end(), tag.ID, [](const TExifTag& t, uint16_t v) { return t.ID < v; });
  if (it != tags_.end() && it->ID == tag.ID) {
    *it = std::move(tag);
    return *it;
  }
  return *tags_.insert(it, std::move(tag));
}

bool TExifSection::Remove(uint16_t id) {
  auto it = std::lower_bound(tags_.begin(), tags_.end(), id, [](const TExifTag& t, uint16_t v) { return t.ID < v; });
  if (it == tags_.end() || it->ID != id) return false;
  tags_.erase(it);
  return true;
}

// ---- TCustomExifData --------------------------------------------------------------------------

TCustomExifData::TCustomExifData() {
  for (int i = 0; i < kExifSectionCount; ++i)
    sections_[i] = std::make_unique<TExifSection>(static_cast<TExifSectionKind>(i + 1));
}

bool TCustomExifData::HasTags() const {
  for (const auto& section : sections_)
    if (!section->Empty()) return true;
  return false;
}

void TCustomExifData::Clear() {
  for (auto& section : sections_) section->Clear();
  thumbnail_.clear();
  byteOrder_ = TByteOrder::LittleEndian;
  offsetBase_ = 0;
}

std::optional<uint32_t> TCustomExifData::ReadInteger(const TExifTag& tag, uint32_t index) const {
  if (index >= tag.ElementCount) return std::nullopt;
  const uint32_t size = ExifDataTypeSize(static_cast<uint16_t>(tag.DataType));
  if (uint64_t(index + 1) * size > tag.Data.size()) return std::nullopt;
  const uint8_t* p = tag.Data.data() + size_t(index) * size;
  switch (tag.DataType) {
    case TExifDataType::Byte: return *p;
    case TExifDataType::Word: return Get16(p, byteOrder_);
    case TExifDataType::LongWord:
    case TExifDataType::SignedLongWord:
    case TExifDataType::SubDirectory: return Get32(p, byteOrder_);
    default: return std::nullopt;
  }
}

void TCustomExifData::SetString(TExifSectionKind section, uint16_t id, const std::string& text) {
  if (EnforceASCII && std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 127; }))
    throw ENotOnlyASCIIError();
  TExifTag tag;
  tag.ID = id;
  tag.DataType = TExifDataType::Ascii;
  tag.Data.assign(text.begin(), text.end());
  tag.Data.push_back(0);
  tag.ElementCount = static_cast<uint32_t>(tag.Data.size());
  Section(section).Add(std::move(tag));
}

void TCustomExifData::SetWord(TExifSectionKind section, uint16_t id, uint16_t value) {
  SetSingleValue(section, id, TExifDataType::Word, value);
}

void TCustomExifData::SetLongWord(TExifSectionKind section, uint16_t id, uint32_t value) {
  SetSingleValue(section, id, TExifDataType::LongWord, value);
}

void TCustomExifData::SetSingleValue(TExifSectionKind section, uint16_t id, TExifDataType type, uint32_t value) {
  TExifTag tag;
  tag.ID = id;
  tag.DataType = type;
  tag.ElementCount = 1;
  tag.Data.resize(ExifDataTypeSize(static_cast<uint16_t>(type)));
  if (type == TExifDataType::Word)
    Put16(tag.Data.data(), static_cast<uint16_t>(value), byteOrder_);
  else
    Put32(tag.Data.data(), value, byteOrder_);
  Section(section).Add(std::move(tag));
}

std::string TCustomExifData::GetString(TExifSectionKind section, uint16_t id) const {
  const TExifTag* tag = Section(section).Find(id);
  if (tag == nullptr || tag->DataType != TExifDataType::Ascii) return {};
  auto end = std::find(tag->Data.begin(), tag->Data.end(), uint8_t(0));
  return std::string(tag->Data.begin(), end);
}

namespace {

// Reads the IFDs of one TIFF block into the sections. Every offset is checked against the
// block; an offset already read is never read again, so pointers that form a cycle end.
class TIfdLoader {
public:
  TIfdLoader(const TTiffReader& reader, TCustomExifData& data) : reader_(reader), data_(data) {}

  // Reads the IFD at `offset` into the (empty) section; returns the offset of the next IFD
  // in the chain, 0 when there is none or the IFD cannot be read.
  uint32_t ReadIfd(uint32_t offset, TExifSectionKind kind) {
    if (offset < layout::TiffHeader::Size || !reader_.Has(offset, layout::IfdLayout::CountSize)) return 0;
    if (!visited_.insert(offset).second) return 0;
    TExifSection& section = data_.Section(kind);
    const uint32_t declared = reader_.U16(offset);
    const uint64_t entries = uint64_t(offset) + layout::IfdLayout::CountSize;
    // A directory cut short by the end of the block keeps the entries that are whole.
    const uint64_t fitting = (reader_.Size() - entries) / layout::IfdLayout::EntrySize;
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(declared, fitting));
    for (uint32_t i = 0; i < count; ++i) ReadEntry(entries + uint64_t(i) * layout::IfdLayout::EntrySize, section);
    const uint64_t next = entries + uint64_t(declared) * layout::IfdLayout::EntrySize;
    if (count < declared || !reader_.Has(next, layout::IfdLayout::NextSize)) return 0;
    return reader_.U32(next);
  }

private:
  void ReadEntry(uint64_t entry, TExifSection& section) {
    const uint16_t id = reader_.U16(entry + layout::IfdEntry::Tag);
    const uint16_t type = reader_.U16(entry + layout::IfdEntry::Type);
    const uint32_t count = reader_.U32(entry + layout::IfdEntry::Count);
    const uint32_t elementSize = ExifDataTypeSize(type);
    // A type this reader does not know has no known size: its data cannot be located.
    if (elementSize == 0) return;
    // Only the first of several entries with the same id counts, as for most readers.
    if (section.Find(id) != nullptr) return;
    const uint64_t size = uint64_t(count) * elementSize;
    TExifTag tag;
    tag.ID = id;
    tag.DataType = static_cast<TExifDataType>(type);
    tag.ElementCount = count;
    if (size <= layout::IfdEntry::InlineSize) {
      const auto bytes = reader_.Bytes(entry + layout::IfdEntry::Value, size);
      tag.Data.assign(bytes.begin(), bytes.end());
    } else {
      const uint32_t offset = reader_.U32(entry + layout::IfdEntry::Value);
      if (!reader_.Has(offset, size)) return;
      const auto bytes = reader_.Bytes(offset, size);
      tag.Data.assign(bytes.begin(), bytes.end());
      tag.OriginalDataOffset = offset;
    }
    section.Add(std::move(tag));
  }

  const TTiffReader& reader_;
  TCustomExifData& data_;
  std::set<uint32_t> visited_;
};

// The offset a pointer tag holds when it is a single LONG, SLONG or IFD value.
std::optional<uint32_t> PointerValue(const TCustomExifData& data, const TExifTag* tag) {
  if (tag == nullptr || tag->ElementCount != 1) return std::nullopt;
  if (tag->DataType != TExifDataType::LongWord && tag->DataType != TExifDataType::SignedLongWord &&
      tag->DataType != TExifDataType::SubDirectory)
    return std::nullopt;
  return data.ReadInteger(*tag);
}

}  // namespace

void TCustomExifData::LoadFromTiffData(std::span<const uint8_t> tiff, int64_t offsetBase) {
  TCustomExifData::Clear();
  if (tiff.size() < layout::TiffHeader::Size) throw EInvalidTiffData();
  TByteOrder order;
  if (tiff[0] == 'I' && tiff[1] == 'I')
    order = TByteOrder::LittleEndian;
  else if (tiff[0] == 'M' && tiff[1] == 'M')
    order = TByteOrder::BigEndian;
  else
    throw EInvalidTiffData();
  const TTiffReader reader(tiff, order);
  if (reader.U16(layout::TiffHeader::Magic) != layout::kTiffMagic) throw EInvalidTiffData();
  byteOrder_ = order;
  offsetBase_ = offsetBase;

  TIfdLoader loader(reader, *this);
  const uint32_t ifd1 = loader.ReadIfd(reader.U32(layout::TiffHeader::FirstIfd), TExifSectionKind::esGeneral);
  if (ifd1 != 0) loader.ReadIfd(ifd1, TExifSectionKind::esThumbnail);
  const TExifSection& general = Section(TExifSectionKind::esGeneral);
  if (auto exif = PointerValue(*this, general.Find(ttag::ExifIFD))) loader.ReadIfd(*exif, TExifSectionKind::esDetails);
  if (auto gps = PointerValue(*this, general.Find(ttag::GPSIFD))) loader.ReadIfd(*gps, TExifSectionKind::esGPS);
  if (auto interop = PointerValue(*this, Section(TExifSectionKind::esDetails).Find(ttag::InteropIFD)))
    loader.ReadIfd(*interop, TExifSectionKind::esInterop);

  // The thumbnail runs from its SOI to the first EOI of its own segment structure, or to the
  // end of the block when it has none.
  const auto start = PointerValue(*this, Section(TExifSectionKind::esThumbnail).Find(ttag::JPEGInterchangeFormat));
  if (start && reader.Has(*start, 2) && HasJPEGSignature(tiff.subspan(*start))) {
    const auto jpeg = tiff.subspan(*start);
    size_t end = jpeg.size();
    TJPEGHeaderParser parser(jpeg, MakeMarkerSet({layout::kMarkerEOI}));
    TFoundJPEGSegment eoi;
    if (parser.Next(eoi)) end = eoi.Offset + 2;
    thumbnail_.assign(jpeg.begin(), jpeg.begin() + end);
  }
}

// ---- TExifData --------------------------------------------------------------------------------

namespace {

bool StartsWith(std::span<const uint8_t> data, const void* prefix, size_t size) {
  return data.size() >= size && std::memcmp(data.data(), prefix, size) == 0;
}

bool IsExifSegment(std::span<const uint8_t> data) {
  return StartsWith(data, layout::kExifHeader, layout::kExifHeaderSize);
}

bool IsXmpSegment(std::span<const uint8_t> data) {
  return StartsWith(data, layout::kXmpIdentifier, layout::kXmpIdentifierSize);
}

}  // namespace

void TExifData::Clear() {
  TCustomExifData::Clear();
  rawXmp_.clear();
  xmp_.Clear();
}

void TExifData::LoadFromJPEG(std::span<const uint8_t> jpeg) {
  Clear();
  TJPEGHeaderParser parser(jpeg, MakeMarkerSet({layout::kMarkerAPP1}));
  bool exifFound = false;
  TFoundJPEGSegment segment;
  while (parser.Next(segment)) {
    if (!exifFound && IsExifSegment(segment.Data)) {
      exifFound = true;
      // The TIFF header follows FF E1, the length field and "Exif" 00 00.
      LoadFromTiffData(segment.Data.subspan(layout::kExifHeaderSize),
                       static_cast<int64_t>(segment.Offset + 4 + layout::kExifHeaderSize));
    } else if (rawXmp_.empty() && IsXmpSegment(segment.Data)) {
      rawXmp_.assign(segment.Data.begin(), segment.Data.end());
    }
  }
}

void TExifData::LoadFromJPEG(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) throw EExifError("Cannot open file " + fileName);
  // Only the header segments are needed: read more of the file only while the scan runs
  // out of data before the header ends.
  std::vector<uint8_t> header;
  size_t wanted = 64 * 1024;
  for (;;) {
    const size_t had = header.size();
    header.resize(wanted);
    file.read(reinterpret_cast<char*>(header.data() + had), static_cast<std::streamsize>(wanted - had));
    header.resize(had + static_cast<size_t>(file.gcount()));
    if (file.bad()) throw EExifError("Cannot read file " + fileName);
    const bool atEnd = header.size() < wanted;
    if (!atEnd) {
      TJPEGHeaderParser parser(header, TJPEGMarkers{});
      TFoundJPEGSegment segment;
      while (parser.Next(segment)) {
      }
      if (parser.End() == TJPEGHeaderParser::TEnd::DataEnd) {
        wanted *= 2;
        continue;
      }
    }
    break;
  }
  LoadFromJPEG(std::span<const uint8_t>(header));
}

TContainedXMPPacket& TExifData::XMPPacket() {
  if (!rawXmp_.empty()) {
    xmp_.LoadFromData(std::span<const uint8_t>(rawXmp_).subspan(layout::kXmpIdentifierSize));
    rawXmp_.clear();
  }
  return xmp_;
}

void TExifData::SetSoftware(const std::string& text) {
  SetString(TExifSectionKind::esGeneral, ttag::Software, text);
  TContainedXMPPacket& packet = XMPPacket();
  packet.UpdateProperty(xmpns::XMPBasic, "CreatorTool", text);
  packet.UpdateProperty(xmpns::Tiff, "Software", text);
  packet.UpdateProperty(xmpns::Tiff, "software", text);
}

void TExifData::MarkUpright(int32_t orientation) {
  for (TExifSectionKind kind : {TExifSectionKind::esGeneral, TExifSectionKind::esThumbnail})
    if (Section(kind).Find(ttag::Orientation) != nullptr) SetWord(kind, ttag::Orientation, 1);
  XMPPacket().UpdateProperty(xmpns::Tiff, "Orientation", "1");
  if (thumbnail_.empty()) return;
  int32_t width = 0, height = 0;
  if (!OrientThumbnail(thumbnail_, orientation, width, height)) {
    thumbnail_.clear();
    return;
  }
  TExifSection& ifd1 = Section(TExifSectionKind::esThumbnail);
  if (ifd1.Find(ttag::ImageWidth) != nullptr || ifd1.Find(ttag::ImageLength) != nullptr) {
    SetWord(TExifSectionKind::esThumbnail, ttag::ImageWidth, static_cast<uint16_t>(width));
    SetWord(TExifSectionKind::esThumbnail, ttag::ImageLength, static_cast<uint16_t>(height));
  }
}

void TExifData::StripPersonalData() {
  Section(TExifSectionKind::esGPS).Clear();
  for (uint16_t id : {ttag::UserComment, ttag::CameraOwnerName, ttag::BodySerialNumber, ttag::LensSerialNumber})
    Section(TExifSectionKind::esDetails).Remove(id);
  for (uint16_t id : {ttag::XPComment, ttag::CameraSerialNumber}) Section(TExifSectionKind::esGeneral).Remove(id);
  // Names are prefixes: exif:GPS takes every GPS property, Iptc4xmpExt:Location both the
  // place shown and the place the photo was taken.
  static constexpr std::pair<const char*, const char*> kProperties[] = {
      {xmpns::Exif, "GPS"},
      {xmpns::Exif, "UserComment"},
      {xmpns::ExifEx, "CameraOwnerName"},
      {xmpns::ExifEx, "BodySerialNumber"},
      {xmpns::ExifEx, "LensSerialNumber"},
      {xmpns::Aux, "SerialNumber"},
      {xmpns::Aux, "LensSerialNumber"},
      {xmpns::Aux, "OwnerName"},
      {xmpns::Photoshop, "City"},
      {xmpns::Photoshop, "State"},
      {xmpns::Photoshop, "Country"},
      {xmpns::IptcCore, "Location"},
      {xmpns::IptcCore, "CountryCode"},
      {xmpns::IptcExt, "Location"},
  };
  TContainedXMPPacket& packet = XMPPacket();
  for (const auto& [schema, name] : kProperties) packet.RemoveProperties(schema, name);
}

}  // namespace engine::exif
