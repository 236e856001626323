#include "framework/EventSinks.h"

#include <algorithm>
#include <cstdio>
#include <typeinfo>

#include "framework/CommonObjects.h"
#include "framework/Strings.h"
#include "framework/VTCOMEvents.h"

namespace veltra {
namespace {

// The reason a connection failed, for the exception text.
std::string FailureText(HResult hr) {
  switch (hr) {
    case E_NOINTERFACE:
      return "The object has no connection points.";
    case CONNECT_E_NOCONNECTION:
      return "The object does not fire these events.";
    case CONNECT_E_CANNOTCONNECT:
      return "The connection point refused the sink.";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "Error 0x%08X.", static_cast<unsigned>(hr));
      return text;
    }
  }
}

IInterface* Identity(IInterface* object) { return Query<IInterface>(object).Get(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCustomDispatchSink

TCustomDispatchSink::TCustomDispatchSink(const Guid& eventIID, bool counted)
    : eventIID_(eventIID), counted_(counted) {}

void TCustomDispatchSink::Free(TCustomDispatchSink* sink) {
  if (!sink) return;
  if (sink->inCallback_) {
    sink->freeRequested_ = true;
  } else {
    delete sink;
  }
}

HResult TCustomDispatchSink::QueryInterface(const Guid& iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IInterface::IID || iid == IDispatch::IID || iid == eventIID_) {
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HResult TCustomDispatchSink::GetTypeInfoCount(uint32_t& count) {
  count = 0;
  return E_NOTIMPL;
}

HResult TCustomDispatchSink::GetTypeInfo(uint32_t, uint32_t, void** typeInfo) {
  if (typeInfo) *typeInfo = nullptr;
  return E_NOTIMPL;
}

HResult TCustomDispatchSink::GetIDsOfNames(std::span<const std::string>,
                                           std::span<int32_t> dispIds) {
  std::fill(dispIds.begin(), dispIds.end(), 0);
  return E_NOTIMPL;
}

HResult TCustomDispatchSink::Invoke(int32_t dispId, uint16_t flags, std::span<const DispArg> args,
                                    DispArg* result) {
  if ((flags & kDispatchMethod) == 0) {
    throw ESinkError(FormatText("%s only supports sinking of method calls!",
                                {ClassNameOf(typeid(*this))}));
  }
  if (result) *result = DispArg();
  const bool outermost = !inCallback_;
  inCallback_ = true;
  HResult hr = E_FAIL;
  try {
    hr = OnEvent(dispId, args);
  } catch (...) {
    // The handlers run guarded already; nothing of the sink's own reaches the firing object.
  }
  if (outermost) {
    inCallback_ = false;
    if (freeRequested_) delete this;
  }
  return hr;
}

TCustomDispatchSink::Connection TCustomDispatchSink::Advise(IInterface* object) {
  HResult hr = E_NOINTERFACE;
  Connection connection;
  if (const auto container = Query<IConnectionPointContainer>(object)) {
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(eventIID_, point);
    if (hr == S_OK && point) {
      hr = point->Advise(static_cast<IDispatch*>(this), connection.cookie);
      if (hr == S_OK) connection.point = point.Get();
    }
  }
  if (!connection.point) {
    throw ESinkError(FormatText("Unable to connect %s.\r%s",
                                {ClassNameOf(typeid(*this)), FailureText(hr)}));
  }
  connection.object = Identity(object);
  if (counted_) connection.hold = ComPtr<IInterface>(connection.object);
  return connection;
}

void TCustomDispatchSink::Unadvise(Connection& connection) {
  Connection old = std::exchange(connection, Connection());
  if (old.point) old.point->Unadvise(old.cookie);
  // `old.hold` goes last: releasing it may destroy the object and its points.
}

// ---------------------------------------------------------------------------------------------
// TBaseOneSink

TBaseOneSink::~TBaseOneSink() { Disconnect(); }

void TBaseOneSink::Connect(IInterface* object) {
  Disconnect();
  if (object) connection_ = Advise(object);
}

void TBaseOneSink::Disconnect() { Unadvise(connection_); }

// ---------------------------------------------------------------------------------------------
// TBaseMultiSink

TBaseMultiSink::~TBaseMultiSink() { DisconnectAll(); }

void TBaseMultiSink::Connect(IInterface* object) {
  if (!object || IndexOf(object) >= 0) return;
  entries_.push_back({Advise(object), false});
}

void TBaseMultiSink::Disconnect(IInterface* object) {
  const int32_t index = IndexOf(object);
  if (index >= 0) DisconnectAt(static_cast<size_t>(index));
}

void TBaseMultiSink::DisconnectAll() {
  while (!entries_.empty()) DisconnectAt(entries_.size() - 1);
}

IInterface* TBaseMultiSink::Get(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return entries_[static_cast<size_t>(index)].connection.object;
}

int32_t TBaseMultiSink::IndexOf(IInterface* object) const {
  return object ? IndexOfIdentity(Identity(object)) : -1;
}

int32_t TBaseMultiSink::IndexOfIdentity(IInterface* identity) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].connection.object == identity) return static_cast<int32_t>(i);
  }
  return -1;
}

