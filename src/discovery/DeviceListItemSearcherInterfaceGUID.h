#pragma once
// The searcher for the devices of one device-interface class.
//
// It asks an enumerator for the information records of the present devices and adds one
// TDeviceListItemPath per device path it does not know yet (paths compare ignoring case). Its
// hidden window hears arrivals and removals of the class: an arrival searches again, a removal
// frees the item of the removed path. The window belongs to the thread that creates the searcher;
// broadcasts are handled only while that thread processes its messages.

#include <functional>
#include <memory>

#include "discovery/DeviceListItemPath.h"
#include "discovery/DeviceListItemSearcher.h"
#include "discovery/EnumeratorInterfaces.h"
#include "platform/Platform.h"

namespace veltra {

// Creates the enumerator for a device-interface class (TEnumDeviceDriverHW::Create).
using TEnumeratorClass = std::function<ComPtr<IEnumDevice>(const Guid& classGuid)>;

class TDeviceListItemSearcherInterfaceGUID : public TCustomDeviceListItemSearcher {
 public:
  // `kind` is given to every item it adds, `objectClass` creates their objects.
  TDeviceListItemSearcherInterfaceGUID(TCustomDeviceList& list, const Guid& classGuid, uint8_t kind,
                                       TObjectClass objectClass, TEnumeratorClass enumeratorClass);
  ~TDeviceListItemSearcherInterfaceGUID() override;

  void Search() override;

  const Guid& ClassGuid() const { return classGuid_; }
  platform::WindowHandle Window() const { return window_->Handle(); }

 private:
  intptr_t WindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam);
  void DeviceRemoved(const std::string& path);
  TDeviceListItemPath* OwnItemWithPath(const std::string& path) const;

  std::unique_ptr<platform::MessageWindow> window_;
  TObjectClass objectClass_;
  uint8_t kind_;
  Guid classGuid_;
  platform::DeviceNotification notification_ = 0;
  ComPtr<IEnumDevice> enumerator_;
};

}  // namespace veltra
