// The instrument base: the accessor gate, defaults, identity, caching through the instrument's
// settings, the channel list and the start time.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryHW.h"
#include "hw/HWEncoding.h"
#include "hw/HWRoutines.h"

namespace veltra::test {
namespace {

constexpr double kSecondsPerDay = 86400.0;

ComPtr<TMemoryHW> MakeHW(int32_t channels = 1, std::function<void(TMemoryDevice&)> prepare = {}) {
  TMemoryConfig config;
  config.channels = channels;
  config.prepare = std::move(prepare);
  return MakeObject<TMemoryHW>(config);
}

TEST(Instrument, AccessGateLetsOnlyKnownChannelsOfALiveInstrumentThrough) {
  ComPtr<TMemoryHW> hw = MakeHW(2);
  using Getter = HResult (TCustomTriggerHW::*)(uint32_t, int32_t, int64_t&);
  const struct {
    const char* name;
    Getter get;
    HResult insideAnswer;  // what a valid channel gets: the memory device or the bare gate
  } getters[] = {
      {"GetCurValue", &TCustomHW::GetCurValue, S_OK},
      {"GetNextValue", &TCustomHW::GetNextValue, S_OK},
      {"GetCurAuxValue", &TCustomHW::GetCurAuxValue, E_NOTIMPL},
      {"GetNextAuxValue", &TCustomHW::GetNextAuxValue, E_NOTIMPL},
      {"GetCurTriggerValue", &TCustomTriggerHW::GetCurTriggerValue, S_OK},
      {"GetNextTriggerValue", &TCustomTriggerHW::GetNextTriggerValue, S_OK},
  };
  for (const auto& g : getters) {
    SCOPED_TRACE(g.name);
    for (const auto& [channel, expected] : std::vector<std::pair<int32_t, HResult>>{
             {-2, E_INVALIDARG}, {-1, g.insideAnswer}, {1, g.insideAnswer}, {2, E_INVALIDARG}}) {
      int64_t value = 77;
      EXPECT_EQ((hw.Get()->*g.get)(HW_DATASIZE, channel, value), expected) << channel;
      if (expected != S_OK) {
        EXPECT_EQ(value, expected == E_NOTIMPL ? 77 : 0) << channel;
      }
    }
  }
  EXPECT_EQ(hw->SetNextValue(HW_DATASIZE, 2, 1), E_INVALIDARG);
  EXPECT_EQ(hw->SetCurAuxValue(HW_DATASIZE, -2, 1), E_INVALIDARG);
  EXPECT_EQ(hw->SetNextTriggerValue(TR_LEVEL, -2, 1), E_INVALIDARG);
  EXPECT_TRUE(hw->Table(TSet::kNext, 2).writes.empty());  // a refused call never reached it
}

// What the instrument answers while it is being destroyed, seen by a hide listener.
struct DyingAnswers {
  TMemoryHW* hw = nullptr;
  std::vector<HResult> results;
  int64_t value = 77;

  void OnHide(IInterface*) {
    results.push_back(hw->GetCurValue(HW_DATASIZE, -1, value));
    results.push_back(hw->SetNextValue(HW_DATASIZE, 0, 1));
    results.push_back(hw->GetNextTriggerValue(TR_LEVEL, 0, value));
  }
};

TEST(Instrument, AccessorsAnswerAccessDeniedOnceDestructionBegan) {
  ComPtr<TMemoryHW> hw = MakeHW();
  DyingAnswers dying;
  dying.hw = hw.Get();
  hw->AddHideNotify(TNotifyHide::Bind<&DyingAnswers::OnHide>(&dying));
  hw = nullptr;
  EXPECT_EQ(dying.results, (std::vector<HResult>{E_ACCESSDENIED, E_ACCESSDENIED, E_ACCESSDENIED}));
  EXPECT_EQ(dying.value, 0);
}

TEST(Instrument, DefaultsGoToNextOnlyForTheFirstClient) {
  const int64_t maximum = FrequencyToValue(1e8);
  ComPtr<TMemoryHW> first = MakeHW(1, [&](TMemoryDevice& d) {
    d.frequencies = {maximum, FrequencyToValue(5e7)};
    d.ranges[0] = {RangeToValue(0.2), RangeToValue(2.0), RangeToValue(20.0)};
  });
  const TMemoryTable& next = first->Table(TSet::kNext);
  EXPECT_EQ(next.Value(HW_SAMPLEFREQUENCY), maximum);
  EXPECT_EQ(next.Value(HW_DATASIZE), TCustomHW::kDefaultRecordLength);
  const TMemoryTable& channel = first->Table(TSet::kNext, 0);
  EXPECT_EQ(channel.Value(HW_RANGE), RangeToValue(20.0));  // the largest, last in the list
  EXPECT_EQ(channel.Value(HW_AUTORANGING), -1);
  EXPECT_EQ(channel.Value(HW_COUPLING), 1);
  EXPECT_TRUE(first->DefaultsApplied());

  ComPtr<TMemoryHW> second = MakeHW(1, [](TMemoryDevice& d) { d.openCount = 2; });
  EXPECT_TRUE(second->Table(TSet::kNext).writes.empty());
  EXPECT_TRUE(second->Table(TSet::kNext, 0).writes.empty());
  EXPECT_TRUE(second->Table(TSet::kTriggerNext).writes.empty());
}

TEST(Instrument, AnEmptyFrequencyListGivesOnlyTheRecordLength) {
  ComPtr<TMemoryHW> hw = MakeHW();
  const auto& writes = hw->Table(TSet::kNext).writes;
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0], (std::pair<uint32_t, int64_t>{HW_DATASIZE, 5000}));
}

