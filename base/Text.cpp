#include "base/Text.h"

#include <locale.h>
#include <wchar.h>
#include <wctype.h>

#include <charconv>

namespace base {

std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement) {
  if (search.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  size_t from = 0;
  for (size_t at = text.find(search); at != std::string_view::npos; at = text.find(search, from)) {
    result.append(text.substr(from, at - from));
    result.append(replacement);
    from = at + search.size();
  }
  result.append(text.substr(from));
  return result;
}

std::string ReplaceFirst(std::string_view text, std::string_view search, std::string_view replacement) {
  std::string result(text);
  if (search.empty()) return result;
  const size_t at = result.find(search);
  if (at != std::string::npos) result.replace(at, search.size(), replacement);
  return result;
}

std::vector<std::string> SplitAt(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(separator, from);
    if (at == std::string_view::npos) {
      parts.emplace_back(text.substr(from));
      return parts;
    }
    parts.emplace_back(text.substr(from, at - from));
    from = at + 1;
  }
}

std::string TrimBlanks(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return std::string(text.substr(begin, end - begin));
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string EncodeUtf8(char32_t code) {
  std::string out;
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) {
      out += U'\uFFFD';
      ++i;
      continue;
    }
    char32_t code = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      code = (code << 6) | (next & 0x3F);
    }
    if (!ok) {
      out += U'\uFFFD';
      ++i;
      continue;
    }
    out += code;
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

namespace {

// The length of the valid UTF-8 sequence at text[i] (its code in `code`), or 0 when the bytes
// there are none: a stray continuation byte, a cut sequence, an overlong form, a surrogate or a
// code above U+10FFFF.
size_t ValidUtf8At(std::string_view text, size_t i, char32_t& code) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  const size_t length = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  code = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::u16string Utf16FromBytes(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    char32_t code = 0;
    const size_t length = ValidUtf8At(bytes, i, code);
    if (length == 0) {
      out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i]));
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

std::string BytesFromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out += EncodeUtf8(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
      out += static_cast<char>(unit - 0xDC00);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      out += EncodeUtf8(0xFFFD);
    } else {
      out += EncodeUtf8(unit);
    }
  }
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

namespace {

locale_t UserLocale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (l == static_cast<locale_t>(nullptr))
      l = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}

std::wstring FoldCase(const std::string& text, locale_t locale) {
  std::wstring out;
  for (char32_t c : DecodeUtf8(text)) {
    wchar_t w = static_cast<wchar_t>(c);
    if (locale != static_cast<locale_t>(nullptr)) w = static_cast<wchar_t>(towlower_l(static_cast<wint_t>(w), locale));
    else if (w >= L'A' && w <= L'Z') w = static_cast<wchar_t>(w - L'A' + L'a');
    out += w;
  }
  return out;
}

}  // namespace

int CompareNoCase(const std::string& a, const std::string& b) {
  const locale_t locale = UserLocale();
  const std::wstring x = FoldCase(a, locale), y = FoldCase(b, locale);
  const int result = locale != static_cast<locale_t>(nullptr) ? wcscoll_l(x.c_str(), y.c_str(), locale) : x.compare(y);
  if (result != 0) return result;
  return x.compare(y);
}

std::string KilobyteText(uint64_t bytes, const std::string& decimalSeparator) {
  char buffer[64];
  // Written without the C library's locale, which a toolkit may have changed.
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(bytes) / 1024.0, std::chars_format::fixed, 3);
  std::string text(buffer, result.ptr);
  const size_t point = text.find('.');
  if (point != std::string::npos) text.replace(point, 1, decimalSeparator);
  return text + " KB";
}

}  // namespace base
