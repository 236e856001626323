#include "discovery/DeviceOpener.h"

#include <utility>

namespace veltra {

// ---------------------------------------------------------------------------------------------
// TCustomDeviceOpener

TCustomDeviceOpener::TCustomDeviceOpener(TCustomDeviceList& list) : list_(list) {
  list_.OnItemAdded().Add(ItemAddedHandler());
}

TCustomDeviceOpener::~TCustomDeviceOpener() { list_.OnItemAdded().Remove(ItemAddedHandler()); }

bool TCustomDeviceOpener::Accepts(const TCustomDeviceListItem&) const { return true; }

void TCustomDeviceOpener::ItemAdded(TCustomDeviceList*, TCustomDeviceListItem* item) {
  // Opening is the last step: it may destroy this opener.
  if (item->IsClosed() && Accepts(*item)) item->Open();
}

TMultiCastDeviceListEvent::THandler TCustomDeviceOpener::ItemAddedHandler() {
  return TMultiCastDeviceListEvent::THandler::Bind<&TCustomDeviceOpener::ItemAdded>(this);
}

// ---------------------------------------------------------------------------------------------
// TDeviceOpenerList

namespace {

// A plain pointer, so no destructor of its own runs at exit (see TDeviceList::Instance).
TDeviceOpenerList* theOpenerList = nullptr;

}  // namespace

TDeviceOpenerList& TDeviceOpenerList::Instance() {
  if (!theOpenerList) theOpenerList = new TDeviceOpenerList;
  return *theOpenerList;
}

void TDeviceOpenerList::DestroyInstance() { delete std::exchange(theOpenerList, nullptr); }

TCustomDeviceOpener* TDeviceOpenerList::Add(std::unique_ptr<TCustomDeviceOpener> opener) {
  if (!opener) return nullptr;
  openers_.push_back(std::move(opener));
  return openers_.back().get();
}

void TDeviceOpenerList::Clear() {
  // Taken out before they go, so the list is empty for anyone their destruction reaches.
  std::vector<std::unique_ptr<TCustomDeviceOpener>> openers = std::move(openers_);
  openers_.clear();
}

TCustomDeviceOpener* TDeviceOpenerList::Get(size_t index) const {
  return index < openers_.size() ? openers_[index].get() : nullptr;
}

}  // namespace veltra
