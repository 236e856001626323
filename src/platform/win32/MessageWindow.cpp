// Message windows of the Windows build: hidden message-only windows of one class registered in
// the own module. The window keeps a shared state (the procedure, its timers) that the window
// procedure holds while the procedure runs, so a procedure may destroy its own window.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/PlatformInternal.h"
#include "platform/win32/Module.h"

namespace veltra::platform {

namespace {

struct WindowState {
  MessageWindow::Procedure procedure;  // never changed after creation
  DWORD ownerThread = 0;
  HWND window = nullptr;               // set on creation
  std::atomic<bool> detached{false};   // destroyed: nothing reaches the procedure any more
  std::map<uintptr_t, bool> timers;    // armed timer id -> periodic; owning thread only
};

// The window's user data: a heap slot with a reference to its state, freed with the window.
using StateSlot = std::shared_ptr<WindowState>;

UINT PrivateMessage(const char* name) { return RegisterWindowMessageA(name); }

// Asks the owning thread to destroy the window (a Destroy made on another thread).
UINT DestroyRequest() {
  static const UINT message = PrivateMessage("Veltra platform: destroy window");
  return message;
}

// Delivers a registry broadcast kept in the pending table (lParam = its key).
UINT DeviceChangeRequest() {
  static const UINT message = PrivateMessage("Veltra platform: device change");
  return message;
}

struct PendingBroadcast {
  HWND window = nullptr;
  uintptr_t event = 0;
  detail::BroadcastData data;
};

struct PendingBroadcasts {
  std::mutex mutex;
  uintptr_t nextKey = 1;
  std::unordered_map<uintptr_t, PendingBroadcast> pending;
};

PendingBroadcasts& Broadcasts() {
  static auto* const table = new PendingBroadcasts;  // outlives static destruction
  return *table;
}

PendingBroadcast TakeBroadcast(uintptr_t key) {
  PendingBroadcasts& table = Broadcasts();
  std::lock_guard lock(table.mutex);
  auto found = table.pending.find(key);
  if (found == table.pending.end()) {
    return {};
  }
  PendingBroadcast taken = std::move(found->second);
  table.pending.erase(found);
  return taken;
}

void DropBroadcasts(HWND window) {
  std::vector<detail::BroadcastData> dropped;  // freed after the lock
  PendingBroadcasts& table = Broadcasts();
  std::lock_guard lock(table.mutex);
  std::erase_if(table.pending, [&](auto& entry) {
    if (entry.second.window != window) {
      return false;
    }
    dropped.push_back(std::move(entry.second.data));
    return true;
  });
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The MessageWindows of each thread, so that PumpOwnMessages can fetch their messages alone. A
// window enters on creation and leaves on destruction, both on its thread.
struct ThreadWindowTable {
  std::mutex mutex;
  std::unordered_map<DWORD, std::vector<HWND>> windows;
};

ThreadWindowTable& ThreadWindows() {
  static auto* const table = new ThreadWindowTable;  // outlives static destruction
  return *table;
}

void AddThreadWindow(HWND window) {
  ThreadWindowTable& table = ThreadWindows();
  std::lock_guard lock(table.mutex);
  table.windows[GetCurrentThreadId()].push_back(window);
}

void RemoveThreadWindow(HWND window) {
  ThreadWindowTable& table = ThreadWindows();
  std::lock_guard lock(table.mutex);
  auto found = table.windows.find(GetCurrentThreadId());
  if (found == table.windows.end()) {
    return;
  }
  std::erase(found->second, window);
  if (found->second.empty()) {
    table.windows.erase(found);
  }
}

bool IsMessageWindowOfThisThread(HWND window) {
  return IsWindow(window) && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId() &&
         GetWindowLongPtrA(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&WindowProc);
}

// The calling thread's MessageWindows. A thread that ended with windows left them in the table
// (the system removes such windows without calling their procedure) for a later thread of the same
// id to find: those entries are dropped here.
std::vector<HWND> ThisThreadsWindows() {
  ThreadWindowTable& table = ThreadWindows();
  std::lock_guard lock(table.mutex);
  auto found = table.windows.find(GetCurrentThreadId());
  if (found == table.windows.end()) {
    return {};
  }
  std::erase_if(found->second, [](HWND window) { return !IsMessageWindowOfThisThread(window); });
  return found->second;
}

// WM_QUIT belongs to the application's loop: a pump that fetches it posts it again when it ends.
class QuitMessageKeeper {
 public:
  QuitMessageKeeper() = default;
  QuitMessageKeeper(const QuitMessageKeeper&) = delete;
  QuitMessageKeeper& operator=(const QuitMessageKeeper&) = delete;
  ~QuitMessageKeeper() {
    if (quit_) {
      PostQuitMessage(static_cast<int>(exitCode_));
    }
  }
  // True (and kept) for WM_QUIT.
  bool Keep(const MSG& message) {
    if (message.message != WM_QUIT) {
      return false;
    }
    quit_ = true;
    exitCode_ = message.wParam;
    return true;
  }

 private:
  bool quit_ = false;
  WPARAM exitCode_ = 0;
};

// A WM_TIMER of ours: false for a tick of a killed timer; a one-shot timer ends with its tick.
bool AcceptTimerTick(HWND window, WindowState& state, uintptr_t id) {
  auto found = state.timers.find(id);
  if (found == state.timers.end()) {
    return false;
  }
  if (!found->second) {
    ::KillTimer(window, id);
    state.timers.erase(found);
  }
  return true;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* slot = static_cast<StateSlot*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    (*slot)->window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(slot));
    AddThreadWindow(window);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  auto* slot = reinterpret_cast<StateSlot*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (slot == nullptr) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    RemoveThreadWindow(window);
    delete slot;
    DropBroadcasts(window);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  const std::shared_ptr<WindowState> state = *slot;  // keeps the procedure alive while it runs
  if (message == DestroyRequest()) {
    DestroyWindow(window);
    return 0;
  }
  if (state->detached || !detail::ReachesProcedure(message)) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == DeviceChangeRequest()) {
    const PendingBroadcast broadcast = TakeBroadcast(static_cast<uintptr_t>(lParam));
    if (!broadcast.data || broadcast.window != window) {
      return 0;
    }
    return state->procedure(kWmDeviceChange, broadcast.event,
                            reinterpret_cast<intptr_t>(broadcast.data->data()));
  }
  if (message == WM_TIMER && lParam == 0 && !AcceptTimerTick(window, *state, wParam)) {
    return 0;
  }
  return state->procedure(message, wParam, lParam);
}

const char* WindowClass() {
  static const char* const name = [] {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = win32::OwnModule();
    windowClass.lpszClassName = "VeltraPlatformMessageWindow";
    RegisterClassExA(&windowClass);  // fails harmlessly when it already exists
    return windowClass.lpszClassName;
  }();
  return name;
}

bool OnOwningThread(const WindowState& state) { return GetCurrentThreadId() == state.ownerThread; }

}  // namespace

