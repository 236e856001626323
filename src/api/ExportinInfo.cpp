// InitInstrument, ExitInstrument and the informational exports.

#include <cmath>

#include "api/ExportFrame.h"
#include "hw/HWEncoding.h"

using namespace veltra;
using namespace veltra::api;

namespace {

struct TDate {
  uint32_t year = 0, month = 0, day = 0;
};

// The calendar date of a date-time (days since 1899-12-30; the fraction is the time of day).
// 0.0 (no date) and date-times outside the years 1-9999 give none: all zero.
TDate DecodeDate(double dateTime) {
  constexpr double kFirst = -693593.0;  // 0001-01-01
  constexpr double kLast = 2958465.0;   // 9999-12-31
  const double whole = std::trunc(dateTime);
  if (dateTime == 0.0 || !(whole >= kFirst && whole <= kLast)) return {};
  // Days since 0000-03-01 of the proleptic Gregorian calendar, split into 400-year eras.
  const int64_t z = static_cast<int64_t>(whole) + 693899;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return {static_cast<uint32_t>(year), static_cast<uint32_t>(month), static_cast<uint32_t>(day)};
}

}  // namespace

extern "C" {

VeltraStatus VELTRA_CALL InitInstrument(uint32_t /*reserved*/) {
  return Guarded<VeltraStatus>(STATUS_NO_INSTRUMENT, [] {
    try {
      OpenDevices();
    } catch (...) {
      // A device that fails to open is not an instrument; the answer below says so.
    }
    if (!GlobalInstrument()) return STATUS_NO_INSTRUMENT;
    SetTriggerTimeOut(-1);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL ExitInstrument(void) {
  return Guarded<VeltraStatus>(STATUS_OK, [] { return ExitAll(); });
}

VeltraStatus VELTRA_CALL GetCalibrationDate(uint32_t* date) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) {
      Preset(date, 0);
      return STATUS_NO_INSTRUMENT;
    }
    // 0.0 means no calibration date; a date-time no calendar date stands for is none either.
    const TDate d = DecodeDate(instrument->GetCalibrationDate());
    if (d.year == 0) {
      Preset(date, 0);
      return STATUS_NOT_SUPPORTED;
    }
    return Deliver(date, (d.day << 24) + (d.month << 16) + d.year);
  });
}

VeltraStatus VELTRA_CALL GetSerialNumber(uint32_t* serial) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    return Deliver(serial, instrument->GetSerialNumber());
  });
}

VeltraStatus VELTRA_CALL GetNrChannels(uint16_t* channels) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    return Deliver(channels, instrument->GetChannelCount());
  });
}

double VELTRA_CALL GetMaxSampleFrequencyF(void) {
  return Guarded(0.0, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return 0.0;
    return Must(instrument->GetNextSettings()).GetSampleFrequencies(0);
  });
}

uint32_t VELTRA_CALL GetMaxSampleFrequency(void) {
  return static_cast<uint32_t>(RoundToInt64(GetMaxSampleFrequencyF()));
}

uint32_t VELTRA_CALL GetMaxRecordLength(void) {
  return Guarded(0u, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return 0u;
    return static_cast<uint32_t>(Must(instrument->GetNextSettings()).GetDataSizeMax());
  });
}

VeltraStatus VELTRA_CALL GetDCLevelStatus(void) { return STATUS_NOT_SUPPORTED; }

VeltraStatus VELTRA_CALL GetSquareWaveGenStatus(void) { return STATUS_NO_GENERATOR; }

VeltraStatus VELTRA_CALL GetFunctionGenStatus(void) {
  return Guarded<VeltraStatus>(STATUS_NO_GENERATOR, [] {
    if (State().generators.Count() > 0) return STATUS_OK;
    return GlobalInstrument() ? STATUS_NO_GENERATOR : STATUS_NO_INSTRUMENT;
  });
}

}  // extern "C"
