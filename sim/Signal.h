#pragma once
// The input signal of a simulated channel and its text form.
//
// Text form (as VELTRA_SIMULATE and the tools write it), numbers with an optional SI prefix
// (p n u m k M G):
//   sine:FREQ:AMPL[:OFFSET[:NOISE]]      also square and triangle; AMPL is the peak voltage
//   dc:LEVEL[:NOISE]
//   noise:RMS[:OFFSET]
//   open                                 the probe tip is not connected: a flat 0 V input
// NOISE is the RMS voltage of noise added to the signal.

#include <optional>
#include <string>
#include <string_view>

namespace veltra::sim {

enum class Waveform { kSine, kSquare, kTriangle, kDc, kNoise };

struct SignalSpec {
  Waveform waveform = Waveform::kSine;
  double frequency = 1000.0;  // Hz, periodic waveforms
  double amplitude = 1.0;     // V peak; the RMS voltage for kNoise
  double offset = 0.0;        // V; the level for kDc
  double noise = 0.0;         // V RMS added to every sample
  bool connected = true;      // false: the probe tip is open, the input is a flat 0 V

  friend bool operator==(const SignalSpec&, const SignalSpec&) = default;
};

// Signals built in code: a periodic waveform (or noise, whose RMS is `amplitude`), a constant.
SignalSpec WaveSignal(Waveform waveform, double frequency, double amplitude, double offset = 0.0,
                      double noise = 0.0);
SignalSpec DcSignal(double level, double noise = 0.0);

// A number such as "1k", "2.5M", "-0.3", "500m", "10u"; nothing when the text is not a finite
// number with at most one prefix letter.
std::optional<double> ParseNumber(std::string_view text);

// The signal a text names; nothing when the text is malformed (unknown waveform, missing or bad
// numbers, too many fields, a negative frequency, amplitude or noise).
std::optional<SignalSpec> ParseSignal(std::string_view text);

// The text form of a signal, which ParseSignal reads back to the same signal.
std::string FormatSignal(const SignalSpec& signal);

}  // namespace veltra::sim
