// File names as UTF-16 for the single-instance hand-over: every byte string comes back whole.
#include <gtest/gtest.h>

#include <string>

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
