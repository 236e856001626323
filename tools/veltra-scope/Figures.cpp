#include "Figures.h"

#include <algorithm>
#include <cmath>

namespace veltra::scope {
namespace {

// Share of the peak-to-peak by which the signal must fall below the middle before its next rise
// through the middle counts as a new period.
constexpr double kHysteresisShare = 0.1;

}  // namespace

SignalFigures Summarise(std::span<const double> volts, double sampleFrequency) {
  SignalFigures figures;
  if (volts.empty()) return figures;
  const auto [low, high] = std::minmax_element(volts.begin(), volts.end());
  figures.minimum = *low;
  figures.maximum = *high;
  figures.peakToPeak = figures.maximum - figures.minimum;
  double sum = 0.0;
  double sumOfSquares = 0.0;
  for (const double v : volts) {
    sum += v;
    sumOfSquares += v * v;
  }
  const double count = static_cast<double>(volts.size());
  figures.mean = sum / count;
  figures.rms = std::sqrt(sumOfSquares / count);
  figures.frequency = EstimateFrequency(volts, sampleFrequency, figures.minimum, figures.maximum);
  return figures;
}

std::optional<double> EstimateFrequency(std::span<const double> volts, double sampleFrequency,
                                        double minimum, double maximum) {
  const double span = maximum - minimum;
  if (!(span > 0.0) || !(sampleFrequency > 0.0)) return std::nullopt;
  const double middle = minimum + span / 2.0;
  const double armLevel = middle - span * kHysteresisShare;
  bool armed = false;
  int crossings = 0;
  double firstCrossing = 0.0;
  double lastCrossing = 0.0;
  for (size_t i = 1; i < volts.size(); ++i) {
    if (volts[i - 1] < armLevel) armed = true;
    if (armed && volts[i - 1] < middle && volts[i] >= middle) {
      // Fractional sample position where the straight line between the two samples meets middle.
      const double at = static_cast<double>(i - 1) + (middle - volts[i - 1]) / (volts[i] - volts[i - 1]);
      if (crossings == 0) firstCrossing = at;
      lastCrossing = at;
      ++crossings;
      armed = false;
    }
  }
  if (crossings < 2) return std::nullopt;
  return static_cast<double>(crossings - 1) * sampleFrequency / (lastCrossing - firstCrossing);
}

}  // namespace veltra::scope
