#pragma once
// The settings the simulated probe keeps and answers through the driver's set and get codes: the
// current and next settings of the instrument and its channels, the current and next trigger
// settings, the control settings and the connection test.
//
// Values travel in the wire encodings: HW_MODE and HW_CLOCKSOURCE answer 0 where the library
// means 2. A write to a current set also becomes the next value, so that the following start (which
// copies next to current) keeps it. Every value is in range after a set: frequencies, ranges,
// resolutions, record lengths and fractions are rounded or clamped to what the probe can do;
// enumerations it does not know are refused. Actions (HW_START, HW_STOP, forcing a trigger) are the
// device's business, not stored here.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "driver/DevIoCtl.h"

namespace veltra::sim {

// The settings families the probe answers, in the order of their notification kinds.
enum class Family : uint32_t {
  kCurrent,         // instrument and channels, current  (notification kind 2)
  kNext,            // instrument and channels, next     (kind 3)
  kTriggerCurrent,  // triggers, current                 (kind 4)
  kTriggerNext,     // triggers, next                    (kind 5)
  kConnectionTest,  // connection test                   (kind 14)
  kControl,         // control settings                  (never notified)
};
inline constexpr size_t kFamilyCount = 6;
inline constexpr size_t kNotifiedFamilies = 5;

NotificationKind KindOf(Family family);
std::optional<Family> FamilyOfSelector(uint32_t setBits);

// Identifier masks of one settings family: the instrument's (index -1) and each channel's.
class ChangeMasks {
 public:
  explicit ChangeMasks(uint32_t channelCount);
  uint64_t Get(Family family, int32_t index) const { return masks_[Slot(family, index)]; }
  void Add(Family family, int32_t index, uint64_t mask) { masks_[Slot(family, index)] |= mask; }
  void Merge(const ChangeMasks& other);
  void Remove(const ChangeMasks& other);
  bool Any(Family family) const;
  bool Empty() const;
  uint32_t ChannelCount() const {
    return static_cast<uint32_t>(masks_.size() / kNotifiedFamilies) - 1;
  }

 private:
  size_t Slot(Family family, int32_t index) const {
    return static_cast<size_t>(family) * (ChannelCount() + 1) + static_cast<size_t>(index + 1);
  }
  std::vector<uint64_t> masks_;
};

// The state behind one current or next set.
struct AcquisitionState {
  struct Channel {
    bool enabled = true;
    int64_t coupling = 1;  // 1 DC, 2 AC
    size_t range = 3;      // index into Ranges(): 2 V
    bool autoRanging = false;
  };
  struct ChannelTrigger {
    int64_t kind = 1;                       // 1 rising, 2 falling, 4 inside, 8 outside
    int64_t level = int64_t{1} << 51;       // fraction of the range in 2^-52: the middle
    // 1/1024 of the range: a signal of a volt still triggers on the largest range, which the
    // library selects when it opens the probe.
    int64_t hysteresis = int64_t{1} << 42;
  };
  bool streaming = false;  // HW_MODE 1; else block mode (2)
  uint32_t resolution = 8;
  int64_t sampleFrequency = int64_t{1'000'000} << 24;
  int64_t dataSize = 5000;
  bool externalClock = false;             // HW_CLOCKSOURCE 1; else internal (2)
  int64_t preSamples = 0;                 // fraction of the record in 2^-52
  int64_t timeOut = -(int64_t{1} << 32);  // seconds in 2^-32; negative: wait for ever
  uint64_t sourceOr = 1;
  uint64_t sourceAnd = 0;
  int64_t holdOff = 0;  // samples after arming in which no trigger counts
  std::vector<Channel> channels;
  std::vector<ChannelTrigger> triggers;
};

// The external trigger input: listed among the sources, it never fires by itself.
inline constexpr uint64_t kExternalSource = uint64_t{1} << 58;
inline constexpr int64_t kHoldOffMax = 0xFFFFFFFF;

class DeviceSettings {
 public:
  DeviceSettings(uint32_t channelCount, int64_t dataSizeMax, bool connectionTest);

  uint32_t ChannelCount() const { return channelCount_; }
  int64_t DataSizeMax() const { return dataSizeMax_; }
  const AcquisitionState& Current() const { return current_; }
  const AcquisitionState& Next() const { return next_; }

  // The readable (which = 0) or writable (1) identifiers of a family for the instrument (-1) or a
  // channel; 0 for an index the probe does not have.
  uint32_t Supported(Family family, int32_t index, uint32_t which) const;

  // A read: nothing when refused (unknown identifier, index or list entry).
  std::optional<int64_t> Get(Family family, uint32_t id, int32_t index, int64_t parameter) const;
  // A write of a stored value: false when refused. Actions are refused here.
  bool Set(Family family, uint32_t id, int32_t index, int64_t value);

  // The start of a measurement: next becomes current.
  void CopyNextToCurrent() { current_ = next_; }
  // Auto-ranging's choice for the next measurement.
  void SetNextRange(int32_t channel, size_t range) { next_.channels[channel].range = range; }

  // What the probe reports about itself outside the stored sets.
  void SetOpenCount(int64_t count) { openCount_ = count; }
  int64_t FrameInterval() const { return control_[2]; }
  bool LastTriggered() const { return lastTriggered_; }
  void SetLastTriggered(bool triggered) { lastTriggered_ = triggered; }
  void SetProbeConnected(int32_t channel, bool connected) {
    probeConnected_[static_cast<size_t>(channel)] = connected;
  }
  bool ConnectionTestOn() const { return connectionTestSetting_ != 0; }

  // Every readable plain value (list identifiers with parameter 0) of the notified families;
  // comparing two snapshots gives the identifiers a change touched.
  std::vector<int64_t> Snapshot() const;
  // The identifiers whose values differ between two snapshots.
  ChangeMasks Changes(const std::vector<int64_t>& before, const std::vector<int64_t>& after) const;

 private:
  std::optional<int64_t> GetHw(const AcquisitionState& state, uint32_t id, int32_t index,
                               int64_t parameter) const;
  bool SetHw(AcquisitionState& state, uint32_t id, int32_t index, int64_t value) const;
  std::optional<int64_t> GetTrigger(const AcquisitionState& state, bool current, uint32_t id,
                                    int32_t index) const;
  bool SetTrigger(AcquisitionState& state, uint32_t id, int32_t index, int64_t value) const;
  std::optional<int64_t> GetControl(uint32_t id, int32_t index) const;
  bool SetControl(uint32_t id, int32_t index, int64_t value);
  std::optional<int64_t> GetConnectionTest(uint32_t id, int32_t index) const;
  uint64_t ChannelSources() const;

  uint32_t channelCount_;
  int64_t dataSizeMax_;
  bool connectionTest_;
  AcquisitionState current_;
  AcquisitionState next_;
  std::array<int64_t, 7> control_{};  // by bit number: 0x4 frame interval, 0x8, 0x20, 0x40 loading
  int64_t openCount_ = 0;
  bool lastTriggered_ = false;
  int64_t connectionTestSetting_ = 0;
  std::vector<bool> probeConnected_;
};

}  // namespace veltra::sim
