#pragma once
// Device openers: which newly listed devices are opened at once.
//
// An opener watches its device list's item-added event and opens every item it accepts that is
// not open yet. Openers hear an item in the order they were created, so whichever opens it first,
// the later ones find it open. All openers of the library live in one opener list; emptying it
// stops automatic opening.
//
// The library's openers: a TDeviceOpenerSubID with mask 0x3B made when the library starts, and a
// TDeviceOpenerAll for every InitInstrument. The opener list is emptied by ExitInstrument and as
// soon as an instrument has become the global instrument.

#include <cstdint>
#include <memory>
#include <vector>

#include "discovery/DeviceList.h"

namespace veltra {

class TCustomDeviceOpener {
 public:
  // Starts watching `list`.
  explicit TCustomDeviceOpener(TCustomDeviceList& list);
  virtual ~TCustomDeviceOpener();
  TCustomDeviceOpener(const TCustomDeviceOpener&) = delete;
  TCustomDeviceOpener& operator=(const TCustomDeviceOpener&) = delete;

  // Whether a new item is to be opened; every item here.
  virtual bool Accepts(const TCustomDeviceListItem& item) const;

  TCustomDeviceList& List() const { return list_; }

 private:
  void ItemAdded(TCustomDeviceList* list, TCustomDeviceListItem* item);
  TMultiCastDeviceListEvent::THandler ItemAddedHandler();

  TCustomDeviceList& list_;
};

// Opens every device.
class TDeviceOpenerAll final : public TCustomDeviceOpener {
 public:
  using TCustomDeviceOpener::TCustomDeviceOpener;
};

// Opens the devices whose sub-identifier shares a bit with the mask.
class TDeviceOpenerSubID final : public TCustomDeviceOpener {
 public:
  // The mask of the opener the library makes when it starts.
  static constexpr uint32_t kLibraryMask = 0x3B;

  TDeviceOpenerSubID(TCustomDeviceList& list, uint32_t mask)
      : TCustomDeviceOpener(list), mask_(mask) {}

  bool Accepts(const TCustomDeviceListItem& item) const override { return (item.subId & mask_) != 0; }
  uint32_t Mask() const { return mask_; }

 private:
  uint32_t mask_;
};

// Owns openers. Opening a device may empty the list (the library's handler of an opened device
// does), so an opener may be destroyed while it opens a device.
class TDeviceOpenerList {
 public:
  TDeviceOpenerList() = default;
  ~TDeviceOpenerList() { Clear(); }
  TDeviceOpenerList(const TDeviceOpenerList&) = delete;
  TDeviceOpenerList& operator=(const TDeviceOpenerList&) = delete;

  // The one opener list of the process, made on first use.
  static TDeviceOpenerList& Instance();
  // At unload: destroys it with its openers.
  static void DestroyInstance();

  TCustomDeviceOpener* Add(std::unique_ptr<TCustomDeviceOpener> opener);
  // Destroys every opener.
  void Clear();
  size_t Count() const { return openers_.size(); }
  TCustomDeviceOpener* Get(size_t index) const;  // null out of range

 private:
  std::vector<std::unique_ptr<TCustomDeviceOpener>> openers_;
};

}  // namespace veltra
