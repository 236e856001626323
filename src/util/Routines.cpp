#include "util/Routines.h"

namespace veltra {

namespace {

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 0001-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromYearOne(int year, int month, int day) {
  const int64_t y = year - 1;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

}  // namespace

std::optional<double> PackedStampToDateTime(const PackedStamp& stamp) {
  const int year = stamp.year;
  const int month = stamp.month;
  if (year < 1 || year > 9999 || month < 1 || month > 12 || stamp.day < 1 ||
      stamp.day > DaysInMonth(year, month) || stamp.hour > 23 || stamp.minute > 59) {
    return std::nullopt;
  }
  static const int64_t kEpoch = DaysFromYearOne(1899, 12, 30);
  const auto date = static_cast<double>(DaysFromYearOne(year, month, stamp.day) - kEpoch);
  const double time = (stamp.hour * 60 + stamp.minute) / 1440.0;
  // Before the epoch the fraction still counts forwards into the day: -1.25 is 29 Dec 1899, 06:00.
  return date < 0 ? date - time : date + time;
}

}  // namespace veltra
