#pragma once
// What the discovery tests plug in and open.
//
//   TInfoDevice     a registry device of a test class of its own that answers IOCTL_GET_INFO with a
//                   record the test writes (serial number, sub-identifier, reported path), and
//                   can refuse to be opened;
//   TPathObject     the object class the tests' items create: it opens the device file at its
//                   path (or raises "Could not open instrument."), takes name and serial number
//                   from the information record, and, like an instrument, destroys itself
//                   (hides) through a posted message when its device is removed;
//   TNamedDevice    a named object with an I2C bus, for items made from existing objects.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "couplers/I2CInterface.h"
#include "driver/DevIoCtl.h"
#include "framework/VtObjectEx.h"
#include "platform/Platform.h"

namespace veltra::test {

// A device-interface class no other test uses.
Guid TestClass(uint8_t n);

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

class TPathObject : public TVTObject {
 public:
  explicit TPathObject(const std::string& path);
  ~TPathObject() override;

  // The object class of the tests' items: counts every object it makes.
  static ComPtr<IInterface> Create(const std::string& path);
  static int Created() { return created_; }
  static int Alive() { return alive_; }

  const std::string& Path() const { return path_; }
  uint32_t Serial() const { return info_.serialNumber; }

 private:
  intptr_t WindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam);

  static inline std::atomic<int> created_{0};
  static inline std::atomic<int> alive_{0};

  std::string path_;
  platform::DeviceFile file_;
  DeviceInfoRecord info_{};
  std::unique_ptr<platform::MessageWindow> window_;
  platform::DeviceNotification notification_ = 0;
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
