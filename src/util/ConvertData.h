#pragma once
// Conversion of sample arrays between data types (util/DataTypes.h).
//
// Integer codes map to physical values over [min, max) as DataTypes.h describes. The arithmetic is
// that of x87 80-bit extended precision with rounding half to even: conversions an instrument makes
// all the time (8-, 16- and 32-bit codes to and from double and single) run vectorised wherever
// that gives exactly the same result, and fall back to the extended-precision reference where it
// might not.

#include <cstddef>
#include <cstdint>

namespace veltra {

// Converts count samples from `source` (of sourceType) into `destination` (of destinationType):
//  - same type: copied (nothing to do when source and destination are the same);
//  - float array to integer array: code = round((x - min) * 2^N / (max - min)), minus 2^(N-1) for
//    a signed type; not clipped: a sample outside [min, max) keeps the low N bits of its code (a
//    value beyond the 64-bit range gives the code 0x8000000000000000's low N bits);
//  - integer array to float array: x = code * (max - min) / 2^N + min (signed codes offset by
//    2^(N-1)); DT_ARRAY_INT8 is not accepted as a source;
//  - integer array to integer array of another width: the code is left-aligned, and the top bit
//    flipped when exactly one of the two types is unsigned; two types of the same width are not
//    accepted;
//  - float array to float array: each value rounded to the destination.
// Returns false, writing nothing, for every other pair (scalar codes included); true otherwise,
// and always true when count is 0. Apart from the same-type copy, source and destination must not
// overlap.
bool ConvertData(const void* source, void* destination, uint32_t sourceType,
                 uint32_t destinationType, size_t count, double min, double max);

// The extended-precision reference of ConvertData, element by element; the same results, slower.
bool ConvertDataReference(const void* source, void* destination, uint32_t sourceType,
                          uint32_t destinationType, size_t count, double min, double max);

}  // namespace veltra
