// Device files, enumeration and device-change registrations: the registry's devices first, then
// the system's.

#include <utility>

#include "platform/DeviceRegistry.h"
#include "platform/PlatformInternal.h"

namespace veltra::platform {

struct DeviceFile::Impl {
  std::shared_ptr<detail::RegistryConnection> connection;  // a registry device, or
  uintptr_t system = 0;                                     // a device of the system

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (system != 0) {
      detail::CloseSystemDevice(system);
    }
  }
};

DeviceFile::DeviceFile() = default;
DeviceFile::~DeviceFile() = default;
DeviceFile::DeviceFile(DeviceFile&& other) noexcept = default;
DeviceFile& DeviceFile::operator=(DeviceFile&& other) noexcept = default;

DeviceFile DeviceFile::Open(const std::string& path) {
  DeviceFile file;
  detail::RegistryOpen registered = detail::OpenRegisteredDevice(path);
  if (registered.found) {
    if (registered.connection) {
      file.impl_ = std::make_unique<Impl>();
      file.impl_->connection = std::move(registered.connection);
    }
    return file;
  }
  if (const uintptr_t system = detail::OpenSystemDevice(path); system != 0) {
    file.impl_ = std::make_unique<Impl>();
    file.impl_->system = system;
  }
  return file;
}

bool DeviceFile::IsValid() const { return impl_ != nullptr; }

uintptr_t DeviceFile::Handle() const {
  if (!impl_) {
    return 0;
  }
  return impl_->connection ? impl_->connection->Handle() : impl_->system;
}

bool DeviceFile::IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                           uint32_t outSize, uint32_t* returned) {
  if (returned != nullptr) {
    *returned = 0;
  }
  if (!impl_ || (in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) {
    return false;
  }
  if (impl_->connection) {
    return impl_->connection->IoControl(code, in, inSize, out, outSize, returned);
  }
  return detail::SystemIoControl(impl_->system, code, in, inSize, out, outSize, returned);
}

void DeviceFile::Close() { impl_.reset(); }

std::vector<DeviceInterfaceEntry> EnumerateDeviceInterfaces(const Guid& classGuid) {
  std::vector<DeviceInterfaceEntry> entries = detail::EnumerateRegisteredDevices(classGuid);
  for (DeviceInterfaceEntry& entry : detail::EnumerateSystemDeviceInterfaces(classGuid)) {
    entries.push_back(std::move(entry));
  }
  return entries;
}

DeviceNotification RegisterInterfaceNotification(const MessageWindow& window,
                                                 const Guid& classGuid) {
  const WindowHandle handle = window.Handle();
  if (handle == 0) {
    return 0;
  }
  return detail::AddInterfaceRegistration(
      handle, classGuid, detail::RegisterSystemInterfaceNotification(handle, classGuid));
}

DeviceNotification RegisterHandleNotification(const MessageWindow& window, const DeviceFile& file) {
  const WindowHandle handle = window.Handle();
  if (handle == 0 || !file.IsValid()) {
    return 0;
  }
  uintptr_t system = 0;
  if (!detail::IsRegistryFileHandle(file.Handle())) {
    system = detail::RegisterSystemHandleNotification(handle, file.Handle());
    if (system == 0) {
      return 0;
    }
  }
  return detail::AddHandleRegistration(handle, file.Handle(), system);
}

void UnregisterDeviceNotification(DeviceNotification notification) {
  uintptr_t system = 0;
  if (detail::RemoveRegistration(notification, system) && system != 0) {
    detail::UnregisterSystemNotification(system);
  }
}

}  // namespace veltra::platform
