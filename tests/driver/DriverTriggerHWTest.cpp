// The driver-backed instrument against the simulated probe: opening, settings through the driver,
// measurements, notifications, removal and destruction.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <numeric>
#include <thread>

#include "DriverTestSupport.h"
#include "hw/HWEncoding.h"
#include "hw/HWRoutines.h"

namespace veltra::test {
namespace {

using sim::test::ProtocolClient;

TEST_F(DriverTest, OpensWithTheDriversInformationAndVersions) {
  sim::DeviceConfig config = Instant();
  config.preset = sim::Preset::kDual;
  config.serial = 31415;
  config.calibration = {2023, 7, 1, 12, 30};
  config.driverVersion = 0x0006000200030004;
  config.firmwareVersion = 0x0001000300000007;
  const auto probe = PlugProbe(config);
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);

  EXPECT_EQ(hw->GetName(), "VP-2 USB oscilloscope probe");
  EXPECT_EQ(hw->GetShortName(), "VP-2");
  EXPECT_EQ(hw->GetSerialNumber(), 31415u);
  EXPECT_EQ(hw->GetInstrumentType(), 17u);
  EXPECT_EQ(hw->BitmapName(), "INSTRUMENT_QM8");
  EXPECT_DOUBLE_EQ(hw->GetCalibrationDate(), *PackedStampToDateTime({2023, 7, 1, 12, 30}));
  std::array<uint8_t, 8> version{};
  hw->GetDriverVersion(version);
  EXPECT_EQ(version, (std::array<uint8_t, 8>{4, 0, 3, 0, 2, 0, 6, 0}));
  hw->GetFirmwareVersion(version);
  EXPECT_EQ(version, (std::array<uint8_t, 8>{7, 0, 0, 0, 3, 0, 1, 0}));

