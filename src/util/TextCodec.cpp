#include "util/TextCodec.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace veltra {

namespace {

// The characters of the bytes 0x80 to 0x9F; the rest of the code page is Latin-1. 0x81, 0x8D,
// 0x8F, 0x90 and 0x9D have no character of their own and keep their control characters.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t CharacterOf(uint8_t byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : char16_t{byte};
}

char ByteOf(char16_t character) {
  const auto it = std::find(kHighControls.begin(), kHighControls.end(), character);
  if (it != kHighControls.end()) return static_cast<char>(0x80 + (it - kHighControls.begin()));
  if (character <= 0xFF && (character < 0x80 || character > 0x9F)) return static_cast<char>(character);
  return '?';
}

}  // namespace

std::string AnsiToUtf8(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char ch : text) wide += CharacterOf(static_cast<uint8_t>(ch));
  return Utf16ToUtf8(wide);
}

std::string Utf8ToAnsi(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  std::string out;
  out.reserve(wide.size());
  for (char16_t unit : wide) {
    if (unit >= 0xDC00 && unit <= 0xDFFF) continue;  // the second half of a pair: one '?' is out
    out += ByteOf(unit);
  }
  return out;
}

}  // namespace veltra
