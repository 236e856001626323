#include "sim/SimulateConfig.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace veltra::sim {

namespace {

constexpr uint32_t kFirstSerial = 27001;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

template <class Integer>
std::optional<Integer> ParseInteger(std::string_view text) {
  Integer value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// "YYYY-MM-DD" or "YYYY-MM-DDThh:mm"; checked by the date rules of the stamp.
std::optional<PackedStamp> ParseStamp(std::string_view text) {
  const std::vector<std::string_view> dateTime = Split(text, 'T');
  if (dateTime.size() > 2) return std::nullopt;
  const std::vector<std::string_view> date = Split(dateTime[0], '-');
  if (date.size() != 3) return std::nullopt;
  std::vector<std::string_view> time = {"0", "0"};
  if (dateTime.size() == 2) time = Split(dateTime[1], ':');
  if (time.size() != 2) return std::nullopt;
  const auto year = ParseInteger<uint16_t>(date[0]);
  const auto month = ParseInteger<uint16_t>(date[1]);
  const auto day = ParseInteger<uint16_t>(date[2]);
  const auto hour = ParseInteger<uint16_t>(time[0]);
  const auto minute = ParseInteger<uint16_t>(time[1]);
  if (!year || !month || !day || !hour || !minute) return std::nullopt;
  const PackedStamp stamp{*year, *month, *day, *hour, *minute};
  if (!PackedStampToDateTime(stamp)) return std::nullopt;
  return stamp;
}

// Applies one KEY=VALUE to a configuration; the reason when it cannot.
std::optional<std::string> ApplyKey(DeviceConfig& config, std::string_view key,
                                    std::string_view value) {
  const auto bad = [&] {
    return "bad value for " + std::string(key) + ": '" + std::string(value) + "'";
  };
  if (key == "serial" || key == "subid") {
    const auto number = ParseInteger<uint32_t>(value);
    if (!number) return bad();
    (key == "serial" ? config.serial : config.subId) = *number;
  } else if (key == "seed") {
    const auto number = ParseInteger<uint64_t>(value);
    if (!number) return bad();
    config.seed = *number;
  } else if (key == "cal") {
    const auto stamp = ParseStamp(value);
    if (!stamp) return bad();
    config.calibration = *stamp;
  } else if (key == "driver" || key == "firmware") {
    const auto version = ParseVersion(value);
    if (!version) return bad();
    (key == "driver" ? config.driverVersion : config.firmwareVersion) = *version;
  } else if (key == "maxlength") {
    const std::optional<double> length = ParseNumber(value);
    if (!length || *length < 1 || *length > static_cast<double>(kMaxDataSizeMax) ||
        *length != std::floor(*length)) {
      return bad();
    }
    config.dataSizeMax = static_cast<int64_t>(*length);
  } else if (key == "timing") {
    if (value != "real" && value != "instant") return bad();
    config.instant = value == "instant";
  } else if (key == "unplug" || key == "replug") {
    const std::optional<double> seconds = ParseNumber(value);
    if (!seconds || *seconds < 0) return bad();
    (key == "unplug" ? config.unplugSeconds : config.replugSeconds) = *seconds;
  } else if (key == "unplug-after") {
    const auto records = ParseInteger<uint32_t>(value);
    if (!records || *records == 0) return bad();
    config.unplugRecords = *records;
  } else if (key == "connections") {
    const auto limit = ParseInteger<uint32_t>(value);
    if (!limit) return bad();
    config.connectionLimit = *limit;
  } else if (key == "info") {
    if (value != "full" && value != "short") return bad();
    config.shortInfo = value == "short";
  } else if (key.size() == 3 && key.substr(0, 2) == "ch" && key[2] >= '1' && key[2] <= '9') {
    const auto channel = static_cast<uint32_t>(key[2] - '1');
    const std::optional<SignalSpec> signal = ParseSignal(value);
    if (channel >= ChannelCountOf(config.preset)) return "no channel " + std::string(key);
    if (!signal) return bad();
    while (config.signals.size() <= channel) {
      config.signals.push_back(DefaultSignal(static_cast<uint32_t>(config.signals.size())));
    }
    config.signals[channel] = *signal;
  } else {
    return "unknown key '" + std::string(key) + "'";
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint64_t> ParseVersion(std::string_view text) {
  const std::vector<std::string_view> parts = Split(text, '.');
  if (parts.size() != 4) return std::nullopt;
  uint64_t version = 0;
  for (std::string_view part : parts) {
    const auto number = ParseInteger<uint16_t>(part);
    if (!number) return std::nullopt;
    version = (version << 16) | *number;
  }
  return version;
}

SimulateRequest ParseSimulate(std::string_view text) {
  SimulateRequest request;
  text = Trim(text);
  if (text.empty() || text == "0") return request;
  if (text == "1") {
    request.devices.emplace_back().serial = kFirstSerial;
    return request;
  }
  for (std::string_view entry : Split(text, ';')) {
    entry = Trim(entry);
    if (entry.empty()) continue;
    const size_t colon = entry.find(':');
    const std::string_view preset = Trim(entry.substr(0, colon));
    DeviceConfig config;
    config.serial = kFirstSerial + static_cast<uint32_t>(request.devices.size());
    std::optional<std::string> error;
    if (preset == "probe" || preset == "dual") {
      config.preset = preset == "dual" ? Preset::kDual : Preset::kProbe;
    } else {
      error = "unknown preset '" + std::string(preset) + "'";
    }
    if (!error && colon != std::string_view::npos) {
      for (std::string_view pair : Split(entry.substr(colon + 1), ',')) {
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
          error = "expected KEY=VALUE, found '" + std::string(Trim(pair)) + "'";
          break;
        }
        error = ApplyKey(config, Trim(pair.substr(0, equals)), Trim(pair.substr(equals + 1)));
        if (error) break;
      }
    }
    if (!error && config.replugSeconds && !config.RemovesItself()) {
      error = "replug needs unplug or unplug-after";
    }
    if (error) {
      request.errors.push_back("VELTRA_SIMULATE: entry '" + std::string(entry) +
                               "' skipped: " + *error);
    } else {
      request.devices.push_back(std::move(config));
    }
  }
  return request;
}

}  // namespace veltra::sim
