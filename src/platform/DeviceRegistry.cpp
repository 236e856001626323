// The device registry: devices published by in-process providers, the files open on them, and
// the windows registered for their arrival and removal.
//
// One lock guards the tables. Providers' code (opening and ending sessions, control calls) and
// posting broadcasts run outside it, so a provider may call back into the registry.

#include "platform/DeviceRegistry.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/PlatformInternal.h"
#include "platform/TextCodec.h"

namespace veltra::platform::detail {

namespace {

// Handles of registry files are odd, so they never equal a system handle (a multiple of 4).
constexpr uintptr_t kFirstFileHandle = (uintptr_t{1} << 20) | 3;

struct Registration {
  DeviceNotification id = 0;
  WindowHandle window = 0;
  bool forHandle = false;
  Guid classGuid;            // interface registrations
  uintptr_t fileHandle = 0;  // handle registrations
  DeviceId device = 0;       // handle registrations on a registry file: the device behind it
  uintptr_t system = 0;
};

struct Broadcast {
  WindowHandle window = 0;
  uintptr_t event = 0;
  BroadcastData data;
};

struct Registry {
  std::mutex mutex;
  DeviceId nextDevice = 1;
  uintptr_t nextFileHandle = kFirstFileHandle;
  DeviceNotification nextRegistration = 1;
  std::vector<std::shared_ptr<RegisteredDevice>> devices;  // present ones, in registration order
  std::unordered_map<uintptr_t, DeviceId> openFiles;       // file handle -> device
  std::vector<Registration> registrations;
};

Registry& TheRegistry() {
  static auto* const registry = new Registry;  // outlives static destruction
  return *registry;
}

BroadcastData InterfaceBroadcast(const RegisteredDevice& device) {
  const std::u16string name = Utf8ToUtf16(device.path);
  const size_t nameOffset = offsetof(DevBroadcastDeviceInterface, name);
  const size_t size = nameOffset + (name.size() + 1) * sizeof(char16_t);
  auto data = std::make_shared<std::vector<std::byte>>(
      std::max(size, sizeof(DevBroadcastDeviceInterface)));
  const DevBroadcastDeviceInterface header{static_cast<uint32_t>(size), kDbtDevTypDeviceInterface,
                                           0, device.classGuid, {0}};
  std::memcpy(data->data(), &header, nameOffset);
  std::memcpy(data->data() + nameOffset, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  return data;
}

BroadcastData HandleBroadcast(uintptr_t fileHandle, DeviceNotification notification) {
  auto data = std::make_shared<std::vector<std::byte>>(sizeof(DevBroadcastHandle));
  DevBroadcastHandle header{};
  header.size = sizeof(DevBroadcastHandle);
  header.deviceType = kDbtDevTypHandle;
  header.handle = fileHandle;
  header.notification = notification;
  std::memcpy(data->data(), &header, sizeof header);
  return data;
}

void Deliver(const std::vector<Broadcast>& broadcasts) {
  for (const Broadcast& broadcast : broadcasts) {
    PostDeviceChange(broadcast.window, broadcast.event, broadcast.data);
  }
}

}  // namespace

RegistryConnection::RegistryConnection(std::shared_ptr<RegisteredDevice> device,
                                       std::unique_ptr<DeviceSession> session)
    : device_(std::move(device)), session_(std::move(session)) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  handle_ = registry.nextFileHandle;
  registry.nextFileHandle += 4;
  registry.openFiles.emplace(handle_, device_->id);
}

RegistryConnection::~RegistryConnection() {
  session_.reset();  // the provider sees the client go before the file handle is released
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.openFiles.erase(handle_);
}

bool RegistryConnection::IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                                   uint32_t outSize, uint32_t* returned) {
  uint32_t written = 0;
  const bool ok = !device_->removed &&
                  session_->IoControl(code, in, inSize, out, outSize, &written);
  if (returned != nullptr) {
    *returned = ok ? std::min(written, outSize) : 0;
  }
  return ok;
}

RegistryOpen OpenRegisteredDevice(const std::string& path) {
  std::shared_ptr<RegisteredDevice> device;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (const auto& candidate : registry.devices) {
      if (EqualIgnoringCase(candidate->path, path)) {
        device = candidate;
        break;
      }
    }
  }
  if (!device) {
    return {};
  }
  std::unique_ptr<DeviceSession> session = device->provider->Open();
  if (!session) {
    return {true, nullptr};
  }
  return {true, std::make_shared<RegistryConnection>(device, std::move(session))};
}

