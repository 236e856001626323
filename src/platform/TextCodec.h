#pragma once
// Text helpers of the platform layer: UTF-8 inside, UTF-16 at the system's wide boundaries.

#include <string>
#include <string_view>

namespace veltra::platform {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Equal length and equal letters ignoring ASCII case (device paths, registered names).
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace veltra::platform
