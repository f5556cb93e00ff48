#include "forms/NumberText.h"

#include "base/Text.h"

#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <string>

namespace forms {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<int32_t> ParseIntegerText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = hex ? HexDigit(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
    if (digit < 0) return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (hex) {
    const uint32_t bits = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    return static_cast<int32_t>(bits);
  }
  if (negative) {
    if (value > 2147483648ull) return std::nullopt;
    return static_cast<int32_t>(-static_cast<int64_t>(value));
  }
  if (value > 2147483647ull) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<double> ParseDecimalText(std::string_view text, std::string_view decimalSeparator) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  // Rewritten into the one form std::from_chars reads, which knows no locale.
  std::string plain;
  size_t i = begin;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain += '-';
    ++i;
  }
  int digits = 0;
  bool separatorSeen = false;
  while (i < end) {
    if (IsDigit(text[i])) {
      plain += text[i++];
      ++digits;
    } else if (!separatorSeen && !decimalSeparator.empty() && text.substr(i, decimalSeparator.size()) == decimalSeparator) {
      plain += '.';
      separatorSeen = true;
      i += decimalSeparator.size();
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    int exponentDigits = 0;
    while (i < end && IsDigit(text[i])) {
      plain += text[i++];
      ++exponentDigits;
    }
    if (exponentDigits == 0) return std::nullopt;
  }
  if (i != end) return std::nullopt;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ptr != plain.data() + plain.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) return std::nullopt;
  return value;
}

const std::string& UserDecimalSeparator() {
  static const std::string separator = [] {
    std::string result = ".";
    locale_t locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (locale != static_cast<locale_t>(nullptr)) {
      const char* radix = nl_langinfo_l(RADIXCHAR, locale);
      if (radix != nullptr && *radix != '\0') result = radix;
      freelocale(locale);
    }
    return result;
  }();
  return separator;
}

std::optional<std::pair<int32_t, int32_t>> ParseRatioText(std::string_view text, char separator) {
  const size_t at = text.find(separator);
  if (at == std::string_view::npos || at == 0) return std::nullopt;
  const auto parts = base::SplitAt(text, separator);
  if (parts.size() != 2) return std::nullopt;
  const auto a = ParseIntegerText(parts[0]);
  const auto b = ParseIntegerText(parts[1]);
  if (!a || !b) return std::nullopt;
  return std::make_pair(*a, *b);
}

}  // namespace forms
