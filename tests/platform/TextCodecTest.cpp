#include <gtest/gtest.h>

#include "platform/TextCodec.h"

namespace veltra::platform {
namespace {

TEST(TextCodec, ConvertsBetweenUtf8AndUtf16) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"\\\\?\\usb#vid_1234", u"\\\\?\\usb#vid_1234"},
      {"caf\xC3\xA9 \xE2\x82\xAC", u"caf\u00E9 \u20AC"},
      {"\xF0\x9D\x84\x9E", u"\U0001D11E"},  // outside the basic plane: a surrogate pair
      {"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
  }
  // Malformed input becomes U+FFFD instead of failing or reading past the end.
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD") << "an overlong form";
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800') + u"x"), "\xEF\xBF\xBDx");
}

TEST(TextCodec, ComparesIgnoringAsciiCase) {
  EXPECT_TRUE(EqualIgnoringCase("\\\\?\\USB#Vid_1234", "\\\\?\\usb#vid_1234"));
  EXPECT_FALSE(EqualIgnoringCase("abc", "abcd"));
  EXPECT_FALSE(EqualIgnoringCase("a[", "a{"));  // '[' and '{' are not letters
}

}  // namespace
}  // namespace veltra::platform
