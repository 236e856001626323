// The exports against an open instrument (one the tests make on the hardware model, handed to the
// library the way an opened device is handed over): the translation between caller units and
// settings, the checks, the answers to null pointers where a result is written, and the records
// the readers take from the channels' sources.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "MemoryHW.h"
#include "api/DLL.h"
#include "hw/HWEncoding.h"
#include "platform/Platform.h"
#include "veltra/veltra.h"

namespace veltra::test {
namespace {

class Instrument : public ::testing::Test {
 protected:
  // `channels` channels, the first `triggerChannels` of them with a channel trigger; an
  // instrument trigger unless told otherwise. Every channel starts with range 2 V, coupling 2 and
  // auto-ranging on in Next.
  void Open(int32_t channels, int32_t triggerChannels = 1, bool withTrigger = true) {
    TMemoryConfig config;
    config.channels = channels;
    config.triggerChannels = triggerChannels;
    if (withTrigger) {
      const ComPtr<TMemoryHW> hw = MakeObject<TMemoryHW>(config);
      device_ = hw.Get();
      instrument_ = hw;
    } else {
      const ComPtr<TMemoryPlainHW> hw = MakeObject<TMemoryPlainHW>(config);
      device_ = hw.Get();
      instrument_ = hw;
    }
    device_->Info().serialNumber = 27001;
    for (int32_t i = 0; i < channels; ++i) {
      device_->Put(TSet::kNext, i, HW_AUTORANGING, 1);
      device_->Put(TSet::kNext, i, HW_RANGE, RangeToValue(2.0));
      device_->Put(TSet::kNext, i, HW_COUPLING, 2);
    }
    const ComPtr<IInterface> opened[] = {Query<IInterface>(instrument_)};
    api::Events().AdoptInstruments(opened);
  }
  void TearDown() override {
    ExitInstrument();
    if (instrument_) instrument_->Hide();
  }

  TMemoryDevice& Device() { return *device_; }
  TMemoryTable& Next() { return device_->Table(TSet::kNext); }
  TMemoryTable& Cur() { return device_->Table(TSet::kCur); }
  TMemoryTable& ChannelNext(int32_t i = 0) { return device_->Table(TSet::kNext, i); }
  TMemoryTable& TriggerCur() { return device_->Table(TSet::kTriggerCur); }
  TMemoryTable& ChannelTriggerCur(int32_t i = 0) { return device_->Table(TSet::kTriggerCur, i); }
  void PutNext(uint32_t id, int64_t value) { device_->Put(TSet::kNext, -1, id, value); }
  void PutCur(uint32_t id, int64_t value) { device_->Put(TSet::kCur, -1, id, value); }
  void PutChannelNext(uint32_t id, int64_t value) { device_->Put(TSet::kNext, 0, id, value); }
  void PutTriggerCur(uint32_t id, int64_t value) { device_->Put(TSet::kTriggerCur, -1, id, value); }
  TMemoryHW& WithTrigger() { return dynamic_cast<TMemoryHW&>(*instrument_.Get()); }

