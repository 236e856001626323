// The simulated probe's acquisition: block records that wait for their trigger and streaming
// records that follow each other without gaps, generated from the channels' signals, numbered and
// put into the ring.
//
// Time is counted in samples from the start of the run (block: from arming). With real timing a
// sample exists only once its moment has passed; with instant timing everything happens as fast
// as the host can, and a trigger that cannot come within a while is not searched for any longer.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "hw/HWInterfaces.h"
#include "hw/TrigInterface.h"
#include "platform/Platform.h"
#include "sim/AcquisitionLists.h"
#include "sim/SampleGenerator.h"
#include "sim/SimDevice.h"
#include "sim/TriggerSearch.h"

namespace veltra::sim {

namespace {

constexpr double kSecond = 4294967296.0;          // 2^32
constexpr double kFraction = 4503599627370496.0;  // 2^52
constexpr size_t kSearchChunk = 4096;
// Samples generated per call while filling a record, between checks whether the run still goes.
constexpr size_t kFillChunk = size_t{1} << 20;
// How far a trigger search goes before it concludes that no trigger can come (until the trigger
// settings change): several periods of the slowest source, within bounds.
constexpr double kHorizonPeriods = 3.0;
constexpr uint64_t kMinHorizon = uint64_t{1} << 20;
constexpr uint64_t kMaxHorizon = uint64_t{1} << 27;

uint64_t Mix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

}  // namespace

// The channels' sample streams of one record or search, from the probe's current position.
struct SimDevice::Streams {
  double sampleFrequency;
  uint32_t codeBits;
  std::vector<SampleStream> channels;
  std::vector<bool> enabled;
  std::vector<uint32_t> zeroCodes;

  Streams(const AcquisitionState& state, const std::vector<SignalSpec>& signals,
          uint64_t sampleClock, const std::vector<uint64_t>& phases, uint64_t seed)
      : sampleFrequency(Hertz(state.sampleFrequency)),
        codeBits(state.resolution <= 8 ? 8 : 16) {
    for (size_t c = 0; c < signals.size(); ++c) {
      const AcquisitionState::Channel& channel = state.channels[c];
      const Quantisation quantisation{static_cast<double>(Ranges()[channel.range]) / kSecond,
                                      state.resolution, channel.coupling == 2};
      channels.emplace_back(signals[c], quantisation, sampleFrequency, sampleClock, phases[c],
                            Mix64(seed * 131 + c));
      enabled.push_back(channel.enabled);
      zeroCodes.push_back(quantisation.CodeOf(0.0));
    }
  }
};

void SimDevice::AcquisitionLoop() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (runState_ == RunState::kIdle) {
      changed_.wait(lock);
      continue;
    }
    const uint64_t runId = runId_;
    if (runState_ == RunState::kBlock) {
      AcquireBlockRecord(lock, runId);
    } else {
      AcquireStreamingRecord(lock, runId);
    }
  }
}

bool SimDevice::RunAlive(uint64_t runId) const {
  return runId_ == runId && runState_ != RunState::kIdle && !stopping_;
}

template <class Predicate>
bool SimDevice::WaitUntil(std::unique_lock<std::mutex>& lock, uint64_t runId, double seconds,
                          Predicate alsoStop) {
  while (RunAlive(runId) && !instant_ && !alsoStop()) {
    const double left = runStart_ + seconds - platform::HighResSeconds();
    if (left <= 0.0) break;
    changed_.wait_for(lock, std::chrono::duration<double>(std::min(left, 1.0)));
  }
  return RunAlive(runId);
}

RecordRing::Slot* SimDevice::ClaimSlot(std::unique_lock<std::mutex>& lock, uint64_t runId) {
  RecordRing::Slot* slot = nullptr;
  // Every buffer held by clients: wait until one is released.
  changed_.wait(lock, [&] { return !RunAlive(runId) || (slot = ring_.Claim()) != nullptr; });
  return slot;
}

void SimDevice::FillRecord(const Streams& streams, RecordRing::Slot& slot, uint64_t start) const {
  for (uint32_t c = 0; c < channelCount_; ++c) {
    const SampleStream& stream = streams.channels[c];
    const size_t length = slot.length;
    if (!streams.enabled[c]) {
      // A channel that is off delivers its zero level.
      if (streams.codeBits == 8) {
        std::fill_n(slot.Bytes(c), length, static_cast<uint8_t>(streams.zeroCodes[c]));
      } else {
        std::fill_n(slot.Words(c), length, static_cast<uint16_t>(streams.zeroCodes[c]));
      }
      continue;
    }
    for (size_t done = 0; done < length; done += kFillChunk) {
      const size_t n = std::min(kFillChunk, length - done);
      if (streams.codeBits == 8) {
        stream.Fill(start + done, slot.Bytes(c) + done, n);
      } else {
        stream.Fill(start + done, slot.Words(c) + done, n);
      }
    }
  }
}

