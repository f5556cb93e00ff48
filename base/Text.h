// Text helpers shared by the forms, the engine, the configuration files and the renamer.
// Texts are UTF-8; comparisons are exact (letter case counts).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// Every occurrence, from left to right, without overlap. An empty search text changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement);
// Only the first occurrence.
std::string ReplaceFirst(std::string_view text, std::string_view search, std::string_view replacement);
// Splits at every separator after appending one: empty parts count, so "1/3/" and "1//3" both
// give three parts, and "" gives one empty part.
std::vector<std::string> SplitAt(std::string_view text, char separator);
// Removes leading and trailing blanks and control characters (codes 32 and below).
std::string TrimBlanks(std::string_view text);
bool StartsWith(std::string_view text, std::string_view prefix);
// Equal when compared with ASCII letters folded to lower case (".JPG" and ".jpg").
bool EqualNoCase(std::string_view a, std::string_view b);
bool EndsWith(std::string_view text, std::string_view suffix);

// Negative, zero or positive: the texts compared without regard to letter case in the user's
// locale (both folded to lower case, then collated); texts the locale counts equal are ordered
// by code point. Without a usable locale, by code point.
int CompareNoCase(const std::string& a, const std::string& b);

// A size cell of the file lists: kilobytes (1024 bytes) with exactly three decimals and the given
// decimal separator, followed by " KB" ("123.457 KB", "123,457 KB").
std::string KilobyteText(uint64_t bytes, const std::string& decimalSeparator);

std::string EncodeUtf8(char32_t code);
// Malformed bytes decode as U+FFFD each.
std::u32string DecodeUtf8(std::string_view text);

// A file name as UTF-16 text, for a hand-over that carries text: valid UTF-8 becomes its
// characters, and every byte that is no part of valid UTF-8 one of the unpaired code units
// U+DC80 to U+DCFF, which no valid text holds. So every name Linux allows (any bytes but "/"
// and the zero byte) comes back byte for byte from BytesFromUtf16, where a conversion to text
// alone would turn such bytes into U+FFFD.
std::u16string Utf16FromBytes(std::string_view bytes);
// The reverse: characters as UTF-8, the units U+DC80 to U+DCFF as the bytes 0x80 to 0xFF, any
// other unpaired surrogate as U+FFFD.
std::string BytesFromUtf16(std::u16string_view text);

}  // namespace base
