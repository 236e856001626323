#pragma once
// The library's texts by string identifier (the localised string table; English only) and the
// "%s" formatting of its fixed messages.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace veltra {

namespace strings {
inline constexpr uint32_t kUnsupportedVersion = 0x10000E;  // format: class name
inline constexpr uint32_t kDisconnectSinksDialog = 0x100023;
inline constexpr uint32_t kDisconnectAllSinks = 0x100025;
inline constexpr uint32_t kEditUnit = 0x100028;
inline constexpr uint32_t kCombinedShortName = 0x10002C;
inline constexpr uint32_t kCombinedName = 0x10002D;
inline constexpr uint32_t kInstrumentName = 0x100038;
inline constexpr uint32_t kChannelName = 0x10005F;
inline constexpr uint32_t kChannelShortName = 0x100060;
inline constexpr uint32_t kCustomGain = 0x10009F;
inline constexpr uint32_t kUnitVoltage = 0x1000A4;   // couplings 1 and 2
inline constexpr uint32_t kUnitCurrent = 0x1000A5;   // couplings 4 and 8
inline constexpr uint32_t kUnitResistance = 0x1000A6;  // coupling 16
inline constexpr uint32_t kDelete = 0x1000D2;
inline constexpr uint32_t kProbeGain = 0x100144;
inline constexpr uint32_t kDuplicate = 0x100197;
}  // namespace strings

// The text of string `id` (UTF-8); empty for an identifier the table does not hold.
std::string LocalisedString(uint32_t id);

// Replaces each "%s" of `format`, left to right, by the next of `args` (by nothing once they run
// out); "%%" stands for "%".
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace veltra
