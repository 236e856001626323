#include "framework/Strings.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace veltra {
namespace {

// Sorted by identifier.
constexpr std::pair<uint32_t, std::string_view> kTable[] = {
    {strings::kUnsupportedVersion, "%s: the stored data have a version this library cannot read."},
    {strings::kDisconnectSinksDialog, "Disconnect sinks..."},
    {strings::kDisconnectAllSinks, "Disconnect all sinks"},
    {strings::kEditUnit, "Unit"},
    {strings::kCombinedShortName, "Combi"},
    {strings::kCombinedName, "Combined instrument"},
    {strings::kInstrumentName, "Instrument"},
    {strings::kChannelName, "Channel"},
    {strings::kChannelShortName, "Ch"},
    {strings::kCustomGain, "Custom gain"},
    {strings::kUnitVoltage, "V"},
    {strings::kUnitCurrent, "A"},
    {strings::kUnitResistance, "\xCE\xA9"},  // the ohm sign
    {strings::kDelete, "Delete"},
    {strings::kProbeGain, "Probe gain"},
    {strings::kDuplicate, "Duplicate"},
};
static_assert(std::is_sorted(std::begin(kTable), std::end(kTable)));

}  // namespace

std::string LocalisedString(uint32_t id) {
  const auto found = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                      [](const auto& entry, uint32_t key) { return entry.first < key; });
  if (found == std::end(kTable) || found->first != id) return {};
  return std::string(found->second);
}

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string result;
  result.reserve(format.size());
  const std::string_view* next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 's') {
        if (next != args.end()) result += *next++;
        ++i;
        continue;
      }
      if (format[i + 1] == '%') {
        result += '%';
        ++i;
        continue;
      }
    }
    result += format[i];
  }
  return result;
}

}  // namespace veltra
