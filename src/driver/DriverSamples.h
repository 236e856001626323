#pragma once
// The driver's sample buffers: unsigned codes whose width follows the resolution of the
// measurement's current settings (8 bits up to 8-bit resolution, 16 bits up to 16, else 32), with
// the zero level at mid-scale. A channel turns them into volts over its full scale (range times
// probe gain): volts = (code - mid) * fullScale / mid.

#include <cstddef>
#include <cstdint>
#include <span>

namespace veltra {

// The sample array type (DT_ARRAY_UINT8, _UINT16 or _UINT32) of a buffer at `resolutionBits`.
uint32_t DriverCodeType(int64_t resolutionBits);

// Converts volts.size() codes of `codeType` from `codes` into `volts`, which must not overlap
// them. False, writing nothing, for a type that is not one of DriverCodeType's.
bool CodesToVolts(const std::byte* codes, uint32_t codeType, double fullScale,
                  std::span<double> volts);

}  // namespace veltra
