#pragma once
// The probe as the tool drives it, through nothing but the library's public C interface: opening
// and closing, the information the probe reports, applying a measurement's settings with
// messages that name the refused value and what the probe accepts, and taking measurements.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Capture.h"
#include "veltra/veltra.h"

namespace veltra::scope {

// "STATUS_INVALID_VALUE" and so on; several bits are joined with '|'.
std::string StatusName(VeltraStatus status);

// Coupling codes by name: "dc" is 1, "ac" 2, and any other code 1-16 as its number.
std::string CouplingName(uint8_t code);
std::optional<uint8_t> ParseCoupling(std::string_view text);

struct ProbeInfo {
  uint32_t serialNumber = 0;
  std::optional<std::string> calibrationDate;  // YYYY-MM-DD, absent when the probe knows none
  int channels = 0;
  double maxSampleFrequency = 0.0;
  uint32_t maxRecordLength = 0;
  std::vector<int> resolutions;         // bits
  std::vector<double> sensitivities;    // input ranges in volts, largest first
  std::vector<std::string> triggerSources;  // "channel 1", "external input 13", ...
};

// What the command line asks for; unset fields keep the probe's setting.
struct MeasureRequest {
  std::optional<double> sampleFrequency;
  std::optional<uint32_t> recordLength;
  std::optional<uint32_t> postSamples;
  std::optional<double> range;
  std::optional<uint8_t> coupling;      // the probe's code, 1-16
  std::optional<int> resolution;
  std::vector<int> channels;            // empty: every channel
  TriggerSetting trigger;
  std::optional<double> hysteresis;
  int32_t timeoutMs = 1000;
};

// The open probe; closing it (ExitInstrument) when it goes. One at a time per process, as the
// library opens one instrument.
class Probe {
 public:
  // Opens the probe, or throws a ToolError that says how to get one (simulated says the tool
  // runs against the simulated probe, which changes the advice).
  explicit Probe(bool simulated);
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  ProbeInfo Info() const;

  // Applies the request in the order the probe needs (resolution before sample frequency,
  // range before trigger level) and returns the settings as the probe took them, with the
  // channels that take part. Throws a ToolError for a refused value.
  AcquisitionSettings Apply(const MeasureRequest& request, bool streaming);
  const std::vector<int>& Channels() const { return channels_; }

  // One blocking measurement with the applied settings.
  Capture Measure(const AcquisitionSettings& settings);
  // The channels that take part with their range and coupling, without samples.
  std::vector<ChannelRecord> ChannelInputs() const;
  // The channels' records of the last completed measurement.
  std::vector<ChannelRecord> ReadRecords(uint32_t recordLength) const;

 private:
  std::vector<int> channels_;  // the channels that take part, from 1
};

}  // namespace veltra::scope