  ASSERT_EQ(hw->GetChannelCount(), 2);
  for (int32_t index = 0; index < 2; ++index) {
    const ComPtr<TDriverTriggerChannel> channel = Channel(*hw, index);
    EXPECT_EQ(channel->GetIndex(), index);
    EXPECT_EQ(channel->GetInputKind(), 0u) << "type 17 marks only a third channel";
    EXPECT_EQ(channel->GetDataType(), DT_ARRAY_DOUBLE);
    EXPECT_EQ(channel->GetCount(), 5000) << "the record length of the defaults";
  }
  // This client opened the probe first: the defaults went to the driver.
  EXPECT_EQ(hw->GetOpenCount(), 1);
  ProtocolClient wire(probe->Path());
  EXPECT_EQ(wire.Get(IOCTL_GET_NEXT, HW_DATASIZE, -1), 5000);
  EXPECT_EQ(wire.Get(IOCTL_GET_CONTROL, kControlFrameInterval, -1), 33);
  EXPECT_EQ(wire.Get(IOCTL_GET_CONTROL, kControl32, -1), 1);
  EXPECT_EQ(wire.Get(IOCTL_GET_NEXT, HW_RANGE, 1), RangeToValue(80.0)) << "the largest range";
  EXPECT_EQ(wire.Get(IOCTL_GET_TRIGGER_NEXT, TR_TIMEOUT, -1), TimeOutToValue(0.1));
}

TEST_F(DriverTest, TheOneChannelProbeHasItsOwnBitmapsAndInputKind) {
  const auto probe = PlugProbe();
  // As a device-list item makes it.
  const ComPtr<IInstrument> instrument = Query<IInstrument>(CreateDriverTriggerHW(probe->Path()));
  ASSERT_TRUE(instrument);
  auto* hw = static_cast<TDriverTriggerHW*>(instrument.Get());
  EXPECT_EQ(hw->BitmapName(), "INSTRUMENT_QM1");
  ASSERT_EQ(hw->GetChannelCount(), 1);
  const ComPtr<TDriverTriggerChannel> channel = Channel(*hw, 0);
  EXPECT_EQ(channel->BitmapName(), "CHANNEL_BAN");
  EXPECT_EQ(channel->GetInputKind(), 1u);
  EXPECT_TRUE(channel->GetInputFlag());
}

// Values on the wire, read back by a second client of the probe.
TEST_F(DriverTest, ModeAndClockSourceTravelAsTheDriverCountsThemAndNothingElseDoes) {
  const auto probe = PlugProbe();
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  ProtocolClient wire(probe->Path());
  TInstrumentSettings& next = hw->NextSettings();

  ASSERT_EQ(next.SetMode(2), S_OK);
  EXPECT_EQ(wire.Get(IOCTL_GET_NEXT, HW_MODE, -1), 0);
  EXPECT_EQ(next.GetMode(), 2);
  ASSERT_EQ(next.SetMode(1), S_OK);
  EXPECT_EQ(wire.Get(IOCTL_GET_NEXT, HW_MODE, -1), 1);
  EXPECT_EQ(next.GetMode(), 1);
  ASSERT_EQ(hw->CurSettings().SetClockSource(2), S_OK);
  EXPECT_EQ(wire.Get(IOCTL_GET_CURRENT, HW_CLOCKSOURCE, -1), 0);
  int64_t raw = 0;
  EXPECT_EQ(hw->GetCurValue(HW_CLOCKSOURCE, -1, raw), S_OK);
  EXPECT_EQ(raw, 2);

  // TR_TIMEOUT and control identifier 0x20 share the code 0x20: 2 is 2 there.
  ASSERT_EQ(hw->Trigger().Next().SetValue(TR_TIMEOUT, 2), S_OK);
  EXPECT_EQ(wire.Get(IOCTL_GET_TRIGGER_NEXT, TR_TIMEOUT, -1), 2);
  EXPECT_EQ(ReadValue(hw->Trigger().Next(), TR_TIMEOUT), 2);
  const ComPtr<IControlSettings> control = hw->GetControlSettings();
  ASSERT_EQ(control->SetControl32(2), S_OK);
  EXPECT_EQ(wire.Get(IOCTL_GET_CONTROL, kControl32, -1), 2);
  EXPECT_EQ(control->GetControl32(), 2);
}

// The trigger settings' info words come from the driver's trigger family, which holds the
// instrument trigger's sources and pre-samples and the channel trigger's level.
TEST_F(DriverTest, TriggerSettingsAskTheTriggerFamily) {
  const auto probe = PlugProbe();
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  ProtocolClient wire(probe->Path());
  const auto readable = [&](uint32_t selector) {
    return static_cast<int32_t>(*wire.Supported(selector));
  };
  EXPECT_EQ(hw->Trigger().Cur().GetInfo0(), readable(0x100));
  EXPECT_EQ(hw->Trigger().Next().GetInfo1(), readable(0x111));
  EXPECT_NE(hw->Trigger().Cur().GetInfo0() & (TR_PRESAMPLES | TR_SOURCEOR | TR_SOURCES), 0);
  const ComPtr<TDriverTriggerChannel> channel = Channel(*hw, 0);
  EXPECT_EQ(channel->Trigger().Cur().GetInfo0(), readable(0x10100));
  EXPECT_NE(channel->Trigger().Cur().GetInfo0() & TR_LEVEL, 0);
  EXPECT_EQ(hw->CurSettings().GetInfo0(), readable(0x0));
  EXPECT_EQ(channel->NextSettings().GetInfo1(), readable(0x10011));

  ASSERT_EQ(hw->Trigger().Cur().SetValue(TR_PRESAMPLES, FractionToValue(0.25)), S_OK);
  EXPECT_DOUBLE_EQ(hw->Trigger().CurSettings().GetPreSamples(), 0.25);
}

// The frequency of a sine from its rising zero crossings, with the crossing times interpolated.
double Frequency(std::span<const double> samples, double sampleFrequency) {
  std::vector<double> crossings;
  for (size_t i = 1; i < samples.size(); ++i) {
    if (samples[i - 1] < 0.0 && samples[i] >= 0.0) {
      crossings.push_back(static_cast<double>(i - 1) +
                          samples[i - 1] / (samples[i - 1] - samples[i]));
    }
  }
  if (crossings.size() < 2) return 0.0;
  const double periods = static_cast<double>(crossings.size() - 1);
  return sampleFrequency * periods / (crossings.back() - crossings.front());
}

TEST_F(DriverTest, AMeasurementBringsTheProbesSignalIntoTheChannel) {
  const auto probe = PlugProbe();
  probe->SetSignal(0, sim::WaveSignal(sim::Waveform::kSine, 1250.0, 0.75));
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  PrepareBlockRecord(*hw, 8000);
  ASSERT_TRUE(Measure(*hw));

  const ComPtr<TDriverTriggerChannel> channel = Channel(*hw, 0);
  const std::span<const double> samples = channel->Samples<double>();
  ASSERT_EQ(samples.size(), 8000u);
  const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
  const double step = 4.0 / 4096;  // 12 bits over -2 ... 2 V
  EXPECT_NEAR(*high, 0.75, 2 * step);
  EXPECT_NEAR(*low, -0.75, 2 * step);
  const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / 8000.0;
  EXPECT_NEAR(mean, 0.0, step);
  EXPECT_NEAR(Frequency(samples, 1e6), 1250.0, 1.0);
  EXPECT_EQ(ReadValue(hw->Trigger().Cur(), TR_TRIGGER), 1) << "the record triggered";
  EXPECT_DOUBLE_EQ(hw->CurSettings().GetSampleFrequency(), 1e6);
  EXPECT_NE(hw->GetStartTime(), 0.0);
}

// A voltage input's stored samples follow the probe gain, and the next measurement, converted with
// the new gain, agrees with them.
TEST_F(DriverTest, AGainChangeRescalesTheStoredSamples) {
  const auto probe = PlugProbe();
  probe->SetSignal(0, *sim::ParseSignal("dc:0.5"));
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  PrepareBlockRecord(*hw, 1000);
  ASSERT_TRUE(Measure(*hw));
  const ComPtr<TDriverTriggerChannel> channel = Channel(*hw, 0);
  const auto first = [&] { return channel->Samples<double>()[0]; };
  ASSERT_EQ(channel->Samples<double>().size(), 1000u);
  const double step = 4.0 / 4096;  // 12 bits over -2 ... 2 V
  ASSERT_NEAR(first(), 0.5, step);
  const double before = first();

  channel->SetGain(10.0);
  EXPECT_DOUBLE_EQ(first(), before * 10.0);
  ASSERT_TRUE(Measure(*hw));
  EXPECT_NEAR(first(), before * 10.0, 10.0 * step);
}

TEST_F(DriverTest, ASetAnsweredPendingIsProcessedBeforeItReturnsAndNeverNested) {
  const auto probe = PlugProbe();
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  TInstrumentSettings& next = hw->NextSettings();
  int depth = 0;
  int deepest = 0;
  std::vector<uint32_t> masks;
  struct Listener {
    std::function<void(uint32_t)> call;
    void OnChange(IInterface*, uint32_t mask) { call(mask); }
  } listener{[&](uint32_t mask) {
    masks.push_back(mask);
    deepest = std::max(deepest, ++depth);
    // A set made while the block is read goes without waiting: its news follow later.
    if ((mask & HW_RESOLUTION) != 0) {
      EXPECT_EQ(next.SetDataSize(1234), S_OK);
    }
    --depth;
  }};
  const auto handler = TSettingsChangeEvent::Bind<&Listener::OnChange>(&listener);
  next.AddChangeNotify(handler);

  ASSERT_EQ(next.SetResolution(14), S_OK);
  ASSERT_EQ(masks.size(), 1u) << "processed before the set returned";
  EXPECT_NE(masks[0] & (HW_RESOLUTION | HW_SAMPLEFREQUENCY), 0u);
  EXPECT_EQ(masks[0] & HW_DATASIZE, 0u);
  EXPECT_TRUE(PumpUntil([&] { return masks.size() == 2; }));
  EXPECT_EQ(masks.back() & HW_DATASIZE, HW_DATASIZE);
  EXPECT_EQ(deepest, 1);
  EXPECT_EQ(next.GetDataSize(), 1234);
  next.RemoveChangeNotify(handler);
}

TEST_F(DriverTest, StreamingNumbersEveryMeasurementOnce) {
  const auto probe = PlugProbe();
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  PrepareBlockRecord(*hw, 1000);
  ASSERT_EQ(hw->NextSettings().SetMode(1), S_OK);
  ChangeRecorder cur(hw->CurSettings());
  ASSERT_EQ(hw->Start(1), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return hw->LastMeasurement() >= 40; }));
  // Measurements 1, 2, ... each reached the channel exactly once, none was skipped.
  EXPECT_EQ(cur.Count(HW_MREADY), hw->LastMeasurement());
  EXPECT_EQ(cur.Count(HW_STOP), 0u);
  const std::span<const double> samples = Channel(*hw, 0)->Samples<double>();
  // A fold rather than max_element: an empty record has no element to dereference.
  const double peak = std::accumulate(samples.begin(), samples.end(), -HUGE_VAL,
                                      [](double a, double b) { return std::max(a, b); });
  EXPECT_GT(peak, 0.9) << "the default 1 V sine";
  EXPECT_EQ(hw->Stop(0), S_OK);
}

