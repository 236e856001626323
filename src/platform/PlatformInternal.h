#pragma once
// What the shared parts of the platform layer (device files, the device registry, device-change
// registrations) need from the implementation for the running system. Each of posix/ and win32/
// provides all of it. Not for use outside src/platform.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace veltra::platform::detail {

// The messages a window procedure receives (see MessageWindow::Procedure).
constexpr bool ReachesProcedure(uint32_t message) {
  return message >= kWmUser || message == kWmTimer || message == kWmDeviceChange;
}

// A device-change broadcast (one of the DevBroadcast* layouts) shared until every window that
// was sent it has run its procedure on it.
using BroadcastData = std::shared_ptr<const std::vector<std::byte>>;

// Posts kWmDeviceChange (wParam = event, lParam = the broadcast's bytes) to the window's queue and
// keeps the broadcast alive until the procedure has run or the post is dropped.
bool PostDeviceChange(WindowHandle window, uintptr_t event, BroadcastData broadcast);

// Devices of the system itself, reached when the registry does not know a path. On POSIX there are
// none.
uintptr_t OpenSystemDevice(const std::string& path);  // 0 when it cannot be opened
bool SystemIoControl(uintptr_t handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* returned);
void CloseSystemDevice(uintptr_t handle);
std::vector<DeviceInterfaceEntry> EnumerateSystemDeviceInterfaces(const Guid& classGuid);

// The system's own device-change registrations (0 when there is none).
uintptr_t RegisterSystemInterfaceNotification(WindowHandle window, const Guid& classGuid);
uintptr_t RegisterSystemHandleNotification(WindowHandle window, uintptr_t fileHandle);
void UnregisterSystemNotification(uintptr_t notification);

}  // namespace veltra::platform::detail
