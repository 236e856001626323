#pragma once
// Records the tests make: sampled sines and squares with known figures, and captures around them.

#include <cmath>
#include <cstdint>
#include <vector>

#include "Capture.h"

namespace veltra::scope::test {

inline constexpr double kPi = 3.14159265358979323846;

// samples of offset + amplitude * sin(2 pi f t + phase) at sampleFrequency, plus noise of the
// given peak size from a fixed pseudo-random sequence (the same on every run).
inline std::vector<double> Sine(size_t samples, double sampleFrequency, double frequency, double amplitude,
                                double offset = 0.0, double phase = 0.0, double noise = 0.0) {
  std::vector<double> volts(samples);
  uint32_t seed = 12345;
  for (size_t i = 0; i < samples; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double jitter = (static_cast<double>(seed >> 8) / 16777216.0 * 2.0 - 1.0) * noise;
    volts[i] = offset + amplitude * std::sin(2.0 * kPi * frequency * static_cast<double>(i) / sampleFrequency + phase) +
               jitter;
  }
  return volts;
}

// A capture of the channels' records with the settings given; the trigger in the middle.
inline Capture MakeCapture(std::vector<std::vector<double>> records, double sampleFrequency,
                           TriggerSetting trigger = {}) {
  Capture capture;
  capture.settings.sampleFrequency = sampleFrequency;
  capture.settings.recordLength = records.empty() ? 0 : static_cast<uint32_t>(records.front().size());
  capture.settings.postSamples = capture.settings.recordLength / 2;
  capture.settings.resolution = 12;
  capture.settings.trigger = trigger;
  capture.settings.timeoutMs = 1000;
  capture.triggered = trigger.slope != TriggerSlope::kNone;
  for (size_t c = 0; c < records.size(); ++c) {
    ChannelRecord channel;
    channel.number = static_cast<int>(c + 1);
    channel.range = 2.0;
    channel.coupling = "dc";
    channel.volts = std::move(records[c]);
    capture.channels.push_back(std::move(channel));
  }
  return capture;
}

}  // namespace veltra::scope::test
