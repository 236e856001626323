#pragma once
// The removal and the second arrival that a probe's configuration asks for (unplug, unplug-after,
// replug), carried out on a thread of their own. The thread starts when the probe is first opened,
// so nothing starts while the library loads, and ends after the second arrival, after a removal
// that is not followed by one, or when the schedule is cancelled.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace veltra::sim {

class FaultSchedule {
 public:
  struct Actions {
    // Removes the probe; false when it was out already (pulled by hand), which ends the schedule.
    std::function<bool()> remove;
    // Plugs the probe in again.
    std::function<void()> replug;
  };

  // Removal `unplugSeconds` after the first open or at the record limit (whichever comes first),
  // then the second arrival `replugSeconds` after the removal.
  FaultSchedule(std::optional<double> unplugSeconds, std::optional<double> replugSeconds,
                Actions actions);
  // Cancels, and waits until an action under way has finished.
  ~FaultSchedule();
  FaultSchedule(const FaultSchedule&) = delete;
  FaultSchedule& operator=(const FaultSchedule&) = delete;

  // What the device reports. Both may come with the device's locks held: they only take note (and
  // the first open starts the thread).
  void FirstOpened();
  void RecordLimitReached();
  // Nothing more happens; an action already under way still finishes.
  void Cancel();

 private:
  // What the thread shares with the schedule. The thread keeps it alive to its last moment, so that
  // it can end by itself (detached) also in a probe that lives as long as the process.
  struct State {
    std::mutex mutex;  // never held while an action runs
    std::condition_variable changed;
    double openedAt = 0.0;
    bool started = false;
    bool recordLimitReached = false;
    bool cancelled = false;
    bool finished = false;
  };

  void Run();
  // Waits until `deadline` (platform::HighResSeconds) passes or `alsoStop` holds; false when the
  // schedule was cancelled first.
  template <class Predicate>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, double deadline, Predicate alsoStop);

  const std::optional<double> unplugSeconds_;
  const std::optional<double> replugSeconds_;
  const Actions actions_;
  const std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace veltra::sim
