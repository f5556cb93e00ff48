#include "config/VxcFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/AtomicFile.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "forms/NumberText.h"

namespace config {

namespace {


// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    const uint8_t lead = data[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t extra;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (size - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((data[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (data[i + k] & 0x3F);
    }
    if ((extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += extra + 1;
  }
  return true;
}

size_t UnitSize(TextEncoding encoding) {
  return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE ? 2 : 1;
}

// The code unit at a byte offset.
uint32_t UnitAt(const std::vector<uint8_t>& bytes, size_t at, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf16LE) return bytes[at] | (bytes[at + 1] << 8);
  if (encoding == TextEncoding::Utf16BE) return (bytes[at] << 8) | bytes[at + 1];
  return bytes[at];
}

std::string DecodeLine(const std::vector<uint8_t>& bytes, size_t begin, size_t end, TextEncoding encoding) {
  std::string text;
  switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom: return std::string(bytes.begin() + static_cast<long>(begin), bytes.begin() + static_cast<long>(end));
    case TextEncoding::Latin1:
      for (size_t i = begin; i < end; ++i) text += base::EncodeUtf8(bytes[i]);
      return text;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
      for (size_t i = begin; i < end; i += 2) {
        const uint32_t unit = UnitAt(bytes, i, encoding);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 2 < end) {
          const uint32_t low = UnitAt(bytes, i + 2, encoding);
          if (low >= 0xDC00 && low <= 0xDFFF) {
            text += base::EncodeUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            i += 2;
            continue;
          }
        }
        text += base::EncodeUtf8(unit);  // a lone surrogate becomes U+FFFD
      }
      return text;
  }
  return text;
}

// Line breaks and zero characters would split or end the line a value is written on.
std::string Sanitize(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return out;
}

// The first `count` characters of a UTF-8 text.
std::string CutCharacters(const std::string& text, size_t count) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters == count) return text.substr(0, i);
    ++characters;
  }
  return text;
}

}  // namespace

ConfigWriteError::ConfigWriteError(const std::string& path, std::string reason)
    : base::Error("Unable to write to " + path), path_(path), reason_(std::move(reason)) {}

std::string QuoteValue(std::string_view text) {
  std::string s(text);
  if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'') s = "'" + s + "'";
  else if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = "\"" + s + "\"";
  if (!s.empty() && (static_cast<unsigned char>(s.front()) <= 32 || static_cast<unsigned char>(s.back()) <= 32))
    s = "\"" + s + "\"";
  return s;
}

std::string UnquoteValue(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front())
    return std::string(value.substr(1, value.size() - 2));
  return std::string(value);
}

VxcFile::VxcFile(TextEncoding encoding) : encoding_(encoding) {
  if (encoding == TextEncoding::Utf16LE) bom_ = {0xFF, 0xFE};
  else if (encoding == TextEncoding::Utf16BE) bom_ = {0xFE, 0xFF};
  else if (encoding == TextEncoding::Utf8Bom) bom_ = {0xEF, 0xBB, 0xBF};
}

