#include "ScriptedDriver.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace veltra::test {

namespace {

const Guid kScriptedClass = Guid::Parse("{5C1D7A3E-0B2F-4E6D-9A8C-7F6E5D4C3B2A}");

bool IsSetCode(uint32_t code) {
  return code == IOCTL_SET_CURRENT || code == IOCTL_SET_NEXT || code == IOCTL_SET_TRIGGER_CURRENT ||
         code == IOCTL_SET_TRIGGER_NEXT || code == IOCTL_SET_CONTROL ||
         code == IOCTL_SET_CONNECTION_TEST;
}

}  // namespace

class ScriptedDriver::Session : public platform::DeviceSession {
 public:
  explicit Session(ScriptedDriver& driver)
      : driver_(driver), forward_(platform::DeviceFile::Open(driver.forwardPath_)) {}

  bool IoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned) override {
    if (code == IOCTL_CONNECT) return Connect(in, inSize, out, outSize, returned);
    if (code == IOCTL_DATA_BUFFER) return DataBuffer(in, inSize, out, outSize, returned);
    if (!forward_.IoControl(code, in, inSize, out, outSize, returned)) return false;
    if (IsSetCode(code) && inSize >= sizeof(SetRecord)) RecordSet(code, in, out);
    return true;
  }

 private:
  bool Connect(const void* in, uint32_t inSize, void* out, uint32_t outSize, uint32_t* returned) {
    std::lock_guard lock(driver_.mutex_);
    if (driver_.connected_ || inSize != sizeof(ConnectRecord) || outSize < kConnectAnswerSize) {
      return false;
    }
    std::memcpy(&driver_.events_, in, sizeof driver_.events_);
    driver_.connected_ = true;
    const auto address = reinterpret_cast<NotificationBlockAddress>(driver_.block_);
    std::memcpy(out, &address, sizeof address);
    *returned = sizeof address;
    return true;
  }

  bool DataBuffer(const void* in, uint32_t inSize, void* out, uint32_t outSize,
                  uint32_t* returned) {
    DataBufferRecord record{};
    if (inSize < sizeof record) return false;
    std::memcpy(&record, in, sizeof record);
    const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(driver_.codes_.data()));
    std::lock_guard lock(driver_.mutex_);
    if (record.subcommand == kDataBufferRelease) {
      // Only the address handed out is taken back.
      if (record.argument != address || driver_.outstanding_ == 0) return false;
      --driver_.outstanding_;
      return true;
    }
    const auto measurement = static_cast<uint32_t>(record.argument);
    driver_.acquired_.push_back(measurement);
    const auto& held = driver_.held_;
    if (outSize < 8 || std::find(held.begin(), held.end(), measurement) == held.end()) return false;
    ++driver_.outstanding_;
    std::memcpy(out, &address, sizeof address);
    *returned = sizeof address;
    return true;
  }

  // The library's set went through: recorded, and answered pending when the test asked for it.
  void RecordSet(uint32_t code, const void* in, void* out) {
    SetRecord record{};
    std::memcpy(&record, in, sizeof record);
    std::lock_guard lock(driver_.mutex_);
    driver_.sets_.push_back({code, record});
    uint32_t pending = 0;
    if (driver_.answerPending_ && record.wait == kWaitForNews) {
      driver_.answerPending_ = false;
      driver_.WriteBlock(driver_.answer_);
      pending = 1;
    }
    std::memcpy(out, &pending, sizeof pending);
  }

  ScriptedDriver& driver_;
  platform::DeviceFile forward_;
};

ScriptedDriver::ScriptedDriver(std::string forwardPath) : forwardPath_(std::move(forwardPath)) {
  static std::atomic<int> serial{0};
  path_ = "\\\\?\\test#scripted#" + std::to_string(++serial);
}

std::shared_ptr<ScriptedDriver> ScriptedDriver::Make(std::string forwardPath) {
  auto driver = std::make_shared<ScriptedDriver>(std::move(forwardPath));
  driver->device_ = platform::RegisterDevice(kScriptedClass, driver->path_, driver);
  return driver;
}

void ScriptedDriver::Unplug() { platform::UnregisterDevice(device_); }

std::unique_ptr<platform::DeviceSession> ScriptedDriver::Open() {
  return std::make_unique<Session>(*this);
}

void ScriptedDriver::WriteBlock(const ScriptedBlock& block) {
  std::atomic_ref<uint32_t> busy(
      *reinterpret_cast<uint32_t*>(block_ + offsetof(NotificationBlockHeader, busy)));
  busy.store(1, std::memory_order_relaxed);
  size_t offset = sizeof(NotificationBlockHeader);
  for (const ScriptedRecord& record : block.records) {
    NotificationRecordHeader header{};
    header.size = static_cast<uint32_t>(16 + 8 * record.masks.size());
    header.kind = static_cast<uint32_t>(record.kind);
    header.valid = record.valid ? 1 : 0;
    std::memcpy(block_ + offset, &header, 16);
    std::memcpy(block_ + offset + 16, record.masks.data(), 8 * record.masks.size());
    offset += header.size;
  }
  NotificationBlockHeader header{};
  header.busy = 1;
  header.recordCount = static_cast<uint32_t>(block.records.size());
  header.newestMeasurement = block.newest;
  header.compareMeasurement = block.compare;
  header.restartMeasurement = block.restart;
  std::memcpy(block_, &header, sizeof header);
  busy.store(0, std::memory_order_release);
}

void ScriptedDriver::Publish(const ScriptedBlock& block, bool news) {
  platform::EventHandle event = 0;
  {
    std::lock_guard lock(mutex_);
    WriteBlock(block);
    event = events_.newsEvent;
  }
  if (news) platform::SetEventHandle(event);
}

void ScriptedDriver::AnswerNextSetWith(const ScriptedBlock& block) {
  std::lock_guard lock(mutex_);
  answer_ = block;
  answerPending_ = true;
}

bool ScriptedDriver::TakeDone() {
  platform::EventHandle done = 0;
  {
    std::lock_guard lock(mutex_);
    done = events_.doneEvent;
  }
  const platform::EventHandle handles[] = {done};
  return platform::WaitAny(handles, 0) == 0;
}

void ScriptedDriver::Hold(std::vector<uint32_t> measurements) {
  std::lock_guard lock(mutex_);
  held_ = std::move(measurements);
}

size_t ScriptedDriver::Outstanding() {
  std::lock_guard lock(mutex_);
  return outstanding_;
}

std::vector<uint32_t> ScriptedDriver::Acquired() {
  std::lock_guard lock(mutex_);
  return std::exchange(acquired_, {});
}

std::vector<ScriptedDriver::SentSet> ScriptedDriver::Sets() {
  std::lock_guard lock(mutex_);
  return std::exchange(sets_, {});
}

}  // namespace veltra::test