std::optional<SimDevice::TriggerResult> SimDevice::FindTrigger(std::unique_lock<std::mutex>& lock,
                                                               uint64_t runId,
                                                               const Streams& streams,
                                                               uint64_t preSamples) {
  const double fs = streams.sampleFrequency;
  searchCodes_.resize(channelCount_);
  for (auto& codes : searchCodes_) codes.resize(kSearchChunk);
  searchBytes_.resize(kSearchChunk);
  std::vector<const uint16_t*> chunks;
  for (auto& codes : searchCodes_) chunks.push_back(codes.data());

  uint64_t position = 0;  // samples searched since arming
  for (;;) {
    // (Re)arm with the current trigger settings: a write to them starts the search afresh.
    const uint64_t changes = triggerChanges_;
    const AcquisitionState& state = settings_.Current();
    std::vector<TriggerCondition> conditions(channelCount_);
    double period = 0.0;
    for (uint32_t c = 0; c < channelCount_; ++c) {
      const AcquisitionState::ChannelTrigger& t = state.triggers[c];
      conditions[c] = {t.kind, static_cast<double>(t.level) / kFraction,
                       static_cast<double>(t.hysteresis) / kFraction,
                       ((state.sourceOr >> c) & 1) != 0, ((state.sourceAnd >> c) & 1) != 0};
      if (conditions[c].inOr || conditions[c].inAnd) {
        period = std::max(period, streams.channels[c].PeriodSamples());
      }
    }
    const bool andPossible = (state.sourceAnd & kExternalSource) == 0;
    TriggerSearch search(conditions, streams.codeBits, andPossible);
    const uint64_t earliest = std::max<uint64_t>(
        position, std::max<uint64_t>(preSamples, static_cast<uint64_t>(state.holdOff)));
    const bool forEver = state.timeOut < 0;
    const uint64_t expiry =
        forEver ? UINT64_MAX
                : earliest + static_cast<uint64_t>(
                                 std::llround(static_cast<double>(state.timeOut) / kSecond * fs));
    const uint64_t horizon =
        earliest + std::clamp<uint64_t>(static_cast<uint64_t>(kHorizonPeriods * period),
                                        kMinHorizon, kMaxHorizon);
    const bool canFire = search.CanFire();

    while (triggerChanges_ == changes) {
      if (!RunAlive(runId)) return std::nullopt;
      if (forced_) {
        // Now: the position of this moment (real timing) or of the search (instant).
        uint64_t now = position;
        if (!instant_) {
          now = static_cast<uint64_t>(std::max(0.0, (platform::HighResSeconds() - runStart_) * fs));
        }
        return TriggerResult{std::max(now, earliest), true};
      }
      if (position >= expiry) return TriggerResult{expiry, false};
      if (!canFire || position >= horizon) {
        // No trigger will come: wait for the time-out (no waiting with instant timing), a forced
        // trigger, or other trigger settings.
        if (!forEver && instant_) return TriggerResult{expiry, false};
        const double limit = forEver ? std::numeric_limits<double>::infinity()
                                     : runStart_ + static_cast<double>(expiry) / fs;
        while (RunAlive(runId) && !forced_ && triggerChanges_ == changes) {
          const double left = limit - platform::HighResSeconds();
          if (left <= 0.0) return TriggerResult{expiry, false};
          changed_.wait_for(lock, std::chrono::duration<double>(std::min(left, 1.0)));
        }
        continue;
      }
      // The next chunk. With real timing only samples whose moment has passed exist: search what
      // exists, and when caught up wait for about a hundredth of a second more of them.
      uint64_t chunk = std::min<uint64_t>(kSearchChunk, expiry - position);
      if (!instant_) {
        const double elapsed = platform::HighResSeconds() - runStart_;
        const auto existing = static_cast<uint64_t>(std::max(0.0, elapsed * fs));
        if (existing <= position) {
          const uint64_t wanted =
              std::min<uint64_t>(chunk, std::max<uint64_t>(1, static_cast<uint64_t>(fs / 100)));
          if (!WaitUntil(lock, runId, static_cast<double>(position + wanted) / fs,
                         [&] { return forced_ || triggerChanges_ != changes; })) {
            return std::nullopt;
          }
          continue;
        }
        chunk = std::min(chunk, existing - position);
      }
      if (forced_ || triggerChanges_ != changes) continue;
      lock.unlock();
      const auto count = static_cast<size_t>(chunk);
      for (uint32_t c = 0; c < channelCount_; ++c) {
        if (!conditions[c].inOr && !conditions[c].inAnd) continue;
        if (streams.codeBits == 8) {
          streams.channels[c].Fill(position, searchBytes_.data(), count);
          std::copy_n(searchBytes_.begin(), count, searchCodes_[c].begin());
        } else {
          streams.channels[c].Fill(position, searchCodes_[c].data(), count);
        }
      }
      const size_t from =
          earliest > position ? static_cast<size_t>(std::min(earliest - position, chunk)) : 0;
      const std::optional<size_t> found = search.Feed(chunks, count, from);
      lock.lock();
      if (found) return TriggerResult{position + *found, true};
      position += chunk;
    }
  }
}

