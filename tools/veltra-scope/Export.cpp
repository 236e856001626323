#include "Export.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "Figures.h"

namespace veltra::scope {
namespace {

// Shortest text that reads back as exactly the same double.
void PutNumber(std::string& line, double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  line.append(text, result.ptr);
}

std::string ExactNumber(double value) {
  std::string text;
  PutNumber(text, value);
  return text;
}

nlohmann::json SettingsJson(const AcquisitionSettings& settings) {
  return {{"sample_frequency_hz", settings.sampleFrequency},
          {"record_length", settings.recordLength},
          {"post_samples", settings.postSamples},
          {"resolution_bits", settings.resolution},
          {"trigger", TriggerText(settings.trigger)},
          {"trigger_timeout_ms", settings.timeoutMs}};
}

nlohmann::json FiguresJson(const SignalFigures& figures) {
  nlohmann::json json = {{"minimum_v", figures.minimum}, {"maximum_v", figures.maximum},
                         {"mean_v", figures.mean},       {"rms_v", figures.rms},
                         {"peak_to_peak_v", figures.peakToPeak}};
  json["frequency_hz"] = figures.frequency ? nlohmann::json(*figures.frequency) : nlohmann::json();
  return json;
}

}  // namespace

void WriteCsvHeader(std::ostream& out, const std::string& title, const AcquisitionSettings& settings,
                    std::span<const ChannelRecord> channels, bool withMeasurementColumn) {
  out << "# " << title << '\n'
      << "# sample frequency: " << ExactNumber(settings.sampleFrequency) << " Hz\n"
      << "# record length: " << settings.recordLength << " samples\n"
      << "# post samples: " << settings.postSamples << '\n'
      << "# resolution: " << settings.resolution << " bits\n"
      << "# trigger: " << TriggerText(settings.trigger) << '\n'
      << "# trigger time-out: " << settings.timeoutMs << " ms\n";
  for (const ChannelRecord& channel : channels) {
    out << "# channel " << channel.number << ": range " << ExactNumber(channel.range) << " V, coupling "
        << channel.coupling << '\n';
  }
  if (withMeasurementColumn) out << "measurement,";
  out << "time (s)";
  for (const ChannelRecord& channel : channels) out << ",channel " << channel.number << " (V)";
  out << '\n';
}

void WriteCsvRows(std::ostream& out, std::span<const ChannelRecord> channels, double firstTime,
                  double sampleFrequency, int measurement) {
  if (channels.empty()) return;
  const std::string prefix = measurement > 0 ? std::to_string(measurement) + "," : "";
  std::string line;
  const size_t samples = channels.front().volts.size();
  for (size_t i = 0; i < samples; ++i) {
    line.assign(prefix);
    PutNumber(line, firstTime + static_cast<double>(i) / sampleFrequency);
    for (const ChannelRecord& channel : channels) {
      line += ',';
      PutNumber(line, i < channel.volts.size() ? channel.volts[i] : 0.0);
    }
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
  }
}

void WriteJson(std::ostream& out, std::span<const Capture> captures) {
  nlohmann::json measurements = nlohmann::json::array();
  for (const Capture& capture : captures) {
    nlohmann::json channels = nlohmann::json::array();
    for (const ChannelRecord& channel : capture.channels) {
      const SignalFigures figures = Summarise(channel.volts, capture.settings.sampleFrequency);
      channels.push_back({{"channel", channel.number},
                          {"range_v", channel.range},
                          {"coupling", channel.coupling},
                          {"figures", FiguresJson(figures)},
                          {"volts", channel.volts}});
    }
    measurements.push_back({{"settings", SettingsJson(capture.settings)},
                            {"triggered", capture.triggered},
                            {"time_of_first_sample_s", capture.settings.TimeOf(0)},
                            {"sample_interval_s", 1.0 / capture.settings.sampleFrequency},
                            {"channels", std::move(channels)}});
  }
  out << nlohmann::json{{"measurements", std::move(measurements)}}.dump(1) << '\n';
}

}  // namespace veltra::scope
