#pragma once
// A driver whose notifications a test writes by hand. It publishes a device of its own that
// passes every settings call on to a simulated probe, but keeps the notification block, the news
// and done events and the sample buffers to itself: the test fills the block record by record,
// decides which measurements it holds, and sees every set, every buffer request and every done
// event the library makes.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/DevIoCtl.h"
#include "platform/Platform.h"

namespace veltra::test {

struct ScriptedRecord {
  NotificationKind kind;
  std::vector<uint64_t> masks;  // [0] the instrument, [1 + i] channel i
  bool valid = true;
};

struct ScriptedBlock {
  uint32_t newest = 0;
  uint32_t compare = 0;
  uint32_t restart = 0;
  std::vector<ScriptedRecord> records;
};

class ScriptedDriver : public platform::DeviceProvider {
 public:
  // Passes settings calls on to the device at `forwardPath`; publishes itself under a path of its
  // own (Path()) until it goes.
  explicit ScriptedDriver(std::string forwardPath);
  // Made and published; Unplug withdraws it.
  static std::shared_ptr<ScriptedDriver> Make(std::string forwardPath);

  const std::string& Path() const { return path_; }
  std::unique_ptr<platform::DeviceSession> Open() override;

  // Writes the block as a driver does (busy flag cleared last) and, with `news`, sets the news
  // event.
  void Publish(const ScriptedBlock& block, bool news = true);
  // The next set is answered pending, with `block` written first.
  void AnswerNextSetWith(const ScriptedBlock& block);
  // Whether the library has set the done event since the last call (an auto-reset event holds
  // one signal at most).
  bool TakeDone();

  // Measurements whose buffers (codes at mid-scale) the driver holds, and what was asked for.
  void Hold(std::vector<uint32_t> measurements);
  std::vector<uint32_t> Acquired();
  // The buffers handed out and not released yet.
  size_t Outstanding();
  struct SentSet {
    uint32_t code;
    SetRecord record;
  };
  // The sets the library sent, in order, since the last call.
  std::vector<SentSet> Sets();
  // Withdraws the device (its files fail from now on).
  void Unplug();

 private:
  class Session;
  void WriteBlock(const ScriptedBlock& block);

  const std::string forwardPath_;
  std::string path_;
  platform::DeviceId device_ = 0;
  std::mutex mutex_;
  alignas(8) std::byte block_[kNotificationBlockSize] = {};
  ConnectRecord events_{};
  bool connected_ = false;
  bool answerPending_ = false;
  ScriptedBlock answer_;
  std::vector<uint32_t> held_;
  std::vector<uint32_t> acquired_;
  size_t outstanding_ = 0;
  std::vector<SentSet> sets_;
  std::vector<uint8_t> codes_ = std::vector<uint8_t>(1 << 20, 0x80);
};

}  // namespace veltra::test
