#include "util/ConvertData.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

#include "util/DataTypes.h"
#include "util/ExtendedPrecision.h"

namespace veltra {

namespace {

static_assert(std::numeric_limits<long double>::digits == 64,
              "the conversions are defined in x87 80-bit extended precision");

using Extended = long double;

// An element of an extended array: the 10 bytes of an x87 value.
struct Ext10 {
  unsigned char bytes[kExtendedSize];
};

bool InSet(uint32_t type, uint32_t set) { return std::has_single_bit(type) && (type & set) != 0; }

template <class T>
T LoadAt(const void* base, size_t i) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(base) + i * sizeof(T), sizeof(T));
  return value;
}

template <class T>
void StoreAt(void* base, size_t i, T value) {
  std::memcpy(static_cast<unsigned char*>(base) + i * sizeof(T), &value, sizeof(T));
}

template <class T>
Extended LoadExtended(const void* base, size_t i) {
  if constexpr (std::is_same_v<T, Ext10>) {
    Extended value = 0;
    std::memcpy(&value, static_cast<const unsigned char*>(base) + i * kExtendedSize, kExtendedSize);
    return value;
  } else {
    return static_cast<Extended>(LoadAt<T>(base, i));
  }
}

template <class T>
void StoreExtended(void* base, size_t i, Extended value) {
  if constexpr (std::is_same_v<T, Ext10>) {
    std::memcpy(static_cast<unsigned char*>(base) + i * kExtendedSize, &value, kExtendedSize);
  } else {
    StoreAt<T>(base, i, static_cast<T>(value));
  }
}

// Calls f.template operator()<T>() with the element type of a float or integer array code.
template <class F>
bool VisitFloat(uint32_t type, F&& f) {
  switch (type) {
    case DT_ARRAY_SINGLE: f.template operator()<float>(); return true;
    case DT_ARRAY_DOUBLE: f.template operator()<double>(); return true;
    case DT_ARRAY_EXTENDED: f.template operator()<Ext10>(); return true;
    default: return false;
  }
}

template <class F>
bool VisitInt(uint32_t type, F&& f) {
  switch (type) {
    case DT_ARRAY_INT8: f.template operator()<int8_t>(); return true;
    case DT_ARRAY_INT16: f.template operator()<int16_t>(); return true;
    case DT_ARRAY_INT32: f.template operator()<int32_t>(); return true;
    case DT_ARRAY_INT64: f.template operator()<int64_t>(); return true;
    case DT_ARRAY_UINT8: f.template operator()<uint8_t>(); return true;
    case DT_ARRAY_UINT16: f.template operator()<uint16_t>(); return true;
    case DT_ARRAY_UINT32: f.template operator()<uint32_t>(); return true;
    case DT_ARRAY_UINT64: f.template operator()<uint64_t>(); return true;
    default: return false;
  }
}

template <class T>
constexpr int kBits = static_cast<int>(sizeof(T) * 8);

// 2^n as a double, for -1074 < n < 1024.
constexpr double Pow2(int n) {
  double value = 1.0;
  for (; n > 0; --n) value *= 2.0;
  for (; n < 0; ++n) value *= 0.5;
  return value;
}

// The code as an unsigned number: signed codes are offset binary with the top bit flipped.
template <class T>
uint64_t OffsetCode(T raw) {
  const auto bits = static_cast<uint64_t>(static_cast<std::make_unsigned_t<T>>(raw));
  return std::is_signed_v<T> ? bits ^ (uint64_t{1} << (kBits<T> - 1)) : bits;
}

// 2^n for n = 0 ... 64, exactly.
Extended PowerOfTwo(int n) {
  return n == 64 ? 18446744073709551616.0L : static_cast<Extended>(uint64_t{1} << n);
}

