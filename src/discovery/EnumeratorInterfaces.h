#pragma once
// IEnumDevice: the devices of one device-interface class, handed out as the drivers' information
// records, one or a few at a time.

#include <cstdint>
#include <vector>

#include "driver/DevIoCtl.h"
#include "framework/Interface.h"

namespace veltra {

struct IEnumDevice : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{F0D11C0F-7143-4480-81AF-EA42BF2CA0F1}");

  // Up to `count` further information records, delivered in `records` (replacing its content):
  // S_OK when `count` records were delivered, S_FALSE when fewer. `fetched`, when given, receives
  // the number delivered.
  virtual HResult Next(uint32_t count, std::vector<DeviceInfoRecord>& records,
                       uint32_t* fetched) = 0;
  // Steps over `count` devices: S_OK while that stays before the end; past the end the position
  // stays on the last device and the answer is S_FALSE.
  virtual HResult Skip(uint32_t count) = 0;
  // Back before the first device, with the devices present now.
  virtual HResult Reset() = 0;
  // A new enumerator over the same class at the same position; E_OUTOFMEMORY when none can be made.
  virtual HResult Clone(ComPtr<IEnumDevice>& enumerator) = 0;
};

}  // namespace veltra
