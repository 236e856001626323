#pragma once
// The in-process device registry behind DeviceFile, EnumerateDeviceInterfaces and the
// device-change registrations (see Platform.h). Not for use outside src/platform.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace veltra::platform::detail {

struct RegisteredDevice {
  DeviceId id = 0;
  Guid classGuid;
  std::string path;
  std::shared_ptr<DeviceProvider> provider;
  std::atomic<bool> removed{false};
};

// One open file on a registered device: the provider's session, which ends with it. It keeps the
// device (and so its provider) alive while it exists.
class RegistryConnection {
 public:
  RegistryConnection(std::shared_ptr<RegisteredDevice> device,
                     std::unique_ptr<DeviceSession> session);
  ~RegistryConnection();
  RegistryConnection(const RegistryConnection&) = delete;
  RegistryConnection& operator=(const RegistryConnection&) = delete;

  uintptr_t Handle() const { return handle_; }
  // Fails once the device is removed.
  bool IoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned);

 private:
  std::shared_ptr<RegisteredDevice> device_;
  std::unique_ptr<DeviceSession> session_;
  uintptr_t handle_ = 0;
};

struct RegistryOpen {
  bool found = false;  // a registered device has the path
  std::shared_ptr<RegistryConnection> connection;  // null when its provider refused the client
};
RegistryOpen OpenRegisteredDevice(const std::string& path);

std::vector<DeviceInterfaceEntry> EnumerateRegisteredDevices(const Guid& classGuid);

// The registry's side of device-change registrations. `system` is the system's own registration
// made alongside (0 for none), handed back by RemoveRegistration for unregistering.
bool IsRegistryFileHandle(uintptr_t fileHandle);
DeviceNotification AddInterfaceRegistration(WindowHandle window, const Guid& classGuid,
                                            uintptr_t system);
DeviceNotification AddHandleRegistration(WindowHandle window, uintptr_t fileHandle,
                                         uintptr_t system);
bool RemoveRegistration(DeviceNotification notification, uintptr_t& system);

}  // namespace veltra::platform::detail
