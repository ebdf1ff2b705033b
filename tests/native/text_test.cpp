#include "text/text.h"

#include <gtest/gtest.h>

namespace vorsk {
namespace {

// The converters between the encodings, both ways, on every length of sequence and on what is
// not a character.
TEST(TextTest, ConvertsBetweenUtf16AndUtf8) {
  const std::u16string wide = u"a\u00e9\u4e2d\U0001F600";
  const std::string utf8 = "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80";
  EXPECT_EQ(Utf8FromUtf16(wide), utf8);
  EXPECT_EQ(Utf16FromUtf8(utf8), wide);
  // A lone surrogate, a stray continuation byte, an overlong form, a cut sequence, an encoded
  // surrogate: each is one replacement character, and what follows is read again.
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t{0xD800}) + u"x"), "\xef\xbf\xbdx");
  EXPECT_EQ(Utf16FromUtf8("\x80x"), u"\uFFFDx");
  EXPECT_EQ(Utf16FromUtf8("\xc0\xafx"), u"\uFFFD\uFFFDx");
  EXPECT_EQ(Utf16FromUtf8("\xe4\xb8x"), u"\uFFFD\uFFFDx");
  EXPECT_EQ(Utf16FromUtf8("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf16FromLeBytes(std::string("a\0\x2d\x4e\x01", 5)), u"a\u4e2d");
}

TEST(TextTest, EscapesEveryControlByteAndNothingElse) {
  EXPECT_EQ(EscapeControls(std::string("a\0b\r\n\t\x1f\x7f\x80 ~\\", 12)),
            "a\\x00b\\x0D\\x0A\\x09\\x1F\\x7F\x80 ~\\");
  EXPECT_EQ(CountText(1, "key", "keys"), "1 key");
  EXPECT_EQ(CountText(0, "key", "keys"), "0 keys");
}

}  // namespace
}  // namespace vorsk
