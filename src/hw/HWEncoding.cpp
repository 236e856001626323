#include "hw/HWEncoding.h"

#include <cmath>

namespace veltra {

int64_t RoundToInt64(double x) {
  if (std::isnan(x)) return 0;
  // 2^63 is the first double above the int64 range; everything below it converts exactly.
  constexpr double kLimit = 9223372036854775808.0;
  const double r = std::round(x);
  if (r >= kLimit) return INT64_MAX;
  if (r < -kLimit) return INT64_MIN;
  return static_cast<int64_t>(r);
}

double RoundToNano(double x) { return std::round(x * 1e9) * 1e-9; }

int64_t FrequencyToValue(double hertz) { return RoundToInt64(hertz * kFrequencyScale); }
double ValueToFrequency(int64_t value) { return static_cast<double>(value) / kFrequencyScale; }

int64_t RangeToValue(double volts) { return RoundToInt64(volts * kRangeScale); }
double ValueToRange(int64_t value) { return RoundToNano(static_cast<double>(value) / kRangeScale); }

int64_t TimeOutToValue(double seconds) { return RoundToInt64(seconds * kRangeScale); }
double ValueToTimeOut(int64_t value) { return static_cast<double>(value) / kRangeScale; }

int64_t PulseTimeToValue(double seconds) { return RoundToInt64(seconds * kPulseTimeScale); }
double ValueToPulseTime(int64_t value) { return static_cast<double>(value) / kPulseTimeScale; }

int64_t FractionToValue(double fraction) {
  if (!(fraction > 0.0)) fraction = 0.0;  // also NaN
  if (fraction > 1.0) fraction = 1.0;
  return RoundToInt64(fraction * kFractionScale);
}
double ValueToFraction(int64_t value) { return static_cast<double>(value) / kFractionScale; }

uint8_t ModeFromValue(int64_t value) { return value == 1 ? 1 : 2; }

uint8_t CouplingFromValue(int64_t value) {
  return value >= 1 && value <= 16 ? static_cast<uint8_t>(value) : 2;
}

uint8_t ClockSourceFromValue(int64_t value) {
  return value == 1 || value == 4 ? static_cast<uint8_t>(value) : 2;
}

uint8_t Selector23FromValue(int64_t value) {
  return value == 2 || value == 4 ? static_cast<uint8_t>(value) : 1;
}

uint32_t ResolutionModesFromMask(int64_t mask) {
  uint32_t modes = 0;
  for (int64_t m = 1; m <= 4; ++m) {
    if ((m & mask) != 0) modes |= 1u << m;
  }
  return modes;
}

}  // namespace veltra
