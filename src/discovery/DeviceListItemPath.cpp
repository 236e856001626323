#include "discovery/DeviceListItemPath.h"

#include <utility>

namespace veltra {

TDeviceListItemPath::TDeviceListItemPath(TObjectClass objectClass, std::string devicePath)
    : objectClass_(std::move(objectClass)), devicePath_(std::move(devicePath)) {}

TDeviceListItemPath::~TDeviceListItemPath() = default;

ComPtr<IInterface> TDeviceListItemPath::CreateObject() {
  return objectClass_ ? objectClass_(devicePath_) : nullptr;
}

}  // namespace veltra
