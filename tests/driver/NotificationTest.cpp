// The instrument's notification pass against blocks written by hand (ScriptedDriver): the numbering
// of streaming measurements, stop requests, and the done event of every reading.

#include <gtest/gtest.h>

#include <algorithm>

#include "DriverTestSupport.h"
#include "ScriptedDriver.h"

namespace veltra::test {
namespace {

constexpr uint64_t kReady = HW_MREADY;
constexpr uint64_t kFirst = HW_MREADY | HW_START;

class NotificationTest : public DriverTest {
 protected:
  void SetUp() override {
    driver_ = ScriptedDriver::Make(PlugProbe()->Path());
    hw_ = Open(*driver_);
    ASSERT_TRUE(hw_);
    EXPECT_TRUE(driver_->TakeDone()) << "the done event starts set";
  }
  void TearDown() override {
    hw_ = nullptr;
    driver_->Unplug();
    DriverTest::TearDown();
  }
  ComPtr<TDriverTriggerHW> Open(const ScriptedDriver& driver) {
    return MakeObject<TDriverTriggerHW>(driver.Path());
  }
  using DriverTest::Open;

  // A streaming block: a kind-2 record with `mask` for the instrument and its channel.
  static ScriptedBlock Streaming(uint64_t mask, uint32_t newest, uint32_t compare,
                                 uint32_t restart) {
    return {newest, compare, restart, {{NotificationKind::kCurrent, {mask, mask}}}};
  }
  // Publishes the block and processes messages until the instrument has read it.
  bool Deliver(const ScriptedBlock& block) {
    driver_->Publish(block);
    return PumpUntil([&] { return driver_->TakeDone(); });
  }
  // The HW_STOP sets the instrument sent.
  size_t StopsSent() {
    const std::vector<ScriptedDriver::SentSet> sets = driver_->Sets();
    return static_cast<size_t>(std::count_if(sets.begin(), sets.end(), [](const auto& set) {
      // A set made inside the pass goes without the wait flag.
      return set.code == IOCTL_SET_CURRENT && set.record.id == HW_STOP && set.record.wait == 0;
    }));
  }

