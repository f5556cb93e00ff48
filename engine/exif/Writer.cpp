// Building an Exif block from the sections and putting it, with the XMP packet, into a JPEG.
#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

#include "base/AtomicFile.h"
#include "engine/exif/Data.h"
#include "engine/exif/Errors.h"
#include "engine/exif/Thumbnail.h"
#include "engine/exif/JpegHeaderParser.h"
#include "engine/exif/TiffStructures.h"

namespace engine::exif {

namespace {

constexpr uint64_t AlignUp(uint64_t v) { return (v + layout::kValueAlignment - 1) & ~uint64_t(layout::kValueAlignment - 1); }

// Sections in the order they are laid out, IFD0 first.
constexpr std::array<ExifSectionKind, 5> kWrittenSections = {
    ExifSectionKind::esGeneral, ExifSectionKind::esDetails, ExifSectionKind::esInterop,
    ExifSectionKind::esGPS, ExifSectionKind::esThumbnail};

uint64_t IfdSize(const ExifSection& section) {
  return layout::IfdLayout::CountSize + uint64_t(section.Count()) * layout::IfdLayout::EntrySize +
         layout::IfdLayout::NextSize;
}

// The largest TIFF block that fits into one APP1 segment behind "Exif" 00 00.
constexpr uint64_t kMaxTiffBlock = layout::kMaxSegmentData - layout::kExifHeaderSize;

// Start-of-frame markers whose segment holds the image size: the baseline, extended,
// progressive and lossless Huffman frames, and their hierarchical forms.
const JpegMarkers& FrameMarkers() {
  static const JpegMarkers markers = MakeMarkerSet({0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7});
  return markers;
}

// Data up to and including the first EOI of their segment structure.
std::vector<uint8_t> CutAfterEndOfImage(const std::vector<uint8_t>& jpeg) {
  JpegHeaderParser parser(jpeg, MakeMarkerSet({layout::kMarkerEOI}));
  FoundJpegSegment eoi;
  const size_t end = parser.Next(eoi) ? eoi.Offset + 2 : jpeg.size();
  return std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + end);
}

}  // namespace

// Lays the sections out and writes the TIFF block. The steps change the sections the way the
// written block shows them (padding removed, pointer and thumbnail tags set).
class ExifBlockBuilder {
public:
  explicit ExifBlockBuilder(CustomExifData& data) : data_(data) {}

  std::vector<uint8_t> Build() {
    if (data_.RemovePaddingTagsOnSave)
      for (auto& section : data_.sections_) RemovePaddingTag(*section);
    std::vector<uint8_t> thumbnail = PrepareThumbnail();
    PlaceMakerNote();
    std::vector<uint8_t> block;
    if (!Layout(thumbnail, block) && !thumbnail.empty()) {
      // Without its image IFD1 has nothing to describe: it goes together with the thumbnail.
      data_.thumbnail_.clear();
      data_.Section(ExifSectionKind::esThumbnail).Clear();
      thumbnail.clear();
      Layout(thumbnail, block);
    }
    if (block.empty())
      throw ExifError("Exif block does not fit into one JPEG segment of " + std::to_string(layout::kMaxSegmentData) +
                       " bytes");
    std::vector<uint8_t> segment(layout::kExifHeaderSize + block.size());
    std::memcpy(segment.data(), layout::kExifHeader, layout::kExifHeaderSize);
    std::copy(block.begin(), block.end(), segment.begin() + layout::kExifHeaderSize);
    return segment;
  }

private:
  void RemovePaddingTag(ExifSection& section) {
    for (const ExifTag& tag : section.Tags()) {
      if (tag.ID == ttag::Padding && tag.DataType == ExifDataType::Undefined && tag.ElementCount > 1 &&
          tag.Data.size() >= 2 && Get16(tag.Data.data(), data_.ByteOrder()) == ttag::Padding) {
        section.Remove(tag.ID);
        return;
      }
    }
  }

