#pragma once
// The base of the searchers that fill the device list.
//
// A searcher adds one item per device it finds and keeps its own list of the items it added (it
// does not own them: the device list does). An item that is destroyed leaves that list by itself.

#include <memory>
#include <vector>

#include "discovery/DeviceList.h"

namespace veltra {

class TCustomDeviceListItemSearcher {
 public:
  explicit TCustomDeviceListItemSearcher(TCustomDeviceList& list);
  virtual ~TCustomDeviceListItemSearcher();
  TCustomDeviceListItemSearcher(const TCustomDeviceListItemSearcher&) = delete;
  TCustomDeviceListItemSearcher& operator=(const TCustomDeviceListItemSearcher&) = delete;

  // Adds the devices found since the last search; nothing here.
  virtual void Search() {}

  TCustomDeviceList& List() const { return list_; }
  // The items this searcher added that still exist, in the order they were added.
  const std::vector<TCustomDeviceListItem*>& Items() const { return items_; }

 protected:
  // Makes the item one of this searcher's own, then appends it to the device list (where the
  // openers may open it at once).
  void AddItem(std::unique_ptr<TCustomDeviceListItem> item);

 private:
  void ItemDestroying(TCustomDeviceListItem* item);
  TMultiCastNotifyEvent::THandler ItemDestroyingHandler();

  TCustomDeviceList& list_;
  std::vector<TCustomDeviceListItem*> items_;
};

}  // namespace veltra
