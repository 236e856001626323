#include "DeviceChanges.h"

#include <algorithm>
#include <chrono>

#include "driver/DevIoCtl.h"
#include "platform/TextCodec.h"

namespace veltra::sim::test {

DeviceChanges::DeviceChanges()
    : window_([this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
        if (message == platform::kWmDeviceChange && lParam != 0) Record(wParam, lParam);
        return intptr_t{0};
      }),
      classRegistration_(platform::RegisterInterfaceNotification(window_, kDriverInterfaceClass)) {}

DeviceChanges::~DeviceChanges() {
  for (const platform::DeviceNotification registration : fileRegistrations_) {
    platform::UnregisterDeviceNotification(registration);
  }
  platform::UnregisterDeviceNotification(classRegistration_);
}

void DeviceChanges::Watch(const platform::DeviceFile& file) {
  fileRegistrations_.push_back(platform::RegisterHandleNotification(window_, file));
}

bool DeviceChanges::WaitFor(const std::function<bool()>& done, uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    platform::PumpMessages();
    if (done()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return false;
    platform::WaitMessage(static_cast<uint32_t>(left.count()));
  }
}

size_t DeviceChanges::Arrivals() const {
  return Count(platform::kDbtDeviceArrival, platform::kDbtDevTypDeviceInterface);
}

bool DeviceChanges::Arrived(const std::string& path) const {
  return Count(platform::kDbtDeviceArrival, platform::kDbtDevTypDeviceInterface, path) > 0;
}

bool DeviceChanges::Removed(const std::string& path) const {
  return Count(platform::kDbtDeviceRemoveComplete, platform::kDbtDevTypDeviceInterface, path) > 0;
}

bool DeviceChanges::FileRemoved() const {
  return Count(platform::kDbtDeviceRemoveComplete, platform::kDbtDevTypHandle) > 0;
}

void DeviceChanges::Record(uintptr_t event, intptr_t lParam) {
  const auto* header = reinterpret_cast<const platform::DevBroadcastHeader*>(lParam);
  Change change{event, header->deviceType, {}};
  if (header->deviceType == platform::kDbtDevTypDeviceInterface) {
    const auto* broadcast = reinterpret_cast<const platform::DevBroadcastDeviceInterface*>(lParam);
    change.path = platform::Utf16ToUtf8(broadcast->name);
  }
  changes_.push_back(std::move(change));
}

size_t DeviceChanges::Count(uintptr_t event, uint32_t deviceType, const std::string& path) const {
  return static_cast<size_t>(std::count_if(changes_.begin(), changes_.end(), [&](const Change& c) {
    return c.event == event && c.deviceType == deviceType && (path.empty() || c.path == path);
  }));
}

bool Listed(const std::string& path) {
  const auto entries = platform::EnumerateDeviceInterfaces(kDriverInterfaceClass);
  return std::any_of(entries.begin(), entries.end(),
                     [&](const auto& entry) { return entry.devicePath == path; });
}

}  // namespace veltra::sim::test