// Rounds half to even, as the x87 unit does by default; a value outside the signed 64-bit range
// (or NaN) gives the unit's "integer indefinite" 0x8000000000000000.
int64_t RoundToInt64(Extended v) {
  constexpr Extended kLimit = 9223372036854775808.0L;
  if (!(v >= -kLimit && v < kLimit)) return std::numeric_limits<int64_t>::min();
  int64_t t = static_cast<int64_t>(v);
  const Extended fraction = v - static_cast<Extended>(t);  // exact
  if (fraction > 0.5L || (fraction == 0.5L && (t & 1) != 0)) {
    if (t == std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::min();
    ++t;
  } else if (fraction < -0.5L || (fraction == -0.5L && (t & 1) != 0)) {
    --t;
  }
  return t;
}

// ---------------------------------------------------------------------------------------------
// The extended-precision reference, one element at a time.

struct FloatToIntScale {
  Extended min;
  Extended scale;  // 2^N / (max - min)
};

template <class D>
FloatToIntScale MakeFloatToIntScale(double min, double max) {
  const Extended lmin = min;
  return {lmin, PowerOfTwo(kBits<D>) / (static_cast<Extended>(max) - lmin)};
}

template <class D>
D FloatToCode(Extended x, const FloatToIntScale& s) {
  constexpr int n = kBits<D>;
  const Extended v = (x - s.min) * s.scale;
  uint64_t code;
  if constexpr (n == 64) {
    // Both 64-bit types are converted as signed; the unsigned one then flips its top bit.
    code = static_cast<uint64_t>(RoundToInt64(v - PowerOfTwo(63)));
    if constexpr (std::is_unsigned_v<D>) code ^= uint64_t{1} << 63;
  } else if constexpr (std::is_signed_v<D>) {
    code = static_cast<uint64_t>(RoundToInt64(v - PowerOfTwo(n - 1)));
  } else {
    code = static_cast<uint64_t>(RoundToInt64(v));
  }
  return static_cast<D>(static_cast<std::make_unsigned_t<D>>(code));
}

template <class S, class D>
[[gnu::noinline]] void ReferenceFloatToInt(const void* source, void* destination, size_t count,
                                           double min, double max) {
  const FloatToIntScale s = MakeFloatToIntScale<D>(min, max);
  for (size_t i = 0; i < count; ++i) {
    StoreAt<D>(destination, i, FloatToCode<D>(LoadExtended<S>(source, i), s));
  }
}

template <class S, class D>
[[gnu::noinline]] void ReferenceIntToFloat(const void* source, void* destination, size_t count,
                                           double min, double max) {
  const Extended lmin = min;
  const Extended scale = (static_cast<Extended>(max) - lmin) / PowerOfTwo(kBits<S>);
  for (size_t i = 0; i < count; ++i) {
    const auto code = static_cast<Extended>(OffsetCode(LoadAt<S>(source, i)));
    StoreExtended<D>(destination, i, code * scale + lmin);
  }
}

template <class S, class D>
void ConvertIntToInt(const void* source, void* destination, size_t count) {
  using US = std::make_unsigned_t<S>;
  using UD = std::make_unsigned_t<D>;
  constexpr int from = kBits<S>;
  constexpr int to = kBits<D>;
  constexpr UD flip = std::is_signed_v<S> != std::is_signed_v<D> ? UD(UD{1} << (to - 1)) : UD{0};
#pragma omp simd
  for (size_t i = 0; i < count; ++i) {
    const auto raw = static_cast<US>(LoadAt<S>(source, i));
    UD code;
    if constexpr (to > from) {
      code = static_cast<UD>(static_cast<UD>(raw) << (to - from));
    } else {
      code = static_cast<UD>(raw >> (from - to));
    }
    StoreAt<D>(destination, i, static_cast<D>(static_cast<UD>(code ^ flip)));
  }
}

template <class S, class D>
[[gnu::noinline]] void ConvertFloatToFloat(const void* source, void* destination, size_t count) {
  for (size_t i = 0; i < count; ++i) StoreExtended<D>(destination, i, LoadExtended<S>(source, i));
}

// ---------------------------------------------------------------------------------------------
// Vectorised conversions that give exactly the reference's results.

// Float to integer codes (8 to 32 bits). Each sample's code is computed in double precision;
// where that value lies so close to the middle between two codes that the double and the
// extended computation might round apart, or the code leaves the range the vector path handles,
// the sample is converted again by the reference.
//
// Why this is exact elsewhere: with y the exact value of (x - min) * 2^N / (max - min), the
// reference's value differs from y by at most 4 roundings to 64 bits (< 2^-61 |y|) plus, for a
// signed code, one rounding of y - 2^(N-1) (< 2^(N-64)); the double value differs from y by at most
// 4 roundings to 53 bits (< 2^-50.9 |y|). Codes are accepted only while |y| < 1.5 * 2^N (2^32 for
// 32 bits), so a double value farther than 2^(N-47) (2^-15) from the middle rounds like the
// reference's.
template <class S, class D>
void FastFloatToInt(const void* source, void* destination, size_t count, double min, double max) {
  constexpr int n = kBits<D>;
  constexpr bool isSigned = std::is_signed_v<D>;
  constexpr double kRound = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
  // The integer handed to the int32 conversion is q = code - offset.
  constexpr double offset = (isSigned ? Pow2(n - 1) : 0.0) +
                            (!isSigned && n == 32 ? 2147483648.0 : 0.0);
  constexpr uint32_t flip = !isSigned && n == 32 ? 0x80000000u : 0u;
  constexpr double limit = n == 32 ? 2147483648.0 : Pow2(n);
  constexpr double half = 0.5 - (n == 32 ? Pow2(-15) : Pow2(n - 47));
  const double scale = Pow2(n) / (max - min);

  auto code = [&](double x, bool& ok) {
    const double y = (x - min) * scale;
    const double r = (y + kRound) - kRound;
    const double q = r - offset;
    ok = std::fabs(y - r) < half && std::fabs(q) < limit;
    return static_cast<D>(static_cast<uint32_t>(static_cast<int32_t>(ok ? q : 0.0)) ^ flip);
  };

  constexpr size_t kBlock = 512;
  const FloatToIntScale reference = MakeFloatToIntScale<D>(min, max);
  for (size_t start = 0; start < count; start += kBlock) {
    const size_t end = std::min(count, start + kBlock);
    bool anyBad = false;
#pragma omp simd reduction(| : anyBad)
    for (size_t i = start; i < end; ++i) {
      bool ok;
      StoreAt<D>(destination, i, code(static_cast<double>(LoadAt<S>(source, i)), ok));
      anyBad |= !ok;
    }
    if (!anyBad) continue;
    for (size_t i = start; i < end; ++i) {
      bool ok;
      const S x = LoadAt<S>(source, i);
      code(static_cast<double>(x), ok);
      if (!ok) StoreAt<D>(destination, i, FloatToCode<D>(static_cast<Extended>(x), reference));
    }
  }
}

// The lowest set bit's exponent of a finite double: x = odd * 2^e. Zero has none (a large value).
int LowestBitExponent(double x) {
  const auto bits = std::bit_cast<uint64_t>(x);
  const int exponentField = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  if (exponentField != 0) mantissa |= uint64_t{1} << 52;
  if (mantissa == 0) return std::numeric_limits<int>::max();
  return std::max(exponentField, 1) - 1075 + std::countr_zero(mantissa);
}

// Significant bits of a finite double (from the highest to the lowest set bit).
int SignificantBits(double x) {
  const auto bits = std::bit_cast<uint64_t>(x);
  const int exponentField = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  if (exponentField != 0) mantissa |= uint64_t{1} << 52;
  return mantissa == 0 ? 0 : std::bit_width(mantissa) - std::countr_zero(mantissa);
}

// Integer codes of N bits to floats over [min, max) are exact in double precision, and so equal
// to the reference's, when max - min is a double, code * (max - min) / 2^N is a double for every
// code, and so is its sum with min: then every step of either computation is exact, and both round
// the same exact value once to the destination.
bool IntToFloatIsExact(int n, double min, double max, double& step) {
  if (!std::isfinite(min) || !std::isfinite(max)) return false;
  const double span = max - min;
  if (!std::isfinite(span) || (span - max) + min != 0.0 || (max - span) != min) return false;
  step = std::ldexp(span, -n);
  if (std::ldexp(step, n) != span || SignificantBits(step) + n > 53) return false;
  if (span == 0.0) return true;  // every value is min
  const int quantum = std::min(LowestBitExponent(step), LowestBitExponent(min));
  return std::fabs(min) + std::fabs(span) <= std::ldexp(1.0, 53 + quantum);
}

template <class S, class D>
void FastIntToFloat(const void* source, void* destination, size_t count, double step, double min) {
  constexpr double offset = std::is_signed_v<S> ? Pow2(kBits<S> - 1) : 0.0;
#pragma omp simd
  for (size_t i = 0; i < count; ++i) {
    double code;
    if constexpr (std::is_same_v<S, uint32_t>) {
      // No unsigned conversion in SSE2: go through int32 with the top bit flipped.
      code = static_cast<double>(static_cast<int32_t>(LoadAt<S>(source, i) ^ 0x80000000u)) +
             2147483648.0;
    } else {
      code = static_cast<double>(LoadAt<S>(source, i)) + offset;
    }
    StoreAt<D>(destination, i, static_cast<D>(code * step + min));
  }
}

// Codes of 8 or 16 bits through a table of every code's value, made by the reference.
template <class S, class D>
std::vector<D> MakeTable(double min, double max) {
  constexpr size_t size = size_t{1} << kBits<S>;
  std::vector<S> codes(size);
  for (size_t i = 0; i < size; ++i) codes[i] = static_cast<S>(static_cast<std::make_unsigned_t<S>>(i));
  std::vector<D> table(size);
  ReferenceIntToFloat<S, D>(codes.data(), table.data(), size, min, max);
  return table;
}

template <class S, class D>
void TableIntToFloat(const void* source, void* destination, size_t count, const D* table) {
  for (size_t i = 0; i < count; ++i) {
    StoreAt<D>(destination, i, table[static_cast<std::make_unsigned_t<S>>(LoadAt<S>(source, i))]);
  }
}

// The last 16-bit table, kept for the next conversion over the same range (an instrument converts
// every record with the range of its channel).
template <class S, class D>
class TableCache {
 public:
  std::shared_ptr<const std::vector<D>> Get(double min, double max, bool build) {
    {
      std::lock_guard lock(mutex_);
      if (table_ && SameBits(min, min_) && SameBits(max, max_)) return table_;
    }
    if (!build) return nullptr;
    auto table = std::make_shared<const std::vector<D>>(MakeTable<S, D>(min, max));
    std::lock_guard lock(mutex_);
    table_ = table;
    min_ = min;
    max_ = max;
    return table;
  }

 private:
  static bool SameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
  }
  std::mutex mutex_;
  std::shared_ptr<const std::vector<D>> table_;
  double min_ = 0;
  double max_ = 0;
};

