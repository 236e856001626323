#include "driver/EventThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/ProtocolClient.h"
#include "sim/Simulator.h"

namespace veltra {
namespace {

using sim::test::kPatience;

// A driver that only connects: it keeps the events it is handed and a block of zeros, and refuses
// connections beyond its limit.
class ConnectOnlyDevice : public platform::DeviceProvider {
 public:
  explicit ConnectOnlyDevice(size_t limit) : limit_(limit) {}

  std::unique_ptr<platform::DeviceSession> Open() override {
    return std::make_unique<Session>(*this);
  }

  platform::EventHandle News() {
    std::lock_guard lock(mutex_);
    return connections_.empty() ? 0 : connections_.back().newsEvent;
  }
  platform::EventHandle Done() {
    std::lock_guard lock(mutex_);
    return connections_.empty() ? 0 : connections_.back().doneEvent;
  }
  std::byte* Block() { return block_; }

 private:
  class Session : public platform::DeviceSession {
   public:
    explicit Session(ConnectOnlyDevice& device) : device_(device) {}
    bool IoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* returned) override {
      if (code != IOCTL_CONNECT || inSize != sizeof(ConnectRecord) ||
          outSize < kConnectAnswerSize) {
        return false;
      }
      std::lock_guard lock(device_.mutex_);
      if (device_.connections_.size() >= device_.limit_) return false;
      ConnectRecord record;
      std::memcpy(&record, in, sizeof record);
      device_.connections_.push_back(record);
      const auto address = reinterpret_cast<NotificationBlockAddress>(device_.block_);
      std::memcpy(out, &address, sizeof address);
      *returned = sizeof address;
      return true;
    }

   private:
    ConnectOnlyDevice& device_;
  };

  const size_t limit_;
  std::mutex mutex_;
  std::vector<ConnectRecord> connections_;
  alignas(8) std::byte block_[kNotificationBlockSize] = {};
};

bool IsSet(platform::EventHandle event) {
  const platform::EventHandle events[] = {event};
  return platform::WaitAny(events, 0) == 0;  // consumes it: the events are auto-reset
}

// Processes the calling thread's messages until `done` holds or the patience runs out.
template <class Predicate>
bool PumpUntil(Predicate done) {
  const double end = platform::HighResSeconds() + kPatience / 1000.0;
  while (!done()) {
    if (platform::HighResSeconds() > end) return false;
    platform::WaitMessage(10);
    platform::PumpMessages();
  }
  return true;
}

class EventThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    path_ = "\\\\?\\test#eventthread#" + std::to_string(++serial);
    deviceId_ = platform::RegisterDevice(kClass, path_, device_);
    file_ = platform::DeviceFile::Open(path_);
    ASSERT_TRUE(file_.IsValid());
  }
  void TearDown() override {
    file_.Close();
    platform::UnregisterDevice(deviceId_);
  }

  static constexpr Guid kClass = Guid::Parse("{6F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0}");
  std::shared_ptr<ConnectOnlyDevice> device_ = std::make_shared<ConnectOnlyDevice>(1);
  std::string path_;
  platform::DeviceId deviceId_ = 0;
  platform::DeviceFile file_;
};

TEST_F(EventThreadTest, ForwardsNewsAndLeavesTheDoneEventToTheReader) {
  std::vector<uint32_t> messages;
  bool doneAfterFirstPass = true;
  std::unique_ptr<TEventThread> thread;
  platform::MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t lParam) {
    messages.push_back(message);
    EXPECT_EQ(wParam, 0u);
    EXPECT_EQ(lParam, 0);
    // The thread went back to its wait after the first pass before it forwarded this one: a done
    // event it had set on its own would be there now.
    if (messages.size() == 2) doneAfterFirstPass = IsSet(device_->Done());
    if (messages.size() == 3) thread->SignalDone();  // this pass read the block
    return intptr_t{0};
  });
  thread = std::make_unique<TEventThread>(file_, window.Handle());
  EXPECT_EQ(thread->NotificationBlock().data(), device_->Block());
  EXPECT_EQ(thread->NotificationBlock().size(), kNotificationBlockSize);
  EXPECT_TRUE(IsSet(device_->Done())) << "the done event starts set";

  for (size_t pass = 1; pass <= 3; ++pass) {
    // News set before the window's thread processes messages waits for it.
    ASSERT_TRUE(platform::SetEventHandle(device_->News()));
    ASSERT_TRUE(PumpUntil([&] { return messages.size() == pass; })) << pass;
  }
  EXPECT_EQ(messages, (std::vector<uint32_t>(3, TEventThread::kNewsMessage)));
  EXPECT_FALSE(doneAfterFirstPass);
  EXPECT_TRUE(IsSet(device_->Done()));
  EXPECT_FALSE(IsSet(device_->Done())) << "once per reading";
  thread.reset();
  EXPECT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
}

