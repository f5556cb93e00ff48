// X Window pixmaps (XPM 3), read only: the C-string lines of the file give the values line,
// the colour table and the pixel rows.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/Codec.h"

namespace imaging::formats {

namespace {

const char kSignature[] = "/* XPM */";

struct NamedColor {
  const char* Name;
  Color32 Color;
};

const NamedColor kNamedColors[] = {
    {"transparent", 0x00000000}, {"none", 0x00000000},     {"black", 0xFF000000},     {"blue", 0xFF0000FF},
    {"green", 0xFF008000},       {"cyan", 0xFF00FFFF},     {"red", 0xFFFF0000},       {"magenta", 0xFFFF00FF},
    {"yellow", 0xFFFFFF00},      {"white", 0xFFFFFFFF},    {"gray", 0xFFC0C0C0},      {"dkblue", 0xFF000080},
    {"dkgreen", 0xFF008000},     {"dkcyan", 0xFF008080},   {"dkred", 0xFF800000},     {"dkmagenta", 0xFF800080},
    {"dkyellow", 0xFF808000},    {"maroon", 0xFF800000},   {"olive", 0xFF808000},     {"navy", 0xFF000080},
    {"purple", 0xFF800080},      {"teal", 0xFF008080},     {"silver", 0xFFC0C0C0},    {"lime", 0xFF00FF00},
    {"fuchsia", 0xFFFF00FF},     {"aqua", 0xFF00FFFF},
};

// One entry of the colour table: the pixel key and its colour.
struct ColorHolder {
  std::string_view Key;
  Color32 Color;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The next whitespace-separated word of `text` from `pos` on; empty at the end.
std::string_view NextWord(std::string_view text, size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  const size_t start = pos;
  while (pos < text.size() && !IsBlank(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

bool ParseNumber(std::string_view word, int64_t& value) {
  if (word.empty() || word.size() > 10) return false;
  value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "#" and hexadecimal digits: #RRGGBB, and also the short #RGB and the longer 9- and 12-digit
// forms, of which the high byte of each component counts.
Color32 ParseHexColor(std::string_view word) {
  const std::string_view digits = word.substr(1);
  uint64_t value = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0 || digits.size() > 12)
      RaiseImaging("Invalid XPM colour \"%.*s\".", static_cast<int>(std::min<size_t>(word.size(), 40)), word.data());
    value = value * 16 + uint64_t(d);
  }
  if (digits.empty()) RaiseImaging("Invalid XPM colour \"#\".");
  const size_t n = digits.size();
  if (n == 3 || n == 9 || n == 12) {
    const size_t per = n / 3;
    uint32_t rgb = 0;
    for (size_t i = 0; i < 3; ++i) {
      const uint64_t component = (value >> (4 * per * (2 - i))) & ((uint64_t(1) << (4 * per)) - 1);
      const uint32_t byte = per == 1 ? uint32_t(component) * 17 : uint32_t(component >> (4 * (per - 2)));
      rgb = (rgb << 8) | byte;
    }
    return 0xFF000000u | rgb;
  }
  if (n > 8) RaiseImaging("Invalid XPM colour \"%.*s\".", static_cast<int>(word.size()), word.data());
  return 0xFF000000u | static_cast<Color32>(value & 0xFFFFFF);
}

Color32 ParseColor(std::string_view word) {
  if (word[0] == '#') return ParseHexColor(word);
  std::string lower(word);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const NamedColor& named : kNamedColors)
    if (lower == named.Name) return named.Color;
  return 0;
}

class XpmCodec : public Codec {
public:
  XpmCodec() {
    Name = "X Window Pixmap";
    CanLoad = true;
    CanSave = false;
    IsMultiImage = false;
    AddMasks("*.xpm");
  }

  bool ProbeStream(Stream& stream) const override {
    char bytes[9];
    const int64_t n = std::max<int64_t>(stream.Read(bytes, 9), 0);
    stream.Seek(-n, SeekOrigin::Current);
    return n == 9 && std::memcmp(bytes, kSignature, 9) == 0;
  }

  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
};

class XpmDecoder : public Decoder {
public:
  using Decoder::Decoder;

  bool ReadImages(Stream& stream, std::vector<Image>& images, bool) override {
    const int64_t size = stream.Remaining();
    std::string text(static_cast<size_t>(size), '\0');
    stream.ReadExact(text.data(), size, "XPM data");

    // Only the quoted part of each line counts; lines without quotes are dropped.
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string_view line(text.data() + start, end - start);
      const size_t first = line.find('"');
      if (first != std::string_view::npos) {
        const size_t last = line.rfind('"');
        lines.push_back(line.substr(first + 1, last > first ? last - first - 1 : 0));
      }
      start = end + 1;
    }

    if (lines.empty()) return false;
    int64_t width, height, colors, cpp;
    size_t pos = 0;
    if (!ParseNumber(NextWord(lines[0], pos), width) || !ParseNumber(NextWord(lines[0], pos), height) ||
        !ParseNumber(NextWord(lines[0], pos), colors) || !ParseNumber(NextWord(lines[0], pos), cpp) || cpp < 1)
      return false;
    CheckImageDimensions(width, height, "XPM image");
    if (int64_t(lines.size()) - 1 < colors + height)
      RaiseImaging("XPM data is truncated: %lld lines for %lld colours and %lld rows.",
                   static_cast<long long>(lines.size() - 1), static_cast<long long>(colors),
                   static_cast<long long>(height));
    const size_t keyLength = static_cast<size_t>(cpp);
    const size_t rowLength = size_t(width) * keyLength;
    const size_t firstRow = 1 + size_t(colors);
    for (size_t y = 0; y < size_t(height); ++y)
      if (lines[firstRow + y].size() < rowLength)
        RaiseImaging("XPM pixel row %lld is shorter than %lld characters.", static_cast<long long>(y),
                     static_cast<long long>(rowLength));

    std::vector<ColorHolder> table;
    table.reserve(size_t(colors));
    for (size_t i = 0; i < size_t(colors); ++i) {
      const std::string_view line = lines[1 + i];
      if (line.size() < keyLength) RaiseImaging("XPM colour definition %lld is too short.", static_cast<long long>(i));
      size_t p = keyLength;
      NextWord(line, p);  // the kind of the definition, such as c
      const std::string_view color = NextWord(line, p);
      if (color.empty()) RaiseImaging("XPM colour definition %lld has no colour.", static_cast<long long>(i));
      table.push_back({line.substr(0, keyLength), ParseColor(color)});
    }
    // Sorted by key, compared with case; of two equal keys the first definition counts.
    std::stable_sort(table.begin(), table.end(), [](const ColorHolder& a, const ColorHolder& b) { return a.Key < b.Key; });

    Image& image = images.emplace_back();
    if (!CreateImage(static_cast<int32_t>(width), static_cast<int32_t>(height), PixelFormat::A8R8G8B8, image))
      RaiseImaging("Cannot create an XPM image.");

    // Keys of one or two characters are looked up in a direct table.
    std::vector<Color32> direct;
    if (keyLength <= 2) {
      direct.assign(size_t(1) << (8 * keyLength), 0);
      for (auto it = table.rbegin(); it != table.rend(); ++it) direct[KeyIndex(it->Key)] = it->Color;
    }
    for (size_t y = 0; y < size_t(height); ++y) {
      const std::string_view row = lines[firstRow + y];
      uint8_t* out = image.Bits() + y * size_t(width) * 4;
      for (size_t x = 0; x < size_t(width); ++x, out += 4) {
        const std::string_view key = row.substr(x * keyLength, keyLength);
        Color32 color = 0;
        if (!direct.empty()) {
          color = direct[KeyIndex(key)];
        } else {
          const auto it = std::lower_bound(table.begin(), table.end(), key,
                                           [](const ColorHolder& h, std::string_view k) { return h.Key < k; });
          if (it != table.end() && it->Key == key) color = it->Color;
        }
        out[0] = Color32Blue(color);
        out[1] = Color32Green(color);
        out[2] = Color32Red(color);
        out[3] = Color32Alpha(color);
      }
    }
    return true;
  }

private:
  static size_t KeyIndex(std::string_view key) {
    size_t index = 0;
    for (char c : key) index = (index << 8) | static_cast<unsigned char>(c);
    return index;
  }
};

std::unique_ptr<Decoder> XpmCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<XpmDecoder>(options);
}

}  // namespace

std::unique_ptr<Codec> CreateXpmCodec() { return std::make_unique<XpmCodec>(); }

}  // namespace imaging::formats
