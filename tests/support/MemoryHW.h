#pragma once
// A test instrument built on the hardware model: TMemoryHW overrides the value and trigger
// accessor slots with an in-memory table per settings set and channel, so the whole model and the
// exports run without a driver. It behaves like a device where the tests need it to:
//
// - every table has readable and writable masks (identifiers 1 and 2 answer them; an identifier
//   outside the mask answers E_NOTIMPL), refused identifiers with a result code of their own, and
//   value rounding per identifier (the device's own choice of a written value);
// - the lists of sample frequencies, resolutions and ranges are answered from vectors, with their
//   counts;
// - a channel table without a value of HW_DATASIZE, HW_SAMPLEFREQUENCY or HW_RESOLUTION answers
//   the instrument's;
// - every stored value is reported through Changed of its settings object at once, as a driver's
//   notification would, so caches drop it;
// - writing HW_START to Next measures (unless told not to): Next becomes Cur, every channel that
//   is on takes its signal into its source, and Cur reports HW_MREADY.
//
// Reads, writes and calls are counted per table so tests can see what reached the "device".

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "hw/TrigChannel.h"
#include "hw/TrigHW.h"

namespace veltra::test {

// The object behind `p`, which someone else keeps alive; throws when there is none, so that a test
// fails instead of crashing.
template <class T>
T& Must(const ComPtr<T>& p) {
  if (!p) throw std::logic_error("an interface the test needs is missing");
  return *p;
}

// The settings sets of the tables.
enum class TSet { kCur, kNext, kTriggerCur, kTriggerNext };

struct TMemoryTable {
  std::map<uint32_t, int64_t> values;
  std::map<uint32_t, HResult> refused;  // reads and writes of these answer the code
  std::map<uint32_t, std::function<int64_t(int64_t)>> rounding;
  int64_t readable = -1;
  int64_t writable = -1;
  std::map<uint32_t, int32_t> reads;  // get calls that reached the table, by identifier
  std::vector<std::pair<uint32_t, int64_t>> writes;  // every set call, in order

  int64_t Value(uint32_t id) const;  // 0 when none is stored
  std::vector<int64_t> WritesOf(uint32_t id) const;
};

class TMemoryDevice;

struct TMemoryConfig {
  int32_t channels = 1;
  // The first `triggerChannels` channels carry a channel trigger (all of them by default).
  int32_t triggerChannels = -1;
  uint32_t channelDataType = DT_ARRAY_DOUBLE;  // the type of the channels' samples
  // Fills the tables and lists before the instrument creates its settings and applies defaults.
  std::function<void(TMemoryDevice&)> prepare;
};

// What the tables hold and answer, shared by the instrument classes below.
class TMemoryDevice {
 public:
  virtual ~TMemoryDevice() = default;

  TMemoryTable& Table(TSet set, int32_t channel = -1);
  // Change the device as its driver would, telling the settings object (a notification): a
  // stored value, an identifier that answers `result`, a written value the device replaces by
  // `chosen`, the readable mask.
  void Put(TSet set, int32_t channel, uint32_t id, int64_t value);
  void Refuse(TSet set, int32_t channel, uint32_t id, HResult result = E_NOTIMPL);
  void Choose(TSet set, int32_t channel, uint32_t id, int64_t chosen);
  void SetReadable(TSet set, int32_t channel, int64_t mask);
  // Reports a change of `mask` to the settings object of the set and channel.
  virtual void Report(TSet set, int32_t channel, uint32_t mask) = 0;
  // The instrument's information record and calibration date, as its driver would give them.
  virtual DeviceInfoRecord& Info() = 0;
  virtual void SetCalibration(double date) = 0;

  std::vector<int64_t> frequencies;  // encoded values of HW_SAMPLEFREQUENCIES
  std::vector<int64_t> resolutions;  // HW_RESOLUTIONS, of the instrument and every channel
  std::map<int32_t, std::vector<int64_t>> ranges;  // HW_RANGES by channel, encoded
  int64_t openCount = 1;
  bool measureOnStart = true;

