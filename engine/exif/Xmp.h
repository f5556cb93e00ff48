// An XMP packet held as an XML document (libxml2), as carried in an APP1 segment of a JPEG.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct _xmlDoc;

namespace engine::exif {

// Schema namespaces whose properties the carry-over updates.
namespace xmpns {
inline constexpr char XMPBasic[] = "http://ns.adobe.com/xap/1.0/";
inline constexpr char Tiff[] = "http://ns.adobe.com/tiff/1.0/";
inline constexpr char Exif[] = "http://ns.adobe.com/exif/1.0/";
inline constexpr char Rdf[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
inline constexpr char ExifEx[] = "http://cipa.jp/exif/1.0/";
inline constexpr char Aux[] = "http://ns.adobe.com/exif/1.0/aux/";
inline constexpr char Photoshop[] = "http://ns.adobe.com/photoshop/1.0/";
inline constexpr char IptcCore[] = "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/";
inline constexpr char IptcExt[] = "http://iptc.org/std/Iptc4xmpExt/2008-02-29/";
}  // namespace xmpns

class ContainedXmpPacket {
public:
  ContainedXmpPacket() = default;
  ~ContainedXmpPacket();
  ContainedXmpPacket(const ContainedXmpPacket&) = delete;
  ContainedXmpPacket& operator=(const ContainedXmpPacket&) = delete;
  ContainedXmpPacket(ContainedXmpPacket&& other) noexcept : doc_(other.doc_) { other.doc_ = nullptr; }
  ContainedXmpPacket& operator=(ContainedXmpPacket&& other) noexcept;

  // Parses the packet text (the bytes after the identifier of the XMP segment). Text that is
  // empty or holds only blanks and NUL bytes gives an empty packet. Raises InvalidXmpPacket
  // when the text is not well-formed XML; the packet is then empty.
  void LoadFromData(std::span<const uint8_t> text);
  void Clear();
  bool Empty() const { return doc_ == nullptr; }

  // Gives `value` to every top-level property `name` of the schema `schemaNamespace` that
  // the packet already holds, in attribute form (on rdf:Description) or element form. The
  // name is compared exactly; nothing is added. Returns the number of places changed.
  int UpdateProperty(const char* schemaNamespace, const char* name, const std::string& value);
  // Removes every top-level property of the schema whose name begins with `namePrefix`, in
  // either form, with everything inside it. Returns the number removed.
  int RemoveProperties(const char* schemaNamespace, const char* namePrefix);
  // The text of the first such property, or empty text.
  std::string GetProperty(const char* schemaNamespace, const char* name) const;

  // The document serialised as UTF-8 XML without an XML declaration; empty for an empty packet.
  std::vector<uint8_t> SaveToData() const;

private:
  _xmlDoc* doc_ = nullptr;
};

}  // namespace engine::exif
