#pragma once
// One simulated probe: its identity, its settings, the acquisition that produces numbered records
// from the channels' signals, and the dispatch of the driver's control codes.
//
// Clients are the open device files; each has a number. Threads (acquisition and notification
// delivery) start with the first client and end with the last, never in a constructor, so a probe
// can be created while the library loads.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver/DevIoCtl.h"
#include "sim/DeviceSettings.h"
#include "sim/Notifier.h"
#include "sim/RecordRing.h"
#include "sim/Signal.h"
#include "util/Routines.h"

namespace veltra::sim {

// The two kinds of probe.
enum class Preset { kProbe, kDual };

struct DeviceConfig {
  Preset preset = Preset::kProbe;
  uint32_t serial = 27000;
  uint32_t subId = 1;
  PackedStamp calibration{2024, 3, 14, 9, 30};
  uint64_t driverVersion = 0x0006000100040000;    // 6.1.4.0
  uint64_t firmwareVersion = 0x0001000300000000;  // 1.3.0.0
  int64_t dataSizeMax = 131072;
  std::vector<SignalSpec> signals;  // per channel; missing ones get the preset's default
  bool instant = false;             // records complete as fast as the host can
  uint64_t seed = 1;

  // Faults on request, for rehearsing what an application does when things go wrong.
  std::optional<double> unplugSeconds;    // removed this long after the first open
  std::optional<uint32_t> unplugRecords;  // removed the moment this many records have completed
  std::optional<double> replugSeconds;    // arrives again this long after one of those removals
  uint32_t connectionLimit = kDefaultConnectionLimit;  // IOCTL_CONNECT fails beyond it
  bool shortInfo = false;  // IOCTL_GET_INFO answers a record too short for the library

  bool RemovesItself() const { return unplugSeconds || unplugRecords; }
};

uint32_t ChannelCountOf(Preset preset);
// The signal a channel has unless configured: a 1 kHz sine of 1 V on channel 1, a 500 Hz square of
// 0.5 V on channel 2.
SignalSpec DefaultSignal(uint32_t channel);
// Driver versions from this one on offer the connection test.
inline constexpr uint64_t kConnectionTestVersion = 0x0006000100040000;
inline constexpr int64_t kMaxDataSizeMax = int64_t{64} << 20;
// The information record of `shortInfo`: an older, shorter layout that ends with the device path.
inline constexpr uint32_t kShortInfoSize = offsetof(DeviceInfoRecord, calibration);

class SimDevice {
 public:
  SimDevice(const DeviceConfig& config, std::string path);
  ~SimDevice();
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  const DeviceConfig& Config() const { return config_; }
  const std::string& Path() const { return path_; }
  uint32_t ChannelCount() const { return channelCount_; }

  // A client opens and closes the device.
  uint64_t OpenClient();
  void CloseClient(uint64_t client);
  int64_t OpenCount() const;

  // The driver's dispatch of one control code for a client.
  bool IoControl(uint64_t client, uint32_t code, const void* in, uint32_t inSize, void* out,
                 uint32_t outSize, uint32_t* returned);

  // The probe was unplugged: acquisition ends, every control call fails, and the listener hears
  // nothing more.
  void Removed();

  // What the device tells the probe that holds it. Called with the device's locks held: the
  // listener only takes note.
  enum class Event {
    kFirstOpened,         // the first client opened the device
    kRemovedAtRecordLimit  // the record of unplugRecords completed; the device removed itself
  };
  void SetListener(std::function<void(Event)> listener);

  void SetSignal(uint32_t channel, const SignalSpec& signal);
  SignalSpec Signal(uint32_t channel) const;
  void SetInstant(bool instant);
  bool Instant() const;

 private:
  enum class RunState { kIdle, kBlock, kStreaming };
  struct Streams;

  DeviceInfoRecord InfoRecord() const;
  bool Set(uint64_t client, Family family, const SetRecord& record, uint32_t* pending);
  // Arms an acquisition with the current settings (block or streaming by their mode), numbered
  // from the next measurement on.
  void ArmLocked();
  ChangeMasks StartLocked();
  ChangeMasks StopLocked();
  void AbortRunLocked();
  ChangeMasks MeasurementNews(bool firstOfRun) const;
  void ApplyFrameIntervalLocked();

  void StartThreadsLocked();
  void StopThreads(std::unique_lock<std::mutex>& lock);
  void AcquisitionLoop();
  void AcquireBlockRecord(std::unique_lock<std::mutex>& lock, uint64_t runId);
  void AcquireStreamingRecord(std::unique_lock<std::mutex>& lock, uint64_t runId);
  // The trigger position of a block record (samples after arming) and whether it triggered;
  // nothing when the run ended first.
  struct TriggerResult {
    uint64_t position;
    bool triggered;
  };
  std::optional<TriggerResult> FindTrigger(std::unique_lock<std::mutex>& lock, uint64_t runId,
                                           const Streams& streams, uint64_t preSamples);
  bool RunAlive(uint64_t runId) const;
  // Waits (real timing only) until `seconds` after the run's start, or until `alsoStop` holds;
  // false when the run ended first.
  template <class Predicate>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, uint64_t runId, double seconds,
                 Predicate alsoStop);
  RecordRing::Slot* ClaimSlot(std::unique_lock<std::mutex>& lock, uint64_t runId);
  void FillRecord(const Streams& streams, RecordRing::Slot& slot, uint64_t start) const;
  // Counts a filled record (with the lock held): numbers it, publishes it.
  void FinishRecord(uint64_t runId, RecordRing::Slot* slot, const Streams& streams,
                    uint64_t consumed, bool triggered);
  // Auto-ranging after a block record: the next range of the channels that ask for it.
  void AutoRangeLocked(const RecordRing::Slot& slot, ChangeMasks& changes);

  const DeviceConfig config_;
  const std::string path_;
  const uint32_t channelCount_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  DeviceSettings settings_;
  Notifier notifier_;
  RecordRing ring_;
  std::vector<SignalSpec> signals_;
  bool instant_;
  std::atomic<bool> removed_ = false;
  std::function<void(Event)> listener_;
  uint64_t recordsCompleted_ = 0;  // since the probe was plugged in

  std::vector<uint64_t> clients_;
  uint64_t nextClient_ = 1;

  // The running acquisition. Every start and every end gives it a new id, which a record in the
  // making compares with before it counts.
  RunState runState_ = RunState::kIdle;
  uint64_t runId_ = 0;
  uint32_t runFirst_ = 1;         // number of the run's first record
  uint32_t runRecords_ = 0;       // records completed in this run
  double runStart_ = 0.0;         // HighResSeconds() at the start
  bool forced_ = false;           // TR_TRIGGER := 0 while waiting for the trigger
  uint64_t triggerChanges_ = 0;   // writes to the current trigger settings
  uint32_t newest_ = 0;           // number of the newest completed measurement
  uint64_t sampleClock_ = 0;      // samples taken since the probe was plugged in
  std::vector<uint64_t> phases_;  // each channel's signal phase at sampleClock_

  std::mutex lifecycle_;  // orders the start and end of the threads; taken before mutex_
  std::thread acquisition_;
  bool stopping_ = false;
  std::vector<std::vector<uint16_t>> searchCodes_;  // a chunk of each channel while searching
  std::vector<uint8_t> searchBytes_;
};

}  // namespace veltra::sim
