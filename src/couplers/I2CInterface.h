#pragma once
// The I2C bus of an instrument.

#include <cstdint>

#include "framework/Interface.h"

namespace veltra {

struct II2CHost : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{1403B4C3-F08C-4FCE-9050-B785A3ACF9BD}");

  // `stop` ends the transfer with a stop condition; false leaves the bus for a repeated start.
  virtual HResult Read(uint32_t address, uint8_t* buffer, uint32_t count, bool stop) = 0;
  virtual HResult Write(uint32_t address, const uint8_t* buffer, uint32_t count, bool stop) = 0;
  virtual uint32_t GetSpeed() = 0;
  virtual HResult SetSpeed(uint32_t speed) = 0;  // the host may adjust the speed
};

}  // namespace veltra
