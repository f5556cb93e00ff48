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

// ---- ExifSection -----------------------------------------------------------------------------

ExifTag* ExifSection::Find(uint16_t id) {
  auto it = std::lower_bound(tags_.begin(), tags_.end(), id, [](const ExifTag& t, uint16_t v) { return t.ID < v; });
  return it != tags_.end() && it->ID == id ? &*it : nullptr;
}

const ExifTag* ExifSection::Find(uint16_t id) const { return const_cast<ExifSection*>(this)->Find(id); }

ExifTag& ExifSection::Add(ExifTag tag) {
  auto it = std::lower_bound(tags_.begin(), tags_.end(), tag.ID, [](const ExifTag& t, uint16_t v) { return t.ID < v; });
  if (it != tags_.end() && it->ID == tag.ID) {
    *it = std::move(tag);
    return *it;
  }
  return *tags_.insert(it, std::move(tag));
}

bool ExifSection::Remove(uint16_t id) {
  auto it = std::lower_bound(tags_.begin(), tags_.end(), id, [](const ExifTag& t, uint16_t v) { return t.ID < v; });
  if (it == tags_.end() || it->ID != id) return false;
  tags_.erase(it);
  return true;
}

// ---- CustomExifData --------------------------------------------------------------------------

CustomExifData::CustomExifData() {
  for (int i = 0; i < kExifSectionCount; ++i)
    sections_[i] = std::make_unique<ExifSection>(static_cast<ExifSectionKind>(i + 1));
}

bool CustomExifData::HasTags() const {
  for (const auto& section : sections_)
    if (!section->Empty()) return true;
  return false;
}

void CustomExifData::Clear() {
  for (auto& section : sections_) section->Clear();
  thumbnail_.clear();
  byteOrder_ = Endianness::LittleEndian;
  offsetBase_ = 0;
}

std::optional<uint32_t> CustomExifData::ReadInteger(const ExifTag& tag, uint32_t index) const {
  if (index >= tag.ElementCount) return std::nullopt;
  const uint32_t size = ExifDataTypeSize(static_cast<uint16_t>(tag.DataType));
  if (uint64_t(index + 1) * size > tag.Data.size()) return std::nullopt;
  const uint8_t* p = tag.Data.data() + size_t(index) * size;
  switch (tag.DataType) {
    case ExifDataType::Byte: return *p;
    case ExifDataType::Word: return Get16(p, byteOrder_);
    case ExifDataType::LongWord:
    case ExifDataType::SignedLongWord:
    case ExifDataType::SubDirectory: return Get32(p, byteOrder_);
    default: return std::nullopt;
  }
}

void CustomExifData::SetString(ExifSectionKind section, uint16_t id, const std::string& text) {
  if (EnforceASCII && std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 127; }))
    throw NotOnlyAsciiError();
  ExifTag tag;
  tag.ID = id;
  tag.DataType = ExifDataType::Ascii;
  tag.Data.assign(text.begin(), text.end());
  tag.Data.push_back(0);
  tag.ElementCount = static_cast<uint32_t>(tag.Data.size());
  Section(section).Add(std::move(tag));
}

void CustomExifData::SetWord(ExifSectionKind section, uint16_t id, uint16_t value) {
  SetSingleValue(section, id, ExifDataType::Word, value);
}

void CustomExifData::SetLongWord(ExifSectionKind section, uint16_t id, uint32_t value) {
  SetSingleValue(section, id, ExifDataType::LongWord, value);
}

void CustomExifData::SetSingleValue(ExifSectionKind section, uint16_t id, ExifDataType type, uint32_t value) {
  ExifTag tag;
  tag.ID = id;
  tag.DataType = type;
  tag.ElementCount = 1;
  tag.Data.resize(ExifDataTypeSize(static_cast<uint16_t>(type)));
  if (type == ExifDataType::Word)
    Put16(tag.Data.data(), static_cast<uint16_t>(value), byteOrder_);
  else
    Put32(tag.Data.data(), value, byteOrder_);
  Section(section).Add(std::move(tag));
}

std::string CustomExifData::GetString(ExifSectionKind section, uint16_t id) const {
  const ExifTag* tag = Section(section).Find(id);
  if (tag == nullptr || tag->DataType != ExifDataType::Ascii) return {};
  auto end = std::find(tag->Data.begin(), tag->Data.end(), uint8_t(0));
  return std::string(tag->Data.begin(), end);
}

