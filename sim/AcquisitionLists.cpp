#include "sim/AcquisitionLists.h"

#include <algorithm>
#include <array>

namespace veltra::sim {

namespace {

constexpr int64_t kHertz = int64_t{1} << 24;
constexpr int64_t kVolt = int64_t{1} << 32;

constexpr std::array<uint32_t, 4> kResolutions = {8, 12, 14, 16};

// round(volts * 2^32) for the listed ranges, as the library writes them.
constexpr int64_t RangeValue(double volts) {
  return static_cast<int64_t>(volts * static_cast<double>(kVolt) + 0.5);
}
constexpr std::array<int64_t, 9> kRanges = {RangeValue(0.2),  RangeValue(0.4),  RangeValue(0.8),
                                            RangeValue(2.0),  RangeValue(4.0),  RangeValue(8.0),
                                            RangeValue(20.0), RangeValue(40.0), RangeValue(80.0)};

int64_t DividedFrequency(int64_t max, int64_t divider) { return (max + divider / 2) / divider; }

}  // namespace

std::span<const uint32_t> Resolutions() { return kResolutions; }

uint32_t RoundResolution(int64_t bits) {
  for (uint32_t resolution : kResolutions) {
    if (bits <= resolution) return resolution;
  }
  return kResolutions.back();
}

int64_t MaxSampleFrequency(uint32_t resolution) {
  if (resolution <= 8) return 50'000'000 * kHertz;
  if (resolution <= 12) return 20'000'000 * kHertz;
  if (resolution <= 14) return 3'125'000 * kHertz;
  return 195'312 * kHertz + kHertz / 2;
}

std::vector<int64_t> SampleFrequencies(uint32_t resolution) {
  const int64_t max = MaxSampleFrequency(resolution);
  std::vector<int64_t> list;
  static constexpr int64_t kMantissas[] = {1, 2, 5};
  for (int64_t decade = 1;; decade *= 10) {
    for (int64_t mantissa : kMantissas) {
      const int64_t frequency = DividedFrequency(max, mantissa * decade);
      if (frequency < kHertz) return list;
      list.push_back(frequency);
    }
  }
}

int64_t RoundSampleFrequency(uint32_t resolution, int64_t requested) {
  const int64_t max = MaxSampleFrequency(resolution);
  const int64_t maxDivider = max / kHertz;  // the lowest frequency is at least 1 Hz
  if (requested <= 0) return DividedFrequency(max, maxDivider);
  const int64_t below =
      std::clamp<int64_t>(max / requested, 1, maxDivider);  // frequency >= request
  const int64_t above = std::min(below + 1, maxDivider);
  const int64_t high = DividedFrequency(max, below);
  const int64_t low = DividedFrequency(max, above);
  // Compare the distances without overflow: both candidates lie within the 64-bit range.
  return (high > requested ? high - requested : requested - high) <=
                 (low > requested ? low - requested : requested - low)
             ? high
             : low;
}

std::span<const int64_t> Ranges() { return kRanges; }

size_t RoundRange(int64_t requested) {
  for (size_t i = 0; i < kRanges.size(); ++i) {
    // A request a hair above a listed range (a rounding of the caller's) still selects it.
    if (requested <= kRanges[i] + (kRanges[i] >> 30)) return i;
  }
  return kRanges.size() - 1;
}

}  // namespace veltra::sim
