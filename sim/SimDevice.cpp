#include "sim/SimDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "hw/HWInterfaces.h"
#include "hw/TrigInterface.h"
#include "platform/Platform.h"
#include "sim/AcquisitionLists.h"

namespace veltra::sim {

namespace {

template <class Record>
bool ReadRecord(const void* in, uint32_t inSize, Record& record) {
  if (in == nullptr || inSize < sizeof record) return false;
  std::memcpy(&record, in, sizeof record);
  return true;
}

struct SettingsCode {
  uint32_t code;
  Family family;
  bool set;
};
constexpr SettingsCode kSettingsCodes[] = {
    {IOCTL_SET_CURRENT, Family::kCurrent, true},
    {IOCTL_GET_CURRENT, Family::kCurrent, false},
    {IOCTL_SET_NEXT, Family::kNext, true},
    {IOCTL_GET_NEXT, Family::kNext, false},
    {IOCTL_SET_TRIGGER_CURRENT, Family::kTriggerCurrent, true},
    {IOCTL_GET_TRIGGER_CURRENT, Family::kTriggerCurrent, false},
    {IOCTL_SET_TRIGGER_NEXT, Family::kTriggerNext, true},
    {IOCTL_GET_TRIGGER_NEXT, Family::kTriggerNext, false},
    {IOCTL_SET_CONTROL, Family::kControl, true},
    {IOCTL_GET_CONTROL, Family::kControl, false},
    {IOCTL_SET_CONNECTION_TEST, Family::kConnectionTest, true},
    {IOCTL_GET_CONNECTION_TEST, Family::kConnectionTest, false},
};

}  // namespace

uint32_t ChannelCountOf(Preset preset) { return preset == Preset::kDual ? 2 : 1; }

SignalSpec DefaultSignal(uint32_t channel) {
  return channel % 2 == 1 ? WaveSignal(Waveform::kSquare, 500.0, 0.5)
                          : WaveSignal(Waveform::kSine, 1000.0, 1.0);
}

SimDevice::SimDevice(const DeviceConfig& config, std::string path)
    : config_(config),
      path_(std::move(path)),
      channelCount_(ChannelCountOf(config.preset)),
      settings_(channelCount_, std::clamp<int64_t>(config.dataSizeMax, 1, kMaxDataSizeMax),
                config.driverVersion >= kConnectionTestVersion),
      notifier_(channelCount_, config.connectionLimit),
      ring_(channelCount_),
      instant_(config.instant),
      phases_(channelCount_, 0) {
  for (uint32_t channel = 0; channel < channelCount_; ++channel) {
    signals_.push_back(channel < config.signals.size() ? config.signals[channel]
                                                       : DefaultSignal(channel));
    settings_.SetProbeConnected(static_cast<int32_t>(channel), signals_.back().connected);
  }
  notifier_.SetConsumedCallback([this] {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  });
}

SimDevice::~SimDevice() {
  std::lock_guard lifecycle(lifecycle_);
  std::unique_lock lock(mutex_);
  AbortRunLocked();
  StopThreads(lock);
}

DeviceInfoRecord SimDevice::InfoRecord() const {
  DeviceInfoRecord info = DefaultDeviceInfo();
  const bool dual = config_.preset == Preset::kDual;
  info.typeCode = dual ? 17 : 18;
  info.subId = config_.subId;
  info.serialNumber = config_.serial;
  SetInfoName(info, dual ? "VP-2 USB oscilloscope probe" : "VP-1 USB oscilloscope probe");
  SetInfoShortName(info, dual ? "VP-2" : "VP-1");
  SetInfoDevicePath(info, path_);
  SetInfoCalibrationStamp(info, config_.calibration);
  info.channelCount = channelCount_;
  return info;
}

uint64_t SimDevice::OpenClient() {
  std::lock_guard lifecycle(lifecycle_);
  std::lock_guard lock(mutex_);
  if (removed_) return 0;
  const uint64_t client = nextClient_++;
  clients_.push_back(client);
  settings_.SetOpenCount(static_cast<int64_t>(clients_.size()));
  StartThreadsLocked();
  if (client == 1 && listener_) listener_(Event::kFirstOpened);
  return client;
}

void SimDevice::CloseClient(uint64_t client) {
  std::lock_guard lifecycle(lifecycle_);
  {
    std::lock_guard lock(mutex_);
    ring_.ReleaseAll(client);
    std::erase(clients_, client);
    settings_.SetOpenCount(static_cast<int64_t>(clients_.size()));
    changed_.notify_all();
  }
  notifier_.Disconnect(client);  // may wait for the delivery thread, which takes mutex_
  std::unique_lock lock(mutex_);
  if (clients_.empty()) {
    AbortRunLocked();
    StopThreads(lock);
  }
}

int64_t SimDevice::OpenCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int64_t>(clients_.size());
}

void SimDevice::StartThreadsLocked() {
  if (acquisition_.joinable()) return;
  stopping_ = false;
  ApplyFrameIntervalLocked();
  notifier_.Start();
  acquisition_ = std::thread([this] { AcquisitionLoop(); });
}