// Integer codes to float or double, fast where it is exact; false leaves it to the reference.
template <class S, class D>
bool FastIntToFloatOrTable(const void* source, void* destination, size_t count, double min,
                           double max) {
  double step = 0;
  if (IntToFloatIsExact(kBits<S>, min, max, step)) {
    FastIntToFloat<S, D>(source, destination, count, step, min);
    return true;
  }
  if constexpr (kBits<S> == 8) {
    if (count < 256) return false;
    const std::vector<D> table = MakeTable<S, D>(min, max);
    TableIntToFloat<S, D>(source, destination, count, table.data());
    return true;
  } else if constexpr (kBits<S> == 16) {
    static TableCache<S, D> cache;
    // Making a table costs about as much as converting 65536 samples.
    if (auto table = cache.Get(min, max, count >= 65536)) {
      TableIntToFloat<S, D>(source, destination, count, table->data());
      return true;
    }
  }
  return false;
}

template <class T>
constexpr bool kFastInt = kBits<T> <= 32 && !std::is_same_v<T, int8_t>;
template <class T>
constexpr bool kFastFloat = std::is_same_v<T, float> || std::is_same_v<T, double>;

// The cases in their order; `fast` lets the vectorised conversions take the pairs they handle.
// Not inlined, so that none of its arithmetic is moved in front of the caller's precision guard.
[[gnu::noinline]] bool Convert(const void* source, void* destination, uint32_t sourceType,
                               uint32_t destinationType, size_t count, double min, double max,
                               bool fast) {
  if (count == 0) return true;
  if (sourceType == destinationType) {
    if (destination != source) {
      std::memmove(destination, source, count * static_cast<size_t>(DataTypeSize(sourceType)));
    }
    return true;
  }
  if (InSet(sourceType, DT_FLOAT_ARRAYS) && InSet(destinationType, DT_INT_ARRAYS)) {
    VisitFloat(sourceType, [&]<class S>() {
      VisitInt(destinationType, [&]<class D>() {
        if constexpr (kFastFloat<S> && kBits<D> <= 32) {
          if (fast) return FastFloatToInt<S, D>(source, destination, count, min, max);
        }
        ReferenceFloatToInt<S, D>(source, destination, count, min, max);
      });
    });
    return true;
  }
  if (InSet(sourceType, DT_INT_ARRAYS) && InSet(destinationType, DT_FLOAT_ARRAYS)) {
    if (sourceType == DT_ARRAY_INT8) return false;
    VisitInt(sourceType, [&]<class S>() {
      VisitFloat(destinationType, [&]<class D>() {
        if constexpr (kFastInt<S> && kFastFloat<D>) {
          if (fast && FastIntToFloatOrTable<S, D>(source, destination, count, min, max)) return;
        }
        ReferenceIntToFloat<S, D>(source, destination, count, min, max);
      });
    });
    return true;
  }
  if (InSet(sourceType, DT_INT_ARRAYS) && InSet(destinationType, DT_INT_ARRAYS)) {
    if (DataTypeSize(sourceType) == DataTypeSize(destinationType)) return false;
    VisitInt(sourceType, [&]<class S>() {
      VisitInt(destinationType, [&]<class D>() {
        if constexpr (sizeof(S) != sizeof(D)) ConvertIntToInt<S, D>(source, destination, count);
      });
    });
    return true;
  }
  if (InSet(sourceType, DT_FLOAT_ARRAYS) && InSet(destinationType, DT_FLOAT_ARRAYS)) {
    VisitFloat(sourceType, [&]<class S>() {
      VisitFloat(destinationType, [&]<class D>() {
        ConvertFloatToFloat<S, D>(source, destination, count);
      });
    });
    return true;
  }
  return false;
}

}  // namespace

bool ConvertData(const void* source, void* destination, uint32_t sourceType,
                 uint32_t destinationType, size_t count, double min, double max) {
  ExtendedPrecision precision;
  return Convert(source, destination, sourceType, destinationType, count, min, max, true);
}

bool ConvertDataReference(const void* source, void* destination, uint32_t sourceType,
                          uint32_t destinationType, size_t count, double min, double max) {
  ExtendedPrecision precision;
  return Convert(source, destination, sourceType, destinationType, count, min, max, false);
}

}  // namespace veltra
