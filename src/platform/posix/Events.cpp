// Events on POSIX: each event is an eventfd whose counter is non-zero while the event is set.
// Setting adds 1; an auto-reset event is consumed by reading the counter back to 0; a
// manual-reset event is only polled. The descriptor is the event's handle.
//
// The kernel orders a Set before the wait that sees it, but ThreadSanitizer cannot see that through
// a poll, so every Set also releases, and every successful wait acquires, an atomic sequence number.

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"

namespace veltra::platform {

namespace {

struct EventState {
  int fd = -1;
  bool manualReset = false;
  std::atomic<uint64_t> sets{0};  // see above: the happens-before edge of Set -> wait
};

// The events of this process by descriptor, so that a bare handle can be waited on with the
// right reset behaviour.
struct EventTable {
  std::mutex mutex;
  std::unordered_map<int, std::shared_ptr<EventState>> events;
};

EventTable& Events() {
  static auto* const table = new EventTable;  // outlives static destruction
  return *table;
}

std::shared_ptr<EventState> FindEvent(EventHandle handle) {
  EventTable& table = Events();
  std::lock_guard lock(table.mutex);
  auto found = table.events.find(static_cast<int>(handle));
  return found == table.events.end() ? nullptr : found->second;
}

bool AddToCounter(int fd) {
  const uint64_t one = 1;
  ssize_t written;
  do {
    written = write(fd, &one, sizeof one);
  } while (written < 0 && errno == EINTR);
  // EAGAIN means the counter is at its maximum: the event is set anyway.
  return written == sizeof one || (written < 0 && errno == EAGAIN);
}

// Reads the counter back to 0; false when it already was 0.
bool DrainCounter(int fd) {
  uint64_t value = 0;
  ssize_t got;
  do {
    got = read(fd, &value, sizeof value);
  } while (got < 0 && errno == EINTR);
  return got == sizeof value;
}

// A descriptor this process did not create through Event, which is an eventfd all the same
// (an application's data-ready event).
bool IsForeignEventFd(int fd) {
  char link[64] = {};
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = readlink(path.c_str(), link, sizeof link - 1);
  return length > 0 && std::string_view(link, static_cast<size_t>(length)) == "anon_inode:[eventfd]";
}

int WaitForStates(const std::vector<std::shared_ptr<EventState>>& states, uint32_t timeoutMs) {
  if (states.empty() || states.size() > INT_MAX) {
    return kWaitFailed;
  }
  std::vector<pollfd> fds(states.size());
  for (size_t i = 0; i < states.size(); ++i) {
    if (!states[i]) {
      return kWaitFailed;
    }
    fds[i] = pollfd{states[i]->fd, POLLIN, 0};
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int waitMs = -1;
    if (timeoutMs != kInfinite) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      waitMs = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left.count(), INT_MAX)));
    }
    const int ready = poll(fds.data(), static_cast<nfds_t>(fds.size()), waitMs);
    if (ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      return kWaitFailed;
    }
    for (size_t i = 0; i < fds.size() && ready > 0; ++i) {
      if ((fds[i].revents & (POLLNVAL | POLLERR)) != 0) {
        return kWaitFailed;
      }
      if ((fds[i].revents & POLLIN) == 0) {
        continue;
      }
      // Another waiter may consume an auto-reset event between the poll and the read.
      if (states[i]->manualReset || DrainCounter(fds[i].fd)) {
        states[i]->sets.load(std::memory_order_acquire);
        return static_cast<int>(i);
      }
    }
    if (ready == 0 && waitMs == 0) {
      return kWaitTimeout;
    }
  }
}

}  // namespace

struct Event::Impl {
  std::shared_ptr<EventState> state;
};

Event::Event(bool manualReset, bool initiallySet) : impl_(std::make_unique<Impl>()) {
  auto state = std::make_shared<EventState>();
  state->fd = eventfd(initiallySet ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
  state->manualReset = manualReset;
  if (state->fd >= 0) {
    EventTable& table = Events();
    std::lock_guard lock(table.mutex);
    table.events[state->fd] = state;
  }
  impl_->state = std::move(state);
}

Event::~Event() {
  const int fd = impl_->state->fd;
  if (fd < 0) {
    return;
  }
  {
    EventTable& table = Events();
    std::lock_guard lock(table.mutex);
    table.events.erase(fd);
  }
  close(fd);
}

void Event::Set() {
  impl_->state->sets.fetch_add(1, std::memory_order_release);
  AddToCounter(impl_->state->fd);
}

void Event::Reset() { DrainCounter(impl_->state->fd); }

EventHandle Event::Handle() const {
  return impl_->state->fd < 0 ? 0 : static_cast<EventHandle>(impl_->state->fd);
}

int WaitAny(std::span<Event* const> events, uint32_t timeoutMs) {
  std::vector<std::shared_ptr<EventState>> states;
  states.reserve(events.size());
  for (Event* event : events) {
    states.push_back(event == nullptr ? nullptr : FindEvent(event->Handle()));
  }
  return WaitForStates(states, timeoutMs);
}

int WaitAny(std::span<const EventHandle> events, uint32_t timeoutMs) {
  std::vector<std::shared_ptr<EventState>> states;
  states.reserve(events.size());
  for (EventHandle handle : events) {
    states.push_back(FindEvent(handle));
  }
  return WaitForStates(states, timeoutMs);
}

bool SetEventHandle(EventHandle handle) {
  if (std::shared_ptr<EventState> state = FindEvent(handle)) {
    state->sets.fetch_add(1, std::memory_order_release);
    return AddToCounter(state->fd);
  }
  const int fd = static_cast<int>(handle);
  return handle <= INT_MAX && IsForeignEventFd(fd) && AddToCounter(fd);
}

}  // namespace veltra::platform
