#include "driver/EventThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace veltra {

namespace {

constexpr const char* kConnectionsExhausted =
    "Maximum number of connections to the driver reached.";

// The number of event threads still running, for LiveCount and WaitUntilAllEnded.
struct RunningThreads {
  std::mutex mutex;
  std::condition_variable ended;
  size_t count = 0;
};

RunningThreads& Running() {
  static auto* const running = new RunningThreads;  // outlives static destruction
  return *running;
}

void CountEntered() {
  RunningThreads& running = Running();
  std::lock_guard lock(running.mutex);
  ++running.count;
}

void CountLeft() {
  RunningThreads& running = Running();
  std::lock_guard lock(running.mutex);
  --running.count;
  running.ended.notify_all();
}

}  // namespace

// What the thread and the object share; the thread keeps it until it ends.
struct TEventThread::Shared {
  platform::WindowHandle window = 0;
  platform::Event news{false, false};
  platform::Event done{false, true};
  platform::Event stop{false, false};
  std::atomic<bool> terminated{false};

  void Run() {
    platform::Event* const waitList[] = {&stop, &news};
    while (!terminated.load()) {
      if (platform::WaitAny(waitList, platform::kInfinite) != 1) break;  // stopped, or failed
      if (terminated.load()) break;
      platform::SendMessageTo(window, kNewsMessage, 0, 0);
    }
  }
};

TEventThread::TEventThread(platform::DeviceFile& device, platform::WindowHandle window)
    : shared_(std::make_shared<Shared>()) {
  shared_->window = window;
  const ConnectRecord record{shared_->news.Handle(), shared_->done.Handle()};
  NotificationBlockAddress address = 0;
  if (IoCtl(device, IOCTL_CONNECT, &record, sizeof record, &address, sizeof address) != S_OK ||
      address == 0) {
    throw EDriverError(kConnectionsExhausted);
  }
  block_ = reinterpret_cast<std::byte*>(address);
  CountEntered();  // before the thread can leave
  try {
    std::thread([shared = shared_]() mutable {
      shared->Run();
      shared.reset();  // the last holder closes the events
      CountLeft();
    }).detach();
  } catch (...) {
    CountLeft();
    throw;
  }
}

TEventThread::~TEventThread() { Stop(); }

void TEventThread::Stop() {
  if (shared_->terminated.exchange(true)) return;
  shared_->stop.Set();
}

void TEventThread::SignalDone() { shared_->done.Set(); }

std::span<std::byte> TEventThread::NotificationBlock() const {
  return {block_, kNotificationBlockSize};
}

size_t TEventThread::LiveCount() {
  RunningThreads& running = Running();
  std::lock_guard lock(running.mutex);
  return running.count;
}

bool TEventThread::WaitUntilAllEnded(uint32_t timeoutMs) {
  RunningThreads& running = Running();
  std::unique_lock lock(running.mutex);
  const auto none = [&] { return running.count == 0; };
  if (timeoutMs == platform::kInfinite) {
    running.ended.wait(lock, none);
    return true;
  }
  return running.ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), none);
}

}  // namespace veltra
