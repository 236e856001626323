#pragma once
// Data type codes: one-bit codes that name the layout of a value (codes up to 512) or of an array
// of samples (codes from 1024 up), and the routines that size, describe and fill such arrays.
//
// An integer array of N bits stands for the half-open physical range [min, max): code k of an
// unsigned type is min + k * (max - min) / 2^N; a signed type holds the unsigned code minus
// 2^(N-1). So mid-scale is the zero level of an unsigned type and the top code is one step below
// max.

#include <cstddef>
#include <cstdint>

namespace veltra {

inline constexpr uint32_t DT_INT8 = 1;
inline constexpr uint32_t DT_INT16 = 2;
inline constexpr uint32_t DT_INT32 = 4;
inline constexpr uint32_t DT_INT64 = 8;
inline constexpr uint32_t DT_UINT8 = 16;
inline constexpr uint32_t DT_UINT16 = 32;
inline constexpr uint32_t DT_UINT32 = 64;
inline constexpr uint32_t DT_SINGLE = 128;
inline constexpr uint32_t DT_DOUBLE = 256;
inline constexpr uint32_t DT_EXTENDED = 512;
inline constexpr uint32_t DT_ARRAY_INT8 = 0x400;
inline constexpr uint32_t DT_ARRAY_INT16 = 0x800;
inline constexpr uint32_t DT_ARRAY_INT32 = 0x1000;
inline constexpr uint32_t DT_ARRAY_INT64 = 0x2000;
inline constexpr uint32_t DT_ARRAY_UINT8 = 0x4000;
inline constexpr uint32_t DT_ARRAY_UINT16 = 0x8000;
inline constexpr uint32_t DT_ARRAY_UINT32 = 0x10000;
inline constexpr uint32_t DT_ARRAY_UINT64 = 0x20000;
inline constexpr uint32_t DT_ARRAY_SINGLE = 0x40000;
inline constexpr uint32_t DT_ARRAY_DOUBLE = 0x80000;
inline constexpr uint32_t DT_ARRAY_EXTENDED = 0x100000;

inline constexpr uint32_t DT_INT_ARRAYS = 0x3FC00;
inline constexpr uint32_t DT_UNSIGNED_ARRAYS = 0x3C000;
inline constexpr uint32_t DT_FLOAT_ARRAYS = 0x1C0000;

// x87 extended values are stored in 10 bytes.
inline constexpr size_t kExtendedSize = 10;

// Bytes per value; 0 for a number that is not a data type code.
int32_t DataTypeSize(uint32_t dataType);

// Writes count values of the type's zero level: mid-scale for unsigned arrays, 0 for signed and
// float arrays; nothing for scalar and unknown codes.
void FillZeroLevel(void* destination, uint32_t dataType, size_t count);

// Writes count copies of a 16-bit word.
void FillWords(uint16_t value, void* destination, size_t count);

// The container for a resolution: 8 below 9 bits, 16 up to 16, 32 up to 32, 64 up to 64, else -1.
int32_t ContainerBits(int32_t resolution);
// DT_ARRAY_UINT8/16/32/64 for 8, 16, 32 and 64 container bits; 0 for any other number.
uint32_t UnsignedArrayType(int32_t containerBits);
// The float array that holds a resolution: single below 25 bits, double up to 52, else extended.
uint32_t FloatArrayType(int32_t resolution);

// The OLE Automation VARTYPE of a data type (VT_ARRAY 0x2000 added for arrays); 0 for codes without
// one. The reverse looks at the VT_ARRAY bit and the low 12 bits only.
uint16_t DataTypeToVarType(uint32_t dataType);
uint32_t VarTypeToDataType(uint16_t varType);

// Tests on float arrays (other types pass without looking).
// True when every sample lies in [min, value of the top code] for a code width of 8, 16, 32 or 64
// bits (0 bits: [min, max]); false for any other width.
bool IsInCodeRange(const void* samples, uint32_t dataType, size_t count, double min, double max,
                   int32_t bits);
// True when every sample lies on the grid of a code width of `bits` (up to 30) over [min, max),
// within 1% of a step.
bool IsQuantized(const void* samples, uint32_t dataType, size_t count, double min, double max,
                 int32_t bits);

// The type in which a signal writes its samples to a file: the unsigned container of the
// resolution when the samples (of `dataType`) are codes of that width over [min, max) and the
// container is smaller than both the current type and the float type of the resolution; otherwise
// the current type, or that float type (never extended) when the current type is larger.
uint32_t ChooseStorageType(const void* samples, uint32_t dataType, size_t count, int32_t resolution,
                           double min, double max);

}  // namespace veltra
