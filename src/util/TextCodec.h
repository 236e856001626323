#pragma once
// Text at binary boundaries. Inside the library text is UTF-8; driver records, broadcasts and
// files carry UTF-16 or 8-bit characters of the Windows-1252 code page. Malformed UTF-8 or UTF-16
// never fails: it becomes U+FFFD.

#include <string>
#include <string_view>

#include "platform/TextCodec.h"

namespace veltra {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

// 8-bit characters are Windows-1252. Every byte has a character (the five bytes the code page
// leaves free stand for the control characters of the same number), so any bytes read as text and
// written back come out as they were. Characters without an 8-bit form, and malformed UTF-8,
// become '?' when written.
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);

}  // namespace veltra
