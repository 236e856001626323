#include "Probe.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "ToolError.h"

namespace veltra::scope {
namespace {

// The sample frequency may come back a hair from the request after the probe's fixed-point
// rounding; a request counts as above the maximum only beyond this share.
constexpr double kFrequencyTolerance = 1e-6;
// Slots of the information lists (GetAvailableResolutions, GetAvailableSensitivities).
constexpr size_t kListSlots = 20;
// The channel trigger kinds as mode numbers: rising 0, falling 1.
constexpr uint8_t kRisingMode = 0;
constexpr uint8_t kFallingMode = 1;
constexpr uint8_t kSourceChannel1 = 0;
constexpr uint8_t kSourceNone = 9;
// The coupling whose input spans 0 ... range instead of -range ... +range.
constexpr uint8_t kCouplingPositiveSpan = 16;

struct NamedCoupling {
  std::string_view name;
  uint8_t code;
};
constexpr std::array<NamedCoupling, 2> kCouplings{{{"dc", 1}, {"ac", 2}}};

}  // namespace

std::string CouplingName(uint8_t code) {
  for (const NamedCoupling& coupling : kCouplings) {
    if (coupling.code == code) return std::string(coupling.name);
  }
  return std::to_string(code);
}

std::optional<uint8_t> ParseCoupling(std::string_view text) {
  for (const NamedCoupling& coupling : kCouplings) {
    if (text == coupling.name) return coupling.code;
  }
  int code = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || code < 1 || code > 16) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(code);
}

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string JoinList(const std::vector<double>& values, std::string_view unit) {
  std::string text;
  for (const double value : values) {
    if (!text.empty()) text += ", ";
    text += FormatQuantity(value, unit);
  }
  return text;
}

std::vector<double> ReadList(VeltraStatus (VELTRA_CALL* read)(double*)) {
  std::array<double, kListSlots> slots{};
  std::vector<double> values;
  if (read(slots.data()) != STATUS_OK) return values;
  for (const double value : slots) {
    if (value == 0.0) break;
    values.push_back(value);
  }
  return values;
}

// Throws for a value the probe cannot take, before it is sent: the option and value, and why.
[[noreturn]] void Reject(const std::string& what, const std::string& reason) {
  throw ToolError(kExitFailure, what + ": " + reason);
}

// Throws the refusal of a setting: the option and value given, the status, and what to use.
void Check(VeltraStatus status, const std::string& what, const std::string& accepted) {
  if (status == STATUS_OK) return;
  std::string message = what + ": the probe refused it (" + StatusName(status) + ")";
  if (!accepted.empty()) message += "; " + accepted;
  throw ToolError(kExitFailure, message);
}

// The trigger inputs that are not channels, by the bit of the source mask: their source numbers.
constexpr std::array<std::pair<int, int>, 6> kInputSources{{{58, 13}, {59, 14}, {60, 12}, {61, 11}, {62, 5}, {63, 4}}};
constexpr int kFirstInputBit = 58;

}  // namespace

std::string StatusName(VeltraStatus status) {
  static constexpr std::array<std::string_view, 10> kNames{
      "STATUS_NO_INSTRUMENT",  "STATUS_NOT_INITIALIZED",     "STATUS_NOT_SUPPORTED",
      "STATUS_NO_GENERATOR",   "STATUS_INVALID_CHANNEL",     "STATUS_INVALID_VALUE",
      "STATUS_I2C_ERROR",      "STATUS_I2C_INVALID_ADDRESS", "STATUS_I2C_INVALID_ARGUMENT",
      "STATUS_I2C_HOST_ERROR"};
  if (status == STATUS_OK) return "STATUS_OK";
  std::string text;
  for (size_t bit = 0; bit < 16; ++bit) {
    if ((status & (1u << bit)) == 0) continue;
    if (!text.empty()) text += '|';
    if (bit < kNames.size()) {
      text += kNames[bit];
    } else {
      text += "status bit ";
      text += std::to_string(bit);
    }
  }
  return text;
}

Probe::Probe(bool simulated) {
  if (InitInstrument(0) == STATUS_OK) return;
  ExitInstrument();
  if (simulated) {
    throw ToolError(kExitNoProbe,
                    "the simulated probe did not come up: check the --simulate text (the library "
                    "reports above the entries it could not read)");
  }
  throw ToolError(kExitNoProbe,
                  "no probe found: plug one in (and check that its driver is installed), or try "
                  "the simulated probe with --simulate");
}