void SimDevice::StopThreads(std::unique_lock<std::mutex>& lock) {
  if (!acquisition_.joinable()) return;
  stopping_ = true;
  changed_.notify_all();
  lock.unlock();
  acquisition_.join();
  notifier_.Stop();
  lock.lock();
  stopping_ = false;
}

void SimDevice::Removed() {
  std::lock_guard lock(mutex_);
  removed_ = true;
  listener_ = nullptr;
  AbortRunLocked();
}

void SimDevice::SetListener(std::function<void(Event)> listener) {
  std::lock_guard lock(mutex_);
  if (!removed_) listener_ = std::move(listener);
}

void SimDevice::SetSignal(uint32_t channel, const SignalSpec& signal) {
  std::lock_guard lock(mutex_);
  if (channel >= channelCount_) return;
  const std::vector<int64_t> before = settings_.Snapshot();
  signals_[channel] = signal;
  settings_.SetProbeConnected(static_cast<int32_t>(channel), signal.connected);
  notifier_.Publish(settings_.Changes(before, settings_.Snapshot()));
}

SignalSpec SimDevice::Signal(uint32_t channel) const {
  std::lock_guard lock(mutex_);
  return channel < channelCount_ ? signals_[channel] : SignalSpec{};
}

void SimDevice::SetInstant(bool instant) {
  std::lock_guard lock(mutex_);
  instant_ = instant;
  ApplyFrameIntervalLocked();
  changed_.notify_all();
}

bool SimDevice::Instant() const {
  std::lock_guard lock(mutex_);
  return instant_;
}

void SimDevice::ApplyFrameIntervalLocked() {
  notifier_.SetFrameInterval(instant_ ? 0.0 : static_cast<double>(settings_.FrameInterval()) / 1e3);
}

void SimDevice::AbortRunLocked() {
  if (runState_ == RunState::kIdle) return;
  runState_ = RunState::kIdle;
  ++runId_;
  changed_.notify_all();
}

void SimDevice::ArmLocked() {
  const AcquisitionState& current = settings_.Current();
  // A stream's records are announced once per frame interval; the ring keeps what comes meanwhile.
  size_t frameRecords = 0;
  if (current.streaming && !instant_) {
    const double recordSeconds =
        static_cast<double>(current.dataSize) / Hertz(current.sampleFrequency);
    frameRecords = static_cast<size_t>(
        std::ceil(static_cast<double>(settings_.FrameInterval()) / 1e3 / recordSeconds));
  }
  ring_.Configure(static_cast<size_t>(current.dataSize), current.resolution <= 8 ? 8 : 16,
                  frameRecords);
  runState_ = current.streaming ? RunState::kStreaming : RunState::kBlock;
  ++runId_;
  runFirst_ = newest_ + 1 == 0 ? 1 : newest_ + 1;
  runRecords_ = 0;
  runStart_ = platform::HighResSeconds();
  forced_ = false;
  changed_.notify_all();
}

ChangeMasks SimDevice::StartLocked() {
  AbortRunLocked();
  settings_.CopyNextToCurrent();
  ArmLocked();
  ChangeMasks changes(channelCount_);
  for (int32_t index = -1; index < static_cast<int32_t>(channelCount_); ++index) {
    changes.Add(Family::kCurrent, index, HW_START);
  }
  return changes;
}

ChangeMasks SimDevice::StopLocked() {
  AbortRunLocked();
  ChangeMasks changes(channelCount_);
  for (int32_t index = -1; index < static_cast<int32_t>(channelCount_); ++index) {
    changes.Add(Family::kCurrent, index, HW_STOP);
  }
  return changes;
}

ChangeMasks SimDevice::MeasurementNews(bool firstOfRun) const {
  // The first record of a streaming run carries HW_START, from which the library restarts its
  // count (at the block's restart number).
  const uint64_t bits = HW_MREADY | (firstOfRun ? HW_START : 0);
  ChangeMasks changes(channelCount_);
  for (int32_t index = -1; index < static_cast<int32_t>(channelCount_); ++index) {
    changes.Add(Family::kCurrent, index, bits);
  }
  return changes;
}

