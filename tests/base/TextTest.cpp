// File names as text: as UTF-16 for the single-instance hand-over, where every byte string comes
// back whole, and as JSON strings for the command line's JSON lines.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/Text.h"

TEST(Text, FileNamesCrossUtf16ByteForByte) {
  struct Case {
    const char* what;
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"plain", "/a/b.png", u"/a/b.png"},
      {"valid UTF-8 is text", "/\xC3\xA4/\xF0\x9F\x93\xB7.jpg", u"/\u00E4/\U0001F4F7.jpg"},
      {"a stray byte", "/x\xFF.png", u"/x\xDCFF.png"},
      {"a cut sequence", "/\xC3(.bmp", u"/\xDCC3(.bmp"},
      {"an overlong slash", "/\xC0\xAF", u"/\xDCC0\xDCAF"},
      {"an encoded surrogate", "\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(base::Utf16FromBytes(c.bytes), c.text) << c.what;
    EXPECT_EQ(base::BytesFromUtf16(base::Utf16FromBytes(c.bytes)), c.bytes) << c.what;
  }
  // A surrogate that no file name gives stands for U+FFFD.
  EXPECT_EQ(base::BytesFromUtf16(u"\xD800x"), "\xEF\xBF\xBDx");
}

// JSON lines carry file names of any bytes: the text is always valid UTF-8 and valid JSON, and
// the exact bytes travel as Base64.
TEST(Text, JsonStringsOfAnyBytes) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string json;
    bool valid;
  };
  const Case cases[] = {
      {"plain", "/a/b.png", "\"/a/b.png\"", true},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\"", true},
      {"newline, tab, return, escape, zero", std::string("n\nt\tr\re\x1b" "z\0", 10),
       "\"n\\nt\\tr\\re\\u001bz\\u0000\"", true},
      {"valid UTF-8 stays", "/\xC3\xA4/\xF0\x9F\x93\xB7", "\"/\xC3\xA4/\xF0\x9F\x93\xB7\"", true},
      {"a stray byte", "x\xFFy", "\"x\xEF\xBF\xBDy\"", false},
      {"a cut sequence at the end", "x\xE2\x82", "\"x\xEF\xBF\xBD\xEF\xBF\xBD\"", false},
      {"an encoded surrogate", "\xED\xB2\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(base::JsonString(c.bytes), c.json) << c.what;
    EXPECT_EQ(base::IsValidUtf8(c.bytes), c.valid) << c.what;
    EXPECT_TRUE(base::IsValidUtf8(base::JsonString(c.bytes))) << c.what;
  }
  // RFC 4648, section 10, and bytes above 0x7F.
  const std::pair<std::string, std::string> base64[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xFF\xFE\x80", "//6A"}};
  for (const auto& [bytes, text] : base64) EXPECT_EQ(base::Base64(bytes), text) << text;
}