// A reader that falls behind finds the next measurement gone: the instrument stops the run.
TEST_F(DriverTest, StreamingStopsWhenTheDriverNoLongerHoldsTheNextMeasurement) {
  sim::DeviceConfig config;  // real timing: the probe does not wait for the reader
  const auto probe = PlugProbe(config);
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  PrepareBlockRecord(*hw, 1000);  // 1 ms a record
  ASSERT_EQ(hw->NextSettings().SetMode(1), S_OK);
  ChangeRecorder cur(hw->CurSettings());
  ASSERT_EQ(hw->Start(1), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return hw->LastMeasurement() > 0; }));
  // Not reading for a while: the ring of records is overwritten meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(PumpUntil([&] { return cur.Count(HW_STOP) > 0; })) << "the run was stopped";
}

// A streaming start after many block measurements processes the start once, not once for every
// measurement number since the library last streamed.
TEST_F(DriverTest, AStreamingStartAfterBlockMeasurementsIsOnePass) {
  const auto probe = PlugProbe();
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  PrepareBlockRecord(*hw, 1000);
  for (int i = 0; i < 24; ++i) ASSERT_TRUE(Measure(*hw)) << i;
  ASSERT_EQ(hw->NextSettings().SetMode(1), S_OK);
  ChangeRecorder cur(hw->CurSettings());
  ASSERT_EQ(hw->Start(1), S_OK);
  EXPECT_EQ(cur.masks.size(), 1u);
  EXPECT_EQ(hw->Stop(0), S_OK);
}

