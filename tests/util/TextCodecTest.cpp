#include "util/TextCodec.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

TEST(TextCodec, EightBitTextIsWindows1252) {
  EXPECT_EQ(AnsiToUtf8("A\xB5\xFF\x80\x96\x9F"), "A\xC2\xB5\xC3\xBF\xE2\x82\xAC\xE2\x80\x93\xC5\xB8");
  EXPECT_EQ(Utf8ToAnsi("A\xC2\xB5\xC3\xBF\xE2\x82\xAC\xE2\x80\x93\xC5\xB8"), "A\xB5\xFF\x80\x96\x9F");
  // Characters without an 8-bit form, also those outside the basic plane and the control
  // characters the code page gives letters to, become one '?' each.
  EXPECT_EQ(Utf8ToAnsi("\xE2\x88\x9A\xF0\x9F\x98\x80\xC2\x80z"), "???z");
}

TEST(TextCodec, EveryByteReadAsTextIsWrittenBackAsItWas) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(bytes)), bytes);
}

}  // namespace
}  // namespace veltra
