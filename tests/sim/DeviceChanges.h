#pragma once
// The arrivals and removals of simulated probes as the library's windows receive them: a window
// registered for the driver's interface class (and, through Watch, for open files).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace veltra::sim::test {

class DeviceChanges {
 public:
  DeviceChanges();
  ~DeviceChanges();
  DeviceChanges(const DeviceChanges&) = delete;
  DeviceChanges& operator=(const DeviceChanges&) = delete;

  // The removal of the device behind the file reaches the window too.
  void Watch(const platform::DeviceFile& file);

  // Processes the thread's messages until `done` holds; false when it does not within the time.
  bool WaitFor(const std::function<bool()>& done, uint32_t timeoutMs);

  // Interface broadcasts: every arrival, and those naming a path.
  size_t Arrivals() const;
  bool Arrived(const std::string& path) const;
  bool Removed(const std::string& path) const;
  // Handle broadcasts: the removal of a watched file's device.
  bool FileRemoved() const;

 private:
  struct Change {
    uintptr_t event;
    uint32_t deviceType;
    std::string path;  // interface broadcasts
  };
  void Record(uintptr_t event, intptr_t lParam);
  size_t Count(uintptr_t event, uint32_t deviceType, const std::string& path = "") const;

  platform::MessageWindow window_;
  platform::DeviceNotification classRegistration_;
  std::vector<platform::DeviceNotification> fileRegistrations_;
  std::vector<Change> changes_;
};

// Whether the driver's interface class lists a device path now.
bool Listed(const std::string& path);

}  // namespace veltra::sim::test