Probe::~Probe() { ExitInstrument(); }

ProbeInfo Probe::Info() const {
  ProbeInfo info;
  GetSerialNumber(&info.serialNumber);
  uint32_t date = 0;
  if (GetCalibrationDate(&date) == STATUS_OK && date != 0) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", static_cast<unsigned>(date & 0xFFFF),
                  static_cast<unsigned>((date >> 16) & 0xFF), static_cast<unsigned>(date >> 24));
    info.calibrationDate = text;
  }
  uint16_t channels = 0;
  GetNrChannels(&channels);
  info.channels = channels;
  info.maxSampleFrequency = GetMaxSampleFrequencyF();
  info.maxRecordLength = GetMaxRecordLength();
  for (const double bits : ReadList(GetAvailableResolutions)) info.resolutions.push_back(static_cast<int>(bits));
  info.sensitivities = ReadList(GetAvailableSensitivities);
  uint64_t sources = 0;
  GetTriggerSources(&sources);
  for (int bit = 0; bit < kFirstInputBit; ++bit) {
    if (sources & (uint64_t{1} << bit)) info.triggerSources.push_back("channel " + std::to_string(bit + 1));
  }
  for (const auto& [bit, source] : kInputSources) {
    if (sources & (uint64_t{1} << bit)) info.triggerSources.push_back("trigger input " + std::to_string(source));
  }
  return info;
}

