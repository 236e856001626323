#pragma once
// What every export shares: the guard that keeps exceptions inside the library, the test for the
// global instrument and for channel numbers, and the null-safe ways of answering through the
// caller's pointers.

#include <algorithm>
#include <stdexcept>

#include "api/DLL.h"
#include "hw/HWInterfaces.h"
#include "veltra/veltra.h"

namespace veltra::api {

// Runs an export body; an exception that escapes it gives `onException` instead.
template <class R, class Body>
R Guarded(R onException, Body&& body) noexcept {
  try {
    EnsureStarted();
    return body();
  } catch (...) {
    return onException;
  }
}

template <class Body>
void Guarded(Body&& body) noexcept {
  try {
    EnsureStarted();
    body();
  } catch (...) {
    // No exception crosses the library boundary.
  }
}

inline ComPtr<IInstrument> GlobalInstrument() { return State().instrument; }

// An object the model must supply; its absence ends the export through the guard.
template <class T>
T& Must(const ComPtr<T>& object) {
  if (!object) throw std::runtime_error("missing object");
  return *object;
}

// Channel `number` (1-based) of the instrument; null when the number is 0 or beyond the count.
inline ComPtr<IChannel> ChannelByNumber(IInstrument& instrument, uint32_t number) {
  if (number == 0 || number > static_cast<uint32_t>(instrument.GetChannelCount())) return nullptr;
  return instrument.GetChannel(static_cast<int32_t>(number - 1));
}

// The zero a getter writes before its checks; nothing for a null pointer.
template <class T, class V>
void Preset(T* target, V value) {
  if (target) *target = static_cast<T>(value);
}

// Writes a result: STATUS_OK, or STATUS_INVALID_VALUE for a null pointer.
template <class T, class V>
VeltraStatus Deliver(T* target, V value) {
  if (!target) return STATUS_INVALID_VALUE;
  *target = static_cast<T>(value);
  return STATUS_OK;
}

}  // namespace veltra::api
