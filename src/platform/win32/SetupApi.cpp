// Enumeration of the present devices of a device-interface class through the wide setup API.

#include <windows.h>
// windows.h first
#include <setupapi.h>

#include <cstring>
#include <vector>

#include "platform/PlatformInternal.h"
#include "platform/TextCodec.h"

namespace veltra::platform::detail {

namespace {

std::string Narrow(const wchar_t* text) {
  std::u16string wide;
  for (; *text != 0; ++text) {
    wide += static_cast<char16_t>(*text);
  }
  return Utf16ToUtf8(wide);
}

// One device interface: its detail (the device path), then its device's instance identifier.
bool ReadEntry(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData, DeviceInterfaceEntry& entry) {
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    return false;
  }
  std::vector<uint64_t> buffer((required + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  SP_DEVINFO_DATA deviceData = {};
  deviceData.cbSize = sizeof deviceData;
  if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr,
                                        &deviceData)) {
    return false;
  }
  entry.instanceHandle = deviceData.DevInst;
  entry.devicePath = Narrow(detail->DevicePath);

  DWORD idLength = 0;
  SetupDiGetDeviceInstanceIdW(set, &deviceData, nullptr, 0, &idLength);
  std::vector<wchar_t> id(idLength + 1, 0);
  if (idLength > 0 &&
      SetupDiGetDeviceInstanceIdW(set, &deviceData, id.data(), idLength, nullptr)) {
    entry.instanceId = Narrow(id.data());
  }
  return true;
}

}  // namespace

std::vector<DeviceInterfaceEntry> EnumerateSystemDeviceInterfaces(const Guid& classGuid) {
  std::vector<DeviceInterfaceEntry> entries;
  GUID guid;
  std::memcpy(&guid, &classGuid, sizeof guid);
  const HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    return entries;
  }
  SP_DEVICE_INTERFACE_DATA interfaceData = {};
  interfaceData.cbSize = sizeof interfaceData;
  for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &interfaceData);
       ++index) {
    DeviceInterfaceEntry entry;
    if (ReadEntry(set, interfaceData, entry)) {
      entries.push_back(std::move(entry));
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return entries;
}

}  // namespace veltra::platform::detail