void TBaseMultiSink::DisconnectAt(size_t index) {
  Connection connection = std::move(entries_[index].connection);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  Unadvise(connection);
}

// ---------------------------------------------------------------------------------------------
// TObjectRef

TObjectRef::TObjectRef(THideHandler onHide, bool counted)
    : TBaseOneSink(kHideDispEventsIID, counted), onHide_(onHide) {}

void TObjectRef::Set(IInterface* object) {
  if (object && Object() == Identity(object)) return;
  Connect(object);
}

HResult TObjectRef::OnEvent(int32_t dispId, std::span<const DispArg>) {
  if (dispId != kDispIdHide) return DISP_E_MEMBERNOTFOUND;
  const uint32_t cookie = Cookie();
  const HResult hr = Guarded([this] {
    if (onHide_) onHide_(this);
  });
  // Let go, unless the handler already made the reference refer to something else.
  if (Connected() && Cookie() == cookie) Disconnect();
  return hr;
}

// ---------------------------------------------------------------------------------------------
// TObjectReferences

TObjectReferences::TObjectReferences(THideHandler onHide, bool counted)
    : TBaseMultiSink(kHideDispEventsIID, counted), onHide_(onHide) {}

HResult TObjectReferences::OnEvent(int32_t dispId, std::span<const DispArg> args) {
  if (dispId != kDispIdHide) return DISP_E_MEMBERNOTFOUND;
  if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
  IInterface* const object = Identity(ArgUnknown(args[0]));
  const int32_t index = IndexOfIdentity(object);
  if (index < 0) return S_OK;  // removed before the event reached this list
  Entries()[static_cast<size_t>(index)].hiding = true;
  const HResult hr = Guarded([&] {
    if (onHide_) onHide_(object);
  });
  // The handler may have changed the list: find the entry again.
  const int32_t now = IndexOfIdentity(object);
  if (now >= 0 && Entries()[static_cast<size_t>(now)].hiding) {
    DisconnectAt(static_cast<size_t>(now));
  }
  return hr;
}

// ---------------------------------------------------------------------------------------------
// TSourceEventsSingleSink

TSourceEventsSingleSink::TSourceEventsSingleSink(TBeginsHandler onDataChangeBegins,
                                                 TChangedHandler onChanged)
    : TBaseOneSink(kSourceDispEventsIID, true),
      onDataChangeBegins_(onDataChangeBegins),
      onChanged_(onChanged) {}

HResult TSourceEventsSingleSink::OnEvent(int32_t dispId, std::span<const DispArg> args) {
  switch (dispId) {
    case kDispIdDataChangeBegins:
      if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
      return Guarded([&] {
        if (onDataChangeBegins_) onDataChangeBegins_(ArgUnknown(args[0]));
      });
    case kDispIdChanged: {
      if (args.size() != 2) return DISP_E_BADPARAMCOUNT;
      const std::optional<uint32_t> changes = ArgUInt32(args[1]);
      if (!changes) return DISP_E_TYPEMISMATCH;
      return Guarded([&] {
        if (onChanged_) onChanged_(ArgUnknown(args[0]), *changes);
      });
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace veltra
