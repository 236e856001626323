#include "discovery/DeviceListItemSearcher.h"

#include <algorithm>

namespace veltra {

TCustomDeviceListItemSearcher::TCustomDeviceListItemSearcher(TCustomDeviceList& list)
    : list_(list) {}

TCustomDeviceListItemSearcher::~TCustomDeviceListItemSearcher() {
  for (TCustomDeviceListItem* item : items_) item->OnDestroying().Remove(ItemDestroyingHandler());
}

void TCustomDeviceListItemSearcher::AddItem(std::unique_ptr<TCustomDeviceListItem> item) {
  // Own items first, so a search that the list's handlers might start already knows the device.
  items_.push_back(item.get());
  item->OnDestroying().Add(ItemDestroyingHandler());
  list_.AddItem(std::move(item));
}

void TCustomDeviceListItemSearcher::ItemDestroying(TCustomDeviceListItem* item) {
  std::erase(items_, item);
}

TMultiCastNotifyEvent::THandler TCustomDeviceListItemSearcher::ItemDestroyingHandler() {
  return TMultiCastNotifyEvent::THandler::Bind<&TCustomDeviceListItemSearcher::ItemDestroying>(this);
}

}  // namespace veltra
