#include "util/ConvertData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "util/ConvertKernels.h"
#include "util/DataTypes.h"

namespace veltra {
namespace {

constexpr uint32_t kAllTypes[] = {
    DT_INT8,           DT_INT16,
    DT_INT32,          DT_INT64,
    DT_UINT8,          DT_UINT16,
    DT_UINT32,         DT_SINGLE,
    DT_DOUBLE,         DT_EXTENDED,
    DT_ARRAY_INT8,     DT_ARRAY_INT16,
    DT_ARRAY_INT32,    DT_ARRAY_INT64,
    DT_ARRAY_UINT8,    DT_ARRAY_UINT16,
    DT_ARRAY_UINT32,   DT_ARRAY_UINT64,
    DT_ARRAY_SINGLE,   DT_ARRAY_DOUBLE,
    DT_ARRAY_EXTENDED, 3,
    0x30000,
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
  auto isInt = [](uint32_t t) {
    return t >= DT_ARRAY_INT8 && t <= DT_ARRAY_UINT64 && std::has_single_bit(t);
  };
  auto isFloat = [](uint32_t t) {
    return t == DT_ARRAY_SINGLE || t == DT_ARRAY_DOUBLE || t == DT_ARRAY_EXTENDED;
  };
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
  const std::vector<double> volts = {
      -1.0, 0.0, 0.999969482421875, 0.99996948, 1.0, -1.000030517578125, 3.0, -0.5};
  EXPECT_EQ(Convert<uint16_t>(volts, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, -1, 1),
            (std::vector<uint16_t>{0, 32768, 65535, 65535, 0, 0xFFFF, 0, 16384}));
  EXPECT_EQ(Convert<int16_t>(volts, DT_ARRAY_DOUBLE, DT_ARRAY_INT16, -1, 1),
            (std::vector<int16_t>{-32768, 0, 32767, 32767, -32768, 32767, -32768, -16384}));
  // Half a step rounds to even.
  const std::vector<double> halves = {0.5 / 128 - 1, 1.5 / 128 - 1, 2.5 / 128 - 1};
  EXPECT_EQ(Convert<uint8_t>(halves, DT_ARRAY_DOUBLE, DT_ARRAY_UINT8, -1, 1),
            (std::vector<uint8_t>{0, 2, 2}));
  // 64-bit codes are computed as signed; the unsigned type flips the top bit.
  EXPECT_EQ(
      Convert<uint64_t>(std::vector<double>{-1, 0, 0.5}, DT_ARRAY_DOUBLE, DT_ARRAY_UINT64, -1, 1),
      (std::vector<uint64_t>{0, 0x8000000000000000, 0xC000000000000000}));
  EXPECT_EQ(
      Convert<int64_t>(std::vector<double>{-1, 0, 0.5}, DT_ARRAY_DOUBLE, DT_ARRAY_INT64, -1, 1),
      (std::vector<int64_t>{std::numeric_limits<int64_t>::min(), 0, 0x4000000000000000}));
  // Beyond the 64-bit range, and not a number: the code of 0x8000000000000000.
  const std::vector<double> wild = {1e30, -1e30, std::nan(""), INFINITY};
  EXPECT_EQ(Convert<uint16_t>(wild, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, -1, 1),
            (std::vector<uint16_t>{0, 0, 0, 0}));
  EXPECT_EQ(Convert<int64_t>(wild, DT_ARRAY_DOUBLE, DT_ARRAY_INT64, -1, 1),
            std::vector<int64_t>(4, std::numeric_limits<int64_t>::min()));

  EXPECT_EQ(Convert<double>(std::vector<uint16_t>{0x8000, 0, 0xFFFF}, DT_ARRAY_UINT16,
                            DT_ARRAY_DOUBLE, -1, 1),
            (std::vector<double>{0.0, -1.0, 1.0 - 1.0 / 32768}));
  EXPECT_EQ(Convert<double>(std::vector<int16_t>{0, -32768, 32767}, DT_ARRAY_INT16, DT_ARRAY_DOUBLE,
                            -1, 1),
            (std::vector<double>{0.0, -1.0, 1.0 - 1.0 / 32768}));
  EXPECT_EQ(Convert<float>(std::vector<uint16_t>{0, 0x8000, 0xC000}, DT_ARRAY_UINT16,
                           DT_ARRAY_SINGLE, -1, 1),
            (std::vector<float>{-1.0f, 0.0f, 0.5f}));
  EXPECT_EQ(Convert<double>(std::vector<uint32_t>{0, 0x80000000, 0xFFFFFFFF}, DT_ARRAY_UINT32,
                            DT_ARRAY_DOUBLE, 0, 4),
            (std::vector<double>{0.0, 2.0, 4.0 - 4.0 / 4294967296.0}));
  EXPECT_EQ(Convert<double>(std::vector<uint64_t>{0, 0x8000000000000000, 0xC000000000000000},
                            DT_ARRAY_UINT64, DT_ARRAY_DOUBLE, -1, 1),
            (std::vector<double>{-1.0, 0.0, 0.5}));
  EXPECT_EQ(Convert<double>(std::vector<int64_t>{std::numeric_limits<int64_t>::min(), 0},
                            DT_ARRAY_INT64, DT_ARRAY_DOUBLE, -1, 1),
            (std::vector<double>{-1.0, 0.0}));
}

TEST(ConvertData, IntegerWidthsAreLeftAligned) {
  const std::vector<uint16_t> mid = {0x8000, 0x1234, 0xFFFF};
  EXPECT_EQ(Convert<uint8_t>(mid, DT_ARRAY_UINT16, DT_ARRAY_UINT8, 0, 0),
            (std::vector<uint8_t>{0x80, 0x12, 0xFF}));
  EXPECT_EQ(Convert<int8_t>(mid, DT_ARRAY_UINT16, DT_ARRAY_INT8, 0, 0),
            (std::vector<int8_t>{0, -110, 127}));
  EXPECT_EQ(Convert<uint64_t>(mid, DT_ARRAY_UINT16, DT_ARRAY_UINT64, 0, 0),
            (std::vector<uint64_t>{0x8000000000000000, 0x1234000000000000, 0xFFFF000000000000}));
  EXPECT_EQ(Convert<int32_t>(std::vector<int8_t>{-128, -1, 1}, DT_ARRAY_INT8, DT_ARRAY_INT32, 0, 0),
            (std::vector<int32_t>{INT32_MIN, -0x1000000, 0x1000000}));
  EXPECT_EQ(Convert<uint64_t>(std::vector<int8_t>{-128, 0}, DT_ARRAY_INT8, DT_ARRAY_UINT64, 0, 0),
            (std::vector<uint64_t>{0, 0x8000000000000000}));
  EXPECT_EQ(Convert<uint8_t>(std::vector<uint32_t>{0x12345678, 0xFF000000}, DT_ARRAY_UINT32,
                             DT_ARRAY_UINT8, 0, 0),
            (std::vector<uint8_t>{0x12, 0xFF}));
  EXPECT_EQ(Convert<int16_t>(std::vector<int64_t>{-1, 0x7FFF000000000000}, DT_ARRAY_INT64,
                             DT_ARRAY_INT16, 0, 0),
            (std::vector<int16_t>{-1, 0x7FFF}));
}

TEST(ConvertData, FloatsAndCopies) {
  EXPECT_EQ(
      Convert<float>(std::vector<double>{0.1, 1e300, -0.0}, DT_ARRAY_DOUBLE, DT_ARRAY_SINGLE, 0, 0),
      (std::vector<float>{0.1f, INFINITY, -0.0f}));
  // Extended values are 10 bytes each.
  const std::vector<double> values = {0.1, -3.5, 1e-300};
  std::vector<uint8_t> extended(30);
  ASSERT_TRUE(
      ConvertData(values.data(), extended.data(), DT_ARRAY_DOUBLE, DT_ARRAY_EXTENDED, 3, 0, 0));
  long double second = 0;
  std::memcpy(&second, extended.data() + 10, 10);
  EXPECT_EQ(second, -3.5L);
  std::vector<double> back(3);
  ASSERT_TRUE(
      ConvertData(extended.data(), back.data(), DT_ARRAY_EXTENDED, DT_ARRAY_DOUBLE, 3, 0, 0));
  EXPECT_EQ(back, values);
  std::vector<uint16_t> codes(3);
  ASSERT_TRUE(
      ConvertData(extended.data(), codes.data(), DT_ARRAY_EXTENDED, DT_ARRAY_UINT16, 3, -4, 4));
  EXPECT_EQ(codes, (std::vector<uint16_t>{33587, 4096, 32768}));

  // The same type is copied, also when the ranges overlap, and left alone in place.
  std::vector<uint16_t> words = {1, 2, 3, 4};
  ASSERT_TRUE(
      ConvertData(words.data(), words.data() + 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, 3, 0, 0));
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
    {-0.2, 0.2}, {-0.4, 0.4},        {-0.8, 0.8},  {-2, 2},  {-4, 4}, {-8, 8}, {-20, 20}, {-40, 40},
    {-80, 80},   {0, 0.2},           {0, 1},       {0, 3.3}, {0, 5},  {0, 10}, {0, 80},   {-1, 3},
    {-0.3, 0.7}, {1e-3, 1.23456789}, {-1e6, 1e-6}, {5, -5},
};
// Lopsided: |min| > |max|, where max - min may not be a double although it looks like one.
const Range kLopsidedRanges[] = {{-3.3, 0.2}, {-80, 0.2}, {-5, 3.3}, {-1, 1e-300}};

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
  ASSERT_TRUE(
      ConvertDataReference(in.data(), reference.data(), from, to, in.size(), range.min, range.max));
  ExpectSameBits(fast, reference, what, range);
}

// Runs the checks with the wider vector loops (where the processor has them) and with SSE2.
template <class F>
void OnEveryVectorPath(F&& check) {
  for (bool wide : {true, false}) {
    SCOPED_TRACE(convert::UseWiderVectors(wide) ? "AVX2 loops" : "SSE2 loops");
    check();
  }
  convert::UseWiderVectors(true);
}

template <class S>
std::vector<S> EveryCode() {
  std::vector<S> codes(size_t{1} << (8 * sizeof(S)));
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<S>(i);
  return codes;
}

TEST(ConvertDataExact, EveryShortCodeToFloat) {
  OnEveryVectorPath([&] {
    const auto u8 = EveryCode<uint8_t>();
    const auto u16 = EveryCode<uint16_t>();
    const auto i16 = EveryCode<int16_t>();
    std::vector<Range> ranges(std::begin(kRanges), std::end(kRanges));
    ranges.insert(ranges.end(), std::begin(kLopsidedRanges), std::end(kLopsidedRanges));
    for (const Range& r : ranges) {
      CompareWithReference<uint8_t, double>(u8, DT_ARRAY_UINT8, DT_ARRAY_DOUBLE, r,
                                            "uint8->double");
      CompareWithReference<uint8_t, float>(u8, DT_ARRAY_UINT8, DT_ARRAY_SINGLE, r, "uint8->single");
      CompareWithReference<uint16_t, double>(u16, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, r,
                                             "uint16->double");
      CompareWithReference<uint16_t, float>(u16, DT_ARRAY_UINT16, DT_ARRAY_SINGLE, r,
                                            "uint16->single");
      CompareWithReference<int16_t, double>(i16, DT_ARRAY_INT16, DT_ARRAY_DOUBLE, r,
                                            "int16->double");
      CompareWithReference<int16_t, float>(i16, DT_ARRAY_INT16, DT_ARRAY_SINGLE, r,
                                           "int16->single");
    }
  });
}

// Float values that test codes of N bits, in groups converted one by one (the vector path decides
// per block, so each group shows one kind of block): the codes' own values; the middles between
// codes and a few units in the last place around them (handed to the reference); values a few
// units of 2^-16 of a code step beside the middles (decided by the vector path); values far
// outside the range, where codes wrap around, up to where the vector path hands over; and special
// values.
template <class F>
std::vector<std::vector<F>> ProbeGroups(int bits, const Range& r,
                                        const std::vector<double>& codes) {
  const double step = (r.max - r.min) / std::ldexp(1.0, bits);
  auto value = [&](double code) { return static_cast<F>(r.min + code * step); };
  std::vector<std::vector<F>> groups(5);
  for (double k : codes) {
    groups[0].push_back(value(k));
    F middle = value(k + 0.5);
    for (int i = 0; i < 3; ++i) middle = std::nextafter(middle, F(-INFINITY));
    for (int i = 0; i < 7; ++i, middle = std::nextafter(middle, F(INFINITY))) {
      groups[1].push_back(middle);
    }
    for (double units : {2.5, 3.5, 8.0, 100.0}) {
      groups[2].push_back(value(k + 0.5 + units / 65536));
      groups[2].push_back(value(k + 0.5 - units / 65536));
    }
  }
  // Eight magnitudes, so that the group fills whole vector steps and no single sample of the
  // tail decides for the block.
  for (double far :
       {1048576.0 + 777, 1073741824.0 + 4321, 17179869184.0 - 12345, 34359738368.0 + 54321,
        68719476736.0 + 9999, 137438953472.0 + 31, 1099511627776.0 + 1357, 35184372088832.0 + 99}) {
    for (double k : {far, -far, far + 0.25, -far - 0.75}) groups[3].push_back(value(k));
  }
  groups[4] = {F(0),
               F(-0.0),
               F(INFINITY),
               F(-INFINITY),
               std::numeric_limits<F>::quiet_NaN(),
               std::numeric_limits<F>::max(),
               std::numeric_limits<F>::denorm_min(),
               F(1e10)};
  return groups;
}

template <class S, class D>
void CompareGroups(const std::vector<std::vector<S>>& groups, uint32_t from, uint32_t to,
                   const Range& r, const char* what) {
  for (const auto& group : groups) CompareWithReference<S, D>(group, from, to, r, what);
}

TEST(ConvertDataExact, FloatToEveryShortCode) {
  OnEveryVectorPath([&] {
    for (int bits : {8, 16}) {
      std::vector<double> codes;
      for (int k = -2; k < (1 << bits) + 2; ++k) codes.push_back(k);
      for (const Range& r : kRanges) {
        const auto d = ProbeGroups<double>(bits, r, codes);
        const auto f = ProbeGroups<float>(bits, r, codes);
        if (bits == 8) {
          CompareGroups<double, uint8_t>(d, DT_ARRAY_DOUBLE, DT_ARRAY_UINT8, r, "double->uint8");
          CompareGroups<double, int8_t>(d, DT_ARRAY_DOUBLE, DT_ARRAY_INT8, r, "double->int8");
          CompareGroups<float, uint8_t>(f, DT_ARRAY_SINGLE, DT_ARRAY_UINT8, r, "single->uint8");
        } else {
          CompareGroups<double, uint16_t>(d, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, r, "double->uint16");
          CompareGroups<double, int16_t>(d, DT_ARRAY_DOUBLE, DT_ARRAY_INT16, r, "double->int16");
          CompareGroups<float, uint16_t>(f, DT_ARRAY_SINGLE, DT_ARRAY_UINT16, r, "single->uint16");
          CompareGroups<float, int16_t>(f, DT_ARRAY_SINGLE, DT_ARRAY_INT16, r, "single->int16");
        }
      }
    }
  });
}

TEST(ConvertDataExact, ThirtyTwoBitCodesOverARandomSample) {
  std::mt19937_64 random(20240601);
  std::vector<uint32_t> codes = {0,          1,          2,          0x7FFFFFFF,
                                 0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF};
  while (codes.size() < (1u << 16)) codes.push_back(static_cast<uint32_t>(random()));
  std::vector<int32_t> signedCodes(codes.size());
  std::memcpy(signedCodes.data(), codes.data(), codes.size() * 4);
  const std::vector<double> codeValues(codes.begin(), codes.end());

  for (const Range& r : kRanges) {
    CompareWithReference<uint32_t, double>(codes, DT_ARRAY_UINT32, DT_ARRAY_DOUBLE, r,
                                           "uint32->double");
    CompareWithReference<uint32_t, float>(codes, DT_ARRAY_UINT32, DT_ARRAY_SINGLE, r,
                                          "uint32->single");
    CompareWithReference<int32_t, double>(signedCodes, DT_ARRAY_INT32, DT_ARRAY_DOUBLE, r,
                                          "int32->double");

    auto d = ProbeGroups<double>(32, r, codeValues);
    std::uniform_real_distribution<double> fraction(-0.25, 1.25);
    std::vector<double> anywhere = {r.min, r.max, std::nextafter(r.max, -INFINITY)};
    while (anywhere.size() < codes.size())
      anywhere.push_back(r.min + fraction(random) * (r.max - r.min));
    d.push_back(anywhere);
    std::vector<std::vector<float>> f;
    for (const auto& group : d) f.emplace_back(group.begin(), group.end());
    CompareGroups<double, uint32_t>(d, DT_ARRAY_DOUBLE, DT_ARRAY_UINT32, r, "double->uint32");
    CompareGroups<double, int32_t>(d, DT_ARRAY_DOUBLE, DT_ARRAY_INT32, r, "double->int32");
    CompareGroups<float, uint32_t>(f, DT_ARRAY_SINGLE, DT_ARRAY_UINT32, r, "single->uint32");
  }
}

// Codes near the middle of ranges that cross zero, where the values are small and the extended
// computation's rounding of code * step weighs most, so that many samples are converted twice
// (the 16-bit ones from the table of the range when a long run made one, else by the reference);
// and ranges narrow against their distance from zero or close to the limits of the doubles. Each
// range appears only here and each is run short before it is run long, so the short run never
// finds a table of its range.
TEST(ConvertDataExact, CodesNearZeroAndUncommonRanges) {
  std::mt19937 random(5);
  std::vector<uint16_t> u16(70000);
  std::vector<uint32_t> u32(70000);
  for (size_t i = 0; i < u16.size(); ++i) {
    const int spread = i % 2 == 0 ? 64 : 4096;
    u16[i] = static_cast<uint16_t>(32768 + static_cast<int>(random() % (2 * spread)) - spread);
    u32[i] = 0x80000000u + static_cast<uint32_t>(random() % (1u << (i % 24 + 1))) -
             (1u << (i % 24));
  }
  // Signed codes of the same values.
  std::vector<int16_t> i16(u16.size());
  std::vector<int32_t> i32(u32.size());
  for (size_t i = 0; i < u16.size(); ++i) {
    i16[i] = static_cast<int16_t>(u16[i] ^ 0x8000);
    i32[i] = static_cast<int32_t>(u32[i] ^ 0x80000000u);
  }
  const Range ranges[] = {{-0.3, 0.3}, {-1.7, 0.9},       {1000, 1000.001},
                          {-0.5, -0.45}, {-1e-270, 3e-270}, {-1e270, 1e270}};
  OnEveryVectorPath([&] {
    for (const Range& r : ranges) {
      for (size_t count : {4000, 70000}) {
        auto first = [count](const auto& codes) {
          return std::vector(codes.begin(), codes.begin() + static_cast<std::ptrdiff_t>(count));
        };
        CompareWithReference<uint16_t, double>(first(u16), DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, r,
                                               "uint16->double");
        CompareWithReference<int16_t, double>(first(i16), DT_ARRAY_INT16, DT_ARRAY_DOUBLE, r,
                                              "int16->double");
        CompareWithReference<uint32_t, double>(first(u32), DT_ARRAY_UINT32, DT_ARRAY_DOUBLE, r,
                                               "uint32->double");
        CompareWithReference<int32_t, double>(first(i32), DT_ARRAY_INT32, DT_ARRAY_DOUBLE, r,
                                              "int32->double");
      }
    }
  });
}

// A range bound as a user types it (a decimal number of a few digits), or a double of a few
// significant bits at a random scale and sign, so that sums and differences of two of them are
// often exact (and the exact paths taken), or any double of similar size.
double RandomBound(std::mt19937_64& random) {
  if (random() & 1) {
    const double decimals[] = {1, 10, 100, 1000};
    return static_cast<double>(std::uniform_int_distribution<int>(-100000, 100000)(random)) / decimals[random() % 4];
  }
  std::uniform_int_distribution<int> bits(1, 53);
  std::uniform_int_distribution<int> exponent(-30, 12);
  const int width = bits(random);
  const auto mantissa = static_cast<double>((random() >> (64 - width)) | 1);
  const double value = std::ldexp(mantissa, exponent(random) - width);
  return random() & 1 ? -value : value;
}

// Ranges drawn at random, with every fast path against the reference: the codes' values (every
// 8- and 16-bit code, a sample of 32-bit codes) and values anywhere near the range as codes.
TEST(ConvertDataExact, SeededSweepOverRandomRanges) {
  std::mt19937_64 random(17);
  const auto u8 = EveryCode<uint8_t>();
  const auto u16 = EveryCode<uint16_t>();
  const auto i16 = EveryCode<int16_t>();
  std::vector<uint32_t> u32(4096);
  for (auto& code : u32) code = static_cast<uint32_t>(random());
  std::vector<int32_t> i32(u32.begin(), u32.end());
  for (int draw = 0; draw < 60; ++draw) {
    Range r{RandomBound(random), RandomBound(random)};
    if (draw % 2 == 0) {
      // Bounds typed as decimals a width of few bits apart, the lower one below 0 and farther from
      // it ([-3.3, 0.2) is 3.5 wide): the double difference of the rounded bounds is short as
      // well, but not always exact.
      const int digits = static_cast<int>(random() % 3) + 1;
      const int64_t scale = digits == 1 ? 10 : digits == 2 ? 100 : 1000;
      const int64_t width = static_cast<int64_t>(random() % 64 + 1) * (scale >> (random() % (digits + 1)));
      const int64_t low = -static_cast<int64_t>(random() % static_cast<uint64_t>(width)) - 1;
      r = {static_cast<double>(low) / static_cast<double>(scale),
           static_cast<double>(low + width) / static_cast<double>(scale)};
    }
    std::vector<double> values(4096);
    std::uniform_real_distribution<double> fraction(-0.1, 1.1);
    for (auto& v : values) v = r.min + fraction(random) * (r.max - r.min);
    const std::vector<float> singles(values.begin(), values.end());
    OnEveryVectorPath([&] {
      CompareWithReference<uint8_t, double>(u8, DT_ARRAY_UINT8, DT_ARRAY_DOUBLE, r, "uint8->double");
      CompareWithReference<uint8_t, float>(u8, DT_ARRAY_UINT8, DT_ARRAY_SINGLE, r, "uint8->single");
      CompareWithReference<uint16_t, double>(u16, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, r, "uint16->double");
      CompareWithReference<uint16_t, float>(u16, DT_ARRAY_UINT16, DT_ARRAY_SINGLE, r, "uint16->single");
      CompareWithReference<int16_t, double>(i16, DT_ARRAY_INT16, DT_ARRAY_DOUBLE, r, "int16->double");
      CompareWithReference<uint32_t, double>(u32, DT_ARRAY_UINT32, DT_ARRAY_DOUBLE, r, "uint32->double");
      CompareWithReference<uint32_t, float>(u32, DT_ARRAY_UINT32, DT_ARRAY_SINGLE, r, "uint32->single");
      CompareWithReference<int32_t, double>(i32, DT_ARRAY_INT32, DT_ARRAY_DOUBLE, r, "int32->double");
      CompareWithReference<double, uint8_t>(values, DT_ARRAY_DOUBLE, DT_ARRAY_UINT8, r, "double->uint8");
      CompareWithReference<double, uint16_t>(values, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, r, "double->uint16");
      CompareWithReference<double, int16_t>(values, DT_ARRAY_DOUBLE, DT_ARRAY_INT16, r, "double->int16");
      CompareWithReference<double, uint32_t>(values, DT_ARRAY_DOUBLE, DT_ARRAY_UINT32, r, "double->uint32");
      CompareWithReference<float, uint16_t>(singles, DT_ARRAY_SINGLE, DT_ARRAY_UINT16, r, "single->uint16");
    });
    if (HasFailure()) break;
  }
}

// Every vectorised pair at every short length and at unaligned addresses, where the loops' tails
// and single-sample paths do the work.
TEST(ConvertDataExact, ShortAndUnalignedBlocks) {
  OnEveryVectorPath([&] {
    const uint32_t floats[] = {DT_ARRAY_SINGLE, DT_ARRAY_DOUBLE};
    const uint32_t codes[] = {DT_ARRAY_UINT8, DT_ARRAY_INT8,   DT_ARRAY_UINT16,
                              DT_ARRAY_INT16, DT_ARRAY_UINT32, DT_ARRAY_INT32};
    std::mt19937 random(7);
    std::vector<uint8_t> source(8 * 64 + 8);
    for (auto& b : source) b = static_cast<uint8_t>(random());
    std::vector<double> values(64);
    std::uniform_real_distribution<double> volts(-2.5, 2.5);
    for (auto& v : values) v = volts(random);
    const Range ranges[] = {{-2, 2}, {-0.2, 0.2}};
    for (const Range& r : ranges) {
      for (uint32_t f : floats) {
        // Float sources hold values (of the source's own type) rather than random bytes.
        std::vector<uint8_t> in(8 * 64 + 8);
        ASSERT_TRUE(ConvertData(values.data(), in.data() + 1, DT_ARRAY_DOUBLE, f, 64, 0, 0));
        for (uint32_t c : codes) {
          for (size_t count = 0; count <= 40; ++count) {
            for (size_t offset : {1, 3}) {
              std::vector<uint8_t> fast(8 * 64 + 8, 0xCD), reference(8 * 64 + 8, 0xCD);
              ASSERT_TRUE(
                  ConvertData(in.data() + 1, fast.data() + offset, f, c, count, r.min, r.max));
              ASSERT_TRUE(ConvertDataReference(in.data() + 1, reference.data() + offset, f, c,
                                               count, r.min, r.max));
              ASSERT_EQ(fast, reference) << f << " -> " << c << " count " << count;
              if (c == DT_ARRAY_INT8) continue;  // not a source of float conversions
              ASSERT_TRUE(
                  ConvertData(source.data() + offset, fast.data() + 1, c, f, count, r.min, r.max));
              ASSERT_TRUE(ConvertDataReference(source.data() + offset, reference.data() + 1, c, f,
                                               count, r.min, r.max));
              ASSERT_EQ(fast, reference) << c << " -> " << f << " count " << count;
            }
          }
        }
      }
    }
  });
}

// Outputs of many megabytes bypass the cache; the values are the same.
TEST(ConvertDataExact, LargeOutputs) {
  OnEveryVectorPath([&] {
    const size_t count = (size_t{17} << 20) / 8;
    std::vector<uint16_t> codes(count);
    for (size_t i = 0; i < count; ++i) codes[i] = static_cast<uint16_t>(i * 2654435761u >> 7);
    for (size_t offset : {0, 1}) {
      std::vector<double> fast(count + 1, 1.0);
      std::vector<double> reference(count + 1, 1.0);
      ASSERT_TRUE(ConvertData(codes.data(), fast.data() + offset, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE,
                              count, -2, 2));
      ASSERT_TRUE(ConvertDataReference(codes.data(), reference.data() + offset, DT_ARRAY_UINT16,
                                       DT_ARRAY_DOUBLE, count, -2, 2));
      ASSERT_EQ(std::memcmp(fast.data(), reference.data(), (count + 1) * 8), 0) << offset;
    }
  });
}

}  // namespace
}  // namespace veltra
