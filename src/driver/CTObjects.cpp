#include "driver/CTObjects.h"

#include "hw/HWInterfaces.h"

namespace veltra {

int64_t TConTestIns::GetConnectionTest() {
  int64_t value = 0;
  return GetValue(kConTestSetting, value) == S_OK ? value : 0;
}

HResult TConTestIns::SetConnectionTest(int32_t value) {
  return SetValue(kConTestSetting, int64_t{value});
}

bool TConTestIns::GetInterface(const Guid& iid, void** object) {
  return Answer<IInstrumentConnectionTest>(this, iid, object) ||
         TCachedSettings::GetInterface(iid, object);
}

uint32_t TConTestChan::GetConnectionState() {
  int64_t value = 0;
  if (GetValue(kConTestState, value) != S_OK || (value != 1 && value != 2)) return 0;
  return static_cast<uint32_t>(value);
}

bool TConTestChan::GetInterface(const Guid& iid, void** object) {
  return Answer<IChannelConnectionTest>(this, iid, object) ||
         TCachedSettings::GetInterface(iid, object);
}

}  // namespace veltra
