// The trigger model: the typed trigger settings, the triggers of instrument and channel and where
// their values go, defaults, and the channel's pre-samples.

#include <gtest/gtest.h>

#include <vector>

#include "MemoryHW.h"
#include "framework/EventSinks.h"
#include "hw/HWEncoding.h"

namespace veltra::test {
namespace {

ComPtr<TMemoryHW> MakeHW(int32_t channels = 1, int32_t triggerChannels = -1) {
  TMemoryConfig config;
  config.channels = channels;
  config.triggerChannels = triggerChannels;
  return MakeObject<TMemoryHW>(config);
}

constexpr int64_t kOne = int64_t{1} << 52;  // the fraction 1.0

TEST(Trigger, FractionsAreClampedToZeroOneWhenWritten) {
  ComPtr<TMemoryHW> hw = MakeHW();
  IInstrumentTriggerSettings& instrument =
      Must(Must(Query<IInstrumentTrigger>(hw)).GetCurSettings());
  IChannelTriggerSettings& channel =
      Must(Must(Query<IChannelTrigger>(hw->GetChannel(0))).GetCurSettings());
  const struct {
    double written;
    int64_t stored;
  } cases[] = {{1.5, kOne}, {-0.2, 0}, {0.25, kOne / 4}, {1.0, kOne}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_EQ(instrument.SetPreSamples(c.written), S_OK);
    EXPECT_EQ(hw->Table(TSet::kTriggerCur).Value(TR_PRESAMPLES), c.stored);
    EXPECT_EQ(channel.SetLevel(c.written), S_OK);
    EXPECT_EQ(hw->Table(TSet::kTriggerCur, 0).Value(TR_LEVEL), c.stored);
    EXPECT_EQ(channel.SetHysteresis(c.written), S_OK);
    EXPECT_EQ(hw->Table(TSet::kTriggerCur, 0).Value(TR_HYSTERESIS), c.stored);
  }
  EXPECT_EQ(instrument.GetPreSamples(), 1.0);
  EXPECT_EQ(channel.GetLevel(), 1.0);
}

TEST(Trigger, TypedAccessorsConvertTheirValues) {
  ComPtr<TMemoryHW> hw = MakeHW();
  IInstrumentTriggerSettings& instrument =
      Must(Must(Query<IInstrumentTrigger>(hw)).GetNextSettings());
  IChannelTriggerSettings& channel =
      Must(Must(Query<IChannelTrigger>(hw->GetChannel(0))).GetNextSettings());
  EXPECT_EQ(instrument.SetTimeOut(-1.0), S_OK);  // for ever
  EXPECT_EQ(hw->Table(TSet::kTriggerNext).Value(TR_TIMEOUT), -(int64_t{1} << 32));
  EXPECT_EQ(instrument.GetTimeOut(), -1.0);
  EXPECT_EQ(instrument.SetResolution(-3), S_OK);
  EXPECT_EQ(instrument.GetResolution(), -3);
  EXPECT_EQ(channel.SetKind(0x80000000u), S_OK);
  EXPECT_EQ(hw->Table(TSet::kTriggerNext, 0).Value(TR_KIND), 0x80000000LL);  // zero-extended
  EXPECT_EQ(channel.SetUsed(true), S_OK);
  EXPECT_EQ(hw->Table(TSet::kTriggerNext, 0).Value(TR_USED), 1);
  EXPECT_EQ(channel.SetPulseTime(0.5), S_OK);
  EXPECT_EQ(hw->Table(TSet::kTriggerNext, 0).Value(TR_PULSETIME), int64_t{1} << 39);
  hw->Put(TSet::kTriggerNext, 0, TR_USED, 7);
  EXPECT_TRUE(channel.GetUsed());
  EXPECT_EQ(instrument.SetTriggerWord(-5), S_OK);
  EXPECT_EQ(hw->Table(TSet::kTriggerNext).Value(TR_TRIGGER), -5);
}

TEST(Trigger, DefaultsOfAFirstClient) {
  ComPtr<TMemoryHW> hw = MakeHW();
  const TMemoryTable& next = hw->Table(TSet::kTriggerNext);
  EXPECT_EQ(next.Value(TR_TIMEOUT), TimeOutToValue(0.1));
  EXPECT_EQ(next.Value(TR_SOURCEOR), 1);
  EXPECT_EQ(next.Value(TR_SOURCEAND), 0);
  EXPECT_EQ(next.writes.size(), 3u);
  EXPECT_TRUE(hw->Table(TSet::kTriggerCur).writes.empty());
}

TEST(Trigger, TheTriggersArePartsOfTheirOwners) {
  ComPtr<TMemoryHW> hw = MakeHW(2, 1);
  const ComPtr<ITrigger> trigger = Query<ITrigger>(hw);
  ASSERT_TRUE(trigger);
  EXPECT_EQ(Must(trigger).GetCur().Get(), static_cast<ISettings*>(&hw->Trigger().Cur()));
  EXPECT_FALSE(trigger->GetCurNext(2));
  EXPECT_TRUE(SameObject(Query<IInstrumentTrigger>(hw).Get(), trigger.Get()));
  EXPECT_TRUE(Query<IChannelTrigger>(hw->GetChannel(0)));
  EXPECT_FALSE(Query<IChannelTrigger>(hw->GetChannel(1)));  // a channel without trigger

  // A reference to a trigger's settings keeps the instrument alive.
  const ComPtr<IInstrumentTriggerSettings> settings =
      Must(Query<IInstrumentTrigger>(hw)).GetNextSettings();
  IInstrument* const raw = hw.Get();
  const uint32_t before = raw->AddRef();
  raw->Release();
  hw = nullptr;
  EXPECT_EQ(settings->GetSourceOR(), 1);
  EXPECT_EQ(raw->AddRef(), before - 1);
  raw->Release();
}

TEST(Trigger, TheRawTriggerWordIsNeverCached) {
  ComPtr<TMemoryHW> hw = MakeHW();
  ISettings& cur = hw->Trigger().Cur();
  TMemoryTable& table = hw->Table(TSet::kTriggerCur);
  int64_t value = 0;
  cur.GetValue(TR_TRIGGER, value);
  cur.GetValue(TR_TRIGGER, value);
  cur.GetValue(TR_LEVEL, value);
  cur.GetValue(TR_LEVEL, value);
  EXPECT_EQ(table.reads[TR_TRIGGER], 2);
  EXPECT_EQ(table.reads[TR_LEVEL], 1);
}

// Collects the change masks a source reports.
struct ChangeLog {
  std::vector<uint32_t> masks;
  void OnChanged(IInterface*, uint32_t mask) { masks.push_back(mask); }
};

TEST(Trigger, AChannelsPreSamplesFollowItsCurrentTrigger) {
  ComPtr<TMemoryHW> hw = MakeHW();
  const ComPtr<TCustomChannel> channel = hw->Channel(0);
  channel->SetCount(1000);
  ChangeLog log;
  SinkPtr<TSourceEventsSingleSink> sink = MakeSink<TSourceEventsSingleSink>(
      TSourceEventsSingleSink::TBeginsHandler{},
      TSourceEventsSingleSink::TChangedHandler::Bind<&ChangeLog::OnChanged>(&log));
  sink->Connect(static_cast<IChannel*>(channel.Get()));
  hw->Put(TSet::kTriggerCur, 0, TR_PRESAMPLES, FractionToValue(0.25));
  EXPECT_EQ(channel->GetPreSamples(), 250);
  ASSERT_FALSE(log.masks.empty());
  EXPECT_EQ(log.masks.back(), kChangePreSamples);
  log.masks.clear();
  hw->Put(TSet::kTriggerCur, 0, TR_LEVEL, 0);
  EXPECT_TRUE(log.masks.empty());  // other trigger settings are no change of the source
  sink->Disconnect();
}

}  // namespace
}  // namespace veltra::test
