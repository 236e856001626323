#include "DriverTestSupport.h"

#include <algorithm>
#include <stdexcept>

#include "hw/HWSettings.h"

namespace veltra::test {

size_t ChangeRecorder::Count(uint32_t bits) const {
  return static_cast<size_t>(std::count_if(
      masks.begin(), masks.end(), [bits](uint32_t mask) { return (mask & bits) == bits; }));
}

sim::DeviceConfig DriverTest::Instant() {
  sim::DeviceConfig config;
  config.instant = true;
  return config;
}

std::shared_ptr<sim::SimulatedProbe> DriverTest::PlugProbe(sim::DeviceConfig config) {
  auto probe = sim::Plug(config);
  probes_.push_back(probe);
  return probe;
}

ComPtr<TDriverTriggerHW> DriverTest::Open(const sim::SimulatedProbe& probe) {
  try {
    return MakeObject<TDriverTriggerHW>(probe.Path());
  } catch (const std::exception& error) {
    ADD_FAILURE() << "the instrument did not open: " << error.what();
    return nullptr;
  }
}

ComPtr<TDriverTriggerChannel> DriverTest::Channel(TDriverTriggerHW& hw, int32_t index) {
  const ComPtr<TCustomChannel> channel = hw.ChannelObject(index);
  return ComPtr<TDriverTriggerChannel>(static_cast<TDriverTriggerChannel*>(channel.Get()));
}

void DriverTest::PrepareBlockRecord(TDriverTriggerHW& hw, int64_t length) {
  TInstrumentSettings& next = hw.NextSettings();
  EXPECT_EQ(next.SetMode(2), S_OK);
  EXPECT_EQ(next.SetResolution(12), S_OK);
  EXPECT_EQ(next.SetSampleFrequency(1e6), S_OK);
  EXPECT_EQ(next.SetDataSize(length), S_OK);
  for (int32_t index = 0; index < hw.GetChannelCount(); ++index) {
    TChannelSettings& channel = Channel(hw, index)->NextSettings();
    EXPECT_EQ(channel.SetAutoRanging(0), S_OK);
    EXPECT_EQ(channel.SetCoupling(1), S_OK);
    EXPECT_EQ(channel.SetRange(2.0), S_OK);
  }
}

bool DriverTest::Measure(TDriverTriggerHW& hw) {
  ChangeRecorder cur(hw.CurSettings());
  if (hw.Start(1) != S_OK) return false;
  return PumpUntil([&] { return cur.Count(HW_MREADY) > 0; });
}

void DriverTest::TearDown() {
  for (const auto& probe : probes_) probe->Unplug();
  probes_.clear();
  // No event thread of a test outlives it.
  EXPECT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
}

}  // namespace veltra::test
