#pragma once
// The connection points of an object: one per event interface, each with its list of connected
// sinks. A point is part of its object (its references count on the object) and lives as long as
// the object does; TConnectionPoints is the object's container of them.

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "framework/CommonObjects.h"
#include "framework/DispatchInterfaces.h"

namespace veltra {

class TConnectionPoint final : public TOwnInterfacedObject, public IConnectionPoint {
 public:
  TConnectionPoint(IInterface* owner, const Guid& iid);

  // IConnectionPoint
  Guid GetConnectionInterface() override { return iid_; }
  ComPtr<IConnectionPointContainer> GetConnectionPointContainer() override;
  HResult Advise(IInterface* sink, uint32_t& cookie) override;
  HResult Unadvise(uint32_t cookie) override;
  std::vector<ConnectData> EnumConnections() override;

  size_t ConnectionCount() const { return connections_.size(); }

  // Calls `call` with the event interface I of every sink that was connected when this began, in
  // the order they connected. Sinks may connect and disconnect meanwhile: a sink that connects is
  // not called this time, one that disconnects is not called any more. I must be the point's event
  // interface (or IDispatch for a dispatch event interface).
  template <class I, class F>
  void ForEachSink(F&& call);

  // Calls Invoke (a method call with `args`) on every sink of this dispatch event interface (such a
  // sink answers the event interface with its IDispatch). What a sink answers or throws does not
  // reach the caller: a failing sink must not stop the event.
  void InvokeAll(int32_t dispId, std::span<const DispArg> args);

 protected:
  bool GetInterface(const Guid& iid, void** object) override;

 private:
  struct Connection {
    uint32_t cookie;
    void* events;  // the sink's event interface, as its QueryInterface answered it
    ComPtr<IInterface> sink;
  };

  Guid iid_;
  std::vector<Connection> connections_;  // in ascending cookie order
  uint32_t lastCookie_ = 0;
};

template <class I, class F>
void TConnectionPoint::ForEachSink(F&& call) {
  // Walk by cookie rather than by position: the list may change under the calls.
  const uint32_t lastAtStart = lastCookie_;
  uint32_t done = 0;
  for (;;) {
    const auto next = std::upper_bound(
        connections_.begin(), connections_.end(), done,
        [](uint32_t cookie, const Connection& connection) { return cookie < connection.cookie; });
    if (next == connections_.end() || next->cookie > lastAtStart) return;
    done = next->cookie;
    // A raw call: the sink may disconnect, or be freed by its owner, during it.
    call(static_cast<I*>(next->events));
  }
}

// An object's connection points, created by the object (and its derived classes) at construction.
class TConnectionPoints {
 public:
  explicit TConnectionPoints(IInterface* owner) : owner_(owner) {}

  // The point for event interface `iid`, created on first request.
  TConnectionPoint& CreateConnectionPoint(const Guid& iid);
  TConnectionPoint* Find(const Guid& iid) const;
  std::vector<ComPtr<IConnectionPoint>> Enumerate() const;

 private:
  IInterface* owner_;  // not counted
  std::vector<Owned<TConnectionPoint>> points_;
};

}  // namespace veltra
