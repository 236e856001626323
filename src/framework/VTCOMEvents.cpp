#include "framework/VTCOMEvents.h"

namespace veltra {

THideEventsSrc::THideEventsSrc(IInterface* owner, TConnectionPoints& points)
    : owner_(owner),
      direct_(points.CreateConnectionPoint(IHideEvents::IID)),
      dispatch_(points.CreateConnectionPoint(kHideDispEventsIID)) {}

void THideEventsSrc::Fire() {
  direct_.ForEachSink<IHideEvents>([this](IHideEvents* sink) {
    try {
      sink->OnHide(owner_);
    } catch (...) {
      // Hiding goes on: see Fire.
    }
  });
  const DispArg args[] = {owner_};
  dispatch_.InvokeAll(kDispIdHide, args);
}

TCustomSourceEvents::TCustomSourceEvents(IInterface* owner, TConnectionPoints& points)
    : owner_(owner),
      events_(points.CreateConnectionPoint(kSourceEventsIID)),
      dispEvents_(points.CreateConnectionPoint(kSourceDispEventsIID)) {}

void TCustomSourceEvents::BeginUpdate(bool fire) {
  ++updateCount_;
  if (!fire || beginSent_) return;
  beginSent_ = true;
  Send(kDispIdDataChangeBegins, 0, false);  // last: this object may be gone afterwards
}

void TCustomSourceEvents::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ > 0) return;
  const uint32_t changes = pending_;
  pending_ = 0;
  Changed(changes);
}

void TCustomSourceEvents::Changed(uint32_t mask) {
  if (updateCount_ > 0) {
    pending_ |= mask;
    return;
  }
  if (mask == 0 && !beginSent_) return;
  beginSent_ = false;
  Send(kDispIdChanged, mask, true);  // last: this object may be gone afterwards
}

void TCustomSourceEvents::Send(int32_t dispId, uint32_t mask, bool withMask) {
  const ComPtr<IInterface> hold(owner_);
  const DispArg args[] = {owner_, mask};
  const std::span<const DispArg> used(args, withMask ? 2 : 1);
  events_.InvokeAll(dispId, used);
  dispEvents_.InvokeAll(dispId, used);
}

}  // namespace veltra