  // The thumbnail's JPEG data as they will be stored: cut after their EOI and, when larger
  // than the limit, reduced to fit 160 x 120.
  std::vector<uint8_t> PrepareThumbnail() {
    if (data_.thumbnail_.empty()) return {};
    std::vector<uint8_t> jpeg = CutAfterEndOfImage(data_.thumbnail_);
    if (jpeg.size() > layout::kMaxThumbnailBytes) {
      int32_t width = 0, height = 0;
      if (ReduceThumbnail(jpeg, width, height)) {
        ExifSection& ifd1 = data_.Section(ExifSectionKind::esThumbnail);
        if (ifd1.Find(ttag::ImageWidth) != nullptr || ifd1.Find(ttag::ImageLength) != nullptr) {
          data_.SetWord(ExifSectionKind::esThumbnail, ttag::ImageWidth, static_cast<uint16_t>(width));
          data_.SetWord(ExifSectionKind::esThumbnail, ttag::ImageLength, static_cast<uint16_t>(height));
        }
        data_.thumbnail_ = jpeg;
      }
      if (jpeg.size() > layout::kMaxThumbnailBytes)
        throw ExifError("Exif thumbnail of " + std::to_string(jpeg.size()) + " bytes exceeds the limit of " +
                         std::to_string(layout::kMaxThumbnailBytes) + " bytes");
    }
    return jpeg;
  }

  // Gives the pointer tags their presence; their values follow from the layout.
  void EnsurePointerTags(bool withThumbnail) {
    EnsurePointer(ExifSectionKind::esDetails, ttag::InteropIFD, ExifSectionKind::esInterop);
    EnsurePointer(ExifSectionKind::esGeneral, ttag::ExifIFD, ExifSectionKind::esDetails);
    EnsurePointer(ExifSectionKind::esGeneral, ttag::GPSIFD, ExifSectionKind::esGPS);
    if (withThumbnail) {
      data_.SetLongWord(ExifSectionKind::esThumbnail, ttag::JPEGInterchangeFormat, 0);
      data_.SetLongWord(ExifSectionKind::esThumbnail, ttag::JPEGInterchangeFormatLength,
                        static_cast<uint32_t>(thumbnailSize_));
      data_.SetWord(ExifSectionKind::esThumbnail, ttag::Compression, 6);
    } else {
      // A thumbnail offset that no longer points at a thumbnail would lead readers into
      // whatever lies there now.
      ExifSection& ifd1 = data_.Section(ExifSectionKind::esThumbnail);
      ifd1.Remove(ttag::JPEGInterchangeFormat);
      ifd1.Remove(ttag::JPEGInterchangeFormatLength);
    }
  }

  void EnsurePointer(ExifSectionKind holder, uint16_t id, ExifSectionKind target) {
    if (data_.Section(target).Empty())
      data_.Section(holder).Remove(id);
    else
      data_.SetLongWord(holder, id, 0);
  }

  // Decides where the maker note's data go: at their source offset (or where the offset
  // schema tag says they were first written), or with the other data of the Exif section.
  void PlaceMakerNote() {
    keepMakerNote_ = false;
    if (data_.MakerNotePosition != MakerNotePlacement::mnKeepAtSourceOffset) return;
    ExifSection& details = data_.Section(ExifSectionKind::esDetails);
    const ExifTag* note = details.Find(ttag::MakerNote);
    if (note == nullptr || note->Data.size() <= layout::IfdEntry::InlineSize || note->OriginalDataOffset == 0) return;
    int64_t offset = note->OriginalDataOffset;
    ExifTag* schema = details.Find(ttag::OffsetSchema);
    if (schema != nullptr && schema->DataType == ExifDataType::SignedLongWord && schema->ElementCount == 1 &&
        schema->Data.size() == 4) {
      const int64_t first = offset - static_cast<int32_t>(Get32(schema->Data.data(), data_.ByteOrder()));
      // Bytes 0 to 7 hold the TIFF header: an offset in there cannot be restored.
      if (first > 6 && first >= layout::TiffHeader::Size) {
        offset = first;
        Put32(schema->Data.data(), 0, data_.ByteOrder());
      }
    }
    // A damaged source may claim an offset inside the TIFF header. Kept there, the maker note
    // would overwrite the byte order, magic number and IFD0 offset written before it; it goes
    // with the Exif section's data instead.
    if (offset < layout::TiffHeader::Size) return;
    keepMakerNote_ = true;
    makerNoteStart_ = static_cast<uint64_t>(offset);
    makerNoteEnd_ = makerNoteStart_ + note->Data.size();
  }