// A list whose count the device reports but whose entries it will not read gives no value to
// write: the defaults leave that setting alone rather than write 0.
TEST(Instrument, DefaultsWriteNoListEntryTheDeviceWouldNotRead) {
  ComPtr<TMemoryHW> hw = MakeHW(1, [](TMemoryDevice& d) {
    d.frequencies = {FrequencyToValue(1e8)};
    d.ranges[0] = {RangeToValue(2.0)};
    d.Refuse(TSet::kNext, -1, HW_SAMPLEFREQUENCIES, E_INVALIDARG);
    d.Refuse(TSet::kNext, 0, HW_RANGES, E_INVALIDARG);
  });
  EXPECT_TRUE(hw->Table(TSet::kNext).WritesOf(HW_SAMPLEFREQUENCY).empty());
  EXPECT_EQ(hw->Table(TSet::kNext).Value(HW_DATASIZE), 5000);
  EXPECT_TRUE(hw->Table(TSet::kNext, 0).WritesOf(HW_RANGE).empty());
  EXPECT_EQ(hw->Table(TSet::kNext, 0).Value(HW_COUPLING), 1);
}

TEST(Instrument, SerialNumberNeedsAClearStatusWord) {
  ComPtr<TMemoryHW> hw = MakeHW();
  hw->Info().serialNumber = 27001;
  EXPECT_EQ(hw->GetSerialNumber(), 27001u);
  EXPECT_EQ(hw->GetNumber(), 27001);
  EXPECT_EQ(hw->GetDisplayName(0), "Instrument(27001)");
  EXPECT_EQ(hw->GetDisplayName(kDisplayShortName), "Instr(27001)");
  EXPECT_EQ(hw->GetDisplayName(kDisplayNoNumber), "Instrument");
  hw->Info().status = 1;
  EXPECT_EQ(hw->GetSerialNumber(), 0u);
  EXPECT_EQ(hw->GetNumber(), 0);
  EXPECT_EQ(hw->GetDisplayName(0), "Instrument(0)");
}

TEST(Instrument, DefaultInformationAndIdentity) {
  ComPtr<TMemoryHW> hw = MakeHW();
  DeviceInfoRecord record;
  hw->GetInfoRecord(record);
  EXPECT_EQ(record.size, 676u);
  EXPECT_EQ(record.id, TCustomHW::kClassID);
  EXPECT_EQ(hw->GetInstrumentType(), 0u);
  EXPECT_EQ(hw->GetCalibrationDate(), 0.0);
  EXPECT_EQ(hw->GetStartTime(), 0.0);
  std::array<uint8_t, 8> version;
  version.fill(9);
  hw->GetDriverVersion(version);
  EXPECT_EQ(version, (std::array<uint8_t, 8>{}));
  EXPECT_EQ(hw->GetClassID().ToString(), "{97A833CD-9A43-451B-8AEF-A15DE5606AF0}");
}

TEST(Instrument, CachedValuesGoToTheDeviceAgainAfterAChange) {
  ComPtr<TMemoryHW> hw = MakeHW();
  IInstrumentSettings& next = Must(hw->GetNextSettings());
  TMemoryTable& table = hw->Table(TSet::kNext);
  table.reads.clear();
  EXPECT_EQ(next.GetDataSize(), 5000);
  EXPECT_EQ(next.GetDataSize(), 5000);
  EXPECT_EQ(table.reads[HW_DATASIZE], 1);
  hw->Put(TSet::kNext, -1, HW_DATASIZE, 1000);  // the device reports a new value
  EXPECT_EQ(next.GetDataSize(), 1000);
  EXPECT_EQ(table.reads[HW_DATASIZE], 2);
  EXPECT_EQ(next.SetDataSize(2000), S_OK);  // a write is reported by the device too
  EXPECT_EQ(next.GetDataSize(), 2000);

  next.GetResolution();
  next.GetResolution();
  EXPECT_EQ(table.reads[HW_RESOLUTION], 2);  // not cached at all
  int64_t range = -1;
  IChannelSettings& channel = Must(Must(hw->GetChannel(0)).GetNextSettings());
  TMemoryTable& channelTable = hw->Table(TSet::kNext, 0);
  channelTable.reads.clear();
  channel.GetValue(HW_RANGE, range);
  range = -1;
  channel.GetValue(HW_RANGE, range);
  EXPECT_EQ(channelTable.reads[HW_RANGE], 1);  // the index cache
}

