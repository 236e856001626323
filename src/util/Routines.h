#pragma once
// Small services shared by every layer: date stamps, bit masks, identifiers, the clock.

#include <cstdint>
#include <optional>

namespace veltra {

// A date and time as five 16-bit words (the driver's calibration stamp).
struct PackedStamp {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
};

// The stamp as a date-time (days since 1899-12-30, the time of day as fraction, seconds and
// milliseconds 0); nothing when it names no valid date (year 1-9999) and time.
std::optional<double> PackedStampToDateTime(const PackedStamp& stamp);

}  // namespace veltra
