#include "util/TextCodec.h"

#include <cstdint>

namespace veltra {

std::string Latin1ToUtf8(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char ch : text) wide += static_cast<char16_t>(static_cast<uint8_t>(ch));
  return Utf16ToUtf8(wide);
}

std::string Utf8ToLatin1(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  std::string out;
  out.reserve(wide.size());
  for (char16_t unit : wide) {
    if (unit >= 0xDC00 && unit <= 0xDFFF) continue;  // the second half of a pair: one '?' is out
    out += unit <= 0xFF ? static_cast<char>(unit) : '?';
  }
  return out;
}

}  // namespace veltra
