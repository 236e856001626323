#pragma once
// Multicast events: lists of method pointers called one after the other.
//
// Firing works on a snapshot of the handlers taken when it starts, and calls a handler only if it
// is still registered at the moment its turn comes. So a handler removed during a firing (also by
// an earlier handler of the same firing) is not called, and one added during it waits for the next
// firing. An exception a handler raises is discarded and the remaining handlers still run. A
// handler may destroy the event itself; the firing then ends.
//
// Used on the thread that owns the device list; not thread-safe.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/Method.h"

namespace veltra {

template <class... Args>
class TMultiCastEvent {
 public:
  using THandler = Method<void(Args...)>;

  TMultiCastEvent() = default;
  TMultiCastEvent(const TMultiCastEvent&) = delete;
  TMultiCastEvent& operator=(const TMultiCastEvent&) = delete;
  ~TMultiCastEvent() { live_->handlers.clear(); }  // a firing in progress calls nobody further

  // Appends the handler; one that is registered already is registered a second time.
  void Add(const THandler& handler) {
    live_->handlers.push_back({live_->nextId++, handler});
  }
  // Removes the first registration equal to `handler` (object and code); nothing when none is.
  void Remove(const THandler& handler) {
    auto& handlers = live_->handlers;
    auto found = std::find_if(handlers.begin(), handlers.end(),
                              [&](const Entry& entry) { return entry.handler == handler; });
    if (found != handlers.end()) handlers.erase(found);
  }
  size_t Count() const { return live_->handlers.size(); }

  void Fire(Args... args) const {
    const std::shared_ptr<Live> live = live_;  // outlives the event if a handler destroys it
    const std::vector<Entry> snapshot = live->handlers;
    for (const Entry& entry : snapshot) {
      if (!live->Contains(entry.id)) continue;
      try {
        entry.handler(args...);
      } catch (...) {
        // One handler's failure is not the others' business.
      }
    }
  }

 private:
  // Each registration has its own number, so a registration removed during a firing is never
  // mistaken for one added later with an equal method pointer.
  struct Entry {
    uint64_t id;
    THandler handler;
  };
  struct Live {
    std::vector<Entry> handlers;
    uint64_t nextId = 1;
    bool Contains(uint64_t id) const {
      return std::any_of(handlers.begin(), handlers.end(),
                         [&](const Entry& entry) { return entry.id == id; });
    }
  };

  std::shared_ptr<Live> live_ = std::make_shared<Live>();
};

class TCustomDeviceList;
class TCustomDeviceListItem;

// Handlers of the form (sender): the events of a device-list item.
using TMultiCastNotifyEvent = TMultiCastEvent<TCustomDeviceListItem*>;
// Handlers of the form (device list, item): the events of the device list.
using TMultiCastDeviceListEvent = TMultiCastEvent<TCustomDeviceList*, TCustomDeviceListItem*>;

}  // namespace veltra
