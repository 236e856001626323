#include "platform/posix/MessageQueue.h"

#include <algorithm>
#include <unordered_map>

#include "platform/PlatformInternal.h"

namespace veltra::platform::posix {

namespace {

// The least timer interval, as on Windows: a shorter one would keep a pump busy for ever.
constexpr std::chrono::milliseconds kMinimumTimerInterval{10};

// Moves the elements of `from` that satisfy `pred` to the end of `to`, keeping the order of both.
template <typename Container, typename Out, typename Pred>
void MoveOutIf(Container& from, Out& to, Pred pred) {
  Container kept;
  for (auto& element : from) {
    if (pred(element)) {
      to.push_back(std::move(element));
    } else {
      kept.push_back(std::move(element));
    }
  }
  from = std::move(kept);
}

}  // namespace

// Destroys the thread's windows when the thread ends, as the system does.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
  QueueHolder() = default;
  QueueHolder(const QueueHolder&) = delete;
  QueueHolder& operator=(const QueueHolder&) = delete;
  ~QueueHolder() { queue->Shutdown(); }
};

std::shared_ptr<ThreadQueue> ThreadQueue::Current() {
  thread_local QueueHolder holder;
  return holder.queue;
}

bool ThreadQueue::Post(const std::shared_ptr<WindowState>& window, uint32_t message,
                       uintptr_t wParam, intptr_t lParam, std::shared_ptr<const void> keepAlive) {
  {
    std::lock_guard lock(mutex_);
    if (!alive_ || window->destroyed) {
      return false;
    }
    posted_.push_back(Message{window, message, wParam, lParam, nullptr, std::move(keepAlive)});
  }
  wake_.notify_all();
  return true;
}

bool ThreadQueue::QueueSend(const std::shared_ptr<WindowState>& window, uint32_t message,
                            uintptr_t wParam, intptr_t lParam,
                            const std::shared_ptr<SendReply>& reply) {
  {
    std::lock_guard lock(mutex_);
    if (!alive_ || window->destroyed) {
      return false;
    }
    sent_.push_back(Message{window, message, wParam, lParam, reply, nullptr});
  }
  wake_.notify_all();
  return true;
}

bool ThreadQueue::AddWindow(const std::shared_ptr<WindowState>& window) {
  std::lock_guard lock(mutex_);
  if (!alive_) {
    return false;
  }
  windows_.push_back(window);
  return true;
}

bool ThreadQueue::SetTimer(const std::shared_ptr<WindowState>& window, uintptr_t id,
                           uint32_t intervalMs, bool periodic) {
  if (!IsCurrentThread()) {
    return false;
  }
  const Clock::duration interval =
      std::max<Clock::duration>(std::chrono::milliseconds(intervalMs), kMinimumTimerInterval);
  std::lock_guard lock(mutex_);
  if (window->destroyed) {
    return false;
  }
  const Timer armed{window, id, interval, periodic, Clock::now() + interval};
  auto found = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& timer) {
    return timer.window == window && timer.id == id;
  });
  if (found != timers_.end()) {
    *found = armed;
  } else {
    timers_.push_back(armed);
  }
  return true;
}

bool ThreadQueue::KillTimer(const WindowState& window, uintptr_t id) {
  if (!IsCurrentThread()) {
    return false;
  }
  std::lock_guard lock(mutex_);
  return std::erase_if(timers_, [&](const Timer& timer) {
           return timer.window.get() == &window && timer.id == id;
         }) > 0;
}

ThreadQueue::Clock::time_point ThreadQueue::NextTimerDue() const {
  Clock::time_point next = Clock::time_point::max();
  for (const Timer& timer : timers_) {
    next = std::min(next, timer.due);
  }
  return next;
}

bool ThreadQueue::HasInput(Clock::time_point now) const {
  return !sent_.empty() || !posted_.empty() || NextTimerDue() <= now;
}

bool ThreadQueue::TakeNext(Message& next, bool sentOnly) {
  if (!sent_.empty()) {
    next = std::move(sent_.front());
    sent_.pop_front();
    return true;
  }
  if (sentOnly) {
    return false;
  }
  if (!posted_.empty()) {
    next = std::move(posted_.front());
    posted_.pop_front();
    return true;
  }
  const Clock::time_point now = Clock::now();
  auto due = std::min_element(timers_.begin(), timers_.end(),
                              [](const Timer& a, const Timer& b) { return a.due < b.due; });
  if (due == timers_.end() || due->due > now) {
    return false;
  }
  next = Message{due->window, kWmTimer, due->id, 0, nullptr, nullptr};
  if (due->periodic) {
    due->due = now + due->interval;
  } else {
    timers_.erase(due);
  }
  return true;
}

