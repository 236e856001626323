#include "util/DataTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace veltra {
namespace {

TEST(DataTypes, SizesAndVarTypes) {
  const struct {
    uint32_t type;
    int32_t size;
    uint16_t varType;
  } cases[] = {
      {DT_INT8, 1, 16},
      {DT_INT16, 2, 2},
      {DT_INT32, 4, 3},
      {DT_INT64, 8, 20},
      {DT_UINT8, 1, 17},
      {DT_UINT16, 2, 18},
      {DT_UINT32, 4, 19},
      {DT_SINGLE, 4, 4},
      {DT_DOUBLE, 8, 5},
      {DT_EXTENDED, 10, 0},
      {DT_ARRAY_INT8, 1, 0x2010},
      {DT_ARRAY_INT16, 2, 0x2002},
      {DT_ARRAY_INT32, 4, 0x2003},
      {DT_ARRAY_INT64, 8, 0x2014},
      {DT_ARRAY_UINT8, 1, 0x2011},
      {DT_ARRAY_UINT16, 2, 0x2012},
      {DT_ARRAY_UINT32, 4, 0x2013},
      {DT_ARRAY_UINT64, 8, 0},
      {DT_ARRAY_SINGLE, 4, 0x2004},
      {DT_ARRAY_DOUBLE, 8, 0x2005},
      {DT_ARRAY_EXTENDED, 10, 0},
      {0, 0, 0},
      {3, 0, 0},
      {0x200000, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DataTypeSize(c.type), c.size) << c.type;
    EXPECT_EQ(DataTypeToVarType(c.type), c.varType) << c.type;
    if (c.varType != 0) {
      EXPECT_EQ(VarTypeToDataType(c.varType), c.type) << c.varType;
    }
  }
  // The reverse looks at the array bit and the low 12 bits only.
  EXPECT_EQ(VarTypeToDataType(0x6012), DT_ARRAY_UINT16);
  EXPECT_EQ(VarTypeToDataType(0x4005), DT_DOUBLE);
  EXPECT_EQ(VarTypeToDataType(0x2000 | 8), 0u);  // a string element: no data type
  EXPECT_EQ(VarTypeToDataType(0), 0u);
  EXPECT_EQ(DT_INT_ARRAYS,
            DT_ARRAY_INT8 | DT_ARRAY_INT16 | DT_ARRAY_INT32 | DT_ARRAY_INT64 | DT_UNSIGNED_ARRAYS);
  EXPECT_EQ(DT_UNSIGNED_ARRAYS,
            DT_ARRAY_UINT8 | DT_ARRAY_UINT16 | DT_ARRAY_UINT32 | DT_ARRAY_UINT64);
  EXPECT_EQ(DT_FLOAT_ARRAYS, DT_ARRAY_SINGLE | DT_ARRAY_DOUBLE | DT_ARRAY_EXTENDED);
}

TEST(DataTypes, FillZeroLevelAndWords) {
  const struct {
    uint32_t type;
    std::vector<uint8_t> bytes;  // of 3 values; the rest of the buffer stays untouched
  } cases[] = {
      {DT_ARRAY_UINT16, {0x00, 0x80, 0x00, 0x80, 0x00, 0x80}},
      {DT_ARRAY_UINT8, {0x80, 0x80, 0x80}},
      {DT_ARRAY_UINT32, {0, 0, 0, 0x80, 0, 0, 0, 0x80, 0, 0, 0, 0x80}},
      {DT_ARRAY_UINT64,
       {0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x80}},
      {DT_ARRAY_INT16, std::vector<uint8_t>(6, 0)},
      {DT_ARRAY_EXTENDED, std::vector<uint8_t>(30, 0)},
      {DT_ARRAY_DOUBLE, std::vector<uint8_t>(24, 0)},
      {DT_UINT16, {}},  // scalar codes write nothing
      {12345, {}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> buffer(40, 0xAA);
    FillZeroLevel(buffer.data(), c.type, 3);
    std::vector<uint8_t> expected = c.bytes;
    expected.resize(40, 0xAA);
    EXPECT_EQ(buffer, expected) << c.type;
    FillZeroLevel(buffer.data() + 1, DT_ARRAY_UINT8, 0);
    EXPECT_EQ(buffer, expected) << "count 0";
  }

  std::vector<uint8_t> words(12, 0);
  FillWords(0x1234, words.data() + 1, 5);  // an odd count, not aligned
  EXPECT_EQ(words, (std::vector<uint8_t>{0, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34,
                                         0x12, 0}));
}

TEST(DataTypes, ContainersForResolutions) {
  const struct {
    int32_t resolution;
    int32_t container;
    uint32_t floatType;
  } cases[] = {
      {1, 8, DT_ARRAY_SINGLE},     {8, 8, DT_ARRAY_SINGLE},     {9, 16, DT_ARRAY_SINGLE},
      {16, 16, DT_ARRAY_SINGLE},   {17, 32, DT_ARRAY_SINGLE},   {24, 32, DT_ARRAY_SINGLE},
      {25, 32, DT_ARRAY_DOUBLE},   {32, 32, DT_ARRAY_DOUBLE},   {33, 64, DT_ARRAY_DOUBLE},
      {52, 64, DT_ARRAY_DOUBLE},   {53, 64, DT_ARRAY_EXTENDED}, {64, 64, DT_ARRAY_EXTENDED},
      {65, -1, DT_ARRAY_EXTENDED},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContainerBits(c.resolution), c.container) << c.resolution;
    EXPECT_EQ(FloatArrayType(c.resolution), c.floatType) << c.resolution;
  }
  EXPECT_EQ(UnsignedArrayType(8), DT_ARRAY_UINT8);
  EXPECT_EQ(UnsignedArrayType(16), DT_ARRAY_UINT16);
  EXPECT_EQ(UnsignedArrayType(32), DT_ARRAY_UINT32);
  EXPECT_EQ(UnsignedArrayType(64), DT_ARRAY_UINT64);
  EXPECT_EQ(UnsignedArrayType(12), 0u);
  EXPECT_EQ(UnsignedArrayType(-1), 0u);
}

TEST(DataTypes, CodeRangeAndGrid) {
  // Over [-1, 1) with 8 bits the top code is 1 - 1/128 = 0.9921875.
  const std::vector<double> onGrid = {-1.0, 0.0, 0.9921875, 0.5 + 0.001 / 128};
  EXPECT_TRUE(IsInCodeRange(onGrid.data(), DT_ARRAY_DOUBLE, 4, -1, 1, 8));
  EXPECT_TRUE(IsQuantized(onGrid.data(), DT_ARRAY_DOUBLE, 4, -1, 1, 8));
  const std::vector<double> top = {0.99609375};
  EXPECT_FALSE(IsInCodeRange(top.data(), DT_ARRAY_DOUBLE, 1, -1, 1, 8));
  EXPECT_TRUE(IsInCodeRange(top.data(), DT_ARRAY_DOUBLE, 1, -1, 1, 0));    // 0 bits keeps max
  EXPECT_FALSE(IsInCodeRange(top.data(), DT_ARRAY_DOUBLE, 1, -1, 1, 12));  // no such width
  const std::vector<float> below = {-1.0001f};
  EXPECT_FALSE(IsInCodeRange(below.data(), DT_ARRAY_SINGLE, 1, -1, 1, 16));
  const std::vector<double> nan = {std::nan("")};
  EXPECT_FALSE(IsInCodeRange(nan.data(), DT_ARRAY_DOUBLE, 1, -1, 1, 16));
  EXPECT_FALSE(IsQuantized(nan.data(), DT_ARRAY_DOUBLE, 1, -1, 1, 16));
  // 64 bits: the top code lies 2^-64 of the span below max, which only extended values can hold.
  long double extended[2] = {0.0L, 1.0L - 1.0L / 18446744073709551616.0L};
  std::vector<uint8_t> packed(20);
  std::memcpy(packed.data(), &extended[0], 10);
  std::memcpy(packed.data() + 10, &extended[1], 10);
  EXPECT_FALSE(IsInCodeRange(packed.data(), DT_ARRAY_EXTENDED, 2, -1, 1, 64));
  EXPECT_TRUE(IsInCodeRange(packed.data(), DT_ARRAY_EXTENDED, 1, -1, 1, 64));

  // Off the grid by 2% of a step, and on it within 1% on either side.
  const std::vector<double> off = {0.02 / 128};
  EXPECT_FALSE(IsQuantized(off.data(), DT_ARRAY_DOUBLE, 1, -1, 1, 8));
  const std::vector<double> near = {-0.009 / 128, 1.0 / 128 - 0.009 / 128};
  EXPECT_TRUE(IsQuantized(near.data(), DT_ARRAY_DOUBLE, 2, -1, 1, 8));
  // Below min the fraction is negative and counts as on the grid.
  const std::vector<double> under = {-1.0 - 0.3 / 128};
  EXPECT_TRUE(IsQuantized(under.data(), DT_ARRAY_DOUBLE, 1, -1, 1, 8));
  EXPECT_FALSE(IsQuantized(off.data(), DT_ARRAY_DOUBLE, 1, 1, 1, 8));  // an empty range
  // Other types pass without looking.
  EXPECT_TRUE(IsInCodeRange(off.data(), DT_ARRAY_UINT16, 1, -1, 1, 16));
  EXPECT_TRUE(IsQuantized(off.data(), DT_ARRAY_UINT16, 1, -1, 1, 16));
}

TEST(DataTypes, ChooseStorageType) {
  const std::vector<double> codes = {-1.0, 0.0, 0.5, 1.0 - 1.0 / 2048};  // 12-bit codes
  const std::vector<double> measured = {0.1234567, -0.7654321};
  const struct {
    const void* samples;
    uint32_t type;
    size_t count;
    int32_t resolution;
    uint32_t expected;
  } cases[] = {
      {codes.data(), DT_ARRAY_DOUBLE, 4, 12, DT_ARRAY_UINT16},     // codes of 12 bits fit 16
      {codes.data(), DT_ARRAY_DOUBLE, 4, 8, DT_ARRAY_SINGLE},      // beyond the 8-bit top code
      {measured.data(), DT_ARRAY_DOUBLE, 2, 12, DT_ARRAY_SINGLE},  // float type of 12 bits
      {measured.data(), DT_ARRAY_DOUBLE, 2, 40, DT_ARRAY_DOUBLE},
      {measured.data(), DT_ARRAY_DOUBLE, 2, 60, DT_ARRAY_DOUBLE},  // never extended
      {codes.data(), DT_ARRAY_UINT16, 4, 12, DT_ARRAY_UINT16},     // the container is not smaller
      {codes.data(), DT_ARRAY_INT32, 4, 12, DT_ARRAY_UINT16},      // integer codes always fit
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseStorageType(c.samples, c.type, c.count, c.resolution, -1, 1), c.expected)
        << c.type << " " << c.resolution;
  }
}

}  // namespace
}  // namespace veltra
