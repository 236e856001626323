#include "driver/DriverSamples.h"

#include "util/ConvertData.h"
#include "util/DataTypes.h"

namespace veltra {

uint32_t DriverCodeType(int64_t resolutionBits) {
  if (resolutionBits <= 8) return DT_ARRAY_UINT8;
  if (resolutionBits <= 16) return DT_ARRAY_UINT16;
  return DT_ARRAY_UINT32;
}

bool CodesToVolts(const std::byte* codes, uint32_t codeType, double fullScale,
                  std::span<double> volts) {
  if (codeType != DT_ARRAY_UINT8 && codeType != DT_ARRAY_UINT16 && codeType != DT_ARRAY_UINT32) {
    return false;
  }
  // Unsigned codes over [-fullScale, fullScale): mid-scale is 0 V, one step is fullScale / mid.
  return ConvertData(codes, volts.data(), codeType, DT_ARRAY_DOUBLE, volts.size(), -fullScale,
                     fullScale);
}

}  // namespace veltra
