#pragma once
// The vectorised loops behind ConvertData (SSE2). They compute in double precision and are used
// only where that gives exactly the extended-precision result (see ConvertData.cpp).

#include <cstddef>
#include <cstdint>
#include <optional>

namespace veltra::convert {

// Whether this build has the vector loops; without them ConvertData uses its reference.
bool HaveKernels();

// Where the processor offers them, some conversions use AVX2 and FMA instead of SSE2. Tests turn
// them off to check the SSE2 loops as well; answers whether the wider loops are now in use.
bool UseWiderVectors(bool allowed);

// Samples per call of FloatsToCodes.
inline constexpr size_t kCodeBlock = 256;

// The affine map of float samples to codes of N bits: w = x * scale + offset holds the code with 16
// fraction bits, plus 0x8002 units of 2^-16 that round it, in the low bits of its mantissa
// (offset = 1.5 * 2^36 + 0x8002 / 2^16 - min * scale).
struct CodeScale {
  double scale;
  double offset;
};

// The map for codes of `bits` (8, 16 or 32) over [min, max); nothing where the kernel cannot
// vouch for its results (a range so far from 0 against its width that min * scale reaches 2^34).
std::optional<CodeScale> MakeCodeScale(int bits, double min, double max);

// Converts up to kCodeBlock float (single or double) samples into codes of `bits` (8, 16, 32),
// signed or unsigned, keeping the low bits of each rounded code as the extended computation does.
// False when a sample of the block lies within 3 * 2^-16 of the middle between two codes, or so
// far outside the range that its code is not held: the block must then be converted by the
// reference.
bool FloatsToCodes(const void* source, bool singleSource, void* destination, int bits,
                   bool signedCodes, size_t count, const CodeScale& map);

// The values of integer codes: code * step + min, or (code + bias) * step where min is a whole
// number `bias` of steps (used for codes of 8 and 16 bits).
struct ValueMap {
  double step;
  double min;
  std::optional<int32_t> bias;
};

// Integer codes (8-bit unsigned, 16- and 32-bit of either sign) to floats, computed in double
// precision and rounded once to the destination; signed codes count from their lowest. Exact only
// where the caller has shown every step to be exact.
void CodesToFloats(const void* source, int bits, bool signedCodes, void* destination,
                   bool singleDestination, size_t count, const ValueMap& map);

// The values of 16- and 32-bit codes where they have no exact double form: code * S + min, with S
// the step in extended precision, split as H + L. H = code * high + minHigh is exact (high and
// minHigh are multiples of one power of two, coarse enough that every H is a double); L = code *
// low + (min - minHigh) is small. Two sums bracket the value the extended computation can give:
// H + (code * low + lowBelow) and H + (code * low + lowAbove), whose constants move L out by the
// worst rounding of that computation and of L itself. Rounding is monotonic, so where both sums
// round to the same double, that double is the extended computation's result.
struct BracketMap {
  double high;
  double minHigh;
  double low;
  double lowBelow;
  double lowAbove;
};

// Words of the doubt mask of one block: bit i % 64 of word i / 64 stands for sample i.
inline constexpr size_t kDoubtWords = kCodeBlock / 64;

// Converts up to kCodeBlock codes of 16 or 32 bits (signed codes count from their lowest) to
// doubles by the brackets, and marks in `doubt` every sample whose brackets differ: its value in
// `destination` is then only close, and the caller must convert that sample again.
void CodesToDoublesBracketed(const void* source, int bits, bool signedCodes, void* destination,
                             size_t count, const BracketMap& map, uint64_t (&doubt)[kDoubtWords]);

// Codes of 8 or 16 bits to doubles through a table indexed by the code's bits (of either sign).
void CodesToDoublesByTable(const void* source, int bits, void* destination, size_t count,
                           const double* table);

}  // namespace veltra::convert
