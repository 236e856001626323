#include "util/ConvertData.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

#include "util/ConvertKernels.h"
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
  const auto lmin = static_cast<Extended>(min);
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

struct IntToFloatScale {
  Extended min;
  Extended scale;  // (max - min) / 2^N
};

template <class S>
IntToFloatScale MakeIntToFloatScale(double min, double max) {
  const auto lmin = static_cast<Extended>(min);
  return {lmin, (static_cast<Extended>(max) - lmin) / PowerOfTwo(kBits<S>)};
}

template <class S>
Extended CodeToValue(S raw, const IntToFloatScale& s) {
  return static_cast<Extended>(OffsetCode(raw)) * s.scale + s.min;
}

template <class S, class D>
[[gnu::noinline]] void ReferenceIntToFloat(const void* source, void* destination, size_t count,
                                           double min, double max) {
  const IntToFloatScale s = MakeIntToFloatScale<S>(min, max);
  for (size_t i = 0; i < count; ++i) {
    StoreExtended<D>(destination, i, CodeToValue(LoadAt<S>(source, i), s));
  }
}

template <class S, class D>
void ConvertIntToInt(const void* source, void* destination, size_t count) {
  using US = std::make_unsigned_t<S>;
  using UD = std::make_unsigned_t<D>;
  constexpr int from = kBits<S>;
  constexpr int to = kBits<D>;
  constexpr UD flip = std::is_signed_v<S> != std::is_signed_v<D> ? UD(UD{1} << (to - 1)) : UD{0};
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

// Float samples to codes of 8 to 32 bits, a block at a time through the vector loop; a block the
// loop cannot vouch for (ConvertKernels.h) is converted again by the reference.
template <class S, class D>
bool FastFloatToInt(const void* source, void* destination, size_t count, double min, double max) {
  const auto map = convert::MakeCodeScale(kBits<D>, min, max);
  if (!map) return false;
  const FloatToIntScale reference = MakeFloatToIntScale<D>(min, max);
  for (size_t start = 0; start < count; start += convert::kCodeBlock) {
    const size_t n = std::min(convert::kCodeBlock, count - start);
    const auto* in = static_cast<const unsigned char*>(source) + start * sizeof(S);
    auto* out = static_cast<unsigned char*>(destination) + start * sizeof(D);
    if (!convert::FloatsToCodes(in, std::is_same_v<S, float>, out, kBits<D>, std::is_signed_v<D>,
                                n, *map)) {
      for (size_t i = 0; i < n; ++i) {
        StoreAt<D>(out, i, FloatToCode<D>(LoadExtended<S>(in, i), reference));
      }
    }
  }
  return true;
}

// A finite double as mantissa * 2^exponent, with an integer mantissa of at most 53 bits.
uint64_t Decompose(double x, int& exponent) {
  const auto bits = std::bit_cast<uint64_t>(x);
  const int exponentField = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  if (exponentField != 0) mantissa |= uint64_t{1} << 52;
  exponent = std::max(exponentField, 1) - 1075;
  return mantissa;
}

// The exponent of the lowest set bit: x = odd * 2^e. Zero has none (a large value).
int LowestBitExponent(double x) {
  int exponent;
  const uint64_t mantissa = Decompose(x, exponent);
  return mantissa == 0 ? std::numeric_limits<int>::max() : exponent + std::countr_zero(mantissa);
}

// Significant bits, from the highest to the lowest set bit.
int SignificantBits(double x) {
  int exponent;
  const uint64_t mantissa = Decompose(x, exponent);
  return mantissa == 0 ? 0 : std::bit_width(mantissa) - std::countr_zero(mantissa);
}

// The rounding error of the double difference a - b (TwoSum, exact whatever the magnitudes of the
// two, as long as nothing overflows): 0 when `difference` is a - b exactly.
double DifferenceError(double a, double b, double difference) {
  const double bPart = difference - a;
  const double aPart = difference - bPart;
  return (a - aPart) + (-b - bPart);
}

// Integer codes of N bits to floats over [min, max) are exact in double precision, and so equal
// to the reference's, when max - min is a double, code * (max - min) / 2^N is a double for every
// code, and so is its sum with min: then every step of either computation is exact, and both round
// the same exact value once to the destination. Where min is moreover exactly a whole number of
// steps (and the range rises, so that zero keeps its sign), (code + min / step) * step is the same
// exact value.
std::optional<convert::ValueMap> ExactValueMap(int n, double min, double max) {
  if (!std::isfinite(min) || !std::isfinite(max)) return std::nullopt;
  const double span = max - min;
  if (!std::isfinite(span) || DifferenceError(max, min, span) != 0.0) return std::nullopt;
  const double step = std::ldexp(span, -n);
  if (std::ldexp(step, n) != span || SignificantBits(step) + n > 53) return std::nullopt;
  convert::ValueMap map{step, min, std::nullopt};
  if (span == 0.0) return map;  // every value is min
  const int quantum = std::min(LowestBitExponent(step), LowestBitExponent(min));
  if (std::fabs(min) + std::fabs(span) > std::ldexp(1.0, 53 + quantum)) return std::nullopt;
  const double bias = min / step;
  if (step > 0 && std::fabs(bias) <= 1073741824.0 && bias == std::trunc(bias) &&
      SignificantBits(bias) + SignificantBits(step) <= 53 && bias * step == min) {
    map.bias = static_cast<int32_t>(bias);
  }
  return map;
}

// The brackets of codes of n bits (BracketMap in ConvertKernels.h), where every value is far
// enough from the limits of the double range for the arithmetic below. The extended computation
// rounds code * S to 64 bits, an error of at most 2^(ilogb(S * 2^n) - 64), and its sum with min,
// at most 2^(top + 1 - 64) for values below 2^(top + 1). L in doubles is off by at most
// 2^(n + q - 51) (two roundings of values below 2^(n + q + 1)), plus 2^n times what the double
// `low` leaves out of S - high.
std::optional<convert::BracketMap> MakeBracketMap(int n, const IntToFloatScale& s) {
  const Extended span = s.scale * PowerOfTwo(n);
  const Extended largest = std::max(std::fabs(s.min), std::fabs(s.min + span));
  if (!std::isfinite(span) || span == 0 || !std::isfinite(largest)) return std::nullopt;
  const int top = std::ilogb(largest);
  if (top < -900 || top > 900) return std::nullopt;
  // Every value lies below 2^(top + 1), so that H, a multiple of 2^q below 2^(top + 3) =
  // 2^(q + 53), is a double, and so is code * high on its own (below 2^(top + 2)).
  const int q = top - 50;
  const Extended unit = std::ldexp(Extended{1}, q);
  const Extended high = std::trunc(s.scale / unit) * unit;
  const Extended minHigh = std::nearbyint(s.min / unit) * unit;
  const Extended minLow = s.min - minHigh;
  convert::BracketMap map{static_cast<double>(high), static_cast<double>(minHigh),
                          static_cast<double>(s.scale - high), 0, 0};
  if (static_cast<Extended>(map.high) != high || static_cast<Extended>(map.minHigh) != minHigh ||
      static_cast<Extended>(static_cast<double>(minLow)) != minLow) {
    return std::nullopt;
  }
  const Extended margin = std::ldexp(Extended{1}, std::ilogb(span) - 64) +
                          std::ldexp(Extended{1}, top + 1 - 64) +
                          std::ldexp(Extended{1}, n + q - 51) +
                          PowerOfTwo(n) * std::fabs(s.scale - high -
                                                    static_cast<Extended>(map.low));
  map.lowBelow = std::nextafter(static_cast<double>(minLow - margin), -INFINITY);
  map.lowAbove = std::nextafter(static_cast<double>(minLow + margin), INFINITY);
  return map;
}

// Codes of 16 or 32 bits to doubles between brackets, a block at a time. The few samples whose
// brackets differ are converted again, from `table` (16-bit codes, where one is at hand) or by
// the reference.
template <class S>
bool BracketedIntToDouble(const void* source, void* destination, size_t count, double min,
                          double max, const double* table) {
  const IntToFloatScale scale = MakeIntToFloatScale<S>(min, max);
  const auto map = MakeBracketMap(kBits<S>, scale);
  if (!map) return false;
  uint64_t doubt[convert::kDoubtWords];
  for (size_t start = 0; start < count; start += convert::kCodeBlock) {
    const size_t n = std::min(convert::kCodeBlock, count - start);
    const auto* in = static_cast<const unsigned char*>(source) + start * sizeof(S);
    auto* out = static_cast<unsigned char*>(destination) + start * sizeof(double);
    convert::CodesToDoublesBracketed(in, kBits<S>, std::is_signed_v<S>, out, n, *map, doubt);
    for (size_t word = 0; word < convert::kDoubtWords; ++word) {
      for (uint64_t bits = doubt[word]; bits != 0; bits &= bits - 1) {
        const size_t i = word * 64 + static_cast<size_t>(std::countr_zero(bits));
        const S code = LoadAt<S>(in, i);
        StoreAt<double>(out, i,
                        table != nullptr ? table[static_cast<std::make_unsigned_t<S>>(code)]
                                         : static_cast<double>(CodeToValue(code, scale)));
      }
    }
  }
  return true;
}

// Codes of 8 or 16 bits through a table of every code's value, made by the reference.
template <class S, class D>
std::vector<D> MakeTable(double min, double max) {
  constexpr size_t size = size_t{1} << kBits<S>;
  std::vector<S> codes(size);
  for (size_t i = 0; i < size; ++i) {
    codes[i] = static_cast<S>(static_cast<std::make_unsigned_t<S>>(i));
  }
  std::vector<D> table(size);
  ReferenceIntToFloat<S, D>(codes.data(), table.data(), size, min, max);
  return table;
}

template <class S, class D>
void TableIntToFloat(const void* source, void* destination, size_t count, const D* table) {
  if constexpr (std::is_same_v<D, double>) {
    convert::CodesToDoublesByTable(source, kBits<S>, destination, count, table);
  } else {
    for (size_t i = 0; i < count; ++i) {
      StoreAt<D>(destination, i, table[static_cast<std::make_unsigned_t<S>>(LoadAt<S>(source, i))]);
    }
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
  if (const auto map = ExactValueMap(kBits<S>, min, max)) {
    convert::CodesToFloats(source, kBits<S>, std::is_signed_v<S>, destination,
                           std::is_same_v<D, float>, count, *map);
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
    auto table = cache.Get(min, max, count >= 65536);
    if constexpr (std::is_same_v<D, double>) {
      if (BracketedIntToDouble<S>(source, destination, count, min, max,
                                  table ? table->data() : nullptr)) {
        return true;
      }
    }
    if (table) {
      TableIntToFloat<S, D>(source, destination, count, table->data());
      return true;
    }
  } else if constexpr (std::is_same_v<D, double>) {
    return BracketedIntToDouble<S>(source, destination, count, min, max, nullptr);
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
  fast = fast && convert::HaveKernels();
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
          if (fast && FastFloatToInt<S, D>(source, destination, count, min, max)) return;
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
