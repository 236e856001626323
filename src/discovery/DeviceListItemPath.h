#pragma once
// A device reached through its device path: opening the item creates its object class from the
// path (for a driver-backed instrument, the instrument opens the device file there).

#include <functional>
#include <string>

#include "discovery/DeviceList.h"

namespace veltra {

// Creates the object for the device at a path; may raise (for example when the device file cannot
// be opened).
using TObjectClass = std::function<ComPtr<IInterface>(const std::string& devicePath)>;

class TDeviceListItemPath : public TCustomDeviceListItem {
 public:
  TDeviceListItemPath(TObjectClass objectClass, std::string devicePath);
  ~TDeviceListItemPath() override;

  // The object class's object for the device path.
  ComPtr<IInterface> CreateObject() override;

  const std::string& DevicePath() const { return devicePath_; }

 private:
  TObjectClass objectClass_;
  std::string devicePath_;
};

}  // namespace veltra
