#pragma once
// What the discovery tests plug in and open.
//
//   TInfoDevice     a one-channel registry device of a test class that answers IOCTL_GET_INFO with a
//                   record the test writes (serial number, sub-identifier, reported path), and
//                   can refuse to be opened;
//   TRemovalWatch   what an instrument does when its device file is removed: a window registered
//                   for the file hears the removal and, through a message it posts itself, calls
//                   the owner back (an instrument then destroys itself);
//   TPathObject     the object class the tests' items create: it opens the device file at its
//                   path (or raises "Could not open instrument."), takes its name from the
//                   information record, and hides when its device is removed;
//   TNamedDevice    a named object with an I2C bus, for items made from existing objects;
//   PumpUntil       processes the thread's messages (where broadcasts arrive) until a condition
//                   holds.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "couplers/I2CInterface.h"
#include "driver/DevIoCtl.h"
#include "framework/VtObjectEx.h"
#include "platform/Platform.h"

namespace veltra::test {

// A device-interface class no other test uses.
Guid TestClass(uint8_t n);

// Processes the calling thread's messages until `done` holds, waiting for them without spinning;
// false when nothing arrives for two seconds before it holds.
template <class Done>
bool PumpUntil(Done done) {
  while (!done()) {
    platform::PumpMessages();
    if (!done() && !platform::WaitMessage(2000)) return done();
  }
  return true;
}

class TInfoDevice {
 public:
  // Registers the device (an arrival) with serial number `serial` and sub-identifier `subId`; its
  // record reports `path` as the device path.
  TInfoDevice(const Guid& classGuid, std::string path, uint32_t serial, uint32_t subId = 1);
  ~TInfoDevice();  // unregisters (a removal)
  TInfoDevice(const TInfoDevice&) = delete;
  TInfoDevice& operator=(const TInfoDevice&) = delete;

  const std::string& Path() const { return path_; }
  void Unplug();
  // Opening fails while set.
  void Refuse(bool refuse);
  // The path the information record reports (by default the registered one).
  void ReportPath(const std::string& path);
  // Files open on the device.
  int OpenFiles() const;

 private:
  struct Provider;
  std::shared_ptr<Provider> provider_;
  std::string path_;
  platform::DeviceId id_ = 0;
};

class TRemovalWatch {
 public:
  // On the calling thread, whose messages must be processed for the callback to come.
  TRemovalWatch(const platform::DeviceFile& file, std::function<void()> onRemoved);
  ~TRemovalWatch();
  TRemovalWatch(const TRemovalWatch&) = delete;
  TRemovalWatch& operator=(const TRemovalWatch&) = delete;

 private:
  intptr_t WindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam);

  std::function<void()> onRemoved_;
  std::unique_ptr<platform::MessageWindow> window_;
  platform::DeviceNotification notification_ = 0;
};

// Opens the device file at `path`; raises "Could not open instrument." when it cannot, and reads
// the information record into `info`.
platform::DeviceFile OpenDeviceFile(const std::string& path, DeviceInfoRecord& info);

class TPathObject : public TVTObject {
 public:
  explicit TPathObject(const std::string& path);
  ~TPathObject() override;

  // The object class of the tests' items: counts every object it makes.
  static ComPtr<IInterface> Create(const std::string& path);
  static int Alive() { return alive_; }

 private:
  static inline std::atomic<int> alive_{0};

  DeviceInfoRecord info_{};
  platform::DeviceFile file_;
  TRemovalWatch removal_;
};

class TNamedDevice : public TVTObject, public II2CHost {
 public:
  TNamedDevice(const std::string& name, const std::string& shortName, int32_t number);

  HResult Read(uint32_t, uint8_t*, uint32_t, bool) override { return E_NOTIMPL; }
  HResult Write(uint32_t, const uint8_t*, uint32_t, bool) override { return E_NOTIMPL; }
  uint32_t GetSpeed() override { return 0; }
  HResult SetSpeed(uint32_t) override { return E_NOTIMPL; }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

}  // namespace veltra::test