VxcFile::Line VxcFile::ClassifyLine(const std::string& text) {
  Line line;
  const std::string trimmed = base::TrimBlanks(text);
  line.blank = trimmed.empty();
  if (trimmed.empty() || trimmed.front() == ';') return line;
  if (trimmed.front() == '[') {
    const size_t close = trimmed.find(']');
    line.kind = LineKind::Section;
    line.name = base::TrimBlanks(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return line;
  }
  const size_t equals = trimmed.find('=');
  if (equals == std::string::npos) return line;
  line.kind = LineKind::Key;
  line.name = base::TrimBlanks(trimmed.substr(0, equals));
  line.value = base::TrimBlanks(trimmed.substr(equals + 1));
  return line;
}

VxcFile VxcFile::Parse(const std::vector<uint8_t>& bytes) {
  TextEncoding encoding;
  size_t start = 0;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    encoding = TextEncoding::Utf16LE;
    start = 2;
  } else if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    encoding = TextEncoding::Utf16BE;
    start = 2;
  } else if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    encoding = TextEncoding::Utf8Bom;
    start = 3;
  } else {
    encoding = IsValidUtf8(bytes.data(), bytes.size()) ? TextEncoding::Utf8 : TextEncoding::Latin1;
  }
  VxcFile file(encoding);
  if (encoding == TextEncoding::Utf8Bom && !IsValidUtf8(bytes.data() + 3, bytes.size() - 3)) {
    // A mark that lies about the text: read the text as Latin-1 and keep the three bytes.
    file.encoding_ = TextEncoding::Latin1;
    encoding = TextEncoding::Latin1;
  }

  const size_t unit = UnitSize(encoding);
  // A UTF-16 file of an odd length ends in half a character, which is dropped.
  const size_t end = start + (bytes.size() - start) / unit * unit;
  size_t lineStart = start;
  size_t i = start;
  auto addLine = [&](size_t lineEnd, LineEnd ending) {
    Line line = ClassifyLine(DecodeLine(bytes, lineStart, lineEnd, encoding));
    line.raw.assign(bytes.begin() + static_cast<long>(lineStart), bytes.begin() + static_cast<long>(lineEnd));
    line.end = ending;
    file.lines_.push_back(std::move(line));
  };
  while (i < end) {
    const uint32_t u = UnitAt(bytes, i, encoding);
    if (u == '\r' || u == '\n') {
      LineEnd ending = u == '\n' ? LineEnd::LF : LineEnd::CR;
      size_t next = i + unit;
      if (u == '\r' && next < end && UnitAt(bytes, next, encoding) == '\n') {
        ending = LineEnd::CRLF;
        next += unit;
      }
      addLine(i, ending);
      i = lineStart = next;
    } else {
      i += unit;
    }
  }
  if (lineStart < end) addLine(end, LineEnd::None);
  return file;
}

long VxcFile::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == LineKind::Section && base::EqualNoCase(lines_[i].name, section)) return static_cast<long>(i);
  return -1;
}

size_t VxcFile::SectionEnd(long header) const {
  size_t i = static_cast<size_t>(header) + 1;
  while (i < lines_.size() && lines_[i].kind != LineKind::Section) ++i;
  return i;
}

long VxcFile::FindKey(long header, std::string_view key) const {
  const size_t end = SectionEnd(header);
  for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i)
    if (lines_[i].kind == LineKind::Key && base::EqualNoCase(lines_[i].name, key)) return static_cast<long>(i);
  return -1;
}

std::optional<std::string> VxcFile::ReadString(std::string_view section, std::string_view key) const {
  const long header = FindSection(section);
  if (header < 0) return std::nullopt;
  const long at = FindKey(header, key);
  if (at < 0) return std::nullopt;
  return CutCharacters(UnquoteValue(lines_[static_cast<size_t>(at)].value), kMaxValueLength);
}

std::optional<int32_t> VxcFile::ReadInteger(std::string_view section, std::string_view key) const {
  const auto text = ReadString(section, key);
  if (!text) return std::nullopt;
  return forms::ParseIntegerText(*text);
}

void VxcFile::Insert(size_t at, const std::string& text, LineKind kind, std::string name, std::string value) {
  // The line before the new one must end, or the two would run together.
  if (at > 0 && lines_[at - 1].end == LineEnd::None) lines_[at - 1].end = LineEnd::CRLF;
  Line line;
  line.kind = kind;
  line.name = std::move(name);
  line.value = std::move(value);
  line.rewritten = true;
  line.text = text;
  line.end = LineEnd::CRLF;
  lines_.insert(lines_.begin() + static_cast<long>(at), std::move(line));
}

