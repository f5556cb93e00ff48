// A configuration file in INI form, held in memory: section header lines "[name]" and value
// lines "key=value". Reading and writing follow the rules any INI reader and writer of the
// program's files use:
//   - section and key names compare without regard to letter case (ASCII);
//   - blanks and control characters around a key or a value are not part of it, and one pair
//     of enclosing quotation marks (both ' or both ") is removed from a value;
//   - a value is read up to 16384 characters;
//   - writing a key keeps its line's place (new keys go to the end of their section, new
//     sections to the end of the file); every line this file did not write, unknown sections and
//     keys included, is written back byte for byte.
// A new file is UTF-16 little-endian with the byte-order mark FF FE; a file read from disk keeps
// its encoding (UTF-16 with a byte-order mark, or 8-bit text: UTF-8 when it is valid UTF-8,
// else Latin-1).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/Error.h"

namespace config {

enum class TextEncoding {
  Utf16LE,  // byte-order mark FF FE
  Utf16BE,  // byte-order mark FE FF
  Utf8,     // 8-bit text that is valid UTF-8, no byte-order mark
  Utf8Bom,  // UTF-8 behind the mark EF BB BF
  Latin1,   // 8-bit text that is not valid UTF-8
};

// The longest value a read returns, in characters; longer values are cut.
inline constexpr size_t kMaxValueLength = 16384;

// A configuration file that could not be written. what() is "Unable to write to " and the path;
// Reason() tells why.
class ConfigWriteError : public base::Error {
public:
  ConfigWriteError(const std::string& path, std::string reason);
  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }

private:
  std::string path_;
  std::string reason_;
};

class VxcFile {
public:
  // An empty new file in the given encoding.
  explicit VxcFile(TextEncoding encoding = TextEncoding::Utf16LE);
  // A file's bytes. Never fails: any byte sequence is some text.
  static VxcFile Parse(const std::vector<uint8_t>& bytes);

  TextEncoding Encoding() const { return encoding_; }

  // The value of a key, enclosing quotes removed and cut to kMaxValueLength characters; nothing
  // when the section or the key is missing. The first section of a name counts, and within it
  // the first line of the key.
  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
  // An integer value: decimal with an optional sign, or hexadecimal after "0x", "0X" or "$";
  // nothing when the key is missing or its value is not an integer.
  std::optional<int32_t> ReadInteger(std::string_view section, std::string_view key) const;

  // Writes a text so that ReadString gives it back unchanged (see QuoteValue). Line breaks and
  // zero characters, which a line cannot hold, are written as blanks.
  void WriteString(std::string_view section, std::string_view key, std::string_view text);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value) { WriteInteger(section, key, value ? 1 : 0); }

  // The whole file in its encoding.
  std::vector<uint8_t> Serialize() const;

  // Section names in file order (as written in the file), for inspection.
  std::vector<std::string> SectionNames() const;

private:
  enum class LineKind { Other, Section, Key };
  enum class LineEnd { None, CRLF, LF, CR };
  struct Line {
    LineKind kind = LineKind::Other;
    bool blank = false;     // nothing but blanks and control characters
    std::string name;       // section or key name as written
    std::string value;      // a key's raw value: blanks around it removed, quotes kept
    std::vector<uint8_t> raw;  // the line's bytes as read (without its end); empty when rewritten
    bool rewritten = false;    // written by this object: encoded from `text`
    std::string text;          // the line's text (UTF-8) when rewritten
    LineEnd end = LineEnd::CRLF;
  };

  static Line ClassifyLine(const std::string& text);
  // The index of the header line of the first section of the name, or -1.
  long FindSection(std::string_view section) const;
  // The index of the key's line inside the section starting at `header`, or -1.
  long FindKey(long header, std::string_view key) const;
  // The index after the last line of the section starting at `header`.
  size_t SectionEnd(long header) const;
  void Insert(size_t at, const std::string& text, LineKind kind, std::string name, std::string value);
  std::vector<uint8_t> Encode(std::string_view text) const;
  std::vector<uint8_t> EncodeEnd(LineEnd end) const;

  TextEncoding encoding_;
  std::vector<uint8_t> bom_;
  std::vector<Line> lines_;
};

// The written form of a text: a text of two or more characters that begins and ends with ' gets
// another pair of ', one that begins and ends with " another pair of "; then a text that begins
// or ends with a blank or a control character gets a pair of ".
std::string QuoteValue(std::string_view text);
// The reading side: one pair of enclosing quotation marks removed.
std::string UnquoteValue(std::string_view value);

// Reads a whole file; nothing when it is missing, unreadable, a folder or larger than
// kMaxFileSize.
inline constexpr size_t kMaxFileSize = 64u << 20;
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path);

// Writes the bytes over `path` through a temporary file in the same folder, renamed into place
// when complete, so that a failure leaves an existing file as it was. An existing file keeps its
// permission bits; a symbolic link stays and the file it names is replaced. Throws
// ConfigWriteError.
void ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace config
