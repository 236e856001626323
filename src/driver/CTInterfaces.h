#pragma once
// The connection test that drivers from version 6.1.4.0 on may offer: one instrument setting that
// controls the test and one result per channel. Both objects are settings of their own (identifiers
// kConTestSupportsGet ... kConTestState of HWInterfaces.h); an instrument or channel answers these
// interfaces only while the driver offers the test.

#include <cstdint>

#include "framework/CommonInterfaces.h"

namespace veltra {

// The driver version from which on the connection test may be offered (6.1.4.0).
inline constexpr uint64_t kConnectionTestDriverVersion = 0x0006000100040000;

struct IInstrumentConnectionTest : virtual ISettings {
  static constexpr Guid IID = Guid::Parse("{8DCD5F35-5ABC-4543-86DC-A1259CFF1C3F}");

  // The test setting (kConTestSetting); 0 when the read fails.
  virtual int64_t GetConnectionTest() = 0;
  // Writes the test setting, sign-extended to 64 bits.
  virtual HResult SetConnectionTest(int32_t value) = 0;
};

struct IChannelConnectionTest : virtual ISettings {
  static constexpr Guid IID = Guid::Parse("{68F79EE5-311F-4019-865D-368AE8AD3B1F}");

  // The channel's state (kConTestState) when it reads 1 or 2, whose meaning is the driver's; 0 for
  // any other value and when the read fails.
  virtual uint32_t GetConnectionState() = 0;
};

}  // namespace veltra
