#include "util/Routines.h"

#include <bit>
#include <cstring>
#include <mutex>
#include <random>

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

template <class T>
T ReadValue(TStream& stream) {
  T value;
  stream.ReadBuffer(&value, sizeof value);
  return value;
}

}  // namespace

bool CompareBytes(const void* a, const void* b, size_t n) {
  return n == 0 || std::memcmp(a, b, n) == 0;
}

int32_t CountBits64(uint64_t mask) { return std::popcount(mask); }

int32_t LowestBit64(uint64_t mask) { return mask == 0 ? -1 : std::countr_zero(mask); }

int64_t FindStreamBlock(TStream& stream, const Guid& id, StreamBlockHeader& header) {
  const int64_t start = stream.Position();
  const int64_t size = stream.Size();
  int64_t position = start;
  StreamBlockHeader found{};
  StreamBlockHeader* read = &header;  // the first header goes to the caller, later ones aside
  while (stream.Read(read, sizeof *read) == sizeof *read) {
    if (read->id == id) {
      if (read != &header) header = *read;
      return position;
    }
    // A distance of 0 would find the same header again for ever.
    if (read->a == read->distance || read->distance == 0 || read->distance > size - position) break;
    position += read->distance;
    stream.SetPosition(position);
    read = &found;
  }
  stream.SetPosition(start);
  return -1;
}

double ReadDouble(TStream& stream) { return ReadValue<double>(stream); }
int32_t ReadInt32(TStream& stream) { return ReadValue<int32_t>(stream); }
uint32_t ReadUInt32(TStream& stream) { return ReadValue<uint32_t>(stream); }
int64_t ReadInt64(TStream& stream) { return ReadValue<int64_t>(stream); }

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

std::string RandomIdentifier(uint8_t length) {
  static constexpr char kAlphabet[] =
      "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_";
  static std::mutex mutex;
  static std::mt19937 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(),
                       static_cast<unsigned>(static_cast<uint64_t>(HighResSeconds() * 1e9))};
    return std::mt19937(seed);
  }();
  std::uniform_int_distribution<int> index(0, sizeof kAlphabet - 2);
  std::string text(length, ' ');
  std::lock_guard lock(mutex);
  for (char& c : text) c = kAlphabet[index(generator)];
  return text;
}

}  // namespace veltra
