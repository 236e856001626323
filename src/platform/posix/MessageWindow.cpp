// Message windows of the POSIX build over the per-thread queues of MessageQueue.

#include "platform/PlatformInternal.h"
#include "platform/posix/MessageQueue.h"

namespace veltra::platform {

using posix::ThreadQueue;
using posix::WindowState;

struct MessageWindow::Impl {
  std::shared_ptr<WindowState> state;
};

MessageWindow::MessageWindow(Procedure procedure) : impl_(std::make_unique<Impl>()) {
  impl_->state = posix::CreateWindowState(std::move(procedure));
}

MessageWindow::~MessageWindow() { Destroy(); }

WindowHandle MessageWindow::Handle() const {
  return impl_->state->destroyed ? 0 : impl_->state->handle;
}

intptr_t MessageWindow::Send(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return posix::SendToWindow(impl_->state, message, wParam, lParam);
}

bool MessageWindow::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return impl_->state->owner->Post(impl_->state, message, wParam, lParam);
}

bool MessageWindow::SetTimer(uintptr_t id, uint32_t intervalMs, bool periodic) {
  return impl_->state->owner->SetTimer(impl_->state, id, intervalMs, periodic);
}

bool MessageWindow::KillTimer(uintptr_t id) { return impl_->state->owner->KillTimer(*impl_->state, id); }

intptr_t MessageWindow::Default(uint32_t, uintptr_t, intptr_t) { return 0; }

void MessageWindow::Destroy() { posix::DestroyWindowState(impl_->state); }

intptr_t SendMessageTo(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  const std::shared_ptr<WindowState> state = posix::FindWindowState(window);
  return state ? posix::SendToWindow(state, message, wParam, lParam) : 0;
}

bool PostMessageTo(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  const std::shared_ptr<WindowState> state = posix::FindWindowState(window);
  return state && state->owner->Post(state, message, wParam, lParam);
}

void PumpMessages() { ThreadQueue::Current()->Pump(); }

// Every window of the emulated queues is a MessageWindow.
void PumpOwnMessages() { PumpMessages(); }

bool WaitMessage(uint32_t timeoutMs) { return ThreadQueue::Current()->WaitForMessage(timeoutMs); }

namespace detail {

bool PostDeviceChange(WindowHandle window, uintptr_t event, BroadcastData broadcast) {
  const std::shared_ptr<WindowState> state = posix::FindWindowState(window);
  if (!state) {
    return false;
  }
  const auto lParam = reinterpret_cast<intptr_t>(broadcast->data());
  return state->owner->Post(state, kWmDeviceChange, event, lParam, std::move(broadcast));
}

}  // namespace detail

}  // namespace veltra::platform
