#include "util/Routines.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

TEST(Routines, PackedStampToDateTime) {
  const struct {
    PackedStamp stamp;
    double expected;
  } valid[] = {
      {{1899, 12, 30, 0, 0}, 0.0},
      {{1900, 1, 1, 6, 0}, 2.25},
      {{1980, 1, 1, 0, 0}, 29221.0},
      {{2000, 2, 29, 12, 0}, 36585.5},
      {{2009, 3, 15, 23, 59}, 39887.0 + 1439.0 / 1440.0},
      {{1899, 12, 29, 6, 0}, -1.25},
      {{1, 1, 1, 0, 0}, -693593.0},
      {{9999, 12, 31, 0, 0}, 2958465.0},
  };
  for (const auto& c : valid) {
    const auto result = PackedStampToDateTime(c.stamp);
    ASSERT_TRUE(result) << c.stamp.year;
    EXPECT_EQ(*result, c.expected) << c.stamp.year << '-' << c.stamp.month << '-' << c.stamp.day;
  }
  const PackedStamp invalid[] = {
      {}, {0, 1, 1, 0, 0}, {10000, 1, 1, 0, 0}, {2001, 13, 1, 0, 0}, {2001, 2, 29, 0, 0},
      {1900, 2, 29, 0, 0}, {2001, 4, 31, 0, 0}, {2001, 1, 0, 0, 0}, {2001, 1, 1, 24, 0},
      {2001, 1, 1, 0, 60},
  };
  for (const auto& s : invalid) EXPECT_FALSE(PackedStampToDateTime(s)) << s.year << '-' << s.month;
}

}  // namespace
}  // namespace veltra
