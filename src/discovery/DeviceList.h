#pragma once
// The list of the devices the library knows about, and its items.
//
// Searchers (DeviceListItemSearcher.h) fill the list: one item per device found. An item knows how
// to create the object for its device and holds that object once it is open; the list owns its
// items, and an item owns (holds a counted reference to) the object it opened. The list tells who
// listens when an item is added, removed or opened: the openers (DeviceOpener.h) open items as they
// are added, the library's main unit takes an opened instrument as its global instrument.
//
// Everything here runs on the thread that owns the device list (the one that calls the exports);
// nothing locks.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/MultiCastEvents.h"
#include "framework/EventSinks.h"
#include "framework/Interface.h"

namespace veltra {

// The kinds of device an item stands for, as a set of bits.
inline constexpr uint8_t kDeviceKindInstrument = 1;
inline constexpr uint8_t kDeviceKindGenerator = 2;
inline constexpr uint8_t kDeviceKindI2CHost = 4;

class TCustomDeviceListItemSearcher;

// One device: its description and, once opened, its object.
//
// Created closed; Open creates the object; the item is closed again when its object goes away
// (hidden, for example because the device was removed), and stays listed. Destroying the item
// fires its destroying event (whose handlers see it as a TCustomDeviceListItem only) and releases
// the object, which destroys the object unless somebody else holds it.
class TCustomDeviceListItem {
 public:
  TCustomDeviceListItem();
  virtual ~TCustomDeviceListItem();
  TCustomDeviceListItem(const TCustomDeviceListItem&) = delete;
  TCustomDeviceListItem& operator=(const TCustomDeviceListItem&) = delete;

  // Creates and keeps the object, then fires the opened event. Every failure (CreateObject answers
  // nothing or raises, the object cannot be held) is discarded and leaves the item closed. An item
  // that is open already stays as it is: one device has one object.
  void Open();
  bool IsOpen() const { return object_->Get() != nullptr; }
  bool IsClosed() const { return !IsOpen(); }
  // The opened object; null while closed.
  ComPtr<IInterface> Object() const { return ComPtr<IInterface>(object_->Get()); }

  // The object for this item's device, or null; may raise.
  virtual ComPtr<IInterface> CreateObject() = 0;

  TMultiCastNotifyEvent& OnDestroying() { return onDestroying_; }
  TMultiCastNotifyEvent& OnOpened() { return onOpened_; }
  TMultiCastNotifyEvent& OnClosed() { return onClosed_; }

  // What the device says about itself (for a driver: its information record).
  uint8_t kind = 0;  // kDeviceKind* bits
  std::string name;
  std::string shortName;
  uint32_t serialNumber = 0;
  uint32_t typeCode = 0;
  uint32_t subId = 0;

 protected:
  // Holds `object` as this item's object (null: none); throws ESinkError when it cannot be held.
  void HoldObject(IInterface* object);
  // The object went away: fires the closed event.
  virtual void Closed();
  bool Destroying() const { return destroying_; }
  // The device list the item is in; null while it is in none.
  TCustomDeviceList* List() const { return list_; }

 private:
  friend class TCustomDeviceList;
  void ObjectHidden(TObjectRef* reference);

  // Declared before the object reference: releasing the object may still reach them.
  TMultiCastNotifyEvent onDestroying_;
  TMultiCastNotifyEvent onOpened_;
  TMultiCastNotifyEvent onClosed_;
  SinkPtr<TObjectRef> object_;  // counted: the item keeps its object alive
  bool destroying_ = false;
  TCustomDeviceList* list_ = nullptr;
};

class TCustomDeviceList {
 public:
  TCustomDeviceList();
  // Destroys the items, then the searchers.
  virtual ~TCustomDeviceList();
  TCustomDeviceList(const TCustomDeviceList&) = delete;
  TCustomDeviceList& operator=(const TCustomDeviceList&) = delete;

  size_t ItemCount() const { return items_.size(); }
  TCustomDeviceListItem* Item(size_t index) const;  // null out of range
  bool Contains(const TCustomDeviceListItem* item) const;

  // Appends the item and fires item added, then item opened if the item came open and still is.
  // Answers the item (it may be gone again when a handler freed it; check with Contains).
  TCustomDeviceListItem* AddItem(std::unique_ptr<TCustomDeviceListItem> item);
  // Takes the item out of the list and fires item removed; null when it is not listed.
  std::unique_ptr<TCustomDeviceListItem> ExtractItem(TCustomDeviceListItem* item);
  // Takes the item out of the list and destroys it; nothing when it is not listed.
  void FreeItem(TCustomDeviceListItem* item);
  // Destroys every item, last first.
  void ClearItems();

  size_t SearcherCount() const { return searchers_.size(); }
  TCustomDeviceListItemSearcher* Searcher(size_t index) const;  // null out of range
  TCustomDeviceListItemSearcher* AddSearcher(std::unique_ptr<TCustomDeviceListItemSearcher> searcher);
  // Asks every searcher to search.
  void Search();

  // The objects of the open items whose kind shares a bit with `kindMask`, in item order.
  std::vector<ComPtr<IInterface>> CollectOpenObjects(uint8_t kindMask) const;

  TMultiCastDeviceListEvent& OnItemAdded() { return onItemAdded_; }
  TMultiCastDeviceListEvent& OnItemRemoved() { return onItemRemoved_; }
  TMultiCastDeviceListEvent& OnItemOpened() { return onItemOpened_; }

 private:
  // Handler of every listed item's opened event: passes it on as item opened.
  void ForwardOpened(TCustomDeviceListItem* item);
  TMultiCastNotifyEvent::THandler ForwardOpenedHandler();

  TMultiCastDeviceListEvent onItemAdded_;
  TMultiCastDeviceListEvent onItemRemoved_;
  TMultiCastDeviceListEvent onItemOpened_;
  std::vector<std::unique_ptr<TCustomDeviceListItemSearcher>> searchers_;
  std::vector<std::unique_ptr<TCustomDeviceListItem>> items_;
};

// The one device list of the process.
class TDeviceList final : public TCustomDeviceList {
 public:
  // Made on first use.
  static TDeviceList& Instance();
  // At unload: destroys the list with its items and searchers (a later Instance makes a new one).
  static void DestroyInstance();
};

}  // namespace veltra
