#include "sim/FaultSchedule.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

#include "platform/Platform.h"

namespace veltra::sim {

namespace {

// The longest single wait, so that a very long time never overflows the clock's arithmetic.
constexpr double kLongestWait = 60.0;

}  // namespace

FaultSchedule::FaultSchedule(std::optional<double> unplugSeconds,
                             std::optional<double> replugSeconds, Actions actions)
    : unplugSeconds_(unplugSeconds), replugSeconds_(replugSeconds), actions_(std::move(actions)) {}

FaultSchedule::~FaultSchedule() {
  Cancel();
  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [this] { return !state_->started || state_->finished; });
}

void FaultSchedule::FirstOpened() {
  std::lock_guard lock(state_->mutex);
  if (state_->started || state_->cancelled) return;
  state_->started = true;
  state_->openedAt = platform::HighResSeconds();
  std::thread([this, state = state_] {
    Run();  // the last use of the schedule itself
    std::lock_guard finishing(state->mutex);
    state->finished = true;
    state->changed.notify_all();
  }).detach();
}

void FaultSchedule::RecordLimitReached() {
  std::lock_guard lock(state_->mutex);
  state_->recordLimitReached = true;
  state_->changed.notify_all();
}

void FaultSchedule::Cancel() {
  std::lock_guard lock(state_->mutex);
  state_->cancelled = true;
  state_->changed.notify_all();
}

template <class Predicate>
bool FaultSchedule::WaitUntil(std::unique_lock<std::mutex>& lock, double deadline,
                              Predicate alsoStop) {
  while (!state_->cancelled && !alsoStop()) {
    const double left = deadline - platform::HighResSeconds();
    if (left <= 0.0) break;
    state_->changed.wait_for(lock, std::chrono::duration<double>(std::min(left, kLongestWait)));
  }
  return !state_->cancelled;
}

void FaultSchedule::Run() {
  std::unique_lock lock(state_->mutex);
  const double unplugAt = unplugSeconds_ ? state_->openedAt + *unplugSeconds_
                                         : std::numeric_limits<double>::infinity();
  if (!WaitUntil(lock, unplugAt, [this] { return state_->recordLimitReached; })) return;
  lock.unlock();
  if (!actions_.remove() || !replugSeconds_) return;
  lock.lock();
  if (!WaitUntil(lock, platform::HighResSeconds() + *replugSeconds_, [] { return false; })) return;
  lock.unlock();
  actions_.replug();
}

}  // namespace veltra::sim
