#include "util/TextCodec.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

TEST(TextCodec, Utf16RoundTripsAndReplacesUnpairedSurrogates) {
  const std::u16string wide = u"a\u00E9\u20AC\U0001F600z";
  const std::string narrow = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  EXPECT_EQ(Utf16ToUtf8(wide), narrow);
  EXPECT_EQ(Utf8ToUtf16(narrow), wide);

  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'x', char16_t(0xD800)}), "x\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'y'}), "\xEF\xBF\xBDy");
}

TEST(TextCodec, MalformedUtf8BecomesReplacementCharacters) {
  const struct {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xC3", u"\uFFFD"},               // cut short
      {"\xC3(", u"\uFFFD("},             // bad trail byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},     // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xFF", u"\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
}

TEST(TextCodec, Latin1) {
  EXPECT_EQ(Latin1ToUtf8("A\xB5\xFF"), "A\xC2\xB5\xC3\xBF");
  EXPECT_EQ(Utf8ToLatin1("A\xC2\xB5\xC3\xBF\xE2\x82\xAC"), "A\xB5\xFF?");
}

}  // namespace
}  // namespace veltra
