// veltra-scope info: what the probe is and what it can do.
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "ToolError.h"

namespace veltra::scope {
namespace {

std::string JoinNumbers(const std::vector<double>& values, const char* unit) {
  std::string text;
  for (const double value : values) text += (text.empty() ? "" : ", ") + FormatQuantity(value, unit);
  return text;
}

template <typename T>
std::string Join(const std::vector<T>& items) {
  std::string text;
  for (const T& item : items) {
    if (!text.empty()) text += ", ";
    if constexpr (std::is_same_v<T, std::string>) {
      text += item;
    } else {
      text += std::to_string(item);
    }
  }
  return text;
}

void PrintText(const ProbeInfo& info) {
  const auto line = [](const char* name, const std::string& value) {
    std::printf("%-22s %s\n", name, value.c_str());
  };
  line("serial number", std::to_string(info.serialNumber));
  line("calibration date", info.calibrationDate.value_or("none"));
  line("channels", std::to_string(info.channels));
  line("max sample frequency", FormatQuantity(info.maxSampleFrequency, "Hz"));
  line("max record length", std::to_string(info.maxRecordLength) + " samples");
  line("resolutions", Join(info.resolutions) + " bits");
  line("ranges", JoinNumbers(info.sensitivities, "V"));
  line("trigger sources", Join(info.triggerSources));
}

void PrintJson(const ProbeInfo& info) {
  nlohmann::json json = {{"serial_number", info.serialNumber},
                         {"channels", info.channels},
                         {"max_sample_frequency_hz", info.maxSampleFrequency},
                         {"max_record_length", info.maxRecordLength},
                         {"resolutions_bits", info.resolutions},
                         {"ranges_v", info.sensitivities},
                         {"trigger_sources", info.triggerSources}};
  json["calibration_date"] = info.calibrationDate ? nlohmann::json(*info.calibrationDate) : nlohmann::json();
  std::cout << json.dump(2) << '\n';
}

}  // namespace

int RunInfo(const InfoOptions& options) {
  const Probe probe(options.common.simulated);
  const ProbeInfo info = probe.Info();
  if (options.json) {
    PrintJson(info);
  } else {
    PrintText(info);
  }
  return kExitOk;
}

}  // namespace veltra::scope