TEST(Instrument, StartAndStopWriteTheirIdentifiers) {
  ComPtr<TMemoryHW> hw = MakeHW();
  hw->measureOnStart = false;
  EXPECT_EQ(hw->Start(1), S_OK);
  EXPECT_EQ(hw->Stop(0), S_OK);
  EXPECT_EQ(hw->Table(TSet::kNext).WritesOf(HW_START), std::vector<int64_t>{1});
  EXPECT_EQ(hw->Table(TSet::kCur).WritesOf(HW_STOP), std::vector<int64_t>{0});
}

TEST(Instrument, ChannelsByIndexAndTheirSettingsByChannel) {
  ComPtr<TMemoryHW> hw = MakeHW(2);
  EXPECT_EQ(hw->GetChannelCount(), 2);
  EXPECT_EQ(hw->GetSourceCount(), 2);
  EXPECT_FALSE(hw->GetChannel(-1));
  EXPECT_FALSE(hw->GetChannel(2));
  ComPtr<IChannel> second = hw->GetChannel(1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->GetIndex(), 1);
  EXPECT_TRUE(SameObject(second->GetInstrument().Get(), static_cast<IInstrument*>(hw.Get())));
  EXPECT_EQ(Must(second->GetNextSettings()).SetCoupling(4), S_OK);
  EXPECT_EQ(hw->Table(TSet::kNext, 1).Value(HW_COUPLING), 4);
  EXPECT_EQ(hw->Table(TSet::kNext, 0).Value(HW_COUPLING), 1);
  // The chunk header's info words carry the channel number.
  hw->Table(TSet::kCur, 1).readable = 0x1234;
  EXPECT_EQ(Must(second->GetCurSettings()).GetInfo0(), 0x1234);
}

struct HideLog {
  std::vector<std::string> order;
  void OnHide(IInterface* sender) {
    order.push_back(std::to_string(Must(Query<IChannel>(sender)).GetIndex()));
  }
};

TEST(Instrument, HidingHidesTheChannelsLastFirst) {
  ComPtr<TMemoryHW> hw = MakeHW(3);
  HideLog log;
  for (int32_t i = 0; i < 3; ++i) {
    Must(Query<IHideNotify>(hw->GetChannel(i)))
        .AddHideNotify(TNotifyHide::Bind<&HideLog::OnHide>(&log));
  }
  hw->Hide();
  EXPECT_EQ(log.order, (std::vector<std::string>{"2", "1", "0"}));
}

TEST(Instrument, AChannelOutlivingItsInstrumentAnswersWithoutIt) {
  ComPtr<TMemoryHW> hw = MakeHW();
  ComPtr<IChannel> channel = hw->GetChannel(0);
  hw = nullptr;
  EXPECT_FALSE(channel->GetInstrument());
  int64_t value = 5;
  EXPECT_EQ(Must(channel->GetNext()).GetValue(HW_SUPPORTSGET, value),
            E_ACCESSDENIED);  // not cached
  EXPECT_EQ(value, 0);
  EXPECT_EQ(Must(Must(Query<IChannelTrigger>(channel)).GetCurSettings()).GetLevel(), 0.0);
  EXPECT_EQ(Must(channel->GetNextSettings()).SetCoupling(1), E_ACCESSDENIED);
  EXPECT_EQ(Must(Query<IVTObject>(channel)).GetDisplayName(0), "Channel1");
}

// The start time is the first sample of the last measurement: now minus the record's duration,
// which begins later by the pre-trigger part on an instrument with a trigger.
TEST(Instrument, StartTimeMarksTheBeginningOrTheTriggerOfTheRecord) {
  ComPtr<TMemoryHW> hw = MakeHW();
  hw->Put(TSet::kCur, -1, HW_DATASIZE, 1000);
  hw->Put(TSet::kCur, -1, HW_SAMPLEFREQUENCY, FrequencyToValue(1e6));
  for (const auto& [preSamples, seconds] : {std::pair{0.0, 1e-3}, std::pair{0.25, 750e-6}}) {
    hw->Put(TSet::kTriggerCur, -1, TR_PRESAMPLES, FractionToValue(preSamples));
    const double before = NowDateTime();
    EXPECT_EQ(hw->UpdateStartTime(), 0);
    const double after = NowDateTime();
    const double start = hw->GetStartTime();
    EXPECT_GE(start, before - seconds / kSecondsPerDay - 1e-10) << preSamples;
    EXPECT_LE(start, after - seconds / kSecondsPerDay + 1e-10) << preSamples;
  }
  // Without a sample frequency the record has no duration.
  hw->Put(TSet::kCur, -1, HW_SAMPLEFREQUENCY, 0);
  const double before = NowDateTime();
  hw->UpdateStartTime();
  EXPECT_GE(hw->GetStartTime(), before);
}

}  // namespace
}  // namespace veltra::test
