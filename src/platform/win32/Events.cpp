// Events on Windows: kernel event objects; the handle is the event's HANDLE.

#include <windows.h>

#include <vector>

#include "platform/Platform.h"

namespace veltra::platform {

namespace {

HANDLE ToHandle(EventHandle handle) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle)); }

int WaitForHandles(const std::vector<HANDLE>& handles, uint32_t timeoutMs) {
  if (handles.empty() || handles.size() > MAXIMUM_WAIT_OBJECTS) {
    return kWaitFailed;
  }
  const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                              FALSE, timeoutMs);
  if (result == WAIT_TIMEOUT) {
    return kWaitTimeout;
  }
  if (result < WAIT_OBJECT_0 + handles.size()) {
    return static_cast<int>(result - WAIT_OBJECT_0);
  }
  return kWaitFailed;  // WAIT_FAILED, or an abandoned mutex (no event is one)
}

}  // namespace

struct Event::Impl {
  HANDLE handle = nullptr;
};

Event::Event(bool manualReset, bool initiallySet) : impl_(std::make_unique<Impl>()) {
  impl_->handle = CreateEventA(nullptr, manualReset, initiallySet, nullptr);
}

Event::~Event() {
  if (impl_->handle != nullptr) {
    CloseHandle(impl_->handle);
  }
}

void Event::Set() { SetEvent(impl_->handle); }

void Event::Reset() { ResetEvent(impl_->handle); }

EventHandle Event::Handle() const {
  return static_cast<EventHandle>(reinterpret_cast<uintptr_t>(impl_->handle));
}

int WaitAny(std::span<Event* const> events, uint32_t timeoutMs) {
  std::vector<HANDLE> handles;
  handles.reserve(events.size());
  for (Event* event : events) {
    if (event == nullptr) {
      return kWaitFailed;
    }
    handles.push_back(ToHandle(event->Handle()));
  }
  return WaitForHandles(handles, timeoutMs);
}

int WaitAny(std::span<const EventHandle> events, uint32_t timeoutMs) {
  std::vector<HANDLE> handles;
  handles.reserve(events.size());
  for (EventHandle handle : events) {
    handles.push_back(ToHandle(handle));
  }
  return WaitForHandles(handles, timeoutMs);
}

bool SetEventHandle(EventHandle handle) { return handle != 0 && SetEvent(ToHandle(handle)); }

}  // namespace veltra::platform
