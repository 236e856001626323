#pragma once
// The connection-test settings of a driver-backed instrument (TConTestIns) and of its channels
// (TConTestChan). Their owners wire them to the driver's connection-test codes and create them only
// when the driver offers the test; changes arrive in notification records of kind 14.

#include "driver/CTInterfaces.h"
#include "framework/Settings.h"

namespace veltra {

class TConTestIns : public TCachedSettings, public IInstrumentConnectionTest {
 public:
  using TCachedSettings::TCachedSettings;

  int64_t GetConnectionTest() override;
  HResult SetConnectionTest(int32_t value) override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TConTestChan : public TCachedSettings, public IChannelConnectionTest {
 public:
  using TCachedSettings::TCachedSettings;

  uint32_t GetConnectionState() override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

}  // namespace veltra
