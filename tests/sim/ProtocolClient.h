#pragma once
// A small client of the driver protocol for the simulated probe's tests: it speaks only the
// records over a device file and reads the notification block the way the library does (busy flag
// set when it starts, done event set when it has finished).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/DevIoCtl.h"
#include "platform/Platform.h"

namespace veltra::sim::test {

// One notification record as read.
struct NewsRecord {
  uint32_t kind = 0;
  std::vector<uint64_t> masks;  // [0] the instrument, [1 + i] channel i
};

// What one reading of the block found.
struct News {
  uint32_t newest = 0;
  uint32_t compare = 0;
  uint32_t restart = 0;
  std::vector<NewsRecord> records;

  // The mask of an index (-1 the instrument) in the record of a kind; 0 without such a record.
  uint64_t Mask(NotificationKind kind, int32_t index = -1) const;
};

class ProtocolClient {
 public:
  explicit ProtocolClient(const std::string& path);
  bool IsOpen() const { return file_.IsValid(); }
  platform::DeviceFile& File() { return file_; }
  void Close() { file_.Close(); }

  std::optional<DeviceInfoRecord> Info();
  std::optional<VersionRecord> Versions();
  std::optional<uint32_t> Supported(uint32_t selector);
  std::optional<int64_t> Get(uint32_t code, uint32_t id, int32_t index, int64_t parameter = 0);
  // The pending flag of the answer; nothing when the device refused the set. With `wait` (the
  // library's usual case) a pending answer is read at once, as the library does, into LastAnswer().
  std::optional<uint32_t> Set(uint32_t code, uint32_t id, int32_t index, int64_t value,
                              bool wait = true);
  const News& LastAnswer() const { return lastAnswer_; }

  // IOCTL_CONNECT with fresh events (the done event created set, as the library does).
  bool Connect();
  // What a reader does with news before it signals that it is done with the block (the library
  // fetches the records' samples there).
  using Processing = std::function<void(const News&)>;
  // Waits for the news event, then reads the block; nothing when nothing came in time. Without
  // `signalDone` the done event for the news read is left to SignalDone, as the library's event
  // thread sets it only after the window has processed the block.
  std::optional<News> WaitNews(uint32_t timeoutMs, const Processing& process = nullptr,
                               bool signalDone = true);
  // Reads news until one carries a completed measurement (HW_MREADY in the current settings).
  std::optional<News> WaitMeasurement(uint32_t timeoutMs, const Processing& process = nullptr,
                                      bool signalDone = true);
  void SignalDone() { done_->Set(); }

  std::optional<uintptr_t> Acquire(uint32_t measurement, uint32_t channel);
  bool Release(uintptr_t address, uint32_t channel);

 private:
  News ReadBlock();

  // The events outlive the file, as in the library: the device stops using them when the file
  // closes.
  std::unique_ptr<platform::Event> news_;
  std::unique_ptr<platform::Event> done_;
  platform::DeviceFile file_;
  std::byte* block_ = nullptr;
  uint32_t channelCount_ = 0;
  News lastAnswer_;
};

// Generous waits for a loaded machine; a wait that ends early is no failure of its own.
inline constexpr uint32_t kPatience = 20000;

}  // namespace veltra::sim::test
