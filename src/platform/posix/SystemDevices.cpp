// Linux has no driver for these devices: every device comes from the in-process registry, so the
// system's side of device files, enumeration and device-change registration is empty.

#include "platform/PlatformInternal.h"

namespace veltra::platform::detail {

uintptr_t OpenSystemDevice(const std::string&) { return 0; }

bool SystemIoControl(uintptr_t, uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t* returned) {
  if (returned != nullptr) {
    *returned = 0;
  }
  return false;
}

void CloseSystemDevice(uintptr_t) {}

std::vector<DeviceInterfaceEntry> EnumerateSystemDeviceInterfaces(const Guid&) { return {}; }

uintptr_t RegisterSystemInterfaceNotification(WindowHandle, const Guid&) { return 0; }

uintptr_t RegisterSystemHandleNotification(WindowHandle, uintptr_t) { return 0; }

void UnregisterSystemNotification(uintptr_t) {}

}  // namespace veltra::platform::detail