  bool IsKeptMakerNote(const ExifSection& section, const ExifTag& tag) const {
    return keepMakerNote_ && tag.ID == ttag::MakerNote && section.Kind() == ExifSectionKind::esDetails;
  }

  // Size of a section's IFD and the data of its long tags, each item starting on an even offset.
  uint64_t SectionSize(const ExifSection& section) const {
    uint64_t size = IfdSize(section);
    for (const ExifTag& tag : section.Tags())
      if (tag.Data.size() > layout::IfdEntry::InlineSize && !IsKeptMakerNote(section, tag))
        size += AlignUp(tag.Data.size());
    return size;
  }

  // The next free offset for `size` bytes at or after `pos`, stepping over the maker note.
  uint64_t Place(uint64_t& pos, uint64_t size) const {
    uint64_t start = AlignUp(pos);
    if (keepMakerNote_ && start < makerNoteEnd_ && makerNoteStart_ < start + size) start = AlignUp(makerNoteEnd_);
    pos = start + size;
    return start;
  }

  // Builds the TIFF block into `block`; false (and an empty block) when it would not fit
  // into one segment.
  bool Layout(const std::vector<uint8_t>& thumbnail, std::vector<uint8_t>& block) {
    block.clear();
    thumbnailSize_ = thumbnail.size();
    EnsurePointerTags(!thumbnail.empty());

    std::array<uint64_t, kWrittenSections.size()> offsets{};
    std::array<bool, kWrittenSections.size()> written{};
    uint64_t pos = layout::TiffHeader::Size;
    for (size_t i = 0; i < kWrittenSections.size(); ++i) {
      const ExifSection& section = data_.Section(kWrittenSections[i]);
      written[i] = i == 0 || !section.Empty();
      if (written[i]) offsets[i] = Place(pos, SectionSize(section));
    }
    const uint64_t thumbnailOffset = thumbnail.empty() ? 0 : Place(pos, thumbnail.size());
    const uint64_t total = std::max(pos, keepMakerNote_ ? makerNoteEnd_ : 0);
    if (total > kMaxTiffBlock) return false;

    auto sectionOffset = [&](ExifSectionKind kind) {
      return static_cast<uint32_t>(offsets[static_cast<size_t>(kind) - 1]);
    };
    SetPointer(ExifSectionKind::esGeneral, ttag::ExifIFD, sectionOffset(ExifSectionKind::esDetails));
    SetPointer(ExifSectionKind::esGeneral, ttag::GPSIFD, sectionOffset(ExifSectionKind::esGPS));
    SetPointer(ExifSectionKind::esDetails, ttag::InteropIFD, sectionOffset(ExifSectionKind::esInterop));
    SetPointer(ExifSectionKind::esThumbnail, ttag::JPEGInterchangeFormat, static_cast<uint32_t>(thumbnailOffset));

    block.assign(total, 0);
    const Endianness order = data_.ByteOrder();
    block[0] = block[1] = order == Endianness::LittleEndian ? 'I' : 'M';
    Put16(&block[layout::TiffHeader::Magic], layout::kTiffMagic, order);
    Put32(&block[layout::TiffHeader::FirstIfd], sectionOffset(ExifSectionKind::esGeneral), order);
    const bool hasIfd1 = written[static_cast<size_t>(ExifSectionKind::esThumbnail) - 1];
    for (size_t i = 0; i < kWrittenSections.size(); ++i) {
      if (!written[i]) continue;
      const uint32_t next = i == 0 && hasIfd1 ? sectionOffset(ExifSectionKind::esThumbnail) : 0;
      WriteSection(data_.Section(kWrittenSections[i]), offsets[i], next, block);
    }
    if (!thumbnail.empty()) std::copy(thumbnail.begin(), thumbnail.end(), block.begin() + thumbnailOffset);
    if (keepMakerNote_) {
      const ExifTag* note = data_.Section(ExifSectionKind::esDetails).Find(ttag::MakerNote);
      std::copy(note->Data.begin(), note->Data.end(), block.begin() + makerNoteStart_);
    }
    return true;
  }

