#include "util/DataTypes.h"

#include <cstring>

#include "util/ExtendedPrecision.h"

namespace veltra {

namespace {

using Extended = long double;

struct TypeInfo {
  uint32_t type;
  int32_t size;
  uint16_t varType;
};

constexpr TypeInfo kTypes[] = {
    {DT_INT8, 1, 16},           {DT_INT16, 2, 2},           {DT_INT32, 4, 3},
    {DT_INT64, 8, 20},          {DT_UINT8, 1, 17},          {DT_UINT16, 2, 18},
    {DT_UINT32, 4, 19},         {DT_SINGLE, 4, 4},          {DT_DOUBLE, 8, 5},
    {DT_EXTENDED, 10, 0},       {DT_ARRAY_INT8, 1, 0x2010}, {DT_ARRAY_INT16, 2, 0x2002},
    {DT_ARRAY_INT32, 4, 0x2003}, {DT_ARRAY_INT64, 8, 0x2014}, {DT_ARRAY_UINT8, 1, 0x2011},
    {DT_ARRAY_UINT16, 2, 0x2012}, {DT_ARRAY_UINT32, 4, 0x2013}, {DT_ARRAY_UINT64, 8, 0},
    {DT_ARRAY_SINGLE, 4, 0x2004}, {DT_ARRAY_DOUBLE, 8, 0x2005}, {DT_ARRAY_EXTENDED, 10, 0},
};

const TypeInfo* Find(uint32_t type) {
  for (const TypeInfo& info : kTypes) {
    if (info.type == type) return &info;
  }
  return nullptr;
}

constexpr uint16_t kVtArray = 0x2000;

// The float arrays' samples one by one as extended values; false for other types.
template <class F>
bool ForEachFloat(const void* samples, uint32_t dataType, size_t count, F&& f) {
  const auto* bytes = static_cast<const unsigned char*>(samples);
  const size_t size = static_cast<size_t>(DataTypeSize(dataType));
  for (size_t i = 0; i < count; ++i) {
    Extended x = 0;
    if (dataType == DT_ARRAY_SINGLE) {
      float v;
      std::memcpy(&v, bytes + i * size, size);
      x = static_cast<Extended>(v);
    } else if (dataType == DT_ARRAY_DOUBLE) {
      double v;
      std::memcpy(&v, bytes + i * size, size);
      x = static_cast<Extended>(v);
    } else {
      std::memcpy(&x, bytes + i * size, kExtendedSize);
    }
    if (!f(x)) return false;
  }
  return true;
}

bool IsFloatArray(uint32_t dataType) {
  return dataType == DT_ARRAY_SINGLE || dataType == DT_ARRAY_DOUBLE ||
         dataType == DT_ARRAY_EXTENDED;
}

[[gnu::noinline]] bool InCodeRange(const void* samples, uint32_t dataType, size_t count, double min,
                                   double max, int32_t bits) {
  const auto lmin = static_cast<Extended>(min);
  auto top = static_cast<Extended>(max);
  switch (bits) {
    case 0: break;
    case 8: top = lmin + (top - lmin) * 0.99609375L; break;
    case 16: top = lmin + (top - lmin) * 0.9999847412109375L; break;
    case 32: top = lmin + (top - lmin) * 0.99999999976716935634613037109375L; break;
    case 64: top = lmin + (top - lmin) * (1.0L - 1.0L / 18446744073709551616.0L); break;
    default: return false;
  }
  if (!IsFloatArray(dataType)) return true;
  return ForEachFloat(samples, dataType, count, [&](Extended x) { return lmin <= x && x <= top; });
}

[[gnu::noinline]] bool Quantized(const void* samples, uint32_t dataType, size_t count, double min,
                                 double max, int32_t bits) {
  // The step count is a 32-bit shift, as the x86 shift instruction does it (count modulo 32).
  const auto steps = static_cast<int32_t>(uint32_t{1} << (static_cast<uint32_t>(bits) & 31));
  const auto lmin = static_cast<Extended>(min);
  const Extended scale = static_cast<Extended>(steps) / (static_cast<Extended>(max) - lmin);
  if (!(scale - scale == 0)) return false;  // division by zero or not a number
  constexpr Extended kIntegral = 9223372036854775808.0L;  // from here on every value is whole
  return ForEachFloat(samples, dataType, count, [&](Extended x) {
    const Extended v = (x - lmin) * scale;
    const Extended whole = v > -kIntegral && v < kIntegral
                               ? static_cast<Extended>(static_cast<int64_t>(v))
                               : v;
    const auto f = static_cast<float>(v - whole);  // keeps its sign
    return f <= 0.01f || f >= 0.99f;
  });
}

}  // namespace

int32_t DataTypeSize(uint32_t dataType) {
  const TypeInfo* info = Find(dataType);
  return info ? info->size : 0;
}

void FillZeroLevel(void* destination, uint32_t dataType, size_t count) {
  if (count == 0) return;
  auto* bytes = static_cast<unsigned char*>(destination);
  auto fill = [&](auto level) {
    for (size_t i = 0; i < count; ++i) std::memcpy(bytes + i * sizeof level, &level, sizeof level);
  };
  switch (dataType) {
    case DT_ARRAY_UINT8: std::memset(bytes, 0x80, count); break;
    case DT_ARRAY_UINT16: FillWords(0x8000, destination, count); break;
    case DT_ARRAY_UINT32: fill(uint32_t{0x80000000}); break;
    case DT_ARRAY_UINT64: fill(uint64_t{0x8000000000000000}); break;
    case DT_ARRAY_INT8:
    case DT_ARRAY_INT16:
    case DT_ARRAY_INT32:
    case DT_ARRAY_INT64:
    case DT_ARRAY_SINGLE:
    case DT_ARRAY_DOUBLE:
    case DT_ARRAY_EXTENDED:
      std::memset(bytes, 0, count * static_cast<size_t>(DataTypeSize(dataType)));
      break;
    default: break;
  }
}

void FillWords(uint16_t value, void* destination, size_t count) {
  auto* bytes = static_cast<unsigned char*>(destination);
  for (size_t i = 0; i < count; ++i) std::memcpy(bytes + 2 * i, &value, 2);
}

int32_t ContainerBits(int32_t resolution) {
  if (resolution < 9) return 8;
  if (resolution <= 16) return 16;
  if (resolution <= 32) return 32;
  if (resolution <= 64) return 64;
  return -1;
}

uint32_t UnsignedArrayType(int32_t containerBits) {
  switch (containerBits) {
    case 8: return DT_ARRAY_UINT8;
    case 16: return DT_ARRAY_UINT16;
    case 32: return DT_ARRAY_UINT32;
    case 64: return DT_ARRAY_UINT64;
    default: return 0;
  }
}

uint32_t FloatArrayType(int32_t resolution) {
  if (resolution < 25) return DT_ARRAY_SINGLE;
  if (resolution <= 52) return DT_ARRAY_DOUBLE;
  return DT_ARRAY_EXTENDED;
}

uint16_t DataTypeToVarType(uint32_t dataType) {
  const TypeInfo* info = Find(dataType);
  return info ? info->varType : 0;
}

uint32_t VarTypeToDataType(uint16_t varType) {
  const bool array = (varType & kVtArray) != 0;
  const uint16_t element = varType & 0x0FFF;
  for (const TypeInfo& info : kTypes) {
    if (info.varType != 0 && (info.varType & 0x0FFF) == element &&
        ((info.varType & kVtArray) != 0) == array) {
      return info.type;
    }
  }
  return 0;
}

bool IsInCodeRange(const void* samples, uint32_t dataType, size_t count, double min, double max,
                   int32_t bits) {
  ExtendedPrecision precision;
  return InCodeRange(samples, dataType, count, min, max, bits);
}

bool IsQuantized(const void* samples, uint32_t dataType, size_t count, double min, double max,
                 int32_t bits) {
  if (!IsFloatArray(dataType)) return true;
  ExtendedPrecision precision;
  return Quantized(samples, dataType, count, min, max, bits);
}

uint32_t ChooseStorageType(const void* samples, uint32_t dataType, size_t count, int32_t resolution,
                           double min, double max) {
  const int32_t container = ContainerBits(resolution);
  uint32_t floatType = FloatArrayType(resolution);
  if (floatType == DT_ARRAY_EXTENDED) floatType = DT_ARRAY_DOUBLE;
  const int32_t size = DataTypeSize(dataType);
  const int32_t floatSize = DataTypeSize(floatType);
  if (8 * size > container && 8 * floatSize > container &&
      IsInCodeRange(samples, dataType, count, min, max, container) &&
      IsQuantized(samples, dataType, count, min, max, container)) {
    return UnsignedArrayType(container);
  }
  return size <= floatSize ? dataType : floatType;
}

}  // namespace veltra