bool SimDevice::Set(uint64_t client, Family family, const SetRecord& record, uint32_t* pending) {
  if (record.id > UINT32_MAX) return false;
  const auto id = static_cast<uint32_t>(record.id);
  const bool instrument = record.index == kInstrumentIndex;
  const bool answering = record.wait == kWaitForNews;
  if (answering) notifier_.AwaitDone(client);
  std::lock_guard lock(mutex_);
  if (removed_) return false;
  const std::vector<int64_t> before = settings_.Snapshot();
  ChangeMasks changes(channelCount_);
  bool ok = true;
  bool starts = false;
  if (family == Family::kNext && id == HW_START && instrument) {
    changes = StartLocked();
    starts = true;
  } else if (family == Family::kCurrent && id == HW_STOP && instrument) {
    changes = StopLocked();
  } else if (family == Family::kTriggerCurrent && id == TR_TRIGGER && instrument) {
    // Written 0 forces the trigger of a record that waits for one.
    ok = record.value == 0;
    forced_ = ok && runState_ == RunState::kBlock;
    changed_.notify_all();
  } else {
    ok = settings_.Set(family, id, record.index, record.value);
    if (ok && family == Family::kTriggerCurrent) {
      ++triggerChanges_;  // a record waiting for its trigger searches afresh
      changed_.notify_all();
    }
  }
  if (!ok) return false;
  const ChangeMasks settingsChanges = settings_.Changes(before, settings_.Snapshot());
  if (family == Family::kCurrent && runState_ != RunState::kIdle &&
      settingsChanges.Any(Family::kCurrent)) {
    // Current settings take effect at once: the acquisition starts over with them, so that no
    // record announced from now on was taken with the settings they replaced.
    AbortRunLocked();
    ArmLocked();
    starts = true;
  }
  changes.Merge(settingsChanges);
  if (starts) notifier_.DiscardMeasurements(answering ? client : 0);
  if (family == Family::kControl && id == kControlFrameInterval) ApplyFrameIntervalLocked();
  bool news = false;
  if (answering) {
    news = notifier_.PublishAnswer(client, changes);
  } else {
    notifier_.Publish(changes);
  }
  *pending = news ? 1 : 0;
  return true;
}

bool SimDevice::IoControl(uint64_t client, uint32_t code, const void* in, uint32_t inSize,
                          void* out, uint32_t outSize, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  if (removed_) return false;
  const auto answerBytes = [&](const void* value, uint32_t size) {
    if (out == nullptr || outSize < size) return false;
    std::memcpy(out, value, size);
    if (returned != nullptr) *returned = size;
    return true;
  };
  const auto answer = [&](const auto& value) { return answerBytes(&value, sizeof value); };
  switch (code) {
    case IOCTL_GET_VERSIONS:
      return answer(VersionRecord{0, config_.driverVersion, config_.firmwareVersion});
    case IOCTL_GET_INFO: {
      DeviceInfoRecord info = InfoRecord();
      if (!config_.shortInfo) return answer(info);
      info.size = kShortInfoSize;  // what a driver with the shorter record writes, and no more
      return answerBytes(&info, kShortInfoSize);
    }
    case IOCTL_CONNECT: {
      ConnectRecord record{};
      if (!ReadRecord(in, inSize, record) || outSize < kConnectAnswerSize) return false;
      const std::optional<uintptr_t> block =
          notifier_.Connect(client, record.newsEvent, record.doneEvent);
      return block && answer(NotificationBlockAddress{*block});
    }
    case IOCTL_GET_SUPPORTED: {
      uint32_t selector = 0;
      if (!ReadRecord(in, inSize, selector)) return false;
      const std::optional<Family> family = FamilyOfSelector(SelectorSetBits(selector));
      const int32_t channel = SelectorChannel(selector);
      if (!family || SelectorInfoIndex(selector) > 1 ||
          channel >= static_cast<int32_t>(channelCount_)) {
        return false;
      }
      std::lock_guard lock(mutex_);
      return answer(settings_.Supported(*family, channel, SelectorInfoIndex(selector)));
    }
    case IOCTL_DATA_BUFFER: {
      DataBufferRecord record{};
      if (!ReadRecord(in, inSize, record)) return false;
      std::lock_guard lock(mutex_);
      if (record.subcommand == kDataBufferAcquire) {
        if (out == nullptr || outSize < sizeof(uint64_t) || record.argument > UINT32_MAX)
          return false;
        const std::optional<uintptr_t> address =
            ring_.Acquire(static_cast<uint32_t>(record.argument), record.dataId, client);
        return address && answer(static_cast<uint64_t>(*address));
      }
      if (record.subcommand != kDataBufferRelease ||
          !ring_.Release(static_cast<uintptr_t>(record.argument), record.dataId, client)) {
        return false;
      }
      changed_.notify_all();  // an acquisition may wait for a buffer to come free
      return true;
    }
    default: break;
  }
  const auto* entry = std::find_if(std::begin(kSettingsCodes), std::end(kSettingsCodes),
                                   [code](const SettingsCode& c) { return c.code == code; });
  if (entry == std::end(kSettingsCodes)) return false;
  if (entry->set) {
    SetRecord record{};
    uint32_t pending = 0;
    if (!ReadRecord(in, inSize, record) || out == nullptr || outSize < sizeof pending ||
        !Set(client, entry->family, record, &pending)) {
      return false;
    }
    return answer(pending);
  }
  GetRecord record{};
  if (!ReadRecord(in, inSize, record) || record.id > UINT32_MAX) return false;
  std::lock_guard lock(mutex_);
  const std::optional<int64_t> value =
      settings_.Get(entry->family, static_cast<uint32_t>(record.id), record.index, record.value);
  return value && answer(*value);
}

}  // namespace veltra::sim
