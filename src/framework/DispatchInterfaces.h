#pragma once
// The interfaces through which objects hand events to sinks: connection points and dispatch calls.
//
// An object that fires events offers IConnectionPointContainer. For each event interface it has one
// connection point; a sink connects (Advise) to the point of its interface and gets a cookie, with
// which it disconnects later (Unadvise). Events are calls on the connected sinks: either direct
// calls of an event interface, or IDispatch::Invoke with a dispatch identifier and arguments.
//
// This is a small mechanism of our own for the events of this library, not a general automation
// layer: arguments are interfaces or 32-bit values, and enumerations answer snapshots.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "framework/Interface.h"

namespace veltra {

// Result codes of dispatch calls and connection points.
inline constexpr HResult DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
inline constexpr HResult DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000E);
inline constexpr HResult CONNECT_E_NOCONNECTION = MakeHResult(0x80040200);
inline constexpr HResult CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202);

// Kinds of a dispatch call (flags of Invoke). Event sinks accept only method calls.
inline constexpr uint16_t kDispatchMethod = 1;
inline constexpr uint16_t kDispatchPropertyGet = 2;
inline constexpr uint16_t kDispatchPropertyPut = 4;
inline constexpr uint16_t kDispatchPropertyPutRef = 8;

// One argument of a dispatch call: empty, an interface (not counted: the caller keeps it alive for
// the call), or a 32-bit value.
using DispArg = std::variant<std::monostate, IInterface*, int32_t, uint32_t>;

// The interface argument, or null when `arg` holds none.
inline IInterface* ArgUnknown(const DispArg& arg) {
  const auto* unknown = std::get_if<IInterface*>(&arg);
  return unknown ? *unknown : nullptr;
}

// The 32-bit argument (signed or unsigned), or nothing when `arg` holds none.
inline std::optional<uint32_t> ArgUInt32(const DispArg& arg) {
  if (const auto* u = std::get_if<uint32_t>(&arg)) return *u;
  if (const auto* i = std::get_if<int32_t>(&arg)) return static_cast<uint32_t>(*i);
  return std::nullopt;
}

struct IDispatch : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{00020400-0000-0000-C000-000000000046}");

  virtual HResult GetTypeInfoCount(uint32_t& count) = 0;
  virtual HResult GetTypeInfo(uint32_t index, uint32_t locale, void** typeInfo) = 0;
  virtual HResult GetIDsOfNames(std::span<const std::string> names, std::span<int32_t> dispIds) = 0;
  // Calls member `dispId` with `args` in call order (first argument first). `result` may be null.
  virtual HResult Invoke(int32_t dispId, uint16_t flags, std::span<const DispArg> args,
                         DispArg* result) = 0;
};

struct IConnectionPointContainer;

// One connection as an enumeration reports it.
struct ConnectData {
  ComPtr<IInterface> sink;
  uint32_t cookie = 0;
};

struct IConnectionPoint : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{B196B286-BAB4-101A-B69C-00AA00341D07}");

  // The event interface this point serves.
  virtual Guid GetConnectionInterface() = 0;
  virtual ComPtr<IConnectionPointContainer> GetConnectionPointContainer() = 0;
  // Connects `sink`, which must answer the event interface (else CONNECT_E_CANNOTCONNECT); the
  // point keeps a counted reference to it until Unadvise. The cookie is never 0.
  virtual HResult Advise(IInterface* sink, uint32_t& cookie) = 0;
  // CONNECT_E_NOCONNECTION when no connection has this cookie.
  virtual HResult Unadvise(uint32_t cookie) = 0;
  // The current connections, in the order they were made.
  virtual std::vector<ConnectData> EnumConnections() = 0;
};

struct IConnectionPointContainer : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{B196B284-BAB4-101A-B69C-00AA00341D07}");

  virtual std::vector<ComPtr<IConnectionPoint>> EnumConnectionPoints() = 0;
  // CONNECT_E_NOCONNECTION (and an empty `point`) when the object fires no such events.
  virtual HResult FindConnectionPoint(const Guid& iid, ComPtr<IConnectionPoint>& point) = 0;
};

}  // namespace veltra