void ThreadQueue::Deliver(Message& message) {
  if (!message.reply) {
    CallProcedure(*message.window, message.message, message.wParam, message.lParam);
    return;
  }
  intptr_t result = 0;
  try {
    result = CallProcedure(*message.window, message.message, message.wParam, message.lParam);
  } catch (...) {
    message.reply->sender->Answer(*message.reply, 0);  // never leave the sender hanging
    throw;
  }
  message.reply->sender->Answer(*message.reply, result);
}

void ThreadQueue::Pump() {
  for (;;) {
    Message next;
    {
      std::lock_guard lock(mutex_);
      if (!TakeNext(next, false)) {
        return;
      }
    }
    Deliver(next);
  }
}

bool ThreadQueue::WaitForMessage(uint32_t timeoutMs) {
  const bool forever = timeoutMs == kInfinite;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(mutex_);
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (HasInput(now)) {
      return true;
    }
    if (!forever && now >= deadline) {
      return false;
    }
    Clock::time_point until = NextTimerDue();
    if (!forever) {
      until = std::min(until, deadline);
    }
    if (until == Clock::time_point::max()) {
      wake_.wait(lock);
    } else {
      wake_.wait_until(lock, until);
    }
  }
}

void ThreadQueue::WaitForReply(const SendReply& reply) {
  for (;;) {
    Message next;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return reply.done || !sent_.empty(); });
      if (reply.done) {
        return;
      }
      TakeNext(next, true);
    }
    Deliver(next);
  }
}

void ThreadQueue::Answer(SendReply& reply, intptr_t result) {
  {
    std::lock_guard lock(mutex_);
    reply.result = result;
    reply.done = true;
  }
  wake_.notify_all();
}

void ThreadQueue::RemoveWindow(WindowState& window) {
  // Released after the lock: dropping a post may free its data, and answering takes other locks.
  std::vector<Message> unanswered;
  std::vector<Message> dropped;
  std::vector<Timer> droppedTimers;
  std::vector<std::shared_ptr<WindowState>> self;
  {
    std::lock_guard lock(mutex_);
    if (window.destroyed) {
      return;
    }
    window.destroyed = true;
    const auto isThis = [&](const auto& entry) { return entry.window.get() == &window; };
    MoveOutIf(sent_, unanswered, isThis);
    MoveOutIf(posted_, dropped, isThis);
    MoveOutIf(timers_, droppedTimers, isThis);
    MoveOutIf(windows_, self, [&](const auto& entry) { return entry.get() == &window; });
  }
  for (Message& message : unanswered) {
    message.reply->sender->Answer(*message.reply, 0);
  }
}

void ThreadQueue::Shutdown() {
  std::vector<std::shared_ptr<WindowState>> windows;
  {
    std::lock_guard lock(mutex_);
    alive_ = false;
    windows = windows_;
  }
  for (const auto& window : windows) {
    DestroyWindowState(window);
  }
}

namespace {

struct WindowTable {
  std::mutex mutex;
  WindowHandle nextHandle = 1;
  std::unordered_map<WindowHandle, std::shared_ptr<WindowState>> windows;
};

WindowTable& Windows() {
  static auto* const table = new WindowTable;  // outlives static destruction
  return *table;
}

}  // namespace

std::shared_ptr<WindowState> CreateWindowState(MessageWindow::Procedure procedure) {
  auto window = std::make_shared<WindowState>();
  window->procedure = std::move(procedure);
  window->owner = ThreadQueue::Current();
  {
    WindowTable& table = Windows();
    std::lock_guard lock(table.mutex);
    window->handle = table.nextHandle++;
    table.windows.emplace(window->handle, window);
  }
  window->owner->AddWindow(window);
  return window;
}

std::shared_ptr<WindowState> FindWindowState(WindowHandle handle) {
  WindowTable& table = Windows();
  std::lock_guard lock(table.mutex);
  auto found = table.windows.find(handle);
  return found == table.windows.end() ? nullptr : found->second;
}

void DestroyWindowState(const std::shared_ptr<WindowState>& window) {
  window->owner->RemoveWindow(*window);
  WindowTable& table = Windows();
  std::lock_guard lock(table.mutex);
  table.windows.erase(window->handle);
}

intptr_t CallProcedure(WindowState& window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (window.destroyed || !detail::ReachesProcedure(message)) {
    return 0;
  }
  return window.procedure(message, wParam, lParam);
}

intptr_t SendToWindow(std::shared_ptr<WindowState> window, uint32_t message, uintptr_t wParam,
                      intptr_t lParam) {
  if (window->owner->IsCurrentThread()) {
    return CallProcedure(*window, message, wParam, lParam);
  }
  auto reply = std::make_shared<SendReply>();
  reply->sender = ThreadQueue::Current();
  if (!window->owner->QueueSend(window, message, wParam, lParam, reply)) {
    return 0;
  }
  reply->sender->WaitForReply(*reply);
  return reply->result;
}

}  // namespace veltra::platform::posix
