#include "engine/exif/Xmp.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <cstring>
#include <mutex>

#include "engine/exif/Errors.h"

namespace engine::exif {

namespace {

// libxml2 wants its global tables set up once before parsers run on several threads.
void EnsureXmlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

bool IsBlank(uint8_t c) { return c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

bool IsNamed(const xmlNode* node, const char* ns, const char* name) {
  return node->ns != nullptr && node->ns->href != nullptr && xmlStrcmp(node->ns->href, X(ns)) == 0 &&
         xmlStrcmp(node->name, X(name)) == 0;
}

bool IsAttrNamed(const xmlAttr* attr, const char* ns, const char* name) {
  return attr->ns != nullptr && attr->ns->href != nullptr && xmlStrcmp(attr->ns->href, X(ns)) == 0 &&
         xmlStrcmp(attr->name, X(name)) == 0;
}

// The rdf:Description elements that hold the top-level properties: children of every
// rdf:RDF element (normally one, inside x:xmpmeta). Collected without recursion so that a
// deeply nested hostile document cannot exhaust the stack.
std::vector<xmlNode*> FindDescriptions(xmlDoc* doc) {
  std::vector<xmlNode*> descriptions;
  std::vector<xmlNode*> pending;
  if (xmlNode* root = xmlDocGetRootElement(doc)) pending.push_back(root);
  while (!pending.empty()) {
    xmlNode* node = pending.back();
    pending.pop_back();
    if (IsNamed(node, xmpns::Rdf, "RDF")) {
      for (xmlNode* child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE && IsNamed(child, xmpns::Rdf, "Description")) descriptions.push_back(child);
      continue;
    }
    for (xmlNode* child = node->last; child != nullptr; child = child->prev)
      if (child->type == XML_ELEMENT_NODE) pending.push_back(child);
  }
  return descriptions;
}

bool HasPrefix(const xmlChar* name, const char* prefix) {
  return name != nullptr && xmlStrncmp(name, X(prefix), xmlStrlen(X(prefix))) == 0;
}

std::string NodeText(const xmlNode* node) {
  std::string text;
  if (xmlChar* content = xmlNodeGetContent(node)) {
    text = reinterpret_cast<const char*>(content);
    xmlFree(content);
  }
  return text;
}

}  // namespace

ContainedXmpPacket::~ContainedXmpPacket() { Clear(); }

ContainedXmpPacket& ContainedXmpPacket::operator=(ContainedXmpPacket&& other) noexcept {
  if (this != &other) {
    Clear();
    doc_ = other.doc_;
    other.doc_ = nullptr;
  }
  return *this;
}

void ContainedXmpPacket::Clear() {
  if (doc_ != nullptr) xmlFreeDoc(doc_);
  doc_ = nullptr;
}

void ContainedXmpPacket::LoadFromData(std::span<const uint8_t> text) {
  Clear();
  // Writers pad the packet with blanks or NUL bytes after its end.
  size_t size = text.size();
  while (size > 0 && IsBlank(text[size - 1])) --size;
  size_t start = 0;
  while (start < size && IsBlank(text[start])) ++start;
  if (start == size) return;
  if (size > static_cast<size_t>(INT32_MAX)) throw InvalidXmpPacket();
  EnsureXmlInitialised();
  // No network access, no entity substitution, no messages on the console.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  doc_ = xmlReadMemory(reinterpret_cast<const char*>(text.data()), static_cast<int>(size), nullptr, nullptr, options);
  if (doc_ == nullptr) throw InvalidXmpPacket();
  if (xmlDocGetRootElement(doc_) == nullptr) {
    Clear();
    throw InvalidXmpPacket();
  }
}

int ContainedXmpPacket::UpdateProperty(const char* schemaNamespace, const char* name, const std::string& value) {
  if (doc_ == nullptr) return 0;
  int changed = 0;
  for (xmlNode* description : FindDescriptions(doc_)) {
    for (xmlAttr* attr = description->properties; attr != nullptr; attr = attr->next) {
      if (!IsAttrNamed(attr, schemaNamespace, name)) continue;
      xmlSetNsProp(description, attr->ns, attr->name, X(value.c_str()));
      ++changed;
      break;
    }
    for (xmlNode* child = description->children; child != nullptr; child = child->next) {
      if (child->type != XML_ELEMENT_NODE || !IsNamed(child, schemaNamespace, name)) continue;
      while (child->children != nullptr) {
        xmlNode* old = child->children;
        xmlUnlinkNode(old);
        xmlFreeNode(old);
      }
      xmlAddChild(child, xmlNewDocText(doc_, X(value.c_str())));
      ++changed;
    }
  }
  return changed;
}

int ContainedXmpPacket::RemoveProperties(const char* schemaNamespace, const char* namePrefix) {
  if (doc_ == nullptr) return 0;
  int removed = 0;
  const auto inSchema = [&](const xmlNs* ns) {
    return ns != nullptr && ns->href != nullptr && xmlStrcmp(ns->href, X(schemaNamespace)) == 0;
  };
  for (xmlNode* description : FindDescriptions(doc_)) {
    for (xmlAttr* attr = description->properties; attr != nullptr;) {
      xmlAttr* next = attr->next;
      if (inSchema(attr->ns) && HasPrefix(attr->name, namePrefix)) {
        xmlRemoveProp(attr);
        ++removed;
      }
      attr = next;
    }
    for (xmlNode* child = description->children; child != nullptr;) {
      xmlNode* next = child->next;
      if (child->type == XML_ELEMENT_NODE && inSchema(child->ns) && HasPrefix(child->name, namePrefix)) {
        xmlUnlinkNode(child);
        xmlFreeNode(child);
        ++removed;
      }
      child = next;
    }
  }
  return removed;
}

std::string ContainedXmpPacket::GetProperty(const char* schemaNamespace, const char* name) const {
  if (doc_ == nullptr) return {};
  for (xmlNode* description : FindDescriptions(doc_)) {
    for (xmlAttr* attr = description->properties; attr != nullptr; attr = attr->next)
      if (IsAttrNamed(attr, schemaNamespace, name)) return NodeText(reinterpret_cast<const xmlNode*>(attr));
    for (xmlNode* child = description->children; child != nullptr; child = child->next)
      if (child->type == XML_ELEMENT_NODE && IsNamed(child, schemaNamespace, name)) return NodeText(child);
  }
  return {};
}

std::vector<uint8_t> ContainedXmpPacket::SaveToData() const {
  if (doc_ == nullptr) return {};
  xmlBuffer* buffer = xmlBufferCreate();
  if (buffer == nullptr) throw ExifError("Out of memory while serialising the XMP packet");
  xmlSaveCtxt* save = xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_NO_DECL);
  if (save == nullptr) {
    xmlBufferFree(buffer);
    throw ExifError("Cannot serialise the XMP packet");
  }
  const long result = xmlSaveDoc(save, doc_);
  xmlSaveClose(save);
  std::vector<uint8_t> data;
  if (result >= 0) {
    const xmlChar* content = xmlBufferContent(buffer);
    data.assign(content, content + xmlBufferLength(buffer));
  }
  xmlBufferFree(buffer);
  if (result < 0) throw ExifError("Cannot serialise the XMP packet");
  return data;
}

}  // namespace engine::exif
