#pragma once
// The event sources: the hide event every hideable object fires, and the data-change events of
// signals. Each source creates its connection points in its owner's container and fires to the
// sinks connected there (EventSinks.h has the sinks).

#include <cstdint>

#include "framework/ConnectionPoints.h"
#include "framework/DispatchInterfaces.h"

namespace veltra {

// The hide event as a direct call: the first of the two hide event interfaces.
struct IHideEvents : IDispatch {
  static constexpr Guid IID = Guid::Parse("{5AC4728B-13B0-44E2-B89C-CB8F89B08840}");

  virtual HResult OnHide(IInterface* sender) = 0;
};

// The hide event as a dispatch call (event kDispIdHide with the object): the interface the weak
// references connect to.
inline constexpr Guid kHideDispEventsIID = Guid::Parse("{AAE53C7E-97D8-46BC-8113-D04C64663094}");
inline constexpr int32_t kDispIdHide = 401;

// The data-change events of a signal, both dispatch calls: kDispIdDataChangeBegins (sender) and
// kDispIdChanged (sender, 32-bit change mask). Sinks of the second interface are the single-sink
// adapters (TSourceEventsSingleSink).
inline constexpr Guid kSourceEventsIID = Guid::Parse("{C507B8B2-F5A5-4AE5-B8B9-C44E00A7DC0C}");
inline constexpr Guid kSourceDispEventsIID = Guid::Parse("{51461C01-F380-46C3-A047-4F71A6B9FF02}");
inline constexpr int32_t kDispIdDataChangeBegins = 301;
inline constexpr int32_t kDispIdChanged = 302;

// Fires the hide event of its owner to the sinks of both hide interfaces. Owned by the object it
// reports on (TInterfacedHideObject).
class THideEventsSrc {
 public:
  THideEventsSrc(IInterface* owner, TConnectionPoints& points);
  THideEventsSrc(const THideEventsSrc&) = delete;
  THideEventsSrc& operator=(const THideEventsSrc&) = delete;

  // Direct sinks first, then dispatch sinks. A failing sink does not stop the event: the object is
  // going away whatever its holders answer.
  void Fire();

 private:
  IInterface* owner_;  // not counted
  TConnectionPoint& direct_;
  TConnectionPoint& dispatch_;
};

// The data-change events of a signal, with an update bracket that merges the changes made inside
// it into one event.
//
// BeginUpdate(fire) opens a bracket; with `fire` it announces the change at once (event 301), only
// once until the closing event 302 went out. Changed(mask) inside a bracket collects the mask;
// outside it sends event 302 when the mask is not zero or a 301 is still open. EndUpdate closes a
// bracket and, when the last one closes, reports what was collected.
class TCustomSourceEvents {
 public:
  TCustomSourceEvents(IInterface* owner, TConnectionPoints& points);
  TCustomSourceEvents(const TCustomSourceEvents&) = delete;
  TCustomSourceEvents& operator=(const TCustomSourceEvents&) = delete;

  void BeginUpdate(bool fire);
  void EndUpdate();  // without an open bracket: nothing
  void Changed(uint32_t mask);

  int32_t UpdateCount() const { return updateCount_; }
  uint32_t PendingChanges() const { return pending_; }

 private:
  // Sends an event to the sinks of both source-event interfaces. The owner is held meanwhile, so a
  // sink that lets go of it cannot destroy this object under the call.
  void Send(int32_t dispId, uint32_t mask, bool withMask);

  IInterface* owner_;  // not counted
  int32_t updateCount_ = 0;
  uint32_t pending_ = 0;
  bool beginSent_ = false;
  TConnectionPoint& events_;
  TConnectionPoint& dispEvents_;
};

}  // namespace veltra