  void SetPointer(ExifSectionKind holder, uint16_t id, uint32_t offset) {
    if (ExifTag* tag = data_.Section(holder).Find(id)) Put32(tag->Data.data(), offset, data_.ByteOrder());
  }

  void WriteSection(const ExifSection& section, uint64_t offset, uint32_t next, std::vector<uint8_t>& block) const {
    const Endianness order = data_.ByteOrder();
    uint8_t* ifd = block.data() + offset;
    Put16(ifd, static_cast<uint16_t>(section.Count()), order);
    uint64_t dataPos = offset + IfdSize(section);
    uint8_t* entry = ifd + layout::IfdLayout::CountSize;
    for (const ExifTag& tag : section.Tags()) {
      Put16(entry + layout::IfdEntry::Tag, tag.ID, order);
      Put16(entry + layout::IfdEntry::Type, static_cast<uint16_t>(tag.DataType), order);
      Put32(entry + layout::IfdEntry::Count, tag.ElementCount, order);
      if (tag.Data.size() <= layout::IfdEntry::InlineSize) {
        std::copy(tag.Data.begin(), tag.Data.end(), entry + layout::IfdEntry::Value);
      } else if (IsKeptMakerNote(section, tag)) {
        Put32(entry + layout::IfdEntry::Value, static_cast<uint32_t>(makerNoteStart_), order);
      } else {
        dataPos = AlignUp(dataPos);
        Put32(entry + layout::IfdEntry::Value, static_cast<uint32_t>(dataPos), order);
        std::copy(tag.Data.begin(), tag.Data.end(), block.begin() + dataPos);
        dataPos += tag.Data.size();
      }
      entry += layout::IfdLayout::EntrySize;
    }
    Put32(entry, next, order);
  }

  CustomExifData& data_;
  size_t thumbnailSize_ = 0;
  bool keepMakerNote_ = false;
  uint64_t makerNoteStart_ = 0;
  uint64_t makerNoteEnd_ = 0;
};

std::vector<uint8_t> CustomExifData::SaveToExifSegmentData() { return ExifBlockBuilder(*this).Build(); }

// ---- ExifData: writing into a JPEG -----------------------------------------------------------

void ExifData::UpdatePixelDimensions(std::span<const uint8_t> jpeg) {
  ExifSection& details = Section(ExifSectionKind::esDetails);
  const bool inExif = details.Find(ttag::PixelXDimension) != nullptr || details.Find(ttag::PixelYDimension) != nullptr;
  if (!inExif && !HasRawXMP() && xmp_.Empty()) return;
  JpegHeaderParser parser(jpeg, FrameMarkers());
  FoundJpegSegment frame;
  bool found = false;
  while (parser.Next(frame))
    if (frame.Data.size() >= layout::FrameHeader::MinSize) {
      found = true;
      break;
    }
  if (!found) return;
  const uint32_t width = (uint32_t(frame.Data[layout::FrameHeader::Width]) << 8) | frame.Data[layout::FrameHeader::Width + 1];
  const uint32_t height =
      (uint32_t(frame.Data[layout::FrameHeader::Height]) << 8) | frame.Data[layout::FrameHeader::Height + 1];
  if (inExif) {
    for (auto [id, value] : {std::pair{ttag::PixelXDimension, width}, std::pair{ttag::PixelYDimension, height}}) {
      const ExifTag* tag = details.Find(id);
      if (tag != nullptr && tag->DataType == ExifDataType::Word && tag->ElementCount == 1 && value <= 0xFFFF)
        SetWord(ExifSectionKind::esDetails, id, static_cast<uint16_t>(value));
      else
        SetLongWord(ExifSectionKind::esDetails, id, value);
    }
  }
  auto update = [&](ContainedXmpPacket& packet) {
    return packet.UpdateProperty(xmpns::Exif, "PixelXDimension", std::to_string(width)) +
           packet.UpdateProperty(xmpns::Exif, "PixelYDimension", std::to_string(height));
  };
  if (inExif) {
    update(XMPPacket());
    return;
  }
  // The packet's pixel size is corrected also when the Exif block has none: left alone it
  // would describe the source's size. An untouched packet stays byte for byte as it was
  // unless it has such a property.
  if (!HasRawXMP()) {
    update(xmp_);
    return;
  }
  ContainedXmpPacket probe;
  try {
    probe.LoadFromData(std::span<const uint8_t>(rawXmp_).subspan(layout::kXmpIdentifierSize));
  } catch (const InvalidXmpPacket&) {
    return;
  }
  if (update(probe) > 0) {
    xmp_ = std::move(probe);
    rawXmp_.clear();
  }
}