void SimDevice::AcquireBlockRecord(std::unique_lock<std::mutex>& lock, uint64_t runId) {
  const AcquisitionState& current = settings_.Current();
  const Streams streams(current, signals_, sampleClock_, phases_, config_.seed);
  const auto length = static_cast<uint64_t>(current.dataSize);
  const auto preSamples = std::min<uint64_t>(
      length,
      static_cast<uint64_t>(std::llround(static_cast<double>(length) *
                                         static_cast<double>(current.preSamples) / kFraction)));
  const std::optional<TriggerResult> trigger = FindTrigger(lock, runId, streams, preSamples);
  if (!trigger) return;
  RecordRing::Slot* slot = ClaimSlot(lock, runId);
  if (slot == nullptr) return;
  const uint64_t start = trigger->position - preSamples;
  lock.unlock();
  FillRecord(streams, *slot, start);
  lock.lock();
  WaitUntil(lock, runId, static_cast<double>(start + length) / streams.sampleFrequency,
            [] { return false; });
  FinishRecord(runId, slot, streams, start + length, trigger->triggered);
}

void SimDevice::AcquireStreamingRecord(std::unique_lock<std::mutex>& lock, uint64_t runId) {
  const AcquisitionState& current = settings_.Current();
  const Streams streams(current, signals_, sampleClock_, phases_, config_.seed);
  const auto length = static_cast<uint64_t>(current.dataSize);
  if (instant_) {
    // As fast as the host can, but not beyond what the ring holds for the slowest reader.
    changed_.wait(lock, [&] {
      if (!RunAlive(runId) || !instant_) return true;
      const uint32_t read =
          std::max(notifier_.SlowestConsumed().value_or(runFirst_ - 1), runFirst_ - 1);
      return newest_ - read < ring_.Capacity();
    });
  }
  RecordRing::Slot* slot = ClaimSlot(lock, runId);
  if (slot == nullptr) return;
  lock.unlock();
  FillRecord(streams, *slot, 0);
  lock.lock();
  WaitUntil(lock, runId, static_cast<double>((runRecords_ + 1) * length) / streams.sampleFrequency,
            [] { return false; });
  FinishRecord(runId, slot, streams, length, false);
}

void SimDevice::FinishRecord(uint64_t runId, RecordRing::Slot* slot, const Streams& streams,
                             uint64_t consumed, bool triggered) {
  if (!RunAlive(runId)) {
    ring_.Abandon(slot);
    return;
  }
  newest_ = newest_ + 1 == 0 ? 1 : newest_ + 1;
  ring_.Commit(slot, newest_);
  sampleClock_ += consumed;
  for (uint32_t c = 0; c < channelCount_; ++c) phases_[c] = streams.channels[c].PhaseAt(consumed);

  const bool streaming = runState_ == RunState::kStreaming;
  ChangeMasks changes = MeasurementNews(streaming && runRecords_ == 0);
  if (settings_.LastTriggered() != triggered) {
    settings_.SetLastTriggered(triggered);
    changes.Add(Family::kTriggerCurrent, -1, TR_TRIGGER);
  }
  if (!streaming) {
    AutoRangeLocked(*slot, changes);
    runState_ = RunState::kIdle;
  }
  ++runRecords_;
  // At the record limit the probe goes the moment the record is complete: whoever reads its news
  // finds every call failing, its data buffer out of reach.
  ++recordsCompleted_;
  const bool removing = config_.unplugRecords && recordsCompleted_ == *config_.unplugRecords;
  if (removing) {
    removed_ = true;
    AbortRunLocked();
  }
  notifier_.SetNumbers({newest_, ring_.OldestKept(newest_), runFirst_});
  notifier_.Publish(changes);
  if (removing && listener_) listener_(Event::kRemovedAtRecordLimit);
}

void SimDevice::AutoRangeLocked(const RecordRing::Slot& slot, ChangeMasks& changes) {
  const AcquisitionState& current = settings_.Current();
  const double half = slot.codeBits == 8 ? 128.0 : 32768.0;
  const double top = slot.codeBits == 8 ? 255.0 : 65535.0 - (65535 >> current.resolution);
  for (uint32_t c = 0; c < channelCount_; ++c) {
    const AcquisitionState::Channel& channel = current.channels[c];
    if (!channel.autoRanging || !channel.enabled) continue;
    double low = half;
    double high = half;
    for (size_t i = 0; i < slot.length; ++i) {
      const double code = slot.codeBits == 8 ? slot.Bytes(c)[i] : slot.Words(c)[i];
      low = std::min(low, code);
      high = std::max(high, code);
    }
    const double range = static_cast<double>(Ranges()[channel.range]);
    size_t chosen = channel.range;
    if (low <= 0.0 || high >= top) {
      chosen = std::min(channel.range + 1, Ranges().size() - 1);  // clipped: one range up
    } else {
      // The smallest range that holds the peak with a tenth to spare.
      const double peak = std::max(half - low, high - half) / half * range;
      chosen = RoundRange(static_cast<int64_t>(peak / 0.9));
    }
    if (chosen != settings_.Next().channels[c].range) {
      settings_.SetNextRange(static_cast<int32_t>(c), chosen);
      changes.Add(Family::kNext, static_cast<int32_t>(c), HW_RANGE);
    }
  }
}

}  // namespace veltra::sim
