#pragma once
// An item for an object that exists already (not found by a searcher): it is open from the start,
// takes its name, short name and serial number from the object, its kind from the interfaces the
// object offers, and frees itself when the object goes away.

#include "discovery/DeviceList.h"

namespace veltra {

class TDeviceListItemUnknownOrigin : public TCustomDeviceListItem {
 public:
  // Throws ESinkError when the object has no hide protocol (it could not be told apart from a
  // vanished one).
  explicit TDeviceListItemUnknownOrigin(IInterface* object);

  // Such an item cannot create anything.
  ComPtr<IInterface> CreateObject() override { return nullptr; }

 protected:
  // Fires the closed event, then frees the item through its device list (unless it is being
  // destroyed already, or is in no list).
  void Closed() override;
};

}  // namespace veltra
