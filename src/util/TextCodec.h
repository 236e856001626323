#pragma once
// Text at binary boundaries. Inside the library text is UTF-8; driver records, broadcasts and
// files carry UTF-16 or 8-bit (Latin-1) characters.

#include <string>
#include <string_view>

namespace veltra {

// Malformed input never fails: an unpaired surrogate or an invalid UTF-8 sequence becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// 8-bit characters are Latin-1: every byte is the code point of the same number. Characters above
// U+00FF have no 8-bit form and become '?'.
std::string Latin1ToUtf8(std::string_view text);
std::string Utf8ToLatin1(std::string_view text);

}  // namespace veltra