  std::shared_ptr<ScriptedDriver> driver_;
  ComPtr<TDriverTriggerHW> hw_;
};

TEST_F(NotificationTest, StreamingAsksForEveryMeasurementUpToTheNewestInOrder) {
  ASSERT_EQ(hw_->NextSettings().SetMode(1), S_OK);
  driver_->Sets();
  driver_->Hold({4, 5, 6, 7, 8, 10});

  // The first record of a run: the count restarts from the block's restart number.
  ASSERT_TRUE(Deliver(Streaming(kFirst, 4, 1, 4)));
  EXPECT_EQ(driver_->Acquired(), (std::vector<uint32_t>{4}));
  EXPECT_EQ(hw_->LastMeasurement(), 4u);

  ASSERT_TRUE(Deliver(Streaming(kReady, 7, 5, 4)));
  EXPECT_EQ(driver_->Acquired(), (std::vector<uint32_t>{5, 6, 7}));
  EXPECT_EQ(hw_->LastMeasurement(), 7u);
  EXPECT_EQ(StopsSent(), 0u);

  // Measurement 9 cannot be had: the pass ends there and stops the run.
  ASSERT_TRUE(Deliver(Streaming(kReady, 10, 8, 4)));
  EXPECT_EQ(driver_->Acquired(), (std::vector<uint32_t>{8, 9}));
  EXPECT_EQ(StopsSent(), 1u);
  EXPECT_EQ(hw_->LastMeasurement(), 10u);

  // The driver no longer holds measurement 11: nothing is read, the run is stopped.
  ASSERT_TRUE(Deliver(Streaming(kReady, 14, 12, 4)));
  EXPECT_TRUE(driver_->Acquired().empty());
  EXPECT_EQ(StopsSent(), 1u);
  EXPECT_EQ(hw_->LastMeasurement(), 14u);
  EXPECT_EQ(driver_->Outstanding(), 0u) << "every buffer handed out went back";
}

TEST_F(NotificationTest, BlockModeReadsTheNewestMeasurementOnce) {
  driver_->Hold({3});
  ChangeRecorder cur(hw_->CurSettings());
  ASSERT_TRUE(Deliver({3, 1, 3, {{NotificationKind::kCurrent, {kReady, kReady}}}}));
  EXPECT_EQ(driver_->Acquired(), (std::vector<uint32_t>{3}));
  EXPECT_EQ(driver_->Outstanding(), 0u);
  EXPECT_EQ(cur.Count(HW_MREADY), 1u);
  // A mask without HW_MREADY never touches the driver's buffers.
  ASSERT_TRUE(Deliver({3, 1, 3, {{NotificationKind::kCurrent, {HW_RANGE, HW_RANGE}}}}));
  EXPECT_TRUE(driver_->Acquired().empty());
  EXPECT_EQ(cur.Count(HW_MREADY), 1u);
}

TEST_F(NotificationTest, RecordsOfOtherKindsAndInvalidOnesAreSteppedOver) {
  ChangeRecorder next(hw_->NextSettings());
  ChangeRecorder channelNext(Channel(*hw_, 0)->NextSettings());
  ChangeRecorder triggerNext(hw_->Trigger().Next());
  ScriptedBlock block{0,
                      0,
                      0,
                      {{static_cast<NotificationKind>(7), {HW_RANGE, HW_RANGE}},
                       {NotificationKind::kNext, {HW_RESOLUTION, HW_RESOLUTION}, false},
                       {NotificationKind::kNext, {HW_DATASIZE, HW_RANGE}},
                       {static_cast<NotificationKind>(15), {HW_RANGE, HW_RANGE}},
                       {NotificationKind::kTriggerNext, {TR_TIMEOUT, TR_LEVEL}}}};
  ASSERT_TRUE(Deliver(block));
  EXPECT_EQ(next.masks, (std::vector<uint32_t>{HW_DATASIZE}));
  EXPECT_EQ(channelNext.masks, (std::vector<uint32_t>{HW_RANGE}));
  EXPECT_EQ(triggerNext.masks, (std::vector<uint32_t>{TR_TIMEOUT}));
}

// News the library read with a pending answer is not read again when its news event is handled,
// and that handling sets no done event: the driver hears "read" once per reading, so it can never
// take a later block for read before the library has seen it.
TEST_F(NotificationTest, ABlockReadWithAPendingAnswerIsNotReadOrSignalledAgain) {
  std::vector<uint32_t> masks;
  std::vector<bool> doneDuringPass;
  struct Listener {
    std::function<void(uint32_t)> call;
    void OnChange(IInterface*, uint32_t mask) { call(mask); }
  } listener{[&](uint32_t mask) {
    masks.push_back(mask);
    // Inside a pass the reader has not signalled yet: a done event here is a stale one.
    doneDuringPass.push_back(driver_->TakeDone());
  }};
  TInstrumentSettings& next = hw_->NextSettings();
  const auto handler = TSettingsChangeEvent::Bind<&Listener::OnChange>(&listener);
  next.AddChangeNotify(handler);

  // News comes in while this thread is busy; the event thread's send waits for it.
  driver_->Publish({0, 0, 0, {{NotificationKind::kNext, {HW_DATASIZE, 0}}}});
  ASSERT_TRUE(platform::WaitMessage(kPatience));
  // Before it is handled, a set is answered pending with the block rewritten (news merged).
  driver_->AnswerNextSetWith({0, 0, 0, {{NotificationKind::kNext, {HW_DATASIZE | HW_RANGE, 0}}}});
  ASSERT_EQ(next.SetResolution(12), S_OK);
  EXPECT_EQ(masks, (std::vector<uint32_t>{HW_DATASIZE | HW_RANGE}));
  EXPECT_TRUE(driver_->TakeDone());
  platform::PumpMessages();  // the waiting send: the block is read already
  EXPECT_EQ(masks.size(), 1u);

  // The next news is read in the usual way; no done event came before its reading.
  ASSERT_TRUE(Deliver({0, 0, 0, {{NotificationKind::kNext, {HW_SAMPLEFREQUENCY, 0}}}}));
  EXPECT_EQ(masks, (std::vector<uint32_t>{HW_DATASIZE | HW_RANGE, HW_SAMPLEFREQUENCY}));
  EXPECT_EQ(doneDuringPass, (std::vector<bool>{false, false}));
  next.RemoveChangeNotify(handler);
}

}  // namespace
}  // namespace veltra::test
