#include "driver/DriverSamples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "util/DataTypes.h"

namespace veltra {
namespace {

TEST(DriverSamples, CodeWidthFollowsTheResolution) {
  const struct {
    int64_t bits;
    uint32_t type;
  } cases[] = {{1, DT_ARRAY_UINT8},   {8, DT_ARRAY_UINT8},   {9, DT_ARRAY_UINT16},
               {12, DT_ARRAY_UINT16}, {16, DT_ARRAY_UINT16}, {17, DT_ARRAY_UINT32},
               {32, DT_ARRAY_UINT32}};
  for (const auto& c : cases) EXPECT_EQ(DriverCodeType(c.bits), c.type) << c.bits;
}

template <class Code>
std::vector<double> Convert(std::vector<Code> codes, uint32_t type, double fullScale) {
  std::vector<double> volts(codes.size(), -99.0);
  EXPECT_TRUE(
      CodesToVolts(reinterpret_cast<const std::byte*>(codes.data()), type, fullScale, volts));
  return volts;
}

TEST(DriverSamples, CodesAroundMidScaleBecomeVolts) {
  // 8 bits over 2 V: one step is 2 / 128 V.
  EXPECT_EQ(Convert<uint8_t>({0, 128, 255, 64}, DT_ARRAY_UINT8, 2.0),
            (std::vector<double>{-2.0, 0.0, 2.0 * 127 / 128, -1.0}));
  // 16 bits over 0.8 V (a range that is no power of two) and 32 bits over 2 V x gain 10.
  const std::vector<double> sixteen = Convert<uint16_t>({0, 32768, 49152}, DT_ARRAY_UINT16, 0.8);
  EXPECT_DOUBLE_EQ(sixteen[0], -0.8);
  EXPECT_DOUBLE_EQ(sixteen[1], 0.0);
  EXPECT_DOUBLE_EQ(sixteen[2], 0.4);
  EXPECT_EQ(Convert<uint32_t>({0, 0x80000000u, 0xC0000000u}, DT_ARRAY_UINT32, 20.0),
            (std::vector<double>{-20.0, 0.0, 10.0}));
}

TEST(DriverSamples, OtherTypesAreRefusedWithoutWriting) {
  const uint16_t codes[2] = {1, 2};
  double volts[2] = {7.0, 7.0};
  for (const uint32_t type : {DT_ARRAY_INT16, DT_ARRAY_DOUBLE, DT_UINT16, 0u}) {
    EXPECT_FALSE(CodesToVolts(reinterpret_cast<const std::byte*>(codes), type, 1.0, volts));
  }
  EXPECT_EQ(volts[0], 7.0);
  EXPECT_EQ(volts[1], 7.0);
}

}  // namespace
}  // namespace veltra