struct MessageWindow::Impl {
  std::shared_ptr<WindowState> state;
  HWND window = nullptr;
};

MessageWindow::MessageWindow(Procedure procedure) : impl_(std::make_unique<Impl>()) {
  auto state = std::make_shared<WindowState>();
  state->procedure = std::move(procedure);
  state->ownerThread = GetCurrentThreadId();
  auto* slot = new StateSlot(state);
  impl_->window = CreateWindowExA(0, WindowClass(), "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  win32::OwnModule(), slot);
  if (state->window == nullptr) {
    delete slot;  // the window procedure never took it
  }
  impl_->state = std::move(state);
}

MessageWindow::~MessageWindow() { Destroy(); }

WindowHandle MessageWindow::Handle() const { return reinterpret_cast<WindowHandle>(impl_->window); }

intptr_t MessageWindow::Send(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return impl_->window == nullptr ? 0 : SendMessageA(impl_->window, message, wParam, lParam);
}

bool MessageWindow::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return impl_->window != nullptr && PostMessageA(impl_->window, message, wParam, lParam);
}

bool MessageWindow::SetTimer(uintptr_t id, uint32_t intervalMs, bool periodic) {
  WindowState& state = *impl_->state;
  if (impl_->window == nullptr || !OnOwningThread(state) ||
      ::SetTimer(impl_->window, id, std::max<UINT>(intervalMs, USER_TIMER_MINIMUM), nullptr) == 0) {
    return false;
  }
  state.timers[id] = periodic;
  return true;
}

bool MessageWindow::KillTimer(uintptr_t id) {
  WindowState& state = *impl_->state;
  if (impl_->window == nullptr || !OnOwningThread(state) || state.timers.erase(id) == 0) {
    return false;
  }
  ::KillTimer(impl_->window, id);
  return true;
}

intptr_t MessageWindow::Default(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return impl_->window == nullptr ? 0 : DefWindowProcA(impl_->window, message, wParam, lParam);
}

void MessageWindow::Destroy() {
  HWND window = impl_->window;
  if (window == nullptr) {
    return;
  }
  impl_->window = nullptr;
  impl_->state->detached = true;
  if (OnOwningThread(*impl_->state)) {
    DestroyWindow(window);
  } else {
    PostMessageA(window, DestroyRequest(), 0, 0);
  }
}

intptr_t SendMessageTo(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return window == 0 ? 0 : SendMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

bool PostMessageTo(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return window != 0 && PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

void PumpMessages() {
  QuitMessageKeeper quit;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!quit.Keep(message)) {
      DispatchMessageA(&message);
    }
  }
}

void PumpOwnMessages() {
  QuitMessageKeeper quit;
  // Fetching with a window filter takes that window's posts and timers only; every fetch also
  // delivers the messages other threads have sent. Passes repeat while one fetched something or a
  // sent message came in after the last fetch.
  for (;;) {
    const std::vector<HWND> windows = ThisThreadsWindows();
    if (windows.empty()) {
      return;
    }
    bool fetched = false;
    MSG message;
    for (HWND window : windows) {
      while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
        if (!quit.Keep(message)) {
          DispatchMessageA(&message);
        }
        fetched = true;
      }
    }
    if (!fetched && (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) == 0) {
      return;
    }
  }
}

bool WaitMessage(uint32_t timeoutMs) {
  return MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
         WAIT_OBJECT_0;
}

namespace detail {

bool PostDeviceChange(WindowHandle window, uintptr_t event, BroadcastData broadcast) {
  const HWND target = reinterpret_cast<HWND>(window);
  uintptr_t key = 0;
  PendingBroadcasts& table = Broadcasts();
  {
    std::lock_guard lock(table.mutex);
    key = table.nextKey++;
    table.pending.emplace(key, PendingBroadcast{target, event, std::move(broadcast)});
  }
  if (PostMessageA(target, DeviceChangeRequest(), 0, static_cast<LPARAM>(key))) {
    return true;
  }
  TakeBroadcast(key);
  return false;
}

}  // namespace detail

}  // namespace veltra::platform
