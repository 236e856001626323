#pragma once
// Conversions between the 64-bit values of property identifiers and natural units, as the typed
// settings accessors apply them. Scaling rounds to the nearest integer and saturates at the ends of
// the 64-bit range (a value that is not a number gives 0), so no input can overflow.

#include <cstdint>

namespace veltra {

inline constexpr double kFrequencyScale = 16777216.0;        // 2^24: sample frequencies
inline constexpr double kRangeScale = 4294967296.0;          // 2^32: ranges and time-outs
inline constexpr double kPulseTimeScale = 1099511627776.0;   // 2^40: pulse time
inline constexpr double kFractionScale = 4503599627370496.0;  // 2^52: fractions 0-1

// round(x) as a signed 64-bit integer, saturated; 0 for NaN.
int64_t RoundToInt64(double x);

// x rounded to 1e-9 (round(x * 1e9) * 1e-9), the precision ranges are reported with.
double RoundToNano(double x);

int64_t FrequencyToValue(double hertz);
double ValueToFrequency(int64_t value);

int64_t RangeToValue(double volts);
double ValueToRange(int64_t value);  // rounded to 1e-9

int64_t TimeOutToValue(double seconds);
double ValueToTimeOut(int64_t value);

int64_t PulseTimeToValue(double seconds);
double ValueToPulseTime(int64_t value);

// Fractions (pre-samples, trigger level and hysteresis) are clamped to 0-1 before scaling.
int64_t FractionToValue(double fraction);
double ValueToFraction(int64_t value);

// The typed readers' mappings of stored values.
uint8_t ModeFromValue(int64_t value);        // HW_MODE: 1 -> 1, else 2
uint8_t CouplingFromValue(int64_t value);    // HW_COUPLING: 1-16 kept, else 2
uint8_t ClockSourceFromValue(int64_t value);  // HW_CLOCKSOURCE: 1 -> 1, 4 -> 4, else 2
uint8_t Selector23FromValue(int64_t value);  // bit 23 selector: 2 -> 2, 4 -> 4, else 1

// The resolution modes 1-4 present in a mask read from HW_RESOLUTIONMODE with parameter -1: mode m
// is present when m AND mask is non-zero. Answered as a set with bit m for mode m.
uint32_t ResolutionModesFromMask(int64_t mask);

}  // namespace veltra