  // The answers of the accessor slots once the gate let the call through.
  HResult Get(TSet set, int32_t channel, uint32_t id, int64_t& value);
  HResult Set(TSet set, int32_t channel, uint32_t id, int64_t value);
  // The info words: index 0 the readable mask, 1 the writable mask of the table.
  int32_t InfoWord(TSet set, int32_t channel, int32_t index);

 private:
  std::map<std::pair<TSet, int32_t>, TMemoryTable> tables_;
};

// A channel of the memory instrument: its samples come from `signal` (volts by sample index) when
// the instrument measures, or from the tests directly.
template <class ChannelBase>
class TMemoryChannelOf : public ChannelBase {
 public:
  template <class Instrument>
  TMemoryChannelOf(Instrument* instrument, int32_t index, uint32_t dataType)
      : ChannelBase(instrument, index) {
    this->SetDataType(dataType);
    this->SetGainActionsEnabled(true);
  }

  std::function<double(int64_t)> signal;

  // The record of a measurement of `count` samples: the signal in volts, or as codes over the
  // channel's span for DT_ARRAY_UINT16; reported as new data.
  void Measure(int64_t count);
  void SetVolts(const std::vector<double>& volts);
  void SetCodes(const std::vector<uint16_t>& codes);
};

using TMemoryChannel = TMemoryChannelOf<TCustomTriggerChannel>;
using TMemoryPlainChannel = TMemoryChannelOf<TCustomChannel>;

// The memory instrument over an instrument base: TCustomTriggerHW (TMemoryHW, with triggers) or
// TCustomHW (TMemoryPlainHW, without).
template <class HWBase>
class TMemoryHWOf : public HWBase, public TMemoryDevice {
 public:
  explicit TMemoryHWOf(const TMemoryConfig& config = {}) : config_(config) {
    if (config.prepare) config.prepare(*this);
  }

  HResult SetCurValue(uint32_t id, int32_t channel, int64_t value) override;
  HResult SetNextValue(uint32_t id, int32_t channel, int64_t value) override;
  HResult GetCurValue(uint32_t id, int32_t channel, int64_t& value) override;
  HResult GetNextValue(uint32_t id, int32_t channel, int64_t& value) override;
  int64_t GetOpenCount() override { return openCount; }

  void Report(TSet set, int32_t channel, uint32_t mask) override;
  // The measurement that writing HW_START starts.
  void Measure();

  DeviceInfoRecord& Info() override { return this->InfoRecord(); }
  void SetCalibration(double date) override { this->SetCalibrationDate(date); }
  ComPtr<TCustomChannel> Channel(int32_t index) { return this->ChannelObject(index); }

 protected:
  void CreateSettings() override;
  int32_t GetSettingsInfo(int32_t index, int32_t which) override;
  // Settings objects of the set and channel, or null.
  virtual TCachedSettings* SettingsOf(TSet set, int32_t channel);

  // Stores a value the way the device does, reports it, and measures on HW_START.
  HResult Write(TSet set, int32_t channel, uint32_t id, int64_t value);

  const TMemoryConfig config_;

 private:
  bool created_ = false;  // the settings objects exist
};

class TMemoryHW : public TMemoryHWOf<TCustomTriggerHW> {
 public:
  using TMemoryHWOf::TMemoryHWOf;

  HResult SetCurTriggerValue(uint32_t id, int32_t channel, int64_t value) override;
  HResult GetCurTriggerValue(uint32_t id, int32_t channel, int64_t& value) override;
  HResult SetNextTriggerValue(uint32_t id, int32_t channel, int64_t value) override;
  HResult GetNextTriggerValue(uint32_t id, int32_t channel, int64_t& value) override;

 protected:
  int32_t GetTriggerSettingsInfo(int32_t index, int32_t which) override;
  TCachedSettings* SettingsOf(TSet set, int32_t channel) override;
};

using TMemoryPlainHW = TMemoryHWOf<TCustomHW>;

}  // namespace veltra::test