// Each construction error has its message, and leaves neither a thread nor an open file behind.
TEST_F(DriverTest, ConstructionErrorsLeaveNothingBehind) {
  sim::DeviceConfig shortInfo = Instant();
  shortInfo.shortInfo = true;
  sim::DeviceConfig refusing = Instant();
  refusing.connectionLimit = 0;
  const struct {
    std::shared_ptr<sim::SimulatedProbe> probe;  // none: a path no device has
    const char* message;
  } cases[] = {
      {nullptr, "Could not open instrument."},
      {PlugProbe(shortInfo), "TDeviceInstrument info structure from driver is too small."},
      {PlugProbe(refusing), "Maximum number of connections to the driver reached."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      MakeObject<TDriverTriggerHW>(c.probe ? c.probe->Path() : "\\\\?\\no#such#device");
      ADD_FAILURE() << "opened";
    } catch (const EDriverError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
    if (c.probe) {
      EXPECT_EQ(c.probe->OpenCount(), 0);
    }
    EXPECT_TRUE(TEventThread::WaitUntilAllEnded(0));
  }
}

TEST_F(DriverTest, TheDriversConnectionLimitHoldsAcrossClients) {
  sim::DeviceConfig config = Instant();
  config.connectionLimit = 2;
  const auto probe = PlugProbe(config);
  ComPtr<TDriverTriggerHW> first = Open(*probe);
  ProtocolClient other(probe->Path());
  ASSERT_TRUE(other.Connect());
  EXPECT_THROW(MakeObject<TDriverTriggerHW>(probe->Path()), EDriverError);
  first = nullptr;  // a connection comes free with its instrument
  const ComPtr<TDriverTriggerHW> second = Open(*probe);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->GetOpenCount(), 2) << "the other client still has the probe open";
}

