#pragma once
// Text at binary boundaries. Inside the library text is UTF-8; driver records, broadcasts and
// files carry UTF-16 or 8-bit (Latin-1) characters. Malformed input never fails: it becomes U+FFFD.

#include <string>
#include <string_view>

#include "platform/TextCodec.h"

namespace veltra {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

// 8-bit characters are Latin-1: every byte is the code point of the same number. Characters above
// U+00FF have no 8-bit form and become '?'.
std::string Latin1ToUtf8(std::string_view text);
std::string Utf8ToLatin1(std::string_view text);

}  // namespace veltra
