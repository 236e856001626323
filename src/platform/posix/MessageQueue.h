#pragma once
// The per-thread message queues of the POSIX build and the windows bound to them.
//
// Each thread gets a queue on first use. A queue holds the messages sent to its windows from other
// threads (each with the reply slot its sender waits on), the messages posted to them, and their
// timers. Procedures run only on the owning thread and never under a lock.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace veltra::platform::posix {

class ThreadQueue;

struct WindowState {
  WindowHandle handle = 0;
  MessageWindow::Procedure procedure;  // never changed after creation
  std::shared_ptr<ThreadQueue> owner;
  std::atomic<bool> destroyed{false};  // set under the owner's lock
};

// Where a cross-thread Send waits for its answer.
struct SendReply {
  std::shared_ptr<ThreadQueue> sender;
  intptr_t result = 0;
  bool done = false;  // guarded by the sender's lock
};

class ThreadQueue {
 public:
  // The calling thread's queue, made on first use; its windows are destroyed when the thread ends.
  static std::shared_ptr<ThreadQueue> Current();
  bool IsCurrentThread() const { return thread_ == std::this_thread::get_id(); }

  // Any thread. False when the window is destroyed or its thread has ended.
  bool Post(const std::shared_ptr<WindowState>& window, uint32_t message, uintptr_t wParam,
            intptr_t lParam, std::shared_ptr<const void> keepAlive = nullptr);
  bool QueueSend(const std::shared_ptr<WindowState>& window, uint32_t message, uintptr_t wParam,
                 intptr_t lParam, const std::shared_ptr<SendReply>& reply);

  // Owning thread.
  bool AddWindow(const std::shared_ptr<WindowState>& window);
  bool SetTimer(const std::shared_ptr<WindowState>& window, uintptr_t id, uint32_t intervalMs,
                bool periodic);
  bool KillTimer(const WindowState& window, uintptr_t id);
  void Pump();
  bool WaitForMessage(uint32_t timeoutMs);
  // Processes messages sent to this thread until the reply is answered.
  void WaitForReply(const SendReply& reply);

  // Any thread: drops the window's posts and timers and answers its waiting senders with 0.
  void RemoveWindow(WindowState& window);
  // Answers a Send made by this queue's thread.
  void Answer(SendReply& reply, intptr_t result);

  ThreadQueue() = default;
  ~ThreadQueue() = default;
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

 private:
  using Clock = std::chrono::steady_clock;

  struct Message {
    std::shared_ptr<WindowState> window;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::shared_ptr<SendReply> reply;        // sent messages
    std::shared_ptr<const void> keepAlive;   // posted messages whose lParam points at data
  };
  struct Timer {
    std::shared_ptr<WindowState> window;
    uintptr_t id = 0;
    Clock::duration interval{};
    bool periodic = false;
    Clock::time_point due{};
  };

  bool HasInput(Clock::time_point now) const;     // under the lock
  Clock::time_point NextTimerDue() const;         // under the lock
  bool TakeNext(Message& next, bool sentOnly);    // under the lock
  static void Deliver(Message& message);
  void Shutdown();

  friend struct QueueHolder;

  const std::thread::id thread_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::condition_variable wake_;
  bool alive_ = true;
  std::deque<Message> sent_;
  std::deque<Message> posted_;
  std::vector<Timer> timers_;
  std::vector<std::shared_ptr<WindowState>> windows_;
};

// The process-wide table of windows by handle.
std::shared_ptr<WindowState> CreateWindowState(MessageWindow::Procedure procedure);
std::shared_ptr<WindowState> FindWindowState(WindowHandle handle);
void DestroyWindowState(const std::shared_ptr<WindowState>& window);

// Calls the procedure (owning thread) unless the window is destroyed.
intptr_t CallProcedure(WindowState& window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Takes its own reference: the procedure may destroy the window, and its owner with the last
// other reference, while it runs.
intptr_t SendToWindow(std::shared_ptr<WindowState> window, uint32_t message, uintptr_t wParam,
                      intptr_t lParam);

}  // namespace veltra::platform::posix