TEST_F(EventThreadTest, StoppedWhileWaitingEndsWithoutAMessage) {
  int messages = 0;
  platform::MessageWindow window([&](uint32_t, uintptr_t, intptr_t) { return ++messages; });
  ASSERT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
  auto thread = std::make_unique<TEventThread>(file_, window.Handle());
  EXPECT_EQ(TEventThread::LiveCount(), 1u);
  thread.reset();
  EXPECT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
  platform::PumpMessages();
  EXPECT_EQ(messages, 0);
}

TEST_F(EventThreadTest, EndsWhenStoppedWhileItsSendWaitsForTheWindow) {
  int messages = 0;
  auto window = std::make_unique<platform::MessageWindow>(
      [&](uint32_t, uintptr_t, intptr_t) { return ++messages; });
  ASSERT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));  // only this test's thread counts
  auto thread = std::make_unique<TEventThread>(file_, window->Handle());
  ASSERT_TRUE(platform::SetEventHandle(device_->News()));
  // The thread's send waits for this thread, which processes nothing. The instrument's destruction
  // stops the thread, then destroys the window, which answers the send.
  ASSERT_TRUE(platform::WaitMessage(kPatience));
  thread.reset();
  EXPECT_EQ(TEventThread::LiveCount(), 1u) << "still in its send";
  window.reset();
  EXPECT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
  platform::PumpMessages();
  EXPECT_EQ(messages, 0);
}

TEST_F(EventThreadTest, RefusedConnectionThrowsAndStartsNoThread) {
  platform::MessageWindow window([](uint32_t, uintptr_t, intptr_t) { return intptr_t{0}; });
  TEventThread first(file_, window.Handle());  // takes the device's one connection
  const size_t live = TEventThread::LiveCount();
  platform::DeviceFile second = platform::DeviceFile::Open(path_);
  try {
    TEventThread refused(second, window.Handle());
    FAIL() << "connected beyond the limit";
  } catch (const EDriverError& error) {
    EXPECT_STREQ(error.what(), "Maximum number of connections to the driver reached.");
  }
  EXPECT_EQ(TEventThread::LiveCount(), live) << "no thread was counted for the refusal";
  platform::DeviceFile closed;
  EXPECT_THROW(TEventThread(closed, window.Handle()), EDriverError);
}

TEST(EventThreadSim, TheSimulatedProbeRefusesConnectionsBeyondItsLimit) {
  sim::DeviceConfig config;
  config.instant = true;
  const auto probe = sim::Plug(config);
  std::vector<std::unique_ptr<sim::test::ProtocolClient>> clients;
  for (;;) {
    auto client = std::make_unique<sim::test::ProtocolClient>(probe->Path());
    ASSERT_TRUE(client->IsOpen());
    if (!client->Connect()) break;
    clients.push_back(std::move(client));
    ASSERT_LT(clients.size(), 64u) << "no connection limit";
  }
  platform::MessageWindow window([](uint32_t, uintptr_t, intptr_t) { return intptr_t{0}; });
  platform::DeviceFile file = platform::DeviceFile::Open(probe->Path());
  EXPECT_THROW(TEventThread(file, window.Handle()), EDriverError);
  clients.pop_back();  // a connection comes free with its file
  EXPECT_NO_THROW(TEventThread(file, window.Handle()));
  EXPECT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
}

}  // namespace
}  // namespace veltra
