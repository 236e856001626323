#pragma once
// The figures an oscilloscope shows beside a trace: extremes, mean, RMS, peak-to-peak and the
// frequency of a periodic signal.

#include <optional>
#include <span>

namespace veltra::scope {

struct SignalFigures {
  double minimum = 0.0;
  double maximum = 0.0;
  double mean = 0.0;
  double rms = 0.0;  // of the whole signal, its mean included
  double peakToPeak = 0.0;
  // Absent when the record holds no whole period between two rising crossings.
  std::optional<double> frequency;
};

// Figures of a record sampled at sampleFrequency (Hz). An empty record gives all zeros.
SignalFigures Summarise(std::span<const double> volts, double sampleFrequency);

// The frequency of the record from its rising crossings of the middle between minimum and
// maximum, timed by linear interpolation between samples; a crossing counts only after the signal
// has been below the middle by a tenth of the peak-to-peak, so noise on a slope is not taken
// for periods. Absent below two crossings or for a flat record.
std::optional<double> EstimateFrequency(std::span<const double> volts, double sampleFrequency,
                                        double minimum, double maximum);

}  // namespace veltra::scope
