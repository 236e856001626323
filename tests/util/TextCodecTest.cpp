#include "util/TextCodec.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

TEST(TextCodec, Latin1) {
  EXPECT_EQ(Latin1ToUtf8("A\xB5\xFF"), "A\xC2\xB5\xC3\xBF");
  // Characters without an 8-bit form, also those outside the basic plane, become one '?' each.
  EXPECT_EQ(Utf8ToLatin1("A\xC2\xB5\xC3\xBF\xE2\x82\xAC\xF0\x9F\x98\x80z"), "A\xB5\xFF??z");
}

}  // namespace
}  // namespace veltra
