#include "discovery/Enumerators.h"

#include <algorithm>

namespace veltra {

// ---------------------------------------------------------------------------------------------
// TCustomEnumDevice

bool TCustomEnumDevice::SetPosition(int32_t position) {
  if (position < -1 || position >= count_) return false;
  position_ = position;
  return true;
}

HResult TCustomEnumDevice::Skip(uint32_t count) {
  const int64_t position = int64_t{position_} + count;
  if (position < count_) {
    position_ = static_cast<int32_t>(position);
    return S_OK;
  }
  position_ = count_ - 1;
  return S_FALSE;
}

HResult TCustomEnumDevice::Reset() {
  position_ = -1;
  return S_OK;
}

HResult TCustomEnumDevice::Clone(ComPtr<IEnumDevice>& enumerator) {
  enumerator = nullptr;
  ComPtr<TCustomEnumDevice> sibling;
  try {
    sibling = MakeSibling();
  } catch (...) {
    return E_OUTOFMEMORY;  // whatever kept it from being made
  }
  if (!sibling) return E_OUTOFMEMORY;
  // The sibling lists the devices present now; a position beyond them leaves it at the start.
  sibling->SetPosition(position_);
  enumerator = std::move(sibling);
  return S_OK;
}

bool TCustomEnumDevice::GetInterface(const Guid& iid, void** object) {
  return Answer<IEnumDevice>(this, iid, object) || TOwnInterfacedObject::GetInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// TCustomHWEnumDevice

TCustomHWEnumDevice::TCustomHWEnumDevice(const Guid& classGuid) : TCustomGUIDEnumDevice(classGuid) {
  Refresh();
}

HResult TCustomHWEnumDevice::Reset() {
  TCustomGUIDEnumDevice::Reset();
  Refresh();
  return S_OK;
}

void TCustomHWEnumDevice::Refresh() {
  entries_ = platform::EnumerateDeviceInterfaces(ClassGuid());
  SetCount(static_cast<int32_t>(entries_.size()));
}

// ---------------------------------------------------------------------------------------------
// TEnumDeviceDriverHW

namespace {

// The information record of the device at `path`, or false when it cannot be opened or its driver
// does not answer.
bool ReadInfoRecord(const std::string& path, DeviceInfoRecord& record) {
  platform::DeviceFile file = platform::DeviceFile::Open(path);
  if (!file.IsValid()) return false;
  const bool answered =
      IoCtl(file, IOCTL_GET_INFO, &record, sizeof record, &record, sizeof record) == S_OK;
  if (answered) {
    VersionRecord versions{};  // asked for as the driver expects it; the answer is not needed
    IoCtl(file, IOCTL_GET_VERSIONS, nullptr, 0, &versions, sizeof versions);
  }
  return answered;
}

}  // namespace

ComPtr<IEnumDevice> TEnumDeviceDriverHW::Create(const Guid& classGuid) {
  return MakeObject<TEnumDeviceDriverHW>(classGuid);
}

HResult TEnumDeviceDriverHW::Next(uint32_t count, std::vector<DeviceInfoRecord>& records,
                                  uint32_t* fetched) {
  const uint32_t left = static_cast<uint32_t>(Count() - 1 - Position());
  const uint32_t wanted = std::min(count, left);
  HResult result = count > left ? S_FALSE : S_OK;
  records.assign(wanted, DeviceInfoRecord{});
  uint32_t filled = 0;
  while (filled < wanted && Position() + 1 < Count()) {
    SetPosition(Position() + 1);
    const std::string& path = Entries()[static_cast<size_t>(Position())].devicePath;
    if (ReadInfoRecord(path, records[filled])) {
      ++filled;
    } else {
      records[filled] = DeviceInfoRecord{};  // the next device's record starts from zeros
    }
  }
  if (fetched) *fetched = filled;
  if (filled < wanted) {
    records.resize(filled);
    result = S_FALSE;
  }
  return result;
}

ComPtr<TCustomEnumDevice> TEnumDeviceDriverHW::MakeSibling() {
  return MakeObject<TEnumDeviceDriverHW>(ClassGuid());
}

}  // namespace veltra