std::vector<DeviceInterfaceEntry> EnumerateRegisteredDevices(const Guid& classGuid) {
  std::vector<DeviceInterfaceEntry> entries;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  for (const auto& device : registry.devices) {
    if (device->classGuid == classGuid) {
      entries.push_back({static_cast<uint32_t>(device->id),
                         "INPROC\\DEVICE\\" + std::to_string(device->id), device->path});
    }
  }
  return entries;
}

bool IsRegistryFileHandle(uintptr_t fileHandle) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.openFiles.contains(fileHandle);
}

namespace {

DeviceNotification AddRegistration(Registration registration) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registration.id = registry.nextRegistration++;
  if (registration.forHandle) {
    auto file = registry.openFiles.find(registration.fileHandle);
    registration.device = file == registry.openFiles.end() ? 0 : file->second;
  }
  registry.registrations.push_back(registration);
  return registration.id;
}

}  // namespace

DeviceNotification AddInterfaceRegistration(WindowHandle window, const Guid& classGuid,
                                            uintptr_t system) {
  return AddRegistration(
      {.window = window, .forHandle = false, .classGuid = classGuid, .fileHandle = 0,
       .system = system});
}

DeviceNotification AddHandleRegistration(WindowHandle window, uintptr_t fileHandle,
                                         uintptr_t system) {
  return AddRegistration(
      {.window = window, .forHandle = true, .classGuid = {}, .fileHandle = fileHandle,
       .system = system});
}

bool RemoveRegistration(DeviceNotification notification, uintptr_t& system) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto found = std::find_if(registry.registrations.begin(), registry.registrations.end(),
                            [&](const Registration& r) { return r.id == notification; });
  if (found == registry.registrations.end()) {
    return false;
  }
  system = found->system;
  registry.registrations.erase(found);
  return true;
}

}  // namespace veltra::platform::detail

namespace veltra::platform {

using detail::Broadcast;
using detail::RegisteredDevice;

DeviceId RegisterDevice(const Guid& classGuid, const std::string& path,
                        std::shared_ptr<DeviceProvider> provider) {
  if (path.empty() || !provider) {
    return 0;
  }
  auto device = std::make_shared<RegisteredDevice>();
  device->classGuid = classGuid;
  device->path = path;
  device->provider = std::move(provider);
  std::vector<Broadcast> broadcasts;
  {
    detail::Registry& registry = detail::TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (const auto& present : registry.devices) {
      if (EqualIgnoringCase(present->path, path)) {
        return 0;  // one device per path
      }
    }
    device->id = registry.nextDevice++;
    registry.devices.push_back(device);
    const detail::BroadcastData arrival = detail::InterfaceBroadcast(*device);
    for (const detail::Registration& r : registry.registrations) {
      if (!r.forHandle && r.classGuid == classGuid) {
        broadcasts.push_back({r.window, kDbtDeviceArrival, arrival});
      }
    }
  }
  detail::Deliver(broadcasts);
  return device->id;
}

void UnregisterDevice(DeviceId id) {
  std::vector<Broadcast> broadcasts;
  {
    detail::Registry& registry = detail::TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto found = std::find_if(registry.devices.begin(), registry.devices.end(),
                              [&](const auto& device) { return device->id == id; });
    if (found == registry.devices.end()) {
      return;
    }
    const std::shared_ptr<RegisteredDevice> device = *found;
    registry.devices.erase(found);
    device->removed = true;
    const detail::BroadcastData removal = detail::InterfaceBroadcast(*device);
    for (const detail::Registration& r : registry.registrations) {
      if (!r.forHandle && r.classGuid == device->classGuid) {
        broadcasts.push_back({r.window, kDbtDeviceRemoveComplete, removal});
      } else if (r.forHandle && r.device == id && registry.openFiles.contains(r.fileHandle)) {
        broadcasts.push_back({r.window, kDbtDeviceRemoveComplete,
                              detail::HandleBroadcast(r.fileHandle, r.id)});
      }
    }
  }
  detail::Deliver(broadcasts);
}

}  // namespace veltra::platform
