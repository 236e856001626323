#include "Quantity.h"

#include <gtest/gtest.h>

namespace veltra::scope::test {
namespace {

TEST(QuantityTest, ParsesNumbersWithSiPrefixes) {
  const std::pair<const char*, double> good[] = {{"1.5k", 1500.0}, {"-20m", -0.02}, {"1M", 1e6},   {"250", 250.0},
                                                 {"+3", 3.0},      {"1e3", 1000.0}, {"2u", 2e-6}, {"0.5G", 5e8},
                                                 {"10n", 1e-8},    {"7p", 7e-12}};
  for (const auto& [text, value] : good) {
    ASSERT_TRUE(ParseQuantity(text).has_value()) << text;
    EXPECT_DOUBLE_EQ(*ParseQuantity(text), value) << text;
  }
  for (const char* bad : {"", "k", "1x", "1.5kk", "abc", "nan", "inf", "1 k", "--1"}) {
    EXPECT_FALSE(ParseQuantity(bad).has_value()) << bad;
  }
}

TEST(QuantityTest, FormatsWithThePrefixThatFits) {
  EXPECT_EQ(FormatQuantity(1500.0, "Hz"), "1.5 kHz");
  EXPECT_EQ(FormatQuantity(-0.02, "V"), "-20 mV");
  EXPECT_EQ(FormatQuantity(0.0, "V"), "0 V");
  EXPECT_EQ(FormatQuantity(999.96, "V"), "1 kV");  // rounding carries into the next prefix
  EXPECT_EQ(FormatQuantity(195312.5, "Hz", 7), "195.3125 kHz");
  EXPECT_EQ(FormatQuantity(50e6, "Hz"), "50 MHz");
  EXPECT_EQ(FormatQuantity(0.0025, "s", 3), "2.5 ms");
  EXPECT_EQ(FormatQuantity(12.0, ""), "12");
}

TEST(QuantityTest, TriggerSettings) {
  const std::optional<TriggerSetting> rising = ParseTrigger("rising:0.1");
  ASSERT_TRUE(rising.has_value());
  EXPECT_EQ(rising->slope, TriggerSlope::kRising);
  EXPECT_DOUBLE_EQ(rising->level, 0.1);
  const std::optional<TriggerSetting> falling = ParseTrigger("falling:-50m");
  ASSERT_TRUE(falling.has_value());
  EXPECT_EQ(falling->slope, TriggerSlope::kFalling);
  EXPECT_DOUBLE_EQ(falling->level, -0.05);
  EXPECT_EQ(TriggerText(*falling), "falling:-0.05");
  ASSERT_TRUE(ParseTrigger("none").has_value());
  EXPECT_EQ(ParseTrigger("none")->slope, TriggerSlope::kNone);
  for (const char* bad : {"rising", "rising:", "up:1", "rising:abc", "none:1", ""}) {
    EXPECT_FALSE(ParseTrigger(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace veltra::scope::test
