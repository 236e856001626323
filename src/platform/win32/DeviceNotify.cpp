// The system's device-change registrations: a window for a device-interface class, or for the
// device behind an open file handle; broadcasts arrive as WM_DEVICECHANGE.

#include <windows.h>
// windows.h first
#include <dbt.h>

#include <cstring>

#include "platform/PlatformInternal.h"

namespace veltra::platform::detail {

namespace {

uintptr_t Register(WindowHandle window, void* filter) {
  return reinterpret_cast<uintptr_t>(RegisterDeviceNotificationA(
      reinterpret_cast<HANDLE>(window), filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

}  // namespace

uintptr_t RegisterSystemInterfaceNotification(WindowHandle window, const Guid& classGuid) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
  static_assert(sizeof filter == sizeof(DevBroadcastDeviceInterface));
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(&filter.dbcc_classguid, &classGuid, sizeof classGuid);
  return Register(window, &filter);
}

uintptr_t RegisterSystemHandleNotification(WindowHandle window, uintptr_t fileHandle) {
  DEV_BROADCAST_HANDLE filter = {};
  static_assert(sizeof filter == sizeof(DevBroadcastHandle));
  filter.dbch_size = sizeof filter;
  filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
  filter.dbch_handle = reinterpret_cast<HANDLE>(fileHandle);
  return Register(window, &filter);
}

void UnregisterSystemNotification(uintptr_t notification) {
  ::UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(notification));
}

}  // namespace veltra::platform::detail