  // The instrument as the hardware model sees it; the tables behind it as the device holds them.
  ComPtr<TCustomHW> instrument_;
  TMemoryDevice* device_ = nullptr;
};

// A measurement's record on channel 1, switched on, with range 2 V: `coupling` in Cur.
class Records : public Instrument {
 protected:
  void OpenMeasured(uint8_t coupling) {
    Open(1);
    device_->Put(TSet::kCur, 0, HW_ENABLE, -1);
    device_->Put(TSet::kCur, 0, HW_RANGE, RangeToValue(2.0));
    device_->Put(TSet::kCur, 0, HW_COUPLING, coupling);
  }
  TMemoryChannel& Channel() {
    return dynamic_cast<TMemoryChannel&>(*instrument_->ChannelObject(0).Get());
  }
};

TEST_F(Instrument, OpeningSwitchesAutoRangingOffAndHidingReleasesIt) {
  Open(2);
  EXPECT_EQ(ChannelNext(0).Value(HW_AUTORANGING), 0);
  EXPECT_EQ(ChannelNext(1).Value(HW_AUTORANGING), 0);
  uint16_t channels = 0;
  EXPECT_EQ(GetNrChannels(&channels), STATUS_OK);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(GetFunctionGenStatus(), STATUS_NO_GENERATOR);
  instrument_->Hide();  // the device went away
  EXPECT_EQ(GetNrChannels(&channels), STATUS_NO_INSTRUMENT);
}

TEST_F(Instrument, Information) {
  Open(1);
  uint32_t value = 7;
  EXPECT_EQ(GetCalibrationDate(&value), STATUS_NOT_SUPPORTED);  // no date: 0.0
  EXPECT_EQ(value, 0u);
  Device().SetCalibration(39887.75);  // 15 March 2009, 18:00
  EXPECT_EQ(GetCalibrationDate(&value), STATUS_OK);
  EXPECT_EQ(value, 0x0F0307D9u);
  Device().SetCalibration(-1.25);  // 29 December 1899
  EXPECT_EQ(GetCalibrationDate(&value), STATUS_OK);
  EXPECT_EQ(value, (29u << 24) + (12u << 16) + 1899u);
  for (double none : {3e6, -7e5, std::numeric_limits<double>::quiet_NaN()}) {  // no calendar date
    Device().SetCalibration(none);
    value = 7;
    EXPECT_EQ(GetCalibrationDate(&value), STATUS_NOT_SUPPORTED) << none;
    EXPECT_EQ(value, 0u) << none;
  }
  EXPECT_EQ(GetSerialNumber(&value), STATUS_OK);
  EXPECT_EQ(value, 27001u);

  Device().frequencies = {FrequencyToValue(99999999.5), FrequencyToValue(5e7)};
  PutNext(HW_DATASIZEMAX, 131072);
  EXPECT_EQ(GetMaxSampleFrequencyF(), 99999999.5);
  EXPECT_EQ(GetMaxSampleFrequency(), 100000000u);
  EXPECT_EQ(GetMaxRecordLength(), 131072u);
}

TEST_F(Instrument, RecordLengthAndResolution) {
  Open(1);
  PutNext(HW_DATASIZEMAX, 1000);
  EXPECT_EQ(SetRecordLength(1000), STATUS_OK);
  EXPECT_EQ(SetRecordLength(1001), STATUS_INVALID_VALUE);
  EXPECT_EQ(GetRecordLength(), 1000u);

  EXPECT_EQ(SetResolution(12), STATUS_OK);
  Device().Choose(TSet::kNext, -1, HW_RESOLUTION, 14);
  EXPECT_EQ(SetResolution(13), STATUS_INVALID_VALUE);  // the instrument keeps its choice
  uint8_t bits = 0;
  EXPECT_EQ(GetResolution(&bits), STATUS_OK);
  EXPECT_EQ(bits, 14);

  double list[20];
  Device().SetReadable(TSet::kNext, -1, HW_RESOLUTIONS);
  EXPECT_EQ(GetAvailableResolutions(list), STATUS_NOT_SUPPORTED);
  Device().SetReadable(TSet::kNext, -1, HW_RESOLUTIONS | HW_RESOLUTIONCOUNT);
  Device().resolutions.assign(25, 16);
  Device().resolutions[0] = 8;
  EXPECT_EQ(GetAvailableResolutions(list), STATUS_OK);
  EXPECT_EQ(list[0], 8.0);
  EXPECT_EQ(list[19], 16.0);
}

TEST_F(Instrument, EnabledChannels) {
  Open(1);
  EXPECT_EQ(SetMeasureMode(3), STATUS_OK);  // bit 1 has no channel
  uint8_t mask = 0;
  EXPECT_EQ(GetMeasureMode(&mask), STATUS_OK);
  EXPECT_EQ(mask, 1);
  EXPECT_EQ(ChannelNext().Value(HW_ENABLE), -1);
  uint8_t enabled = 9;
  EXPECT_EQ(GetChEnabled(2, &enabled), STATUS_INVALID_CHANNEL);
  EXPECT_EQ(enabled, 0);
  EXPECT_EQ(SetChEnabled(1, 0), STATUS_OK);
  EXPECT_EQ(GetChEnabled(1, &enabled), STATUS_OK);
  EXPECT_EQ(enabled, 0);
}

TEST_F(Instrument, ClockSourceAndTransferMode) {
  Open(1);
  const struct {
    uint16_t mode;
    VeltraStatus status;
    int64_t stored;
  } sets[] = {{0, STATUS_OK, 2}, {1, STATUS_OK, 1}, {2, STATUS_OK, 2}, {3, STATUS_INVALID_VALUE, 2}};
  for (const auto& c : sets) {
    EXPECT_EQ(SetExternalClock(c.mode), c.status) << c.mode;
    EXPECT_EQ(Next().Value(HW_CLOCKSOURCE), c.stored) << c.mode;
  }
  const struct {
    int64_t stored;
    uint16_t external;
  } gets[] = {{0, 0}, {2, 0}, {1, 1}, {4, 1}};
  for (const auto& c : gets) {
    PutNext(HW_CLOCKSOURCE, c.stored);
    uint16_t external = 9;
    EXPECT_EQ(GetExternalClock(&external), STATUS_OK);
    EXPECT_EQ(external, c.external) << c.stored;
  }
  Device().Refuse(TSet::kNext, -1, HW_CLOCKSOURCE);
  EXPECT_EQ(SetExternalClock(1), STATUS_NOT_SUPPORTED);

  EXPECT_EQ(SetTransferMode(0), STATUS_OK);
  EXPECT_EQ(Next().Value(HW_MODE), 2);
  uint32_t mode = 9;
  EXPECT_EQ(GetTransferMode(&mode), STATUS_OK);
  EXPECT_EQ(mode, 0u);
  EXPECT_EQ(SetTransferMode(1), STATUS_OK);
  EXPECT_EQ(GetTransferMode(&mode), STATUS_OK);
  EXPECT_EQ(mode, 1u);
  EXPECT_EQ(SetTransferMode(2), STATUS_INVALID_VALUE);
}

TEST_F(Instrument, PostSamplesFollowRecordLengthAndPreSamples) {
  Open(1);
  PutNext(HW_DATASIZE, 1000);
  EXPECT_EQ(SetPostSamples(250), STATUS_OK);
  EXPECT_EQ(WithTrigger().Trigger().NextSettings().GetPreSamples(), 0.75);
  EXPECT_EQ(GetPostSamples(), 250u);
  EXPECT_EQ(SetPostSamples(2000), STATUS_OK);  // pre-samples clamp at 0
  EXPECT_EQ(GetPostSamples(), 1000u);
  PutNext(HW_DATASIZE, 0);
  EXPECT_EQ(SetPostSamples(10), STATUS_NOT_SUPPORTED);
}

TEST_F(Instrument, SampleFrequencyReportsTheInstrumentsChoice) {
  Open(1);
  Device().Choose(TSet::kNext, -1, HW_SAMPLEFREQUENCY,
                  FrequencyToValue(999999.9999999));  // a hair below 1 MHz
  uint32_t hertz = 1000000;
  EXPECT_EQ(SetSampleFrequency(&hertz), STATUS_OK);
  EXPECT_EQ(hertz, 1000000u);
  EXPECT_EQ(GetSampleFrequency(), 1000000u);
  Device().Choose(TSet::kNext, -1, HW_SAMPLEFREQUENCY, FrequencyToValue(312500.25));
  double exact = 3e5;
  EXPECT_EQ(SetSampleFrequencyF(&exact), STATUS_OK);
  EXPECT_EQ(exact, 312500.25);
  EXPECT_EQ(GetSampleFrequencyF(), 312500.25);
}

TEST_F(Instrument, ChannelInputs) {
  Open(1);
  double volts = 0;
  EXPECT_EQ(GetSensitivity(0, &volts), STATUS_INVALID_CHANNEL);
  EXPECT_EQ(GetSensitivity(2, &volts), STATUS_INVALID_CHANNEL);
  EXPECT_EQ(GetSensitivity(1, &volts), STATUS_OK);
  EXPECT_EQ(volts, 2.0);
  Device().Choose(TSet::kNext, 0, HW_RANGE, RangeToValue(4.0));
  volts = 3.0;
  EXPECT_EQ(SetSensitivity(1, &volts), STATUS_OK);
  EXPECT_EQ(volts, 4.0);  // the range the instrument chose

  Device().ranges[0] = {RangeToValue(0.2), RangeToValue(0.4), RangeToValue(0.8), RangeToValue(2.0)};
  Device().Report(TSet::kNext, 0, HW_RANGECOUNT);  // the device tells of its new list
  double list[20];
  for (double& d : list) d = 99;
  EXPECT_EQ(GetAvailableSensitivities(list), STATUS_OK);
  EXPECT_EQ(std::vector<double>(list, list + 5), (std::vector<double>{2.0, 0.8, 0.4, 0.2, 0.0}));

  EXPECT_EQ(SetAutoRanging(1, 5), STATUS_OK);
  uint8_t on = 0;
  EXPECT_EQ(GetAutoRanging(1, &on), STATUS_OK);
  EXPECT_EQ(on, 1);

  EXPECT_EQ(SetCoupling(1, 16), STATUS_OK);
  uint8_t coupling = 0;
  EXPECT_EQ(GetCoupling(1, &coupling), STATUS_OK);
  EXPECT_EQ(coupling, 16);
  Device().Refuse(TSet::kNext, 0, HW_COUPLING);
  EXPECT_EQ(SetCoupling(1, 3), STATUS_NOT_SUPPORTED);  // E_NOTIMPL
  Device().Refuse(TSet::kNext, 0, HW_COUPLING, E_INVALIDARG);
  EXPECT_EQ(SetCoupling(1, 3), STATUS_INVALID_VALUE);
  EXPECT_EQ(GetCoupling(1, &coupling), STATUS_OK);
  EXPECT_EQ(coupling, 2);  // unreadable coupling reads as 2
}

TEST_F(Instrument, TriggerSourceNumbers) {
  Open(1);
  PutTriggerCur(TR_SOURCES, 0x1 | 0xFC00000000000000LL);  // channel 1 and the inputs
  const struct {
    uint8_t source;
    VeltraStatus status;
  } sets[] = {{7, STATUS_INVALID_VALUE}, {6, STATUS_INVALID_VALUE}, {8, STATUS_NOT_SUPPORTED},
              {10, STATUS_NOT_SUPPORTED}, {15, STATUS_INVALID_VALUE}, {0, STATUS_OK},
              {4, STATUS_OK},  {13, STATUS_OK},  {9, STATUS_OK}};
  for (const auto& c : sets) {
    EXPECT_EQ(SetTriggerSource(c.source), c.status) << int(c.source);
    if (c.status != STATUS_OK) continue;
    uint8_t read = 99;
    EXPECT_EQ(GetTriggerSource(&read), STATUS_OK);
    EXPECT_EQ(read, c.source);
  }
  PutTriggerCur(TR_SOURCEOR, 0x1);
  PutTriggerCur(TR_SOURCEAND, 0x1);  // no row has both
  uint8_t read = 0;
  EXPECT_EQ(GetTriggerSource(&read), STATUS_INVALID_VALUE);
  EXPECT_EQ(read, 15);
  Device().Refuse(TSet::kTriggerCur, -1, TR_SOURCEAND);  // an unreadable AND mask counts as 0
  EXPECT_EQ(GetTriggerSource(&read), STATUS_OK);
  EXPECT_EQ(read, 0);
  Device().Refuse(TSet::kTriggerCur, -1, TR_SOURCEOR);
  EXPECT_EQ(GetTriggerSource(&read), STATUS_NOT_SUPPORTED);

  TriggerCur().refused.clear();
  Device().Report(TSet::kTriggerCur, -1, TR_SOURCEOR | TR_SOURCEAND);
  EXPECT_EQ(SetTriggerSourceOR(0x2), STATUS_NOT_SUPPORTED);  // channel 2 is no source
  EXPECT_EQ(SetTriggerSourceAND(0x8000000000000001ULL), STATUS_OK);
  uint64_t mask = 0;
  EXPECT_EQ(GetTriggerSourceAND(&mask), STATUS_OK);
  EXPECT_EQ(mask, 0x8000000000000001ULL);
  EXPECT_EQ(GetTriggerSources(&mask), STATUS_OK);
  EXPECT_EQ(mask, 0xFC00000000000001ULL);
}

TEST_F(Instrument, TriggerModes) {
  Open(2, 1);  // channel 2 has no trigger
  EXPECT_EQ(SetTriggerMode(4), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(SetTriggerMode(12), STATUS_INVALID_VALUE);
  EXPECT_EQ(SetTriggerMode(-1), STATUS_INVALID_VALUE);
  EXPECT_EQ(SetTriggerMode(3), STATUS_OK);
  EXPECT_EQ(ChannelTriggerCur().Value(TR_KIND), 8);
  uint8_t mode = 0;
  EXPECT_EQ(GetTriggerMode(&mode), STATUS_OK);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(SetTriggerModeCh(1, 1), STATUS_OK);
  EXPECT_EQ(GetTriggerModeCh(1, &mode), STATUS_OK);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(GetTriggerModeCh(0, &mode), STATUS_NOT_SUPPORTED);  // reaches no channel
  EXPECT_EQ(GetTriggerModeCh(2, &mode), STATUS_NOT_SUPPORTED);  // no channel trigger
  EXPECT_EQ(GetTriggerModeCh(3, &mode), STATUS_INVALID_CHANNEL);
  EXPECT_EQ(SetTriggerModeCh(1, 5), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(SetTriggerModeCh(3, 12), STATUS_INVALID_VALUE);  // the value check comes first
}

TEST_F(Instrument, TriggerLevelAndHysteresisInVolts) {
  Open(1);  // range 2 V, coupling 2: the range spans -2 ... 2 V
  const struct {
    uint8_t coupling;
    double volts, fraction;
  } levels[] = {{2, 0.0, 0.5}, {2, 2.0, 1.0}, {2, -1.0, 0.25}, {2, 5.0, 1.0}, {16, 1.0, 0.5}};
  for (const auto& c : levels) {
    PutChannelNext(HW_COUPLING, c.coupling);
    EXPECT_EQ(SetTriggerLevel(1, c.volts), STATUS_OK);
    EXPECT_EQ(ValueToFraction(ChannelTriggerCur().Value(TR_LEVEL)), c.fraction) << c.volts;
    double read = 99;
    EXPECT_EQ(GetTriggerLevel(1, &read), STATUS_OK);
    EXPECT_EQ(read, c.volts > 2.0 ? 2.0 : c.volts);  // the stored level is clamped
  }
  PutChannelNext(HW_COUPLING, 2);
  EXPECT_EQ(SetTriggerHys(1, 0.4), STATUS_OK);
  EXPECT_NEAR(ValueToFraction(ChannelTriggerCur().Value(TR_HYSTERESIS)), 0.1,
              1e-15);  // 2^-52 steps
  double read = 0;
  EXPECT_EQ(GetTriggerHys(1, &read), STATUS_OK);
  EXPECT_NEAR(read, 0.4, 1e-14);
  PutChannelNext(HW_COUPLING, 16);  // the range spans 0 ... 2 V: no factor 2
  EXPECT_EQ(SetTriggerHys(1, 0.5), STATUS_OK);
  EXPECT_EQ(ValueToFraction(ChannelTriggerCur().Value(TR_HYSTERESIS)), 0.25);
  EXPECT_EQ(GetTriggerHys(1, &read), STATUS_OK);
  EXPECT_EQ(read, 0.5);
  PutChannelNext(HW_RANGE, 0);
  EXPECT_EQ(SetTriggerLevel(1, 0.1), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(SetTriggerHys(1, 0.1), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(GetTriggerLevel(0, &read), STATUS_INVALID_CHANNEL);
  EXPECT_EQ(read, 0.0);  // written before the checks
}

TEST_F(Instrument, ValuesThatAreNoNumbersAreRefusedAndChangeNothing) {
  Open(1);
  PutNext(HW_SAMPLEFREQUENCY, FrequencyToValue(1e6));
  device_->Put(TSet::kTriggerCur, 0, TR_LEVEL, FractionToValue(0.25));
  device_->Put(TSet::kTriggerCur, 0, TR_HYSTERESIS, FractionToValue(0.01));
  const auto before = [&] {
    return std::vector<int64_t>{Next().Value(HW_SAMPLEFREQUENCY), ChannelNext().Value(HW_RANGE),
                                ChannelTriggerCur().Value(TR_LEVEL),
                                ChannelTriggerCur().Value(TR_HYSTERESIS)};
  };
  const std::vector<int64_t> kept = before();
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()}) {
    double frequency = bad;
    EXPECT_EQ(SetSampleFrequencyF(&frequency), STATUS_INVALID_VALUE) << bad;
    double range = bad;
    EXPECT_EQ(SetSensitivity(1, &range), STATUS_INVALID_VALUE) << bad;
    EXPECT_EQ(SetTriggerLevel(1, bad), STATUS_INVALID_VALUE) << bad;
    EXPECT_EQ(SetTriggerHys(1, bad), STATUS_INVALID_VALUE) << bad;
    EXPECT_TRUE(std::isnan(bad) ? std::isnan(frequency) && std::isnan(range)
                                : frequency == bad && range == bad)
        << "nothing written back";
  }
  EXPECT_EQ(before(), kept);
}

TEST_F(Instrument, TriggerTimeOut) {
  Open(1);
  EXPECT_EQ(SetTriggerTimeOut(-1), STATUS_OK);
  EXPECT_EQ(GetTriggerTimeOut(), -1);
  EXPECT_EQ(SetTriggerTimeOut(250), STATUS_OK);
  EXPECT_EQ(GetTriggerTimeOut(), 250);
  EXPECT_EQ(TriggerCur().Value(TR_TIMEOUT), TimeOutToValue(0.25));
  EXPECT_EQ(SetTriggerTimeOut(-2), STATUS_OK);  // only -1 is special: 4294967294 ms
  EXPECT_EQ(TriggerCur().Value(TR_TIMEOUT), TimeOutToValue(4294967.294));
}

TEST_F(Instrument, WithoutTriggerTheTriggerExportsSeeNoInstrument) {
  Open(1, 0, false);
  uint64_t mask = 0;
  uint8_t source = 0;
  EXPECT_EQ(GetTriggerSources(&mask), STATUS_NO_INSTRUMENT);
  EXPECT_EQ(GetTriggerSource(&source), STATUS_NO_INSTRUMENT);
  EXPECT_EQ(SetTriggerTimeOut(5), STATUS_NO_INSTRUMENT);
  EXPECT_EQ(GetTriggerTimeOut(), 0);
  EXPECT_EQ(GetPostSamples(), 0u);
  EXPECT_EQ(SetPostSamples(1), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(ADC_ForceTrig(), STATUS_NO_INSTRUMENT);
  EXPECT_EQ(ADC_Triggered(), 0);
}

TEST_F(Instrument, ReadersCheckChannelAndIndex) {
  Open(1);
  PutCur(HW_DATASIZE, 4);
  double volts[4] = {9, 9, 9, 9};
  double second[4] = {9, 9, 9, 9};
  EXPECT_EQ(GetMeasurement(volts, second), STATUS_INVALID_CHANNEL);  // channel 2 is missing
  EXPECT_EQ(volts[3], 0.0);    // disabled channel: zeros
  EXPECT_EQ(second[0], 9.0);
  uint16_t codes[4] = {};
  EXPECT_EQ(GetMeasurementRawCh(1, codes), STATUS_OK);
  EXPECT_EQ(codes[2], 32768);
  double one = 7;
  EXPECT_EQ(GetOneMeasurementCh(1, 4, &one), STATUS_INVALID_CHANNEL);  // index = record length
  EXPECT_EQ(one, 7.0);
  EXPECT_EQ(GetOneMeasurementCh(1, 3, &one), STATUS_OK);
  EXPECT_EQ(one, 0.0);
  PutCur(HW_DATASIZE, (int64_t{1} << 32) + 4);  // the low 32 bits count
  one = 7;
  EXPECT_EQ(GetOneMeasurementCh(1, 4, &one), STATUS_INVALID_CHANNEL);
  EXPECT_EQ(one, 7.0);
  PutCur(HW_DATASIZE, 4);
  EXPECT_EQ(GetMeasurementCh(1, nullptr), STATUS_INVALID_VALUE);
  PutCur(HW_DATASIZE, 0);
  EXPECT_EQ(GetMeasurementCh(1, nullptr), STATUS_OK);  // nothing to write
}

TEST_F(Instrument, MeasurementsStartAndStop) {
  Open(1);
  EXPECT_EQ(StartMeasurement(), STATUS_OK);  // the instrument reports ready at once
  EXPECT_EQ(Next().WritesOf(HW_START), std::vector<int64_t>{1});
  EXPECT_EQ(ADC_Ready(), 1);

  Device().measureOnStart = false;
  PutNext(HW_MODE, 1);
  EXPECT_EQ(ADC_Start(), STATUS_OK);
  PutNext(HW_MODE, 2);
  EXPECT_EQ(ADC_Start(), STATUS_OK);
  EXPECT_EQ(Next().WritesOf(HW_START), (std::vector<int64_t>{1, -1, 1}));
  EXPECT_EQ(ADC_Ready(), 0);
  EXPECT_EQ(ADC_Running(), 1);
  Device().Report(TSet::kCur, -1, HW_MREADY);
  EXPECT_EQ(ADC_Running(), 0);
  EXPECT_EQ(ADC_Abort(), STATUS_OK);
  EXPECT_EQ(Cur().WritesOf(HW_STOP), std::vector<int64_t>{0});

  EXPECT_EQ(ADC_ForceTrig(), STATUS_OK);
  EXPECT_EQ(TriggerCur().WritesOf(TR_TRIGGER), std::vector<int64_t>{0});
  PutTriggerCur(TR_TRIGGER, 3);
  EXPECT_EQ(ADC_Triggered(), 1);
  Device().Refuse(TSet::kTriggerCur, -1, TR_TRIGGER);
  EXPECT_EQ(ADC_ForceTrig(), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(ADC_Triggered(), 0);
}

TEST_F(Instrument, PollingTakesInTheNewsSentToTheLibrarysWindow) {
  Open(1);
  Device().measureOnStart = false;
  // The instrument's window: its news comes as a message sent from another thread, as the
  // driver's event thread sends it, and reports the measurement complete.
  constexpr uint32_t kNews = platform::kWmUser + 10;
  platform::MessageWindow window([&](uint32_t message, uintptr_t, intptr_t) -> intptr_t {
    if (message == kNews) Device().Report(TSet::kCur, -1, HW_MREADY);
    return 1;
  });
  using Poll = uint16_t(VELTRA_CALL*)(void);
  const struct {
    const char* name;
    Poll poll;
  } polls[] = {{"ADC_Ready", &ADC_Ready}, {"ADC_Running", &ADC_Running},
               {"ADC_Triggered", &ADC_Triggered}};
  for (const auto& p : polls) {
    ASSERT_EQ(ADC_Start(), STATUS_OK);
    std::thread driver([&] { EXPECT_EQ(platform::SendMessageTo(window.Handle(), kNews), 1); });
    const double deadline = platform::HighResSeconds() + 30;
    while (!api::State().measurementReady && platform::HighResSeconds() < deadline) p.poll();
    EXPECT_TRUE(api::State().measurementReady) << p.name << " delivered the news";
    platform::PumpMessages();  // lets the sender go when the poll did not
    driver.join();
  }
}

// The readers of channels 1 and 2 together: channel 1 into the first buffer, then channel 2 into
// the second, unless channel 1 failed; a missing channel 2 is an invalid channel.
void ExpectPairReaders(int32_t channels) {
  struct Buffers {
    double v1[2] = {9, 9}, v2[2] = {9, 9};
    uint16_t r1[2] = {9, 9}, r2[2] = {9, 9};
  };
  const struct {
    const char* name;
    VeltraStatus (*call)(Buffers&);
    bool raw;
  } readers[] = {
      {"GetMeasurement", [](Buffers& b) { return GetMeasurement(b.v1, b.v2); }, false},
      {"ADC_GetDataVolt", [](Buffers& b) { return ADC_GetDataVolt(b.v1, b.v2); }, false},
      {"GetOneMeasurement", [](Buffers& b) { return GetOneMeasurement(1, &b.v1[1], &b.v2[1]); }, false},
      {"GetMeasurementRaw", [](Buffers& b) { return GetMeasurementRaw(b.r1, b.r2); }, true},
      {"ADC_GetData", [](Buffers& b) { return ADC_GetData(b.r1, b.r2); }, true},
      {"GetOneMeasurementRaw", [](Buffers& b) { return GetOneMeasurementRaw(1, &b.r1[1], &b.r2[1]); }, true},
  };
  for (const auto& reader : readers) {
    SCOPED_TRACE(reader.name);
    Buffers b;
    EXPECT_EQ(reader.call(b), channels == 2 ? STATUS_OK : STATUS_INVALID_CHANNEL);
    // Disabled channels read neutral: 0 V, code 32768.
    const double first = reader.raw ? b.r1[1] : b.v1[1];
    const double second = reader.raw ? b.r2[1] : b.v2[1];
    EXPECT_EQ(first, reader.raw ? 32768.0 : 0.0);
    EXPECT_EQ(second, channels == 2 ? first : 9.0);
  }
}

TEST_F(Instrument, PairReadersOnOneChannelStopAtChannelTwo) {
  Open(1);
  PutCur(HW_DATASIZE, 2);
  ExpectPairReaders(1);
}

TEST_F(Instrument, PairReadersOnTwoChannelsFillBothBuffers) {
  Open(2);
  PutCur(HW_DATASIZE, 2);
  ExpectPairReaders(2);
}

// An application passes every argument in a 32-bit slot. The channel-input and trigger-mode
// exports read their channel number (and SetTriggerModeCh its mode) from the low 8 bits of the
// slot, the other exports their channel number from the low 16 bits.
template <class Wide, class Declared>
Wide CalledWith(Declared* function) {
  return reinterpret_cast<Wide>(reinterpret_cast<void (*)()>(function));
}

TEST_F(Instrument, ChannelNumbersAreReadAtTheirWidthFromTheSlot) {
  Open(1);
  PutCur(HW_DATASIZE, 2);
  using ReadDouble = VeltraStatus(VELTRA_CALL*)(uint32_t, double*);
  using ReadByte = VeltraStatus(VELTRA_CALL*)(uint32_t, uint8_t*);
  using SetMode = VeltraStatus(VELTRA_CALL*)(uint32_t, uint32_t);
  double volts = 0;
  uint8_t byte = 0;

  const auto getSensitivity = CalledWith<ReadDouble>(&GetSensitivity);
  EXPECT_EQ(getSensitivity(257, &volts), STATUS_OK);  // channel 1
  EXPECT_EQ(volts, 2.0);
  EXPECT_EQ(getSensitivity(256, &volts), STATUS_INVALID_CHANNEL);  // channel 0
  EXPECT_EQ(CalledWith<ReadByte>(&GetCoupling)(0x301, &byte), STATUS_OK);
  EXPECT_EQ(CalledWith<ReadDouble>(&GetTriggerLevel)(0x10001, &volts), STATUS_OK);
  const auto setModeCh = CalledWith<SetMode>(&SetTriggerModeCh);
  EXPECT_EQ(setModeCh(257, 0x102), STATUS_OK);  // channel 1, mode 2
  EXPECT_EQ(ChannelTriggerCur().Value(TR_KIND), 4);
  EXPECT_EQ(setModeCh(1, 0x10C), STATUS_INVALID_VALUE);  // mode 12
  EXPECT_EQ(CalledWith<ReadByte>(&GetTriggerModeCh)(257, &byte), STATUS_OK);
  EXPECT_EQ(byte, 2);

  const auto getEnabled = CalledWith<ReadByte>(&GetChEnabled);
  EXPECT_EQ(getEnabled(257, &byte), STATUS_INVALID_CHANNEL);  // channel 257
  EXPECT_EQ(getEnabled(65537, &byte), STATUS_OK);            // channel 1
  EXPECT_EQ(CalledWith<ReadDouble>(&GetMeasurementCh)(257, &volts), STATUS_INVALID_CHANNEL);
  double record[2] = {9, 9};
  EXPECT_EQ(CalledWith<ReadDouble>(&GetMeasurementCh)(65537, record), STATUS_OK);
  EXPECT_EQ(record[1], 0.0);
}

// The wait of StartMeasurement processes the thread's messages; an instrument that goes away
// meanwhile ends it.
TEST_F(Instrument, StartMeasurementEndsWhenTheInstrumentGoes) {
  Open(1);
  Device().measureOnStart = false;
  platform::MessageWindow window([this](uint32_t, uintptr_t, intptr_t) -> intptr_t {
    instrument_->Hide();
    return 0;
  });
  ASSERT_TRUE(window.Post(platform::kWmUser + 1));
  EXPECT_EQ(StartMeasurement(), STATUS_NO_INSTRUMENT);
}

TEST_F(Instrument, InstrumentConfiguration) {
  Open(1);
  EXPECT_EQ(SetInstrumentConfig(3), STATUS_INVALID_VALUE);
  EXPECT_EQ(Next().values.count(HW_CHANNELCOUNT), 0u);
  EXPECT_EQ(SetInstrumentConfig(1), STATUS_OK);
  EXPECT_EQ(Next().Value(HW_CHANNELCOUNT), 2);
  EXPECT_EQ(SetInstrumentConfig(2), STATUS_OK);
  EXPECT_EQ(Next().Value(HW_CHANNELCOUNT), 1);
  EXPECT_EQ(SetInstrumentConfig(0), STATUS_OK);  // no generator: the list stays empty
  EXPECT_EQ(GetFunctionGeneratorCount(), 0);
}

TEST_F(Instrument, ConfigurationNeedsAtMostTwoChannels) {
  Open(3);
  for (uint16_t config : {0, 1, 2, 3}) EXPECT_EQ(SetInstrumentConfig(config), STATUS_NOT_SUPPORTED);
}

// With an instrument, a null pointer where the result goes answers STATUS_INVALID_VALUE.
TEST_F(Instrument, NullPointersAtTheResultAreInvalidValues) {
  Open(1);
  Device().SetCalibration(39887);
  PutTriggerCur(TR_SOURCES, 1);
  PutCur(HW_DATASIZE, 4);
  const struct {
    const char* name;
    VeltraStatus status;
  } answers[] = {
      {"GetCalibrationDate", GetCalibrationDate(nullptr)},
      {"GetSerialNumber", GetSerialNumber(nullptr)},
      {"GetNrChannels", GetNrChannels(nullptr)},
      {"GetResolution", GetResolution(nullptr)},
      {"GetAvailableResolutions", GetAvailableResolutions(nullptr)},
      {"GetMeasureMode", GetMeasureMode(nullptr)},
      {"GetChEnabled", GetChEnabled(1, nullptr)},
      {"SetSampleFrequency", SetSampleFrequency(nullptr)},
      {"SetSampleFrequencyF", SetSampleFrequencyF(nullptr)},
      {"GetExternalClock", GetExternalClock(nullptr)},
      {"GetTransferMode", GetTransferMode(nullptr)},
      {"GetSensitivity", GetSensitivity(1, nullptr)},
      {"SetSensitivity", SetSensitivity(1, nullptr)},
      {"GetAutoRanging", GetAutoRanging(1, nullptr)},
      {"GetCoupling", GetCoupling(1, nullptr)},
      {"GetAvailableSensitivities", GetAvailableSensitivities(nullptr)},
      {"GetTriggerSources", GetTriggerSources(nullptr)},
      {"GetTriggerSourceOR", GetTriggerSourceOR(nullptr)},
      {"GetTriggerSourceAND", GetTriggerSourceAND(nullptr)},
      {"GetTriggerMode", GetTriggerMode(nullptr)},
      {"GetTriggerLevel", GetTriggerLevel(1, nullptr)},
      {"GetTriggerHys", GetTriggerHys(1, nullptr)},
      {"GetMeasurementRawCh", GetMeasurementRawCh(1, nullptr)},
      {"GetOneMeasurementCh", GetOneMeasurementCh(1, 0, nullptr)},
      {"GetOneMeasurementRawCh", GetOneMeasurementRawCh(1, 0, nullptr)},
      {"ADC_GetDataVoltCh", ADC_GetDataVoltCh(1, nullptr)},
  };
  for (const auto& a : answers) EXPECT_EQ(a.status, STATUS_INVALID_VALUE) << a.name;
  uint8_t source = 0;
  PutTriggerCur(TR_SOURCEOR, 1);
  EXPECT_EQ(GetTriggerSource(&source), STATUS_OK);
  EXPECT_EQ(GetTriggerSource(nullptr), STATUS_INVALID_VALUE);
}

// The readers take the samples the channel's source holds: codes scale with the Cur range (0 ... R
// for coupling 16, -R ... R else), volts are copied, and turned into codes over the source's span.
TEST_F(Records, CodesReadAsVoltsOverTheCurrentRange) {
  OpenMeasured(2);
  PutCur(HW_DATASIZE, 4);
  const std::vector<uint16_t> stored = {0, 16384, 32768, 65535};
  Channel().SetCodes(stored);
  double volts[4] = {};
  EXPECT_EQ(GetMeasurementCh(1, volts), STATUS_OK);
  EXPECT_EQ(std::vector<double>(volts, volts + 4),
            (std::vector<double>{-2.0, -1.0, 0.0, 2.0 * 32767 / 32768}));
  uint16_t codes[4] = {};
  EXPECT_EQ(GetMeasurementRawCh(1, codes), STATUS_OK);
  EXPECT_EQ(std::vector<uint16_t>(codes, codes + 4), stored);

  Device().Put(TSet::kCur, 0, HW_COUPLING, 16);
  EXPECT_EQ(GetMeasurementCh(1, volts), STATUS_OK);
  EXPECT_EQ(std::vector<double>(volts, volts + 4),
            (std::vector<double>{0.0, 0.5, 1.0, 2.0 * 65535 / 65536}));
  double one = 0;
  EXPECT_EQ(GetOneMeasurementCh(1, 2, &one), STATUS_OK);
  EXPECT_EQ(one, 1.0);

  PutCur(HW_DATASIZE, 6);  // a record shorter than the settings say reads neutral beyond it
  uint16_t longer[6] = {};
  EXPECT_EQ(GetMeasurementRawCh(1, longer), STATUS_OK);
  EXPECT_EQ(longer[4], 32768);
  EXPECT_EQ(longer[3], 65535);
}

TEST_F(Records, AMeasurementsVoltsAreCopiedAndGiveCodesOverTheSpan) {
  Open(1);
  Device().Put(TSet::kNext, 0, HW_ENABLE, -1);
  PutNext(HW_DATASIZE, 5);
  Channel().signal = [](int64_t i) { return 0.5 * static_cast<double>(i) - 1.0; };
  EXPECT_EQ(StartMeasurement(), STATUS_OK);
  double volts[5] = {};
  EXPECT_EQ(GetMeasurementCh(1, volts), STATUS_OK);
  EXPECT_EQ(std::vector<double>(volts, volts + 5),
            (std::vector<double>{-1.0, -0.5, 0.0, 0.5, 1.0}));
  EXPECT_EQ(Channel().GetSpanLow(), -2.0);  // range 2 V, coupling 2
  uint16_t codes[5] = {};
  EXPECT_EQ(GetMeasurementRawCh(1, codes), STATUS_OK);
  EXPECT_EQ(std::vector<uint16_t>(codes, codes + 5),
            (std::vector<uint16_t>{16384, 24576, 32768, 40960, 49152}));
  uint16_t code = 0;
  EXPECT_EQ(GetOneMeasurementRawCh(1, 4, &code), STATUS_OK);
  EXPECT_EQ(code, 49152);
}

}  // namespace
}  // namespace veltra::test
