// The channel base: its place in the instrument, names, the source's unit and span following the
// settings, the probe gain, and which sinks it accepts.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "MemoryHW.h"
#include "framework/Dialogs.h"
#include "hw/HWEncoding.h"

namespace veltra::test {
namespace {

ComPtr<TMemoryHW> MakeHW(int32_t channels = 1) {
  TMemoryConfig config;
  config.channels = channels;
  return MakeObject<TMemoryHW>(config);
}

TCustomChannel& ChannelOf(TMemoryHW& hw, int32_t index) { return *hw.Channel(index).Get(); }

TEST(Channel, InsertingInFrontRenumbersTheChannelsBehind) {
  ComPtr<TMemoryHW> hw = MakeHW(2);
  const ComPtr<TCustomChannel> formerFirst = hw->Channel(0);
  const ComPtr<TCustomChannel> formerSecond = hw->Channel(1);
  const ComPtr<TMemoryChannel> inserted = MakeObject<TMemoryChannel>(hw.Get(), 0, DT_ARRAY_DOUBLE);
  ASSERT_EQ(hw->GetChannelCount(), 3);
  EXPECT_EQ(hw->Channel(0).Get(), inserted.Get());
  EXPECT_EQ(formerFirst->GetIndex(), 1);
  EXPECT_EQ(formerFirst->GetNumber(), 2);
  EXPECT_EQ(formerSecond->GetIndex(), 2);
  EXPECT_EQ(formerSecond->GetNumber(), 3);
  // Its settings now reach the device as channel 1.
  EXPECT_EQ(formerFirst->NextSettings().SetCoupling(8), S_OK);
  EXPECT_EQ(hw->Table(TSet::kNext, 1).Value(HW_COUPLING), 8);
  // A channel made after the defaults initialises itself.
  EXPECT_EQ(hw->Table(TSet::kNext, 0).Value(HW_COUPLING), 1);
}

// What a channel's settings cached came from its old place on the device: after a move they
// read the new one, and the source's unit and span follow it.
TEST(Channel, AMovedChannelForgetsWhatItCachedUnderItsOldIndex) {
  ComPtr<TMemoryHW> hw = MakeHW(1);
  const ComPtr<TCustomChannel> moved = hw->Channel(0);
  hw->Put(TSet::kNext, 0, HW_COUPLING, 4);
  hw->Put(TSet::kCur, 0, HW_COUPLING, 4);
  EXPECT_EQ(moved->NextSettings().GetCoupling(), 4);  // cached now
  EXPECT_EQ(moved->GetUnit(), "A");
  IChannelTriggerSettings& trigger = Must(Must(Query<IChannelTrigger>(moved)).GetCurSettings());
  hw->Put(TSet::kTriggerCur, 0, TR_LEVEL, FractionToValue(0.25));
  EXPECT_EQ(trigger.GetLevel(), 0.25);
  hw->Table(TSet::kNext, 1).values[HW_COUPLING] = 8;  // the device's second channel
  hw->Table(TSet::kCur, 1).values[HW_COUPLING] = 16;
  hw->Table(TSet::kTriggerCur, 1).values[TR_LEVEL] = FractionToValue(0.75);
  MakeObject<TMemoryChannel>(hw.Get(), 0, DT_ARRAY_DOUBLE);
  ASSERT_EQ(moved->GetIndex(), 1);
  EXPECT_EQ(moved->NextSettings().GetCoupling(), 8);
  EXPECT_EQ(moved->CurSettings().GetCoupling(), 16);
  EXPECT_EQ(moved->GetUnit(), "\xCE\xA9");
  EXPECT_EQ(trigger.GetLevel(), 0.75);
}

// A listener that makes a channel while the channels behind an inserted one are renumbered.
struct InsertOnChange {
  TMemoryHW* hw = nullptr;
  int32_t inserts = 1;
  void OnChange(IInterface*, uint32_t) {
    if (inserts-- > 0) MakeObject<TMemoryChannel>(hw, 0, DT_ARRAY_DOUBLE);
  }
};

TEST(Channel, RenumberingHoldsWhenAListenerInsertsAChannelMeanwhile) {
  ComPtr<TMemoryHW> hw = MakeHW(2);
  InsertOnChange listener{hw.Get()};
  hw->Channel(0)->NextSettings().AddChangeNotify(
      TSettingsChangeEvent::Bind<&InsertOnChange::OnChange>(&listener));
  MakeObject<TMemoryChannel>(hw.Get(), 0, DT_ARRAY_DOUBLE);
  ASSERT_EQ(hw->GetChannelCount(), 4);
  for (int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(hw->Channel(i)->GetIndex(), i);
    EXPECT_EQ(hw->Channel(i)->GetNumber(), i + 1);
  }
}

TEST(Channel, NeedsItsInstrument) {
  EXPECT_THROW(MakeObject<TMemoryChannel>(static_cast<TMemoryHW*>(nullptr), 0, DT_ARRAY_DOUBLE),
               std::invalid_argument);
}

TEST(Channel, AnIndexBeyondTheListAppends) {
  ComPtr<TMemoryHW> hw = MakeHW(1);
  const ComPtr<TMemoryChannel> added = MakeObject<TMemoryChannel>(hw.Get(), 7, DT_ARRAY_DOUBLE);
  EXPECT_EQ(added->GetIndex(), 1);
  EXPECT_EQ(added->GetNumber(), 2);
}

TEST(Channel, DisplayNamesPadTheNumberForMoreThanNineChannels) {
  ComPtr<TMemoryHW> twelve = MakeHW(12);
  twelve->Info().serialNumber = 27001;
  TCustomChannel& third = ChannelOf(*twelve, 2);
  EXPECT_EQ(third.GetDisplayName(TCustomChannel::kDisplayNoInstrument), "Channel03");
  EXPECT_EQ(ChannelOf(*twelve, 11).GetDisplayName(TCustomChannel::kDisplayNoInstrument),
            "Channel12");
  EXPECT_EQ(third.GetDisplayName(0), "Instrument(27001).Channel03");
  EXPECT_EQ(third.GetDisplayName(kDisplayShortName), "Instr(27001).Ch03");
  EXPECT_EQ(third.GetDisplayName(kDisplayNoNumber), "Instrument.Channel");

  ComPtr<TMemoryHW> four = MakeHW(4);
  EXPECT_EQ(ChannelOf(*four, 2).GetDisplayName(TCustomChannel::kDisplayNoInstrument), "Channel3");
}

TEST(Channel, UnitAndSpanFollowCouplingRangeAndGain) {
  ComPtr<TMemoryHW> hw = MakeHW();
  TCustomChannel& channel = ChannelOf(*hw, 0);
  hw->Put(TSet::kCur, 0, HW_RANGE, RangeToValue(2.0));
  channel.SetGain(10.0);  // scales the ordinary inputs from the next settings change on
  const struct {
    int64_t coupling;
    const char* unit;
    double low, high;
  } cases[] = {
      {1, "V", -20.0, 20.0}, {2, "V", -20.0, 20.0},      {4, "A", -2.0, 2.0},
      {8, "A", -2.0, 2.0},   {16, "\xCE\xA9", 0.0, 2.0}, {3, "", -20.0, 20.0},
  };
  for (const auto& c : cases) {
    hw->Put(TSet::kCur, 0, HW_COUPLING, c.coupling);
    EXPECT_EQ(channel.GetUnit(), c.unit) << c.coupling;
    EXPECT_EQ(channel.GetSpanLow(), c.low) << c.coupling;
    EXPECT_EQ(channel.GetSpanHigh(), c.high) << c.coupling;
  }
  // A locked unit stays.
  channel.SetUnit("mV", true);
  channel.SetUnitLocked(true);
  hw->Put(TSet::kCur, 0, HW_COUPLING, 1);
  EXPECT_EQ(channel.GetUnit(), "mV");
}

struct GainListener {
  std::vector<double> gains;
  void OnGain(IInterface* sender) {
    const ComPtr<IProbeGain> gain = Query<IProbeGain>(sender);
    gains.push_back(gain ? gain->GetGain() : -1.0);
  }
  TGainNotify Handler() { return TGainNotify::Bind<&GainListener::OnGain>(this); }
};

TEST(Channel, GainChangesCheckTheirActionAndTellTheListenersNewestFirst) {
  ComPtr<TMemoryHW> hw = MakeHW();
  TCustomChannel& channel = ChannelOf(*hw, 0);
  const ComPtr<IProbeGain> gain = Query<IProbeGain>(hw->GetChannel(0));
  ASSERT_TRUE(gain);
  GainListener first, second;
  gain->AddGainNotify(first.Handler());
  gain->AddGainNotify(second.Handler());
  std::vector<std::string> order;
  struct Order {
    std::vector<std::string>* log;
    std::string name;
    void OnGain(IInterface*) { log->push_back(name); }
  } a{&order, "a"}, b{&order, "b"};
  gain->AddGainNotify(TGainNotify::Bind<&Order::OnGain>(&a));
  gain->AddGainNotify(TGainNotify::Bind<&Order::OnGain>(&b));

  EXPECT_TRUE(channel.GainActions()[0].checked);  // 1 x
  gain->SetGain(1.0);                             // the gain it has: nothing happens
  EXPECT_TRUE(first.gains.empty());
  gain->SetGain(100.0);
  EXPECT_EQ(first.gains, std::vector<double>{100.0});
  EXPECT_EQ(order, (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(channel.PreviousGain(), 1.0);
  EXPECT_TRUE(channel.GainActions()[3].checked);
  EXPECT_EQ(channel.GainActions()[3].caption, "100 x");
  EXPECT_FALSE(channel.GainActions()[0].checked);
  EXPECT_FALSE(channel.CustomGainAction().checked);

  gain->SetGain(2.5);  // no factor of the table
  EXPECT_TRUE(channel.CustomGainAction().checked);
  for (const TAction& action : channel.GainActions()) EXPECT_FALSE(action.checked);

  gain->RemoveGainNotify(first.Handler());
  channel.SelectGainAction(1);  // the user picks 10 x
  EXPECT_EQ(gain->GetGain(), 10.0);
  EXPECT_EQ(first.gains.size(), 2u);
  EXPECT_EQ(second.gains, (std::vector<double>{100.0, 2.5, 10.0}));
}

// A gain of 0 would wipe the samples a channel rescales by gain / previous gain, and NaN never
// equals itself: neither is a gain, nor is an infinite one. A negative gain inverts and stays.
TEST(Channel, GainsThatAreZeroOrNotFiniteAreRefused) {
  ComPtr<TMemoryHW> hw = MakeHW();
  TCustomChannel& channel = ChannelOf(*hw, 0);
  channel.SetGain(10.0);
  GainListener listener;
  channel.AddGainNotify(listener.Handler());
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  for (const double gain : {0.0, -0.0, std::nan(""), kInfinity, -kInfinity}) {
    SCOPED_TRACE(gain);
    channel.SetGain(gain);
    EXPECT_EQ(channel.GetGain(), 10.0);
    EXPECT_EQ(channel.PreviousGain(), 1.0);
    EXPECT_TRUE(channel.GainActions()[1].checked);
  }
  EXPECT_TRUE(listener.gains.empty());
  channel.SetGain(-10.0);
  EXPECT_EQ(listener.gains, std::vector<double>{-10.0});
}

TEST(Channel, TheCustomGainComesFromTheTextDialog) {
  ComPtr<TMemoryHW> hw = MakeHW();
  TCustomChannel& channel = ChannelOf(*hw, 0);
  std::string answer = "4k7";
  TDialogHooks hooks;
  hooks.editText = [&](const std::string&, std::string& text) {
    text = answer;
    return true;
  };
  const TDialogHooks previous = SetDialogHooks(hooks);
  channel.SelectGainAction(TCustomChannel::kCustomGainTag);
  EXPECT_EQ(channel.GetGain(), 4700.0);
  answer = "not a gain";
  channel.SelectGainAction(TCustomChannel::kCustomGainTag);
  EXPECT_EQ(channel.GetGain(), 4700.0);
  SetDialogHooks(previous);
  channel.SelectGainAction(TCustomChannel::kCustomGainTag);  // cancelled
  EXPECT_EQ(channel.GetGain(), 4700.0);
}

// A sink that takes every source.
class TTestSink : public TOwnInterfacedObject, public ISink {
 public:
  int32_t ConnectSource(ISource*) override { return 0; }
  int32_t DisconnectSource(ISource*) override { return 0; }
  void BeginUpdate(bool) override {}
  void EndUpdate() override {}

 protected:
  bool GetInterface(const Guid& iid, void** object) override {
    return Answer<ISink>(this, iid, object) || TOwnInterfacedObject::GetInterface(iid, object);
  }
};

TEST(Channel, SinksConnectWhileTheChannelIsOnOrCanBeSwitchedOn) {
  ComPtr<TMemoryHW> hw = MakeHW();
  TCustomChannel& channel = ChannelOf(*hw, 0);
  const ComPtr<TTestSink> sink = MakeObject<TTestSink>();
  hw->Put(TSet::kNext, 0, HW_ENABLE, 0);
  hw->Table(TSet::kNext, 0).writable = ~int64_t{HW_ENABLE};
  hw->Report(TSet::kNext, 0, HW_SUPPORTSSET);
  EXPECT_EQ(channel.ConnectSink(sink.Get()), kConnectRefused);
  hw->Table(TSet::kNext, 0).writable = -1;
  hw->Report(TSet::kNext, 0, HW_SUPPORTSSET);
  EXPECT_EQ(channel.ConnectSink(sink.Get()), kConnectDone);  // it can be switched on
  channel.DisconnectAllSinks();
  hw->Table(TSet::kNext, 0).writable = ~int64_t{HW_ENABLE};
  hw->Put(TSet::kNext, 0, HW_ENABLE, -1);
  hw->Report(TSet::kNext, 0, HW_SUPPORTSSET);
  EXPECT_EQ(channel.ConnectSink(sink.Get()), kConnectDone);  // it is on
  channel.DisconnectAllSinks();
}

TEST(Channel, IsNeitherDeletableNorDuplicable) {
  ComPtr<TMemoryHW> hw = MakeHW();
  TCustomChannel& channel = ChannelOf(*hw, 0);
  EXPECT_FALSE(channel.PublishedItems().Find("Delete"));
  EXPECT_FALSE(channel.PublishedItems().Find("Duplicate"));
  EXPECT_TRUE(channel.PublishedItems().Find("DisconnectAllSinks"));
  EXPECT_NE(channel.OfferedActions() & kOfferProbeGain, 0u);
  EXPECT_FALSE(channel.FixedSpanAction().enabled);
}

TEST(Channel, ColourComesFromThePoolUntilOneIsSet) {
  ComPtr<TMemoryHW> hw = MakeHW(7);
  EXPECT_EQ(ChannelOf(*hw, 0).GetColour(), 0xFF00);
  EXPECT_EQ(ChannelOf(*hw, 2).GetColour(), 0xFF8000);
  EXPECT_EQ(ChannelOf(*hw, 6).GetColour(), 0xFF00);  // round robin
  ChannelOf(*hw, 2).SetColour(0x123456);
  EXPECT_EQ(ChannelOf(*hw, 2).GetColour(), 0x123456);
}

}  // namespace
}  // namespace veltra::test
