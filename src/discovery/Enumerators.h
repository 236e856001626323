#pragma once
// The enumerators behind IEnumDevice.
//
//   TCustomEnumDevice      the position among `count` devices: Skip, Reset, Clone
//   TCustomGUIDEnumDevice  the device-interface class it enumerates
//   TCustomHWEnumDevice    the present devices of that class (instance handle, instance
//                          identifier, device path), listed again by every Reset
//   TEnumDeviceDriverHW    Next asks each device's driver for its information record
//
// The position is the index of the last device handed out, -1 before the first. Enumerators are
// free-standing objects: MakeObject<TEnumDeviceDriverHW>(classGuid).

#include <cstdint>
#include <string>
#include <vector>

#include "discovery/EnumeratorInterfaces.h"
#include "framework/CommonObjects.h"
#include "platform/Platform.h"

namespace veltra {

class TCustomEnumDevice : public TOwnInterfacedObject, public IEnumDevice {
 public:
  TCustomEnumDevice() = default;

  // Accepted for -1 <= position < count; false (and no change) otherwise.
  bool SetPosition(int32_t position);
  int32_t Position() const { return position_; }
  int32_t Count() const { return count_; }

  HResult Skip(uint32_t count) override;
  HResult Reset() override;
  HResult Clone(ComPtr<IEnumDevice>& enumerator) override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  // A new enumerator of this object's own class with the same construction arguments.
  virtual ComPtr<TCustomEnumDevice> MakeSibling() = 0;
  void SetCount(int32_t count) { count_ = count; }

 private:
  int32_t position_ = -1;
  int32_t count_ = 0;
};

class TCustomGUIDEnumDevice : public TCustomEnumDevice {
 public:
  explicit TCustomGUIDEnumDevice(const Guid& classGuid) : classGuid_(classGuid) {}

  const Guid& ClassGuid() const { return classGuid_; }

 private:
  Guid classGuid_;
};

class TCustomHWEnumDevice : public TCustomGUIDEnumDevice {
 public:
  // Lists the devices present now.
  explicit TCustomHWEnumDevice(const Guid& classGuid);

  // Back before the first device, then the devices are listed again.
  HResult Reset() override;

  const std::vector<platform::DeviceInterfaceEntry>& Entries() const { return entries_; }

 private:
  void Refresh();

  std::vector<platform::DeviceInterfaceEntry> entries_;
};

class TEnumDeviceDriverHW : public TCustomHWEnumDevice {
 public:
  using TCustomHWEnumDevice::TCustomHWEnumDevice;

  // The enumerator class of a searcher: one of these for `classGuid`.
  static ComPtr<IEnumDevice> Create(const Guid& classGuid);

  // Opens each further device file for a moment and asks it for its information record
  // (IOCTL_GET_INFO, then IOCTL_GET_VERSIONS as a driver expects it); devices that cannot be
  // opened or do not answer are stepped over and not delivered.
  HResult Next(uint32_t count, std::vector<DeviceInfoRecord>& records, uint32_t* fetched) override;

 protected:
  ComPtr<TCustomEnumDevice> MakeSibling() override;
};

}  // namespace veltra