void VxcFile::WriteString(std::string_view section, std::string_view key, std::string_view text) {
  const std::string value = QuoteValue(Sanitize(text));
  const std::string keyName = Sanitize(key);
  const long header = FindSection(section);
  if (header < 0) {
    const std::string sectionName = Sanitize(section);
    Insert(lines_.size(), "[" + sectionName + "]", LineKind::Section, sectionName, "");
    Insert(lines_.size(), keyName + "=" + value, LineKind::Key, keyName, value);
    return;
  }
  const long found = FindKey(header, key);
  if (found >= 0) {
    Line& line = lines_[static_cast<size_t>(found)];
    if (line.value == value) return;
    line.value = value;
    line.text = line.name + "=" + value;
    line.rewritten = true;
    line.raw.clear();
    return;
  }
  // After the section's last line that is not blank, so that blank lines between sections stay.
  size_t at = SectionEnd(header);
  while (at > static_cast<size_t>(header) + 1) {
    if (!lines_[at - 1].blank) break;
    --at;
  }
  Insert(at, keyName + "=" + value, LineKind::Key, keyName, value);
}

void VxcFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

std::vector<uint8_t> VxcFile::Encode(std::string_view text) const {
  std::vector<uint8_t> out;
  for (char32_t code : base::DecodeUtf8(text)) {
    switch (encoding_) {
      case TextEncoding::Utf8:
      case TextEncoding::Utf8Bom:
        for (char c : base::EncodeUtf8(code)) out.push_back(static_cast<uint8_t>(c));
        break;
      case TextEncoding::Latin1: out.push_back(code <= 0xFF ? static_cast<uint8_t>(code) : '?'); break;
      case TextEncoding::Utf16LE:
      case TextEncoding::Utf16BE: {
        uint16_t units[2];
        int count = 1;
        if (code >= 0x10000) {
          units[0] = static_cast<uint16_t>(0xD800 + ((code - 0x10000) >> 10));
          units[1] = static_cast<uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
          count = 2;
        } else {
          units[0] = static_cast<uint16_t>(code);
        }
        for (int k = 0; k < count; ++k) {
          const uint8_t low = static_cast<uint8_t>(units[k] & 0xFF), high = static_cast<uint8_t>(units[k] >> 8);
          if (encoding_ == TextEncoding::Utf16LE) {
            out.push_back(low);
            out.push_back(high);
          } else {
            out.push_back(high);
            out.push_back(low);
          }
        }
        break;
      }
    }
  }
  return out;
}

std::vector<uint8_t> VxcFile::EncodeEnd(LineEnd end) const {
  switch (end) {
    case LineEnd::None: return {};
    case LineEnd::CRLF: return Encode("\r\n");
    case LineEnd::LF: return Encode("\n");
    case LineEnd::CR: return Encode("\r");
  }
  return {};
}

std::vector<uint8_t> VxcFile::Serialize() const {
  std::vector<uint8_t> out = bom_;
  for (const Line& line : lines_) {
    if (line.rewritten) {
      const std::vector<uint8_t> encoded = Encode(line.text);
      out.insert(out.end(), encoded.begin(), encoded.end());
    } else {
      out.insert(out.end(), line.raw.begin(), line.raw.end());
    }
    const std::vector<uint8_t> end = EncodeEnd(line.end);
    out.insert(out.end(), end.begin(), end.end());
  }
  return out;
}

std::vector<std::string> VxcFile::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : lines_)
    if (line.kind == LineKind::Section) names.push_back(line.name);
  return names;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  // A named pipe or a device named by mistake must not hang the program.
  const int fd = base::OpenRegularFile(path);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (fstat(fd, &info) != 0 || info.st_size < 0 ||
      static_cast<uint64_t>(info.st_size) > kMaxFileSize) {
    close(fd);
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(info.st_size));
  uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || bytes.size() + static_cast<size_t>(n) > kMaxFileSize) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  close(fd);
  return bytes;
}

void ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  // Synced whatever it replaces: the user counts on a saved configuration.
  base::AtomicFile file(path, {.permissions = std::nullopt, .durable = true});
  if (!file.Write(bytes.data(), bytes.size()) || !file.Commit()) throw ConfigWriteError(path, file.Cause());
}

}  // namespace config
