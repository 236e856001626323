#pragma once
// The text that switches simulated probes on (the environment variable VELTRA_SIMULATE):
//
//   1                                   one probe with every setting at its default
//   ENTRY;ENTRY;...                     one probe per entry
//   ENTRY = PRESET[:KEY=VALUE,KEY=VALUE...]
//   PRESET = probe | dual
//   KEY = serial | subid | cal (YYYY-MM-DD or YYYY-MM-DDThh:mm) | driver | firmware (a.b.c.d)
//       | maxlength (1 ... 64Mi samples) | seed | timing (real | instant) | ch1 | ch2 (a signal,
//         see Signal.h)
//       | unplug (seconds after the first open) | unplug-after (records, at least 1)
//       | replug (seconds after either removal; needs one of them) | connections (the limit)
//       | info (full | short)
//
// For example "probe:serial=27001,ch1=sine:1k:0.5;dual:serial=27002,timing=instant" or
// "probe:unplug=250m,replug=1".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/SimDevice.h"

namespace veltra::sim {

struct SimulateRequest {
  std::vector<DeviceConfig> devices;
  std::vector<std::string> errors;  // one message per entry that was skipped
};

SimulateRequest ParseSimulate(std::string_view text);

// A version in the driver's packing (four 16-bit parts, most significant highest) from "a.b.c.d".
std::optional<uint64_t> ParseVersion(std::string_view text);

}  // namespace veltra::sim