std::vector<uint8_t> ExifData::InsertIntoJPEG(std::span<const uint8_t> jpeg) {
  if (!HasJPEGSignature(jpeg)) throw InvalidJpegHeader();
  UpdatePixelDimensions(jpeg);

  std::vector<uint8_t> out = {0xFF, layout::kMarkerSOI};
  // Segments left out of the copy: every APP0 (written first, so JFIF stays the first
  // segment) and the old Exif and XMP segments.
  std::vector<FoundJpegSegment> moved;
  bool exifSeen = false, xmpSeen = false;
  for (const FoundJpegSegment& segment :
       FindJPEGSegments(jpeg, MakeMarkerSet({layout::kMarkerAPP0, layout::kMarkerAPP1}))) {
    if (segment.Marker == layout::kMarkerAPP0) {
      out.insert(out.end(), jpeg.begin() + segment.Offset, jpeg.begin() + segment.Offset + segment.TotalSize());
      moved.push_back(segment);
    } else if (!exifSeen && segment.Data.size() >= layout::kExifHeaderSize &&
               std::memcmp(segment.Data.data(), layout::kExifHeader, layout::kExifHeaderSize) == 0) {
      exifSeen = true;
      moved.push_back(segment);
    } else if (!xmpSeen && segment.Data.size() >= layout::kXmpIdentifierSize &&
               std::memcmp(segment.Data.data(), layout::kXmpIdentifier, layout::kXmpIdentifierSize) == 0) {
      xmpSeen = true;
      moved.push_back(segment);
    }
  }

  if (HasTags()) UserJpegSegment{layout::kMarkerAPP1, SaveToExifSegmentData()}.WriteTo(out);
  if (HasRawXMP()) {
    UserJpegSegment{layout::kMarkerAPP1, rawXmp_}.WriteTo(out);
  } else if (!xmp_.Empty()) {
    UserJpegSegment xmp{layout::kMarkerAPP1, {}};
    xmp.Data.assign(layout::kXmpIdentifier, layout::kXmpIdentifier + layout::kXmpIdentifierSize);
    const std::vector<uint8_t> text = xmp_.SaveToData();
    xmp.Data.insert(xmp.Data.end(), text.begin(), text.end());
    xmp.Data.push_back(' ');
    xmp.WriteTo(out);
  }

  size_t pos = 2;
  for (const FoundJpegSegment& segment : moved) {
    out.insert(out.end(), jpeg.begin() + pos, jpeg.begin() + segment.Offset);
    pos = segment.Offset + segment.TotalSize();
  }
  out.insert(out.end(), jpeg.begin() + pos, jpeg.end());
  return out;
}

void ExifData::SaveToJPEG(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::binary);
  if (!file) throw ExifError("Cannot open file " + fileName);
  const std::vector<uint8_t> content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) throw ExifError("Cannot read file " + fileName);
  file.close();
  const std::vector<uint8_t> rewritten = InsertIntoJPEG(content);
  std::string error;
  if (!base::WriteFileAtomically(fileName, rewritten, &error)) throw ExifError("Cannot replace file " + fileName + ": " + error);
}

}  // namespace engine::exif
