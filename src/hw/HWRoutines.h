#pragma once
// Routines over the settings of hardware objects.

#include <cstdint>

#include "framework/Interface.h"

namespace veltra {

// Copies the identifiers of `mask` (bit n stands for identifier 1 shl n) from the Cur (index 0) or
// Next (index 1) settings of `source` to those of `destination`, both reached through ICurNext.
// An identifier the source cannot read is skipped. Each written value is read back; the result is
// the mask of identifiers whose read-back failed or differed from the value written.
uint32_t CopySettings(int32_t index, IInterface* source, IInterface* destination, uint32_t mask);

// The current local date-time as days since 1899-12-30.
double NowDateTime();

}  // namespace veltra