TEST_F(DriverTest, DestroyedWhileItsEventThreadWaits) {
  const auto probe = PlugProbe();
  ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  EXPECT_EQ(probe->OpenCount(), 1);
  hw = nullptr;
  EXPECT_EQ(probe->OpenCount(), 0);
  EXPECT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
}

// Holds the instrument until it is hidden, as the library's global instrument does.
struct Holder {
  ComPtr<TDriverTriggerHW> hw;
  int hidden = 0;
  void OnHide(IInterface*) {
    ++hidden;
    hw = nullptr;
  }
  void Watch() { hw->AddHideNotify(TNotifyHide::Bind<&Holder::OnHide>(this)); }
};

TEST_F(DriverTest, RemovalDestroysTheInstrumentThroughAPostedMessage) {
  const auto probe = PlugProbe();
  Holder holder{Open(*probe)};
  ASSERT_TRUE(holder.hw);
  holder.Watch();
  // The broadcast itself only posts: the instrument is still there when it has been answered.
  platform::DevBroadcastHeader header{sizeof header, platform::kDbtDevTypHandle, 0};
  EXPECT_EQ(platform::SendMessageTo(holder.hw->Window(), platform::kWmDeviceChange,
                                    platform::kDbtDeviceRemoveComplete,
                                    reinterpret_cast<intptr_t>(&header)),
            1);
  EXPECT_EQ(holder.hidden, 0);
  platform::PumpMessages();
  EXPECT_EQ(holder.hidden, 1);
  EXPECT_EQ(probe->OpenCount(), 0);
  EXPECT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
}

TEST_F(DriverTest, UnpluggingTheProbeDestroysTheInstrument) {
  const auto probe = PlugProbe();
  Holder holder{Open(*probe)};
  ASSERT_TRUE(holder.hw);
  holder.Watch();
  probe->Unplug();
  EXPECT_TRUE(PumpUntil([&] { return holder.hidden == 1; }));
  EXPECT_FALSE(holder.hw);
  EXPECT_TRUE(TEventThread::WaitUntilAllEnded(kPatience));
}

// An instrument someone keeps after the removal answers without its device.
TEST_F(DriverTest, AfterRemovalSettingsAreRefused) {
  const auto probe = PlugProbe();
  const ComPtr<TDriverTriggerHW> hw = Open(*probe);
  ASSERT_TRUE(hw);
  probe->Unplug();
  ASSERT_TRUE(PumpUntil([&] { return probe->OpenCount() == 0; }));
  int64_t value = 7;
  EXPECT_EQ(hw->GetNextValue(HW_DATASIZE, -1, value), E_ACCESSDENIED);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(hw->NextSettings().SetDataSize(100), E_ACCESSDENIED);
  EXPECT_EQ(hw->Start(1), E_ACCESSDENIED);
}

TEST_F(DriverTest, ConnectionTestFromDriverVersion6140) {
  for (const uint64_t version : {0x0006000100040000ull, 0x000600010003FFFFull}) {
    SCOPED_TRACE(version);
    sim::DeviceConfig config = Instant();
    config.preset = sim::Preset::kDual;
    config.driverVersion = version;
    config.signals = {sim::DefaultSignal(0), *sim::ParseSignal("open")};
    const auto probe = PlugProbe(config);
    const ComPtr<TDriverTriggerHW> hw = Open(*probe);
    ASSERT_TRUE(hw);
    const auto test = Query<IInstrumentConnectionTest>(static_cast<IInstrument*>(hw.Get()));
    const auto first = Query<IChannelConnectionTest>(hw->GetChannel(0));
    const auto second = Query<IChannelConnectionTest>(hw->GetChannel(1));
    if (version < kConnectionTestDriverVersion) {
      EXPECT_FALSE(test);
      EXPECT_FALSE(first);
      continue;
    }
    ASSERT_TRUE(test && first && second);
    EXPECT_EQ(first->GetConnectionState(), 0u) << "the test is off";
    EXPECT_EQ(test->SetConnectionTest(-1), S_OK);
    EXPECT_EQ(test->GetConnectionTest(), -1);
    // The driver's kind-14 news dropped the cached states.
    EXPECT_EQ(first->GetConnectionState(), 1u);
    EXPECT_EQ(second->GetConnectionState(), 2u);
  }
}

}  // namespace
}  // namespace veltra::test
