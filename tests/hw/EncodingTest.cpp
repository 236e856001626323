// The fixed-point encodings and reader mappings of property values.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "hw/HWEncoding.h"

namespace veltra {
namespace {

TEST(Encoding, ScalesRoundToNearest) {
  EXPECT_EQ(FrequencyToValue(1e6), 1000000LL * 16777216LL);
  EXPECT_EQ(RangeToValue(1.0), 4294967296LL);
  EXPECT_EQ(TimeOutToValue(0.1), 429496730LL);       // 429496729.6 rounds up
  EXPECT_EQ(TimeOutToValue(-1.0), -4294967296LL);    // "wait for ever" stays exact
  EXPECT_EQ(PulseTimeToValue(1e-6), 1099512LL);      // 1099511.6 rounds up
  EXPECT_EQ(FractionToValue(0.5), 2251799813685248LL);
  EXPECT_EQ(FrequencyToValue(1.0 / 16777216.0 * 0.49), 0);
}

TEST(Encoding, ValuesConvertBack) {
  EXPECT_DOUBLE_EQ(ValueToFrequency(FrequencyToValue(123456.75)), 123456.75);
  EXPECT_DOUBLE_EQ(ValueToTimeOut(TimeOutToValue(-1.0)), -1.0);
  EXPECT_DOUBLE_EQ(ValueToPulseTime(PulseTimeToValue(0.25)), 0.25);
  EXPECT_DOUBLE_EQ(ValueToFraction(FractionToValue(0.75)), 0.75);
}

TEST(Encoding, RangeReadsAreRoundedToNanovolts) {
  EXPECT_EQ(ValueToRange(4294967295LL), 1.0);  // a hair below 1 V reads as 1 V
  EXPECT_EQ(ValueToRange(RangeToValue(0.2)), 0.2);
  EXPECT_EQ(ValueToRange(RangeToValue(-80.0)), -80.0);
}

TEST(Encoding, FractionsAreClampedBeforeScaling) {
  EXPECT_EQ(FractionToValue(-0.5), 0);
  EXPECT_EQ(FractionToValue(1.5), 4503599627370496LL);
  EXPECT_EQ(FractionToValue(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(Encoding, OutOfRangeInputSaturates) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(FrequencyToValue(1e300), INT64_MAX);
  EXPECT_EQ(RangeToValue(-inf), INT64_MIN);
  EXPECT_EQ(RangeToValue(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(RoundToInt64(9223372036854774784.0), 9223372036854774784LL);  // largest below 2^63
  EXPECT_EQ(RoundToInt64(-2.5), -3);
}

TEST(Encoding, ReaderMappings) {
  struct Case {
    int64_t stored;
    uint8_t mode, coupling, clock, selector;
  };
  const Case cases[] = {
      {0, 2, 2, 2, 1},  {1, 1, 1, 1, 1},   {2, 2, 2, 2, 2},   {3, 2, 3, 2, 1},
      {4, 2, 4, 4, 4},  {16, 2, 16, 2, 1}, {17, 2, 2, 2, 1},  {-1, 2, 2, 2, 1},
      {0x100000001LL, 2, 2, 2, 1},  // only the whole 64-bit value counts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    EXPECT_EQ(ModeFromValue(c.stored), c.mode);
    EXPECT_EQ(CouplingFromValue(c.stored), c.coupling);
    EXPECT_EQ(ClockSourceFromValue(c.stored), c.clock);
    EXPECT_EQ(Selector23FromValue(c.stored), c.selector);
  }
}

TEST(Encoding, ResolutionModesFromMask) {
  constexpr uint32_t m1 = 1u << 1, m2 = 1u << 2, m3 = 1u << 3, m4 = 1u << 4;
  EXPECT_EQ(ResolutionModesFromMask(22), m2 | m3 | m4);
  EXPECT_EQ(ResolutionModesFromMask(1), m1 | m3);
  EXPECT_EQ(ResolutionModesFromMask(0), 0u);
  EXPECT_EQ(ResolutionModesFromMask(-1), m1 | m2 | m3 | m4);
  EXPECT_EQ(ResolutionModesFromMask(8), 0u);  // no mode 1-4 shares a bit with 8
}

}  // namespace
}  // namespace veltra
