#include "util/ConvertData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "util/DataTypes.h"

namespace veltra {
namespace {

constexpr uint32_t kAllTypes[] = {
    DT_INT8,          DT_INT16,          DT_INT32,          DT_INT64,          DT_UINT8,
    DT_UINT16,        DT_UINT32,         DT_SINGLE,         DT_DOUBLE,         DT_EXTENDED,
    DT_ARRAY_INT8,    DT_ARRAY_INT16,    DT_ARRAY_INT32,    DT_ARRAY_INT64,    DT_ARRAY_UINT8,
    DT_ARRAY_UINT16,  DT_ARRAY_UINT32,   DT_ARRAY_UINT64,   DT_ARRAY_SINGLE,   DT_ARRAY_DOUBLE,
    DT_ARRAY_EXTENDED, 3,                0x30000,
};

template <class D, class S>
std::vector<D> Convert(const std::vector<S>& in, uint32_t from, uint32_t to, double min,
                       double max) {
  std::vector<D> out(in.size());
  EXPECT_TRUE(ConvertData(in.data(), out.data(), from, to, in.size(), min, max));
  return out;
}

TEST(ConvertData, SupportedAndRefusedPairs) {
  // Which pairs convert, from the rules: same type, float->int, int->float (not from signed 8-bit),
  // int->int of another width, float->float.
  auto isInt = [](uint32_t t) { return t >= DT_ARRAY_INT8 && t <= DT_ARRAY_UINT64 && std::has_single_bit(t); };
  auto isFloat = [](uint32_t t) { return t == DT_ARRAY_SINGLE || t == DT_ARRAY_DOUBLE || t == DT_ARRAY_EXTENDED; };
  for (uint32_t from : kAllTypes) {
    for (uint32_t to : kAllTypes) {
      const bool expected = from == to || (isFloat(from) && (isInt(to) || isFloat(to))) ||
                            (isInt(from) && isFloat(to) && from != DT_ARRAY_INT8) ||
                            (isInt(from) && isInt(to) && DataTypeSize(from) != DataTypeSize(to));
      std::vector<uint8_t> in(64, 0x11);
      std::vector<uint8_t> out(64, 0xEE);
      EXPECT_EQ(ConvertData(in.data(), out.data(), from, to, 4, -1, 1), expected)
          << from << " -> " << to;
      if (!expected) {
        EXPECT_EQ(out, std::vector<uint8_t>(64, 0xEE)) << "written: " << from << " -> " << to;
      }
      // A count of 0 succeeds whatever the pair.
      EXPECT_TRUE(ConvertData(in.data(), out.data(), from, to, 0, -1, 1));
    }
  }
}

TEST(ConvertData, CodesOverAHalfOpenRange) {
  const std::vector<double> volts = {-1.0, 0.0, 0.999969482421875, 0.99996948, 1.0, -1.000030517578125,
                                     3.0, -0.5};
  EXPECT_EQ(Convert<uint16_t>(volts, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, -1, 1),
            (std::vector<uint16_t>{0, 32768, 65535, 65535, 0, 0xFFFF, 0, 16384}));
  EXPECT_EQ(Convert<int16_t>(volts, DT_ARRAY_DOUBLE, DT_ARRAY_INT16, -1, 1),
            (std::vector<int16_t>{-32768, 0, 32767, 32767, -32768, 32767, -32768, -16384}));
  // Half a step rounds to even.
  const std::vector<double> halves = {0.5 / 128 - 1, 1.5 / 128 - 1, 2.5 / 128 - 1};
  EXPECT_EQ(Convert<uint8_t>(halves, DT_ARRAY_DOUBLE, DT_ARRAY_UINT8, -1, 1),
            (std::vector<uint8_t>{0, 2, 2}));
  // 64-bit codes are computed as signed; the unsigned type flips the top bit.
  EXPECT_EQ(Convert<uint64_t>(std::vector<double>{-1, 0, 0.5}, DT_ARRAY_DOUBLE, DT_ARRAY_UINT64, -1, 1),
            (std::vector<uint64_t>{0, 0x8000000000000000, 0xC000000000000000}));
  EXPECT_EQ(Convert<int64_t>(std::vector<double>{-1, 0, 0.5}, DT_ARRAY_DOUBLE, DT_ARRAY_INT64, -1, 1),
            (std::vector<int64_t>{std::numeric_limits<int64_t>::min(), 0, 0x4000000000000000}));
  // Beyond the 64-bit range, and not a number: the code of 0x8000000000000000.
  const std::vector<double> wild = {1e30, -1e30, std::nan(""), INFINITY};
  EXPECT_EQ(Convert<uint16_t>(wild, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, -1, 1),
            (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_EQ(Convert<int64_t>(wild, DT_ARRAY_DOUBLE, DT_ARRAY_INT64, -1, 1),
            std::vector<int64_t>(4, std::numeric_limits<int64_t>::min()));

  EXPECT_EQ(Convert<double>(std::vector<uint16_t>{0x8000, 0, 0xFFFF}, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, -1, 1),
            (std::vector<double>{0.0, -1.0, 1.0 - 1.0 / 32768}));
  EXPECT_EQ(Convert<double>(std::vector<int16_t>{0, -32768, 32767}, DT_ARRAY_INT16, DT_ARRAY_DOUBLE, -1, 1),
            (std::vector<double>{0.0, -1.0, 1.0 - 1.0 / 32768}));
  EXPECT_EQ(Convert<float>(std::vector<uint16_t>{0, 0x8000, 0xC000}, DT_ARRAY_UINT16, DT_ARRAY_SINGLE, -1, 1),
            (std::vector<float>{-1.0f, 0.0f, 0.5f}));
  EXPECT_EQ(Convert<double>(std::vector<uint32_t>{0, 0x80000000, 0xFFFFFFFF}, DT_ARRAY_UINT32, DT_ARRAY_DOUBLE, 0, 4),
            (std::vector<double>{0.0, 2.0, 4.0 - 4.0 / 4294967296.0}));
  EXPECT_EQ(Convert<double>(std::vector<uint64_t>{0, 0x8000000000000000, 0xC000000000000000}, DT_ARRAY_UINT64, DT_ARRAY_DOUBLE, -1, 1),
            (std::vector<double>{-1.0, 0.0, 0.5}));
  EXPECT_EQ(Convert<double>(std::vector<int64_t>{std::numeric_limits<int64_t>::min(), 0}, DT_ARRAY_INT64, DT_ARRAY_DOUBLE, -1, 1),
            (std::vector<double>{-1.0, 0.0}));
}

TEST(ConvertData, IntegerWidthsAreLeftAligned) {
  const std::vector<uint16_t> mid = {0x8000, 0x1234, 0xFFFF};
  EXPECT_EQ(Convert<uint8_t>(mid, DT_ARRAY_UINT16, DT_ARRAY_UINT8, 0, 0), (std::vector<uint8_t>{0x80, 0x12, 0xFF}));
  EXPECT_EQ(Convert<int8_t>(mid, DT_ARRAY_UINT16, DT_ARRAY_INT8, 0, 0), (std::vector<int8_t>{0, -110, 127}));
  EXPECT_EQ(Convert<uint64_t>(mid, DT_ARRAY_UINT16, DT_ARRAY_UINT64, 0, 0),
            (std::vector<uint64_t>{0x8000000000000000, 0x1234000000000000, 0xFFFF000000000000}));
  EXPECT_EQ(Convert<int32_t>(std::vector<int8_t>{-128, -1, 1}, DT_ARRAY_INT8, DT_ARRAY_INT32, 0, 0),
            (std::vector<int32_t>{INT32_MIN, -0x1000000, 0x1000000}));
  EXPECT_EQ(Convert<uint64_t>(std::vector<int8_t>{-128, 0}, DT_ARRAY_INT8, DT_ARRAY_UINT64, 0, 0),
            (std::vector<uint64_t>{0, 0x8000000000000000}));
  EXPECT_EQ(Convert<uint8_t>(std::vector<uint32_t>{0x12345678, 0xFF000000}, DT_ARRAY_UINT32, DT_ARRAY_UINT8, 0, 0),
            (std::vector<uint8_t>{0x12, 0xFF}));
  EXPECT_EQ(Convert<int16_t>(std::vector<int64_t>{-1, 0x7FFF000000000000}, DT_ARRAY_INT64, DT_ARRAY_INT16, 0, 0),
            (std::vector<int16_t>{-1, 0x7FFF}));
}

TEST(ConvertData, FloatsAndCopies) {
  EXPECT_EQ(Convert<float>(std::vector<double>{0.1, 1e300, -0.0}, DT_ARRAY_DOUBLE, DT_ARRAY_SINGLE, 0, 0),
            (std::vector<float>{0.1f, INFINITY, -0.0f}));
  // Extended values are 10 bytes each.
  const std::vector<double> values = {0.1, -3.5, 1e-300};
  std::vector<uint8_t> extended(30);
  ASSERT_TRUE(ConvertData(values.data(), extended.data(), DT_ARRAY_DOUBLE, DT_ARRAY_EXTENDED, 3, 0, 0));
  long double second = 0;
  std::memcpy(&second, extended.data() + 10, 10);
  EXPECT_EQ(second, -3.5L);
  std::vector<double> back(3);
  ASSERT_TRUE(ConvertData(extended.data(), back.data(), DT_ARRAY_EXTENDED, DT_ARRAY_DOUBLE, 3, 0, 0));
  EXPECT_EQ(back, values);
  std::vector<uint16_t> codes(3);
  ASSERT_TRUE(ConvertData(extended.data(), codes.data(), DT_ARRAY_EXTENDED, DT_ARRAY_UINT16, 3, -4, 4));
  EXPECT_EQ(codes, (std::vector<uint16_t>{33587, 4096, 32768}));

  // The same type is copied, also when the ranges overlap, and left alone in place.
  std::vector<uint16_t> words = {1, 2, 3, 4};
  ASSERT_TRUE(ConvertData(words.data(), words.data() + 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, 3, 0, 0));
  EXPECT_EQ(words, (std::vector<uint16_t>{1, 1, 2, 3}));
  ASSERT_TRUE(ConvertData(words.data(), words.data(), DT_ARRAY_UINT16, DT_ARRAY_UINT16, 4, 0, 0));
  EXPECT_EQ(words, (std::vector<uint16_t>{1, 1, 2, 3}));
}

// ---------------------------------------------------------------------------------------------
// The vectorised paths against the extended-precision reference, bit for bit.

struct Range {
  double min;
  double max;
};

// Ranges an instrument uses, and a few that are not round numbers.
const Range kRanges[] = {
    {-0.2, 0.2}, {-0.4, 0.4}, {-0.8, 0.8}, {-2, 2},     {-4, 4},     {-8, 8},
    {-20, 20},   {-40, 40},   {-80, 80},   {0, 0.2},    {0, 1},      {0, 3.3},
    {0, 5},      {0, 10},     {0, 80},     {-1, 3},     {-0.3, 0.7}, {1e-3, 1.23456789},
    {-1e6, 1e-6}, {5, -5},
};

template <class T>
void ExpectSameBits(const std::vector<T>& fast, const std::vector<T>& reference, const char* what,
                    const Range& range) {
  ASSERT_EQ(fast.size(), reference.size());
  for (size_t i = 0; i < fast.size(); ++i) {
    if (std::memcmp(&fast[i], &reference[i], sizeof(T)) != 0) {
      FAIL() << what << " [" << range.min << ", " << range.max << ") sample " << i << ": "
             << +fast[i] << " instead of " << +reference[i];
    }
  }
}

template <class S, class D>
void CompareWithReference(const std::vector<S>& in, uint32_t from, uint32_t to, const Range& range,
                          const char* what) {
  std::vector<D> fast(in.size());
  std::vector<D> reference(in.size());
  ASSERT_TRUE(ConvertData(in.data(), fast.data(), from, to, in.size(), range.min, range.max));
  ASSERT_TRUE(ConvertDataReference(in.data(), reference.data(), from, to, in.size(), range.min,
                                   range.max));
  ExpectSameBits(fast, reference, what, range);
}

template <class S>
std::vector<S> EveryCode() {
  std::vector<S> codes(size_t{1} << (8 * sizeof(S)));
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<S>(i);
  return codes;
}

TEST(ConvertDataExact, EveryShortCodeToFloat) {
  const auto u8 = EveryCode<uint8_t>();
  const auto u16 = EveryCode<uint16_t>();
  const auto i16 = EveryCode<int16_t>();
  for (const Range& r : kRanges) {
    CompareWithReference<uint8_t, double>(u8, DT_ARRAY_UINT8, DT_ARRAY_DOUBLE, r, "uint8->double");
    CompareWithReference<uint8_t, float>(u8, DT_ARRAY_UINT8, DT_ARRAY_SINGLE, r, "uint8->single");
    CompareWithReference<uint16_t, double>(u16, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, r, "uint16->double");
    CompareWithReference<uint16_t, float>(u16, DT_ARRAY_UINT16, DT_ARRAY_SINGLE, r, "uint16->single");
    CompareWithReference<int16_t, double>(i16, DT_ARRAY_INT16, DT_ARRAY_DOUBLE, r, "int16->double");
    CompareWithReference<int16_t, float>(i16, DT_ARRAY_INT16, DT_ARRAY_SINGLE, r, "int16->single");
  }
}

// Values that test every code of N bits: each code's own value, and the values around the middle
// between two codes (exactly there, and a few units in the last place to either side).
template <class F>
std::vector<F> CodeProbes(int bits, const Range& r) {
  std::vector<F> probes;
  const double step = (r.max - r.min) / std::ldexp(1.0, bits);
  const long long codes = 1LL << bits;
  for (long long k = -2; k < codes + 2; ++k) {
    const F centre = static_cast<F>(r.min + static_cast<double>(k) * step);
    F edge = static_cast<F>(r.min + (static_cast<double>(k) + 0.5) * step);
    probes.push_back(centre);
    for (int i = 0; i < 3; ++i) edge = std::nextafter(edge, F(-INFINITY));
    for (int i = 0; i < 7; ++i) {
      probes.push_back(edge);
      edge = std::nextafter(edge, F(INFINITY));
    }
  }
  for (F special : {F(0), F(-0.0), F(INFINITY), F(-INFINITY), std::numeric_limits<F>::quiet_NaN(),
                    std::numeric_limits<F>::max(), std::numeric_limits<F>::denorm_min(), F(1e10)}) {
    probes.push_back(special);
  }
  return probes;
}

TEST(ConvertDataExact, FloatToEveryShortCode) {
  for (const Range& r : kRanges) {
    const auto d8 = CodeProbes<double>(8, r);
    const auto s8 = CodeProbes<float>(8, r);
    const auto d16 = CodeProbes<double>(16, r);
    const auto s16 = CodeProbes<float>(16, r);
    CompareWithReference<double, uint8_t>(d8, DT_ARRAY_DOUBLE, DT_ARRAY_UINT8, r, "double->uint8");
    CompareWithReference<double, int8_t>(d8, DT_ARRAY_DOUBLE, DT_ARRAY_INT8, r, "double->int8");
    CompareWithReference<float, uint8_t>(s8, DT_ARRAY_SINGLE, DT_ARRAY_UINT8, r, "single->uint8");
    CompareWithReference<double, uint16_t>(d16, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, r, "double->uint16");
    CompareWithReference<double, int16_t>(d16, DT_ARRAY_DOUBLE, DT_ARRAY_INT16, r, "double->int16");
    CompareWithReference<float, uint16_t>(s16, DT_ARRAY_SINGLE, DT_ARRAY_UINT16, r, "single->uint16");
    CompareWithReference<float, int16_t>(s16, DT_ARRAY_SINGLE, DT_ARRAY_INT16, r, "single->int16");
  }
}

TEST(ConvertDataExact, ThirtyTwoBitCodesOverARandomSample) {
  std::mt19937_64 random(20240601);
  std::vector<uint32_t> codes = {0, 1, 2, 0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF};
  while (codes.size() < (1u << 18)) codes.push_back(static_cast<uint32_t>(random()));
  std::vector<int32_t> signedCodes(codes.size());
  std::memcpy(signedCodes.data(), codes.data(), codes.size() * 4);

  for (const Range& r : kRanges) {
    CompareWithReference<uint32_t, double>(codes, DT_ARRAY_UINT32, DT_ARRAY_DOUBLE, r, "uint32->double");
    CompareWithReference<uint32_t, float>(codes, DT_ARRAY_UINT32, DT_ARRAY_SINGLE, r, "uint32->single");
    CompareWithReference<int32_t, double>(signedCodes, DT_ARRAY_INT32, DT_ARRAY_DOUBLE, r, "int32->double");

    // Values: random codes' own values and the middles between codes, a few ulps around them,
    // values outside the range, and the edges.
    std::vector<double> values;
    std::uniform_real_distribution<double> fraction(-0.25, 1.25);
    const double step = (r.max - r.min) / 4294967296.0;
    for (uint32_t k : codes) {
      values.push_back(r.min + k * step);
      double edge = r.min + (k + 0.5) * step;
      values.push_back(edge);
      values.push_back(std::nextafter(edge, INFINITY));
      values.push_back(std::nextafter(edge, -INFINITY));
      values.push_back(r.min + fraction(random) * (r.max - r.min));
    }
    values.insert(values.end(), {r.min, r.max, std::nextafter(r.max, -INFINITY), 0.0, NAN, INFINITY});
    std::vector<float> singles(values.begin(), values.end());
    CompareWithReference<double, uint32_t>(values, DT_ARRAY_DOUBLE, DT_ARRAY_UINT32, r, "double->uint32");
    CompareWithReference<double, int32_t>(values, DT_ARRAY_DOUBLE, DT_ARRAY_INT32, r, "double->int32");
    CompareWithReference<float, uint32_t>(singles, DT_ARRAY_SINGLE, DT_ARRAY_UINT32, r, "single->uint32");
  }
}

}  // namespace
}  // namespace veltra
