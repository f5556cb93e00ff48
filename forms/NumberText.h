// The number tests every reader of a setting applies: a setting is text, and a configuration
// file can put any text there.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <string_view>

namespace forms {

// An integer text is one the standard integer parser accepts whole: leading blanks, an optional
// sign, then decimal digits or hexadecimal digits after "$", "0x" or "0X"; nothing may follow.
// Decimal values must fit 32 signed bits; hexadecimal ones may use all 32 bits and wrap
// ("$FFFFFFFF" is -1).
std::optional<int32_t> ParseIntegerText(std::string_view text);
// "a/b" or "a:b" as the factor mode reads it: the separator after the first character and
// exactly two integer texts around it.
std::optional<std::pair<int32_t, int32_t>> ParseRatioText(std::string_view text, char separator);
inline bool IsIntegerText(std::string_view text) { return ParseIntegerText(text).has_value(); }

// A decimal text is one the floating-point parser accepts whole with the given decimal
// separator: blanks around it, an optional sign, digits with at most one separator (at least one
// digit in all), and an optional exponent "e" or "E" with an optional sign and digits.
std::optional<double> ParseDecimalText(std::string_view text, std::string_view decimalSeparator);
inline bool IsDecimalText(std::string_view text, std::string_view decimalSeparator) {
  return ParseDecimalText(text, decimalSeparator).has_value();
}

// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), read once without
// changing the process locale; "." when the locale is unknown.
const std::string& UserDecimalSeparator();

}  // namespace forms