AcquisitionSettings Probe::Apply(const MeasureRequest& request, bool streaming) {
  Check(SetTransferMode(streaming ? 1 : 0), streaming ? "streaming mode" : "block mode", "");

  uint16_t channelCount = 0;
  GetNrChannels(&channelCount);
  channels_ = request.channels;
  if (channels_.empty()) {
    for (int c = 1; c <= channelCount; ++c) channels_.push_back(c);
  }
  for (const int c : channels_) {
    if (c < 1 || c > channelCount) {
      Reject("--channels " + std::to_string(c), "the probe has channels 1 to " + std::to_string(channelCount));
    }
  }
  for (int c = 1; c <= channelCount; ++c) {
    const bool wanted = std::find(channels_.begin(), channels_.end(), c) != channels_.end();
    Check(SetChEnabled(static_cast<uint16_t>(c), wanted ? 1 : 0), "channel " + std::to_string(c), "");
  }

  if (request.resolution) {
    std::string offered;
    for (const double bits : ReadList(GetAvailableResolutions)) {
      offered += (offered.empty() ? "" : ", ") + Number(bits);
    }
    const int bits = *request.resolution;
    if (bits < 1 || bits > 255) Reject("--resolution " + std::to_string(bits), "the probe offers " + offered + " bits");
    Check(SetResolution(static_cast<uint8_t>(bits)), "--resolution " + std::to_string(bits), "it offers " + offered + " bits");
  }
  if (request.sampleFrequency) {
    double hertz = *request.sampleFrequency;
    const double highest = GetMaxSampleFrequencyF();
    const std::string what = "--frequency " + FormatQuantity(hertz, "Hz");
    const std::string accepted = "the probe samples at up to " + FormatQuantity(highest, "Hz") + " at this resolution";
    if (!(hertz > 0.0) || hertz > highest * (1.0 + kFrequencyTolerance)) Reject(what, accepted);
    Check(SetSampleFrequencyF(&hertz), what, accepted);
  }
  if (request.recordLength) {
    const uint32_t samples = *request.recordLength;
    const std::string what = "--samples " + std::to_string(samples);
    const std::string accepted = "its records hold 1 to " + std::to_string(GetMaxRecordLength()) + " samples";
    if (samples == 0) Reject(what, accepted);
    Check(SetRecordLength(samples), what, accepted);
  }
  if (request.postSamples) {
    const uint32_t post = *request.postSamples;
    const std::string what = "--post-samples " + std::to_string(post);
    const std::string accepted = "at most the record length, " + std::to_string(GetRecordLength());
    if (post > GetRecordLength()) Reject(what, accepted);
    Check(SetPostSamples(post), what, accepted);
  }

  for (const int c : channels_) {
    const auto channel = static_cast<uint8_t>(c);
    if (request.range) {
      const std::vector<double> ranges = ReadList(GetAvailableSensitivities);
      double volts = *request.range;
      const std::string what = "--range " + FormatQuantity(volts, "V");
      const std::string accepted = "its ranges are " + JoinList(ranges, "V");
      if (!(volts > 0.0) || (!ranges.empty() && volts > ranges.front())) Reject(what, "the probe's ranges are " + JoinList(ranges, "V"));
      Check(SetSensitivity(channel, &volts), what, accepted);
    }
    if (request.coupling) {
      Check(SetCoupling(channel, *request.coupling), "--coupling " + CouplingName(*request.coupling),
            "dc and ac are the usual couplings");
    }
  }

  const TriggerSetting& trigger = request.trigger;
  if (trigger.slope == TriggerSlope::kNone) {
    Check(SetTriggerSource(kSourceNone), "--trigger none", "");
    Check(SetTriggerTimeOut(0), "--trigger none", "");
  } else {
    Check(SetTriggerSource(kSourceChannel1), "--trigger on channel 1", "");
    Check(SetTriggerModeCh(1, trigger.slope == TriggerSlope::kRising ? kRisingMode : kFallingMode),
          "--trigger " + TriggerText(trigger), "");
    double range = 0.0;
    uint8_t coupling = 0;
    GetSensitivity(1, &range);
    GetCoupling(1, &coupling);
    const double lowest = coupling == kCouplingPositiveSpan ? 0.0 : -range;
    if (trigger.level < lowest || trigger.level > range) {
      Reject("--trigger " + TriggerText(trigger),
             "the level must lie within channel 1's input range, " + FormatQuantity(lowest, "V") + " to " +
                FormatQuantity(range, "V") + " (a larger --range takes a higher level)");
    }
    Check(SetTriggerLevel(1, trigger.level), "--trigger " + TriggerText(trigger), "");
    if (request.hysteresis) {
      Check(SetTriggerHys(1, *request.hysteresis), "--hysteresis " + FormatQuantity(*request.hysteresis, "V"), "");
    }
    Check(SetTriggerTimeOut(request.timeoutMs), "--timeout " + std::to_string(request.timeoutMs) + " ms", "");
  }

  AcquisitionSettings settings;
  settings.sampleFrequency = GetSampleFrequencyF();
  settings.recordLength = GetRecordLength();
  settings.postSamples = GetPostSamples();
  uint8_t bits = 0;
  GetResolution(&bits);
  settings.resolution = bits;
  settings.trigger = trigger;
  if (trigger.slope != TriggerSlope::kNone) GetTriggerLevel(1, &settings.trigger.level);
  settings.timeoutMs = GetTriggerTimeOut();
  return settings;
}

Capture Probe::Measure(const AcquisitionSettings& settings) {
  const VeltraStatus status = StartMeasurement();
  if (status != STATUS_OK) {
    throw ToolError(kExitFailure, "the measurement failed (" + StatusName(status) +
                                      "): the probe went away; plug it in again and repeat");
  }
  Capture capture;
  capture.settings = settings;
  capture.triggered = settings.trigger.slope != TriggerSlope::kNone && ADC_Triggered() == 1;
  capture.channels = ReadRecords(settings.recordLength);
  return capture;
}

std::vector<ChannelRecord> Probe::ChannelInputs() const {
  std::vector<ChannelRecord> inputs;
  for (const int c : channels_) {
    ChannelRecord input;
    input.number = c;
    GetSensitivity(static_cast<uint8_t>(c), &input.range);
    uint8_t coupling = 0;
    GetCoupling(static_cast<uint8_t>(c), &coupling);
    input.coupling = CouplingName(coupling);
    inputs.push_back(std::move(input));
  }
  return inputs;
}

std::vector<ChannelRecord> Probe::ReadRecords(uint32_t recordLength) const {
  std::vector<ChannelRecord> records = ChannelInputs();
  for (ChannelRecord& record : records) {
    record.volts.resize(recordLength);
    Check(GetMeasurementCh(static_cast<uint16_t>(record.number), record.volts.data()),
          "reading channel " + std::to_string(record.number), "");
  }
  return records;
}

}  // namespace veltra::scope