namespace {

// Reads the IFDs of one TIFF block into the sections. Every offset is checked against the
// block; an offset already read is never read again, so pointers that form a cycle end.
class IfdLoader {
public:
  IfdLoader(const TiffReader& reader, CustomExifData& data) : reader_(reader), data_(data) {}

  // Reads the IFD at `offset` into the (empty) section; returns the offset of the next IFD
  // in the chain, 0 when there is none or the IFD cannot be read.
  uint32_t ReadIfd(uint32_t offset, ExifSectionKind kind) {
    if (offset < layout::TiffHeader::Size || !reader_.Has(offset, layout::IfdLayout::CountSize)) return 0;
    if (!visited_.insert(offset).second) return 0;
    ExifSection& section = data_.Section(kind);
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
  void ReadEntry(uint64_t entry, ExifSection& section) {
    const uint16_t id = reader_.U16(entry + layout::IfdEntry::Tag);
    const uint16_t type = reader_.U16(entry + layout::IfdEntry::Type);
    const uint32_t count = reader_.U32(entry + layout::IfdEntry::Count);
    const uint32_t elementSize = ExifDataTypeSize(type);
    // A type this reader does not know has no known size: its data cannot be located.
    if (elementSize == 0) return;
    // Only the first of several entries with the same id counts, as for most readers.
    if (section.Find(id) != nullptr) return;
    const uint64_t size = uint64_t(count) * elementSize;
    ExifTag tag;
    tag.ID = id;
    tag.DataType = static_cast<ExifDataType>(type);
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

  const TiffReader& reader_;
  CustomExifData& data_;
  std::set<uint32_t> visited_;
};

// The offset a pointer tag holds when it is a single LONG, SLONG or IFD value.
std::optional<uint32_t> PointerValue(const CustomExifData& data, const ExifTag* tag) {
  if (tag == nullptr || tag->ElementCount != 1) return std::nullopt;
  if (tag->DataType != ExifDataType::LongWord && tag->DataType != ExifDataType::SignedLongWord &&
      tag->DataType != ExifDataType::SubDirectory)
    return std::nullopt;
  return data.ReadInteger(*tag);
}

}  // namespace

void CustomExifData::LoadFromTiffData(std::span<const uint8_t> tiff, int64_t offsetBase) {
  CustomExifData::Clear();
  if (tiff.size() < layout::TiffHeader::Size) throw InvalidTiffData();
  Endianness order;
  if (tiff[0] == 'I' && tiff[1] == 'I')
    order = Endianness::LittleEndian;
  else if (tiff[0] == 'M' && tiff[1] == 'M')
    order = Endianness::BigEndian;
  else
    throw InvalidTiffData();
  const TiffReader reader(tiff, order);
  if (reader.U16(layout::TiffHeader::Magic) != layout::kTiffMagic) throw InvalidTiffData();
  byteOrder_ = order;
  offsetBase_ = offsetBase;

  IfdLoader loader(reader, *this);
  const uint32_t ifd1 = loader.ReadIfd(reader.U32(layout::TiffHeader::FirstIfd), ExifSectionKind::esGeneral);
  if (ifd1 != 0) loader.ReadIfd(ifd1, ExifSectionKind::esThumbnail);
  const ExifSection& general = Section(ExifSectionKind::esGeneral);
  if (auto exif = PointerValue(*this, general.Find(ttag::ExifIFD))) loader.ReadIfd(*exif, ExifSectionKind::esDetails);
  if (auto gps = PointerValue(*this, general.Find(ttag::GPSIFD))) loader.ReadIfd(*gps, ExifSectionKind::esGPS);
  if (auto interop = PointerValue(*this, Section(ExifSectionKind::esDetails).Find(ttag::InteropIFD)))
    loader.ReadIfd(*interop, ExifSectionKind::esInterop);

  // The thumbnail runs from its SOI to the first EOI of its own segment structure, or to the
  // end of the block when it has none.
  const auto start = PointerValue(*this, Section(ExifSectionKind::esThumbnail).Find(ttag::JPEGInterchangeFormat));
  if (start && reader.Has(*start, 2) && HasJPEGSignature(tiff.subspan(*start))) {
    const auto jpeg = tiff.subspan(*start);
    size_t end = jpeg.size();
    JpegHeaderParser parser(jpeg, MakeMarkerSet({layout::kMarkerEOI}));
    FoundJpegSegment eoi;
    if (parser.Next(eoi)) end = eoi.Offset + 2;
    thumbnail_.assign(jpeg.begin(), jpeg.begin() + end);
  }
}

// ---- ExifData --------------------------------------------------------------------------------

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

void ExifData::Clear() {
  CustomExifData::Clear();
  rawXmp_.clear();
  xmp_.Clear();
}

void ExifData::LoadFromJPEG(std::span<const uint8_t> jpeg) {
  Clear();
  JpegHeaderParser parser(jpeg, MakeMarkerSet({layout::kMarkerAPP1}));
  bool exifFound = false;
  FoundJpegSegment segment;
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

void ExifData::LoadFromJPEG(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) throw ExifError("Cannot open file " + fileName);
  // Only the header segments are needed: read more of the file only while the scan runs
  // out of data before the header ends.
  std::vector<uint8_t> header;
  size_t wanted = 64 * 1024;
  for (;;) {
    const size_t had = header.size();
    header.resize(wanted);
    file.read(reinterpret_cast<char*>(header.data() + had), static_cast<std::streamsize>(wanted - had));
    header.resize(had + static_cast<size_t>(file.gcount()));
    if (file.bad()) throw ExifError("Cannot read file " + fileName);
    const bool atEnd = header.size() < wanted;
    if (!atEnd) {
      JpegHeaderParser parser(header, JpegMarkers{});
      FoundJpegSegment segment;
      while (parser.Next(segment)) {
      }
      if (parser.End() == JpegHeaderParser::ScanEnd::DataEnd) {
        wanted *= 2;
        continue;
      }
    }
    break;
  }
  LoadFromJPEG(std::span<const uint8_t>(header));
}

ContainedXmpPacket& ExifData::XMPPacket() {
  if (!rawXmp_.empty()) {
    xmp_.LoadFromData(std::span<const uint8_t>(rawXmp_).subspan(layout::kXmpIdentifierSize));
    rawXmp_.clear();
  }
  return xmp_;
}

void ExifData::SetSoftware(const std::string& text) {
  SetString(ExifSectionKind::esGeneral, ttag::Software, text);
  ContainedXmpPacket& packet = XMPPacket();
  packet.UpdateProperty(xmpns::XMPBasic, "CreatorTool", text);
  packet.UpdateProperty(xmpns::Tiff, "Software", text);
  packet.UpdateProperty(xmpns::Tiff, "software", text);
}

void ExifData::MarkUpright(int32_t orientation) {
  for (ExifSectionKind kind : {ExifSectionKind::esGeneral, ExifSectionKind::esThumbnail})
    if (Section(kind).Find(ttag::Orientation) != nullptr) SetWord(kind, ttag::Orientation, 1);
  XMPPacket().UpdateProperty(xmpns::Tiff, "Orientation", "1");
  if (thumbnail_.empty()) return;
  int32_t width = 0, height = 0;
  if (!OrientThumbnail(thumbnail_, orientation, width, height)) {
    thumbnail_.clear();
    return;
  }
  ExifSection& ifd1 = Section(ExifSectionKind::esThumbnail);
  if (ifd1.Find(ttag::ImageWidth) != nullptr || ifd1.Find(ttag::ImageLength) != nullptr) {
    SetWord(ExifSectionKind::esThumbnail, ttag::ImageWidth, static_cast<uint16_t>(width));
    SetWord(ExifSectionKind::esThumbnail, ttag::ImageLength, static_cast<uint16_t>(height));
  }
}

void ExifData::StripPersonalData() {
  Section(ExifSectionKind::esGPS).Clear();
  for (uint16_t id : {ttag::UserComment, ttag::CameraOwnerName, ttag::BodySerialNumber, ttag::LensSerialNumber})
    Section(ExifSectionKind::esDetails).Remove(id);
  for (uint16_t id : {ttag::XPComment, ttag::CameraSerialNumber}) Section(ExifSectionKind::esGeneral).Remove(id);
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
  ContainedXmpPacket& packet = XMPPacket();
  for (const auto& [schema, name] : kProperties) packet.RemoveProperties(schema, name);
}

}  // namespace engine::exif
