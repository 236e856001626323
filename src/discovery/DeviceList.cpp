#include "discovery/DeviceList.h"

#include <algorithm>
#include <utility>

#include "discovery/DeviceListItemSearcher.h"

namespace veltra {

// ---------------------------------------------------------------------------------------------
// TCustomDeviceListItem

TCustomDeviceListItem::TCustomDeviceListItem()
    : object_(MakeSink<TObjectRef>(TObjectRef::THideHandler::Bind<&TCustomDeviceListItem::ObjectHidden>(this),
                                   /*counted=*/true)) {}

TCustomDeviceListItem::~TCustomDeviceListItem() {
  destroying_ = true;
  onDestroying_.Fire(this);
  object_->Set(nullptr);  // lets go without telling anyone: the item is going, not closing
}

void TCustomDeviceListItem::Open() {
  if (IsOpen()) return;
  try {
    const ComPtr<IInterface> object = CreateObject();
    HoldObject(object.Get());
  } catch (...) {
    // A device that cannot be opened stays a closed item.
    return;
  }
  if (IsOpen()) onOpened_.Fire(this);
}

void TCustomDeviceListItem::HoldObject(IInterface* object) { object_->Set(object); }

void TCustomDeviceListItem::Closed() { onClosed_.Fire(this); }

void TCustomDeviceListItem::ObjectHidden(TObjectRef* reference) {
  // Closed before the closed step, so its handlers see the item closed.
  reference->Set(nullptr);
  Closed();
}

// ---------------------------------------------------------------------------------------------
// TCustomDeviceList

TCustomDeviceList::TCustomDeviceList() = default;

TCustomDeviceList::~TCustomDeviceList() {
  ClearItems();
  while (!searchers_.empty()) {
    const std::unique_ptr<TCustomDeviceListItemSearcher> searcher = std::move(searchers_.back());
    searchers_.pop_back();
  }
}

TCustomDeviceListItem* TCustomDeviceList::Item(size_t index) const {
  return index < items_.size() ? items_[index].get() : nullptr;
}

bool TCustomDeviceList::Contains(const TCustomDeviceListItem* item) const {
  return std::any_of(items_.begin(), items_.end(),
                     [&](const auto& listed) { return listed.get() == item; });
}

TCustomDeviceListItem* TCustomDeviceList::AddItem(std::unique_ptr<TCustomDeviceListItem> item) {
  if (!item) return nullptr;
  TCustomDeviceListItem* const added = item.get();
  items_.push_back(std::move(item));
  added->list_ = this;
  added->OnOpened().Add(ForwardOpenedHandler());
  const bool cameOpen = added->IsOpen();
  onItemAdded_.Fire(this, added);
  if (cameOpen && Contains(added) && added->IsOpen()) onItemOpened_.Fire(this, added);
  return added;
}

std::unique_ptr<TCustomDeviceListItem> TCustomDeviceList::ExtractItem(TCustomDeviceListItem* item) {
  auto found = std::find_if(items_.begin(), items_.end(),
                            [&](const auto& listed) { return listed.get() == item; });
  if (found == items_.end()) return nullptr;
  std::unique_ptr<TCustomDeviceListItem> extracted = std::move(*found);
  items_.erase(found);
  extracted->list_ = nullptr;
  extracted->OnOpened().Remove(ForwardOpenedHandler());
  onItemRemoved_.Fire(this, extracted.get());
  return extracted;
}

void TCustomDeviceList::FreeItem(TCustomDeviceListItem* item) { ExtractItem(item).reset(); }

void TCustomDeviceList::ClearItems() {
  // One at a time: destroying an item may free or add others.
  while (!items_.empty()) ExtractItem(items_.back().get()).reset();
}

TCustomDeviceListItemSearcher* TCustomDeviceList::Searcher(size_t index) const {
  return index < searchers_.size() ? searchers_[index].get() : nullptr;
}

TCustomDeviceListItemSearcher* TCustomDeviceList::AddSearcher(
    std::unique_ptr<TCustomDeviceListItemSearcher> searcher) {
  if (!searcher) return nullptr;
  searchers_.push_back(std::move(searcher));
  return searchers_.back().get();
}

void TCustomDeviceList::Search() {
  for (size_t i = 0; i < searchers_.size(); ++i) searchers_[i]->Search();
}

std::vector<ComPtr<IInterface>> TCustomDeviceList::CollectOpenObjects(uint8_t kindMask) const {
  std::vector<ComPtr<IInterface>> objects;
  for (const auto& item : items_) {
    if ((item->kind & kindMask) != 0 && item->IsOpen()) objects.push_back(item->Object());
  }
  return objects;
}

void TCustomDeviceList::ForwardOpened(TCustomDeviceListItem* item) { onItemOpened_.Fire(this, item); }

TMultiCastNotifyEvent::THandler TCustomDeviceList::ForwardOpenedHandler() {
  return TMultiCastNotifyEvent::THandler::Bind<&TCustomDeviceList::ForwardOpened>(this);
}

// ---------------------------------------------------------------------------------------------
// TDeviceList

namespace {

// A plain pointer, so no destructor of its own runs at exit: the library's unload destroys the
// list, and may still need it then.
TDeviceList* theDeviceList = nullptr;

}  // namespace

TDeviceList& TDeviceList::Instance() {
  if (!theDeviceList) theDeviceList = new TDeviceList;
  return *theDeviceList;
}

void TDeviceList::DestroyInstance() {
  // Taken out first: destroying the items may reach code that asks for the instance.
  delete std::exchange(theDeviceList, nullptr);
}

}  // namespace veltra
