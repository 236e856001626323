#include "sim/Signal.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace veltra::sim {

namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t colon = text.find(':', start);
    fields.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
    if (colon == std::string_view::npos) return fields;
    start = colon + 1;
  }
}

double PrefixFactor(char letter) {
  switch (letter) {
    case 'p': return 1e-12;
    case 'n': return 1e-9;
    case 'u': return 1e-6;
    case 'm': return 1e-3;
    case 'k': return 1e3;
    case 'M': return 1e6;
    case 'G': return 1e9;
    default: return 0.0;
  }
}

// The numbers of fields[first..], at least `required` and at most `allowed` of them.
bool ParseFields(const std::vector<std::string_view>& fields, size_t required, size_t allowed,
                 double* out[]) {
  const size_t count = fields.size() - 1;
  if (count < required || count > allowed) return false;
  for (size_t i = 0; i < count; ++i) {
    const std::optional<double> number = ParseNumber(fields[i + 1]);
    if (!number) return false;
    *out[i] = *number;
  }
  return true;
}

const char* WaveformName(Waveform waveform) {
  switch (waveform) {
    case Waveform::kSine: return "sine";
    case Waveform::kSquare: return "square";
    case Waveform::kTriangle: return "triangle";
    case Waveform::kDc: return "dc";
    case Waveform::kNoise: return "noise";
  }
  return "sine";
}

std::string FormatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

SignalSpec WaveSignal(Waveform waveform, double frequency, double amplitude, double offset,
                      double noise) {
  SignalSpec signal;
  signal.waveform = waveform;
  signal.frequency = frequency;
  signal.amplitude = amplitude;
  signal.offset = offset;
  signal.noise = noise;
  return signal;
}

SignalSpec DcSignal(double level, double noise) {
  return WaveSignal(Waveform::kDc, 0.0, 0.0, level, noise);
}

std::optional<double> ParseNumber(std::string_view text) {
  double factor = 1.0;
  if (!text.empty() && PrefixFactor(text.back()) != 0.0) {
    factor = PrefixFactor(text.back());
    text.remove_suffix(1);
  }
  if (text.empty()) return std::nullopt;
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  value *= factor;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<SignalSpec> ParseSignal(std::string_view text) {
  const std::vector<std::string_view> fields = SplitFields(text);
  const std::string_view kind = fields[0];
  SignalSpec signal;
  bool ok = false;
  if (kind == "sine" || kind == "square" || kind == "triangle") {
    signal.waveform = kind == "sine"     ? Waveform::kSine
                      : kind == "square" ? Waveform::kSquare
                                         : Waveform::kTriangle;
    double* out[] = {&signal.frequency, &signal.amplitude, &signal.offset, &signal.noise};
    ok = ParseFields(fields, 2, 4, out);
  } else if (kind == "dc") {
    signal.waveform = Waveform::kDc;
    signal.amplitude = 0.0;
    double* out[] = {&signal.offset, &signal.noise};
    ok = ParseFields(fields, 1, 2, out);
  } else if (kind == "noise") {
    signal.waveform = Waveform::kNoise;
    double* out[] = {&signal.amplitude, &signal.offset};
    ok = ParseFields(fields, 1, 2, out);
  } else if (kind == "open") {
    signal.connected = false;
    ok = fields.size() == 1;
  }
  if (!ok || signal.frequency < 0.0 || signal.amplitude < 0.0 || signal.noise < 0.0) {
    return std::nullopt;
  }
  return signal;
}

std::string FormatSignal(const SignalSpec& signal) {
  if (!signal.connected) return "open";
  std::string text = WaveformName(signal.waveform);
  const auto add = [&text](double value) { text += ':' + FormatNumber(value); };
  switch (signal.waveform) {
    case Waveform::kDc:
      add(signal.offset);
      add(signal.noise);
      break;
    case Waveform::kNoise:
      add(signal.amplitude);
      add(signal.offset);
      break;
    default:
      add(signal.frequency);
      add(signal.amplitude);
      add(signal.offset);
      add(signal.noise);
      break;
  }
  return text;
}

}  // namespace veltra::sim
