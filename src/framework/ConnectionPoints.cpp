#include "framework/ConnectionPoints.h"

namespace veltra {

TConnectionPoint::TConnectionPoint(IInterface* owner, const Guid& iid)
    : TOwnInterfacedObject(owner), iid_(iid) {}

ComPtr<IConnectionPointContainer> TConnectionPoint::GetConnectionPointContainer() {
  return Query<IConnectionPointContainer>(Owner());
}

HResult TConnectionPoint::Advise(IInterface* sink, uint32_t& cookie) {
  cookie = 0;
  if (!sink) return E_POINTER;
  void* events = nullptr;
  if (sink->QueryInterface(iid_, &events) != S_OK || !events) return CONNECT_E_CANNOTCONNECT;
  // The query counted the sink; that count is the one the connection keeps.
  cookie = ++lastCookie_;
  connections_.push_back({cookie, events, ComPtr<IInterface>::Attach(sink)});
  return S_OK;
}

HResult TConnectionPoint::Unadvise(uint32_t cookie) {
  const auto found = std::find_if(connections_.begin(), connections_.end(),
                                  [cookie](const Connection& c) { return c.cookie == cookie; });
  if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
  // Take the sink out of the list before it is released: releasing may run its destructor.
  const ComPtr<IInterface> sink = std::move(found->sink);
  connections_.erase(found);
  return S_OK;
}

std::vector<ConnectData> TConnectionPoint::EnumConnections() {
  std::vector<ConnectData> result;
  result.reserve(connections_.size());
  for (const Connection& connection : connections_) {
    result.push_back({connection.sink, connection.cookie});
  }
  return result;
}

void TConnectionPoint::InvokeAll(int32_t dispId, std::span<const DispArg> args) {
  ForEachSink<IDispatch>([&](IDispatch* sink) {
    try {
      sink->Invoke(dispId, kDispatchMethod, args, nullptr);
    } catch (...) {
      // The sink's failure is its own; the other sinks still hear the event.
    }
  });
}

bool TConnectionPoint::GetInterface(const Guid& iid, void** object) {
  return Answer<IConnectionPoint>(this, iid, object) ||
         TOwnInterfacedObject::GetInterface(iid, object);
}

TConnectionPoint& TConnectionPoints::CreateConnectionPoint(const Guid& iid) {
  if (TConnectionPoint* existing = Find(iid)) return *existing;
  points_.push_back(MakeOwned<TConnectionPoint>(owner_, iid));
  return *points_.back().Get();
}

TConnectionPoint* TConnectionPoints::Find(const Guid& iid) const {
  for (const Owned<TConnectionPoint>& point : points_) {
    if (point->GetConnectionInterface() == iid) return point.Get();
  }
  return nullptr;
}

std::vector<ComPtr<IConnectionPoint>> TConnectionPoints::Enumerate() const {
  std::vector<ComPtr<IConnectionPoint>> result;
  result.reserve(points_.size());
  for (const Owned<TConnectionPoint>& point : points_) {
    result.emplace_back(static_cast<IConnectionPoint*>(point.Get()));
  }
  return result;
}

}  // namespace veltra
