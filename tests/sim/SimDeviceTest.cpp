// The simulated probe through the driver protocol alone, as the library will drive it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

#include "ProtocolClient.h"
#include "hw/HWInterfaces.h"
#include "hw/TrigInterface.h"
#include "sim/SampleGenerator.h"
#include "sim/Simulator.h"

namespace veltra::sim {
namespace {

using test::kPatience;
using test::News;
using test::ProtocolClient;

constexpr int64_t kHz = int64_t{1} << 24;
constexpr int64_t kVolt = int64_t{1} << 32;
constexpr int64_t kFractionOne = int64_t{1} << 52;

int64_t Volts(double v) { return std::llround(v * static_cast<double>(kVolt)); }
int64_t Fraction(double f) { return std::llround(f * static_cast<double>(kFractionOne)); }

DeviceConfig Config(Preset preset = Preset::kProbe, bool instant = true) {
  DeviceConfig config;
  config.preset = preset;
  config.instant = instant;
  return config;
}

// A plugged-in probe with one connected client.
class SimDeviceTest : public testing::Test {
 protected:
  void Open(const DeviceConfig& config) {
    probe_ = Plug(config);
    client_ = std::make_unique<ProtocolClient>(probe_->Path());
    ASSERT_TRUE(client_->IsOpen());
    ASSERT_TRUE(client_->Connect());
  }
  void SetUp() override { Open(Config()); }

  ProtocolClient& Client() { return *client_; }

  // Sets a value and expects the device to accept it.
  void Write(uint32_t code, uint32_t id, int32_t index, int64_t value) {
    ASSERT_TRUE(Client().Set(code, id, index, value).has_value())
        << "id " << std::hex << id << " index " << index;
  }

  // One block-mode measurement: start, then the completed record's news.
  News Measure() {
    Write(IOCTL_SET_NEXT, HW_START, -1, 1);
    std::optional<News> news = Client().WaitMeasurement(kPatience);
    EXPECT_TRUE(news.has_value()) << "no measurement";
    return news.value_or(News{});
  }

  // The codes of a channel's record of a measurement.
  std::vector<uint32_t> Record(uint32_t measurement, uint32_t channel) {
    const int64_t length = Client().Get(IOCTL_GET_CURRENT, HW_DATASIZE, -1).value_or(0);
    const int64_t bits = Client().Get(IOCTL_GET_CURRENT, HW_RESOLUTION, -1).value_or(0);
    const std::optional<uintptr_t> address = Client().Acquire(measurement, channel);
    EXPECT_TRUE(address.has_value()) << "measurement " << measurement;
    if (!address) return {};
    std::vector<uint32_t> codes(static_cast<size_t>(length));
    for (size_t i = 0; i < codes.size(); ++i) {
      codes[i] = bits <= 8 ? reinterpret_cast<const uint8_t*>(*address)[i]
                           : reinterpret_cast<const uint16_t*>(*address)[i];
    }
    EXPECT_TRUE(Client().Release(*address, channel));
    return codes;
  }

  std::shared_ptr<SimulatedProbe> probe_;
  std::unique_ptr<ProtocolClient> client_;
};

TEST(SimDiscovery, ProbesAppearWithTheirRecordsAndGoWhenUnplugged) {
  DeviceConfig dualConfig = Config(Preset::kDual);
  dualConfig.serial = 31337;
  dualConfig.subId = 4;
  dualConfig.calibration = {2023, 11, 2, 16, 45};
  dualConfig.driverVersion = 0x0006000200000001;
  dualConfig.firmwareVersion = 0x0002000000030000;
  const std::shared_ptr<SimulatedProbe> probe = Plug(Config());
  const std::shared_ptr<SimulatedProbe> dual = Plug(dualConfig);
  ASSERT_NE(probe->Path(), dual->Path());
  EXPECT_EQ(probe->Path().rfind("\\\\?\\", 0), 0u);

  const auto listed = [](const std::string& path) {
    const auto entries = platform::EnumerateDeviceInterfaces(kDriverInterfaceClass);
    return std::any_of(entries.begin(), entries.end(),
                       [&](const auto& e) { return e.devicePath == path; });
  };
  EXPECT_TRUE(listed(probe->Path()));
  EXPECT_TRUE(listed(dual->Path()));

  struct Expected {
    std::shared_ptr<SimulatedProbe> probe;
    uint32_t type, subId, serial, channels;
    const char* name;
    const char* shortName;
    PackedStamp stamp;
    uint64_t driver, firmware;
  };
  const Expected expectations[] = {
      {probe,
       18,
       1,
       27000,
       1,
       "VP-1 USB oscilloscope probe",
       "VP-1",
       {2024, 3, 14, 9, 30},
       0x0006000100040000,
       0x0001000300000000},
      {dual,
       17,
       4,
       31337,
       2,
       "VP-2 USB oscilloscope probe",
       "VP-2",
       {2023, 11, 2, 16, 45},
       0x0006000200000001,
       0x0002000000030000},
  };
  for (const Expected& e : expectations) {
    ProtocolClient client(e.probe->Path());
    ASSERT_TRUE(client.IsOpen());
    const std::optional<DeviceInfoRecord> info = client.Info();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->size, 676u);
    EXPECT_EQ(info->status, 0u);
    EXPECT_EQ(info->typeCode, e.type);
    EXPECT_EQ(info->subId, e.subId);
    EXPECT_EQ(info->serialNumber, e.serial);
    EXPECT_EQ(info->channelCount, e.channels);
    EXPECT_EQ(InfoName(*info), e.name);
    EXPECT_EQ(InfoShortName(*info), e.shortName);
    EXPECT_EQ(InfoDevicePath(*info), e.probe->Path());
    const PackedStamp stamp = InfoCalibrationStamp(*info);
    EXPECT_EQ(stamp.year, e.stamp.year);
    EXPECT_EQ(stamp.minute, e.stamp.minute);
    const std::optional<VersionRecord> versions = client.Versions();
    ASSERT_TRUE(versions.has_value());
    EXPECT_EQ(versions->driverVersion, e.driver);
    EXPECT_EQ(versions->firmwareVersion, e.firmware);
  }

  ProtocolClient held(probe->Path());
  probe->Unplug();
  EXPECT_FALSE(listed(probe->Path()));
  EXPECT_FALSE(ProtocolClient(probe->Path()).IsOpen());
  EXPECT_FALSE(held.Info().has_value());  // calls on a file of a removed device fail
  EXPECT_TRUE(ProtocolClient(dual->Path()).Info().has_value());
}

// Every settings family tells the truth about what it answers: an identifier reads exactly when
// it is in the readable mask, identifiers 1 and 2 read the masks, and writes outside the writable
// mask are refused. Values written back as read are accepted.
TEST_F(SimDeviceTest, SupportedMasksAreTruthful) {
  Open(Config(Preset::kDual));
  struct Family {
    uint32_t set;
    uint32_t getCode;
    uint32_t setCode;
  };
  const Family families[] = {
      {static_cast<uint32_t>(SettingsSet::kCurrent), IOCTL_GET_CURRENT, IOCTL_SET_CURRENT},
      {static_cast<uint32_t>(SettingsSet::kNext), IOCTL_GET_NEXT, IOCTL_SET_NEXT},
      {static_cast<uint32_t>(SettingsSet::kTriggerCurrent), IOCTL_GET_TRIGGER_CURRENT,
       IOCTL_SET_TRIGGER_CURRENT},
      {static_cast<uint32_t>(SettingsSet::kTriggerNext), IOCTL_GET_TRIGGER_NEXT,
       IOCTL_SET_TRIGGER_NEXT},
      {static_cast<uint32_t>(SettingsSet::kControl), IOCTL_GET_CONTROL, IOCTL_SET_CONTROL},
      {static_cast<uint32_t>(SettingsSet::kConnectionTest), IOCTL_GET_CONNECTION_TEST,
       IOCTL_SET_CONNECTION_TEST},
  };
  const uint32_t actions = HW_START | HW_STOP;  // TR_TRIGGER shares bit 13 with no HW identifier
  for (const Family& family : families) {
    const int32_t lastIndex = family.set == static_cast<uint32_t>(SettingsSet::kControl) ? -1 : 1;
    for (int32_t index = -1; index <= lastIndex; ++index) {
      SCOPED_TRACE(testing::Message() << "set " << std::hex << family.set << " index " << index);
      const auto selector = [&](uint32_t which) {
        return SupportedSelector(which, static_cast<SettingsSet>(family.set), index);
      };
      const uint32_t readable = Client().Supported(selector(0)).value_or(0);
      const uint32_t writable = Client().Supported(selector(1)).value_or(0);
      ASSERT_NE(readable, 0u);
      EXPECT_EQ(Client().Get(family.getCode, 1, index), readable);
      EXPECT_EQ(Client().Get(family.getCode, 2, index), writable);
      for (uint32_t bit = 2; bit < 32; ++bit) {
        const uint32_t id = uint32_t{1} << bit;
        const std::optional<int64_t> value = Client().Get(family.getCode, id, index, 0);
        EXPECT_EQ(value.has_value(), (readable & id) != 0) << "reading " << std::hex << id;
        const bool isAction = index == -1 && family.set <= 0x10 && (id & actions) != 0;
        const bool isForce = index == -1 && family.set == 0x100 && id == TR_TRIGGER;
        if ((writable & id) == 0) {
          EXPECT_FALSE(Client().Set(family.setCode, id, index, value.value_or(0)).has_value())
              << "writing " << std::hex << id;
        } else if (!isAction && !isForce && value) {
          EXPECT_TRUE(Client().Set(family.setCode, id, index, *value).has_value())
              << "writing back " << std::hex << id;
        }
      }
    }
  }
  // A channel the probe does not have has no settings.
  EXPECT_FALSE(Client().Supported(SupportedSelector(0, SettingsSet::kNext, 2)).has_value());
  EXPECT_FALSE(Client().Get(IOCTL_GET_NEXT, HW_RANGE, 2).has_value());
}

// Records that are short, name nothing the probe has or ask for too little output are refused,
// and the probe goes on answering.
TEST_F(SimDeviceTest, MalformedCallsAreRefused) {
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, 0);
  const uint32_t number = Measure().newest;
  platform::DeviceFile& file = Client().File();
  std::vector<std::byte> out(1024);

  // Valid requests with one byte too little room for the answer, then with one byte too little
  // input.
  const GetRecord get{HW_RANGE, 0, 0};
  const SetRecord set{HW_RANGE, Volts(4.0), 0, kWaitForNews};
  const uint32_t selector = SupportedSelector(0, SettingsSet::kNext);
  const DataBufferRecord acquire{kDataBufferAcquire, number, 0};
  struct Call {
    uint32_t code;
    const void* in;
    uint32_t inSize;
    uint32_t outSize;
  };
  const Call calls[] = {{IOCTL_GET_VERSIONS, nullptr, 0, sizeof(VersionRecord)},
                        {IOCTL_GET_INFO, nullptr, 0, sizeof(DeviceInfoRecord)},
                        {IOCTL_GET_NEXT, &get, sizeof get, 8},
                        {IOCTL_SET_NEXT, &set, sizeof set, 4},
                        {IOCTL_GET_SUPPORTED, &selector, sizeof selector, 4},
                        {IOCTL_DATA_BUFFER, &acquire, sizeof acquire, 8}};
  for (const Call& c : calls) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code);
    EXPECT_FALSE(file.IoControl(c.code, c.in, c.inSize, out.data(), c.outSize - 1));
    if (c.inSize > 0) {
      EXPECT_FALSE(file.IoControl(c.code, c.in, c.inSize - 1, out.data(), c.outSize));
    }
    EXPECT_TRUE(file.IoControl(c.code, c.in, c.inSize, out.data(), c.outSize));
  }
  EXPECT_FALSE(file.IoControl(0x222420, &get, sizeof get, out.data(), 8));  // no such function

  // Identifiers, indexes and list entries the probe does not have.
  const GetRecord gets[] = {{HW_RANGE | HW_COUPLING, 0, 0},  // two identifiers
                            {uint64_t{1} << 40, 0, -1},      // beyond 32 bits
                            {0, 0, -1},
                            {HW_RANGE, 0, -2},
                            {HW_RANGE, 0, 99},
                            {HW_RANGES, -1, 0},
                            {HW_SAMPLEFREQUENCIES, INT64_MAX, -1},
                            {HW_RESOLUTIONMODE, -1, -1}};
  for (const GetRecord& g : gets) {
    EXPECT_FALSE(file.IoControl(IOCTL_GET_NEXT, &g, sizeof g, out.data(), 8)) << std::hex << g.id;
  }
  const SetRecord wide{uint64_t{1} << 33, 1, -1, 0};
  EXPECT_FALSE(file.IoControl(IOCTL_SET_NEXT, &wide, sizeof wide, out.data(), 4));
  EXPECT_FALSE(Client().Set(IOCTL_SET_CONTROL, kControlFrameInterval, 0, 5).has_value());
  EXPECT_FALSE(Client().Supported(0x20).has_value());  // no such settings set
  EXPECT_FALSE(Client().Supported(selector | 2).has_value());
  const DataBufferRecord unknown{3, number, 0};
  EXPECT_FALSE(file.IoControl(IOCTL_DATA_BUFFER, &unknown, sizeof unknown, out.data(), 8));
  EXPECT_FALSE(Client().Release(reinterpret_cast<uintptr_t>(out.data()), 0));
  EXPECT_FALSE(Client().Acquire(UINT32_MAX, 0).has_value());

  EXPECT_EQ(Client().Get(IOCTL_GET_NEXT, HW_RANGE, 0), Volts(4.0));
  EXPECT_EQ(Measure().newest, number + 1);
}

TEST(SimConnectionTest, OfferedFromDriverVersion614) {
  DeviceConfig old = Config();
  old.driverVersion = 0x00060001000300FF;
  const std::shared_ptr<SimulatedProbe> oldProbe = Plug(old);
  ProtocolClient oldClient(oldProbe->Path());
  EXPECT_EQ(oldClient.Supported(SupportedSelector(0, SettingsSet::kConnectionTest)), 0u);
  EXPECT_FALSE(oldClient.Get(IOCTL_GET_CONNECTION_TEST, kConTestSetting, -1).has_value());

  const std::shared_ptr<SimulatedProbe> probe = Plug(Config());
  ProtocolClient client(probe->Path());
  ASSERT_TRUE(client.Connect());
  EXPECT_EQ(client.Get(IOCTL_GET_CONNECTION_TEST, kConTestState, 0), 0);  // test off: no state
  // Switching the test on reports the setting and the channel's state.
  EXPECT_EQ(client.Set(IOCTL_SET_CONNECTION_TEST, kConTestSetting, -1, 1), 1u);
  EXPECT_EQ(client.LastAnswer().Mask(NotificationKind::kConnectionTest, -1), kConTestSetting);
  EXPECT_EQ(client.LastAnswer().Mask(NotificationKind::kConnectionTest, 0), kConTestState);
  EXPECT_EQ(client.Get(IOCTL_GET_CONNECTION_TEST, kConTestState, 0), 1);
  // Pulling the probe tip off changes the state, which the device reports by itself.
  SignalSpec open;
  open.connected = false;
  probe->SetSignal(0, open);
  const std::optional<News> news = client.WaitNews(kPatience);
  ASSERT_TRUE(news.has_value());
  EXPECT_EQ(news->Mask(NotificationKind::kConnectionTest, 0), kConTestState);
  EXPECT_EQ(client.Get(IOCTL_GET_CONNECTION_TEST, kConTestState, 0), 2);
}

// Writes pick what the probe can do; the answer is pending and the block names every identifier
// whose value changed, the dependent ones too.
TEST_F(SimDeviceTest, SetsRoundAndReportChangesInTheBlock) {
  struct Case {
    uint32_t code;
    uint32_t id;
    int32_t index;
    int64_t request;
    int64_t stored;
    NotificationKind kind;
    uint64_t instrumentChanges;
    uint64_t channelChanges;
  };
  const Case cases[] = {
      // 50 MHz / 17 is nearer 3 MHz than 50 MHz / 16.
      {IOCTL_SET_NEXT, HW_SAMPLEFREQUENCY, -1, 3'000'000 * kHz, (50'000'000 * kHz + 8) / 17,
       NotificationKind::kNext, HW_SAMPLEFREQUENCY, HW_SAMPLEFREQUENCY},
      // 10 bits: the next resolution up, with the frequency list of 12 bits and the frequency
      // moved into it.
      {IOCTL_SET_NEXT, HW_RESOLUTION, -1, 10, 12, NotificationKind::kNext,
       HW_RESOLUTION | HW_SAMPLEFREQUENCIES | HW_SAMPLEFREQUENCYCOUNT | HW_SAMPLEFREQUENCY,
       HW_RESOLUTION | HW_SAMPLEFREQUENCY},
      // The lowest frequency: 1 Hz.
      {IOCTL_SET_NEXT, HW_SAMPLEFREQUENCY, -1, 0, kHz, NotificationKind::kNext, HW_SAMPLEFREQUENCY,
       HW_SAMPLEFREQUENCY},
      {IOCTL_SET_NEXT, HW_RANGE, 0, Volts(0.1), Volts(0.2), NotificationKind::kNext, 0, HW_RANGE},
      {IOCTL_SET_NEXT, HW_RANGE, 0, Volts(1.0), Volts(2.0), NotificationKind::kNext, 0, HW_RANGE},
      {IOCTL_SET_NEXT, HW_RANGE, 0, Volts(500.0), Volts(80.0), NotificationKind::kNext, 0,
       HW_RANGE},
      {IOCTL_SET_NEXT, HW_DATASIZE, -1, 0, 1, NotificationKind::kNext, HW_DATASIZE, HW_DATASIZE},
      {IOCTL_SET_NEXT, HW_DATASIZE, -1, 1 << 30, 131072, NotificationKind::kNext, HW_DATASIZE,
       HW_DATASIZE},
      // Block mode is 0 on the wire.
      {IOCTL_SET_NEXT, HW_MODE, -1, 1, 1, NotificationKind::kNext, HW_MODE, 0},
      {IOCTL_SET_NEXT, HW_MODE, -1, 2, 0, NotificationKind::kNext, HW_MODE, 0},
      {IOCTL_SET_NEXT, HW_CLOCKSOURCE, -1, 1, 1, NotificationKind::kNext, HW_CLOCKSOURCE, 0},
      {IOCTL_SET_NEXT, HW_CLOCKSOURCE, -1, 2, 0, NotificationKind::kNext, HW_CLOCKSOURCE, 0},
      {IOCTL_SET_NEXT, HW_COUPLING, 0, 2, 2, NotificationKind::kNext, 0, HW_COUPLING},
      {IOCTL_SET_NEXT, HW_ENABLE, 0, 0, 0, NotificationKind::kNext, 0, HW_ENABLE},
      {IOCTL_SET_TRIGGER_NEXT, TR_LEVEL, 0, Fraction(1.5), kFractionOne,
       NotificationKind::kTriggerNext, 0, TR_LEVEL},
      {IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, -5, -kVolt, NotificationKind::kTriggerNext,
       TR_TIMEOUT, 0},
      // Current values become the next ones too, reported in both sets.
      {IOCTL_SET_TRIGGER_CURRENT, TR_SOURCEOR, -1, 0, 0, NotificationKind::kTriggerCurrent,
       TR_SOURCEOR | TR_USED, TR_USED},
      {IOCTL_SET_CURRENT, HW_RESOLUTION, -1, 16, 16, NotificationKind::kCurrent,
       HW_RESOLUTION | HW_SAMPLEFREQUENCIES | HW_SAMPLEFREQUENCYCOUNT | HW_SAMPLEFREQUENCY,
       HW_RESOLUTION | HW_SAMPLEFREQUENCY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "id " << std::hex << c.id << " request " << std::dec << c.request);
    const uint32_t getCode = c.code + 4;  // every get code follows its set code
    ASSERT_EQ(Client().Set(c.code, c.id, c.index, c.request), 1u);
    EXPECT_EQ(Client().Get(getCode, c.id, c.index), c.stored);
    const News& answer = Client().LastAnswer();
    EXPECT_EQ(answer.Mask(c.kind, -1), c.instrumentChanges);
    EXPECT_EQ(answer.Mask(c.kind, 0), c.channelChanges);
    // The same value again changes nothing: no news, not pending.
    EXPECT_EQ(Client().Set(c.code, c.id, c.index, c.stored), 0u);
  }
  EXPECT_EQ(Client().Get(IOCTL_GET_TRIGGER_NEXT, TR_SOURCEOR, -1), 0);
  EXPECT_EQ(Client().Get(IOCTL_GET_NEXT, HW_SAMPLEFREQUENCIES, -1, 0), 195'312 * kHz + kHz / 2);

  // Codes the probe does not know are refused and change nothing.
  EXPECT_FALSE(Client().Set(IOCTL_SET_NEXT, HW_COUPLING, 0, 4).has_value());
  EXPECT_FALSE(Client().Set(IOCTL_SET_NEXT, HW_MODE, -1, 3).has_value());
  EXPECT_FALSE(Client().Set(IOCTL_SET_NEXT, HW_CLOCKSOURCE, -1, 4).has_value());
  EXPECT_FALSE(Client().Set(IOCTL_SET_TRIGGER_NEXT, TR_KIND, 0, 3).has_value());
  EXPECT_FALSE(Client().Set(IOCTL_SET_TRIGGER_NEXT, TR_SOURCEOR, -1, 2).has_value());  // no ch 2
  EXPECT_FALSE(Client().Get(IOCTL_GET_NEXT, HW_RANGES, 0, 9).has_value());
  EXPECT_EQ(Client().Get(IOCTL_GET_NEXT, HW_COUPLING, 0), 2);

  // Without the wait flag the news comes later, through the news event.
  EXPECT_EQ(Client().Set(IOCTL_SET_NEXT, HW_DATASIZE, -1, 777, false), 0u);
  const std::optional<News> news = Client().WaitNews(kPatience);
  ASSERT_TRUE(news.has_value());
  EXPECT_EQ(news->Mask(NotificationKind::kNext, -1), HW_DATASIZE);
}

TEST_F(SimDeviceTest, FrequencyListsFollowTheResolution) {
  struct Case {
    int64_t resolution;
    double maxHz;
    int64_t count;
  };
  const Case cases[] = {{8, 50e6, 24}, {12, 20e6, 23}, {14, 3.125e6, 20}, {16, 195312.5, 16}};
  for (const Case& c : cases) {
    Write(IOCTL_SET_NEXT, HW_RESOLUTION, -1, c.resolution);
    EXPECT_EQ(Client().Get(IOCTL_GET_NEXT, HW_SAMPLEFREQUENCYCOUNT, -1), c.count);
    const auto entry = [&](int64_t k) {
      return static_cast<double>(
                 Client().Get(IOCTL_GET_NEXT, HW_SAMPLEFREQUENCIES, -1, k).value_or(0)) /
             static_cast<double>(kHz);
    };
    EXPECT_DOUBLE_EQ(entry(0), c.maxHz);
    EXPECT_DOUBLE_EQ(entry(1), c.maxHz / 2);
    EXPECT_DOUBLE_EQ(entry(2), c.maxHz / 5);
    EXPECT_DOUBLE_EQ(entry(3), c.maxHz / 10);
    EXPECT_GE(entry(c.count - 1), 1.0);
    // A request above the maximum gets the maximum.
    Write(IOCTL_SET_NEXT, HW_SAMPLEFREQUENCY, -1, 1'000'000'000 * kHz);
    EXPECT_DOUBLE_EQ(
        static_cast<double>(Client().Get(IOCTL_GET_NEXT, HW_SAMPLEFREQUENCY, -1).value_or(0)) / kHz,
        c.maxHz);
  }
}

TEST_F(SimDeviceTest, StartReportsTheStartThenTheNumberedRecord) {
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 1000);
  for (uint32_t number = 1; number <= 3; ++number) {
    ASSERT_EQ(Client().Set(IOCTL_SET_NEXT, HW_START, -1, 1), 1u);
    const News& start = Client().LastAnswer();
    EXPECT_NE(start.Mask(NotificationKind::kCurrent, -1) & HW_START, 0u);
    EXPECT_NE(start.Mask(NotificationKind::kCurrent, 0) & HW_START, 0u);
    if (number == 1) {
      // The first start copies the changed record length into the current settings.
      EXPECT_NE(start.Mask(NotificationKind::kCurrent, -1) & HW_DATASIZE, 0u);
    }
    const std::optional<News> ready = Client().WaitMeasurement(kPatience);
    ASSERT_TRUE(ready.has_value());
    EXPECT_EQ(ready->newest, number);
    EXPECT_NE(ready->Mask(NotificationKind::kCurrent, 0) & HW_MREADY, 0u);
    EXPECT_EQ(Record(number, 0).size(), 1000u);
  }
  EXPECT_EQ(Client().Get(IOCTL_GET_CURRENT, HW_DATASIZE, -1), 1000);
}

TEST_F(SimDeviceTest, RecordsHoldTheSignalQuantised) {
  Open(Config(Preset::kDual));
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 20000);
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, 0);  // take the record at once
  struct Case {
    int64_t resolution;
    double range;
    SignalSpec signal;
    int64_t coupling;
  };
  const Case cases[] = {
      {8, 2.0, DcSignal(0.5), 1},   {12, 0.8, DcSignal(-0.3), 1},
      {16, 4.0, DcSignal(1.23), 1}, {16, 4.0, DcSignal(1.23), 2},  // AC coupling removes the level
      {8, 0.2, DcSignal(5.0), 1},                                  // clipped
  };
  uint32_t number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.resolution << " bit " << c.range << " V");
    Write(IOCTL_SET_NEXT, HW_RESOLUTION, -1, c.resolution);
    Write(IOCTL_SET_NEXT, HW_RANGE, 1, Volts(c.range));
    Write(IOCTL_SET_NEXT, HW_COUPLING, 1, c.coupling);
    probe_->SetSignal(1, c.signal);
    number = Measure().newest;
    const Quantisation q{c.range, static_cast<uint32_t>(c.resolution), c.coupling == 2};
    const uint32_t expected = q.CodeOf(c.coupling == 2 ? 0.0 : c.signal.offset);
    const std::vector<uint32_t> codes = Record(number, 1);
    ASSERT_FALSE(codes.empty());
    EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [&](uint32_t v) { return v == expected; }))
        << "expected code " << expected << ", first " << codes[0];
  }

  // A sine: its peaks at the amplitude, its rising crossings at the frequency.
  for (const int64_t resolution : {8, 16}) {
    Write(IOCTL_SET_NEXT, HW_RESOLUTION, -1, resolution);
    Write(IOCTL_SET_NEXT, HW_SAMPLEFREQUENCY, -1, 100'000 * kHz);
    Write(IOCTL_SET_NEXT, HW_RANGE, 0, Volts(2.0));
    probe_->SetSignal(0, WaveSignal(Waveform::kSine, 2500.0, 1.5, 0.1));
    const std::vector<uint32_t> codes = Record(Measure().newest, 0);
    ASSERT_EQ(codes.size(), 20000u);
    const Quantisation q{2.0, static_cast<uint32_t>(resolution), false};
    const auto [low, high] = std::minmax_element(codes.begin(), codes.end());
    const double step = 4.0 / std::ldexp(1.0, static_cast<int>(resolution));
    EXPECT_NEAR(q.VoltsOf(*high), 1.6, step);
    EXPECT_NEAR(q.VoltsOf(*low), -1.4, step);
    const uint32_t middle = q.CodeOf(0.1);
    int crossings = 0;
    for (size_t i = 1; i < codes.size(); ++i)
      crossings += codes[i - 1] < middle && codes[i] >= middle;
    const double fs =
        static_cast<double>(Client().Get(IOCTL_GET_CURRENT, HW_SAMPLEFREQUENCY, -1).value_or(0)) /
        kHz;
    EXPECT_NEAR(crossings, 2500.0 * 20000 / fs, 1);  // the probe picked about 100 kHz
  }
}

// The trigger point sits at the pre-samples, at the level, for each kind of trigger.
TEST_F(SimDeviceTest, TriggerPointAtLevelAndPreSamples) {
  const size_t length = 10000;
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, static_cast<int64_t>(length));
  Write(IOCTL_SET_NEXT, HW_RESOLUTION, -1, 12);
  Write(IOCTL_SET_NEXT, HW_RANGE, 0, Volts(2.0));
  Write(IOCTL_SET_TRIGGER_NEXT, TR_PRESAMPLES, -1, Fraction(0.3));
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, -kVolt);
  probe_->SetSignal(0, WaveSignal(Waveform::kSine, 1000.0, 1.0));
  const size_t pre = 3000;
  struct Case {
    int64_t kind;
    double level;       // volts
    double hysteresis;  // volts
  };
  const Case cases[] = {{1, 0.5, 0.05}, {2, -0.25, 0.0}, {4, 0.9, 0.05}, {8, 0.0, 0.2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind);
    // Level and hysteresis as fractions of the range span -2 ... 2 V.
    Write(IOCTL_SET_TRIGGER_NEXT, TR_KIND, 0, c.kind);
    Write(IOCTL_SET_TRIGGER_NEXT, TR_LEVEL, 0, Fraction((c.level + 2.0) / 4.0));
    Write(IOCTL_SET_TRIGGER_NEXT, TR_HYSTERESIS, 0, Fraction(c.hysteresis / 4.0));
    const uint32_t number = Measure().newest;
    EXPECT_EQ(Client().Get(IOCTL_GET_TRIGGER_CURRENT, TR_TRIGGER, -1), 1);
    const std::vector<uint32_t> codes = Record(number, 0);
    ASSERT_EQ(codes.size(), length);
    const auto volts = [&](size_t i) { return Quantisation{2.0, 12, false}.VoltsOf(codes[i]); };
    const double lsb = 4.0 / 4096;
    const double before = volts(pre - 1);
    const double at = volts(pre);
    switch (c.kind) {
      case 1:
        EXPECT_LT(before, c.level);
        EXPECT_GE(at + lsb / 2, c.level);
        break;
      case 2:
        EXPECT_GT(before, c.level);
        EXPECT_LE(at - lsb / 2, c.level);
        break;
      case 4:
        EXPECT_GT(std::fabs(before - c.level), c.hysteresis - lsb);
        EXPECT_LE(std::fabs(at - c.level), c.hysteresis + lsb);
        break;
      default:
        EXPECT_LE(std::fabs(before - c.level), c.hysteresis + lsb);
        EXPECT_GT(std::fabs(at - c.level), c.hysteresis - lsb);
        break;
    }
  }
}

// The library opens the probe with the largest range and waits for ever for the trigger; with
// every trigger setting at the probe's default, the probe's default signal triggers.
TEST_F(SimDeviceTest, TheDefaultSignalTriggersOnTheLargestRange) {
  Write(IOCTL_SET_NEXT, HW_RANGE, 0, Volts(80.0));
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, kVolt);  // ends the test if it never triggers
  Measure();
  EXPECT_EQ(Client().Get(IOCTL_GET_TRIGGER_CURRENT, TR_TRIGGER, -1), 1);
}

TEST_F(SimDeviceTest, TimeOutTakesAnUntriggeredRecordAndForcingTriggers) {
  probe_->SetSignal(0, DcSignal(0.0));  // never reaches the level
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 500);
  Write(IOCTL_SET_TRIGGER_NEXT, TR_LEVEL, 0, Fraction(0.9));
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, kVolt / 20);
  Measure();
  EXPECT_EQ(Client().Get(IOCTL_GET_TRIGGER_CURRENT, TR_TRIGGER, -1), 0);

  // Waiting for ever: nothing comes until the trigger is forced.
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, -kVolt);
  Write(IOCTL_SET_NEXT, HW_START, -1, 1);
  EXPECT_FALSE(Client().WaitMeasurement(300).has_value());
  Write(IOCTL_SET_TRIGGER_CURRENT, TR_TRIGGER, -1, 0);
  const std::optional<News> forced = Client().WaitMeasurement(kPatience);
  ASSERT_TRUE(forced.has_value());
  EXPECT_EQ(Client().Get(IOCTL_GET_TRIGGER_CURRENT, TR_TRIGGER, -1), 1);
  EXPECT_FALSE(Client().Set(IOCTL_SET_TRIGGER_CURRENT, TR_TRIGGER, -1, 5).has_value());
}

TEST(SimTiming, RealTimeOutLastsItsTime) {
  DeviceConfig config = Config(Preset::kProbe, false);
  config.signals = {DcSignal(0.0)};
  const std::shared_ptr<SimulatedProbe> probe = Plug(config);
  ProtocolClient client(probe->Path());
  ASSERT_TRUE(client.Connect());
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_DATASIZE, -1, 100).has_value());
  ASSERT_TRUE(client.Set(IOCTL_SET_TRIGGER_NEXT, TR_LEVEL, 0, Fraction(0.9)).has_value());
  ASSERT_TRUE(client.Set(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, kVolt / 5).has_value());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_START, -1, 1).has_value());
  ASSERT_TRUE(client.WaitMeasurement(kPatience).has_value());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(client.Get(IOCTL_GET_TRIGGER_CURRENT, TR_TRIGGER, -1), 0);

  // A signal that crosses the level triggers while the time passes.
  probe->SetSignal(0, WaveSignal(Waveform::kSine, 1000.0, 1.5));
  ASSERT_TRUE(client.Set(IOCTL_SET_TRIGGER_NEXT, TR_LEVEL, 0, Fraction(0.5)).has_value());
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_START, -1, 1).has_value());
  ASSERT_TRUE(client.WaitMeasurement(kPatience).has_value());
  EXPECT_EQ(client.Get(IOCTL_GET_TRIGGER_CURRENT, TR_TRIGGER, -1), 1);
}

TEST_F(SimDeviceTest, StopEndsAWaitingMeasurement) {
  probe_->SetSignal(0, DcSignal(0.0));
  Write(IOCTL_SET_TRIGGER_NEXT, TR_LEVEL, 0, Fraction(0.9));
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, -kVolt);
  Write(IOCTL_SET_NEXT, HW_START, -1, 1);
  ASSERT_EQ(Client().Set(IOCTL_SET_CURRENT, HW_STOP, -1, 0), 1u);
  EXPECT_NE(Client().LastAnswer().Mask(NotificationKind::kCurrent, -1) & HW_STOP, 0u);
  EXPECT_NE(Client().LastAnswer().Mask(NotificationKind::kCurrent, 0) & HW_STOP, 0u);
  Write(IOCTL_SET_TRIGGER_CURRENT, TR_TRIGGER, -1, 0);  // nothing left to force
  EXPECT_FALSE(Client().WaitMeasurement(300).has_value());
}

// A start begins a new measurement: a record completed before it whose news the reader has not
// read yet is announced no more (the reader would take it for the new one) and, taken with other
// settings, can no longer be acquired either.
TEST_F(SimDeviceTest, AStartDropsTheUnreadNewsOfTheRecordBeforeIt) {
  probe_->SetSignal(0, DcSignal(0.5));
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 100);
  Write(IOCTL_SET_TRIGGER_NEXT, TR_LEVEL, 0, Fraction(0.9));  // never reached: forced below
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, -kVolt);
  Write(IOCTL_SET_NEXT, HW_START, -1, 1);
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 3000);  // for the next measurement
  Write(IOCTL_SET_TRIGGER_CURRENT, TR_TRIGGER, -1, 0);
  // Record 1 completes; its news stays unread.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatience);
  std::optional<uintptr_t> first;
  while (!(first = Client().Acquire(1, 0)) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(Client().Release(*first, 0));

  ASSERT_EQ(Client().Set(IOCTL_SET_NEXT, HW_START, -1, 1), 1u);
  const News& start = Client().LastAnswer();
  EXPECT_NE(start.Mask(NotificationKind::kCurrent, 0) & HW_DATASIZE, 0u);
  EXPECT_EQ(start.Mask(NotificationKind::kCurrent, -1) & HW_MREADY, 0u);
  EXPECT_EQ(start.Mask(NotificationKind::kCurrent, 0) & HW_MREADY, 0u);
  EXPECT_FALSE(Client().Acquire(1, 0).has_value()) << "100 samples where 3000 are read";

  Write(IOCTL_SET_TRIGGER_CURRENT, TR_TRIGGER, -1, 0);
  const std::optional<News> ready = Client().WaitMeasurement(kPatience);
  ASSERT_TRUE(ready.has_value());
  EXPECT_EQ(ready->newest, 2u);
  const std::vector<uint32_t> codes = Record(2, 0);
  ASSERT_EQ(codes.size(), 3000u);
  const uint32_t level = Quantisation{2.0, 8, false}.CodeOf(0.5);
  EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [&](uint32_t c) { return c == level; }));
}

// Current settings take effect at once: a record waiting for its trigger starts over with them
// and is announced with the length they give.
TEST_F(SimDeviceTest, ACurrentSettingsChangeRestartsTheRecordInTheMaking) {
  probe_->SetSignal(0, DcSignal(0.5));
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 100);
  Write(IOCTL_SET_TRIGGER_NEXT, TR_LEVEL, 0, Fraction(0.9));
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, -kVolt);
  Write(IOCTL_SET_NEXT, HW_START, -1, 1);
  Write(IOCTL_SET_CURRENT, HW_DATASIZE, -1, 3000);
  Write(IOCTL_SET_TRIGGER_CURRENT, TR_TRIGGER, -1, 0);
  const std::optional<News> ready = Client().WaitMeasurement(kPatience);
  ASSERT_TRUE(ready.has_value());
  const std::vector<uint32_t> codes = Record(ready->newest, 0);
  ASSERT_EQ(codes.size(), 3000u);
  const uint32_t level = Quantisation{2.0, 8, false}.CodeOf(0.5);
  EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [&](uint32_t c) { return c == level; }));
}

// The library's event thread sets the done event a moment after the window has read the block. A
// set made on the window's thread in that moment is answered only once that done event is in:
// otherwise the late done event would count as the reading of the answer's block, and the next
// news could overwrite that block while the library reads it.
TEST_F(SimDeviceTest, ASetIsAnsweredAfterTheDoneEventOfTheBlockReadBeforeIt) {
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 100);
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, 0);
  Write(IOCTL_SET_NEXT, HW_START, -1, 1);
  ASSERT_TRUE(Client().WaitMeasurement(kPatience, nullptr, false).has_value());
  std::atomic<double> doneAt{0.0};
  std::thread eventThread([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    doneAt = platform::HighResSeconds();
    Client().SignalDone();
  });
  ASSERT_EQ(Client().Set(IOCTL_SET_NEXT, HW_DATASIZE, -1, 200), 1u);
  const double answeredAt = platform::HighResSeconds();
  eventThread.join();
  EXPECT_GE(answeredAt, doneAt.load());
  EXPECT_EQ(Client().LastAnswer().Mask(NotificationKind::kNext, -1), HW_DATASIZE);
}

// Streaming: consecutive numbers, records that continue one another without a gap, the first one
// marked with HW_START and the restart number.
TEST_F(SimDeviceTest, StreamingNumbersConsecutiveRecords) {
  const size_t length = 1000;
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, static_cast<int64_t>(length));
  Write(IOCTL_SET_NEXT, HW_RESOLUTION, -1, 16);
  Write(IOCTL_SET_NEXT, HW_SAMPLEFREQUENCY, -1, 100'000 * kHz);
  probe_->SetSignal(0, WaveSignal(Waveform::kSine, 330.0, 1.0));
  Measure();  // one block-mode record first: streaming numbers go on from it
  Write(IOCTL_SET_NEXT, HW_MODE, -1, 1);
  Write(IOCTL_SET_NEXT, HW_START, -1, -1);
  uint32_t last = Client().LastAnswer().newest;
  EXPECT_EQ(last, 1u);  // the start's news announces no new record
  std::vector<uint32_t> stream;
  bool first = true;
  while (last < 40) {
    // The records are fetched before the block is given back, as the library does.
    const std::optional<News> news = Client().WaitMeasurement(kPatience, [&](const News& n) {
      for (uint32_t m = last + 1; m <= n.newest; ++m) {
        const std::vector<uint32_t> codes = Record(m, 0);
        ASSERT_EQ(codes.size(), length);
        stream.insert(stream.end(), codes.begin(), codes.end());
      }
    });
    ASSERT_TRUE(news.has_value());
    if (first) {
      EXPECT_NE(news->Mask(NotificationKind::kCurrent, -1) & HW_START, 0u);
      EXPECT_EQ(news->restart, 2u);
      first = false;
    }
    ASSERT_GT(news->newest, last);
    EXPECT_LE(news->compare, last + 1);  // nothing lost
    last = news->newest;
  }
  // Gap-free: the records joined are one sine (each step within what the sine can move).
  const double maxStep = 2 * std::numbers::pi * 330.0 / 100'000 * 32768 + 2;
  for (size_t i = 1; i < stream.size(); ++i) {
    ASSERT_LE(std::fabs(static_cast<double>(stream[i]) - static_cast<double>(stream[i - 1])),
              maxStep)
        << "at " << i;
  }
  Write(IOCTL_SET_CURRENT, HW_STOP, -1, 0);
}

// A probe with real timing and one connected client, set for streaming records of `length`
// samples at `hertz`, announced at most once every `frameMs`.
struct RealTimeStream {
  RealTimeStream(int64_t frameMs, int64_t length, int64_t hertz)
      : probe(Plug(Config(Preset::kProbe, false))), client(probe->Path()) {
    EXPECT_TRUE(client.Connect());
    EXPECT_TRUE(client.Set(IOCTL_SET_CONTROL, kControlFrameInterval, -1, frameMs).has_value());
    EXPECT_TRUE(client.Set(IOCTL_SET_NEXT, HW_DATASIZE, -1, length).has_value());
    EXPECT_TRUE(client.Set(IOCTL_SET_NEXT, HW_SAMPLEFREQUENCY, -1, hertz * kHz).has_value());
    EXPECT_TRUE(client.Set(IOCTL_SET_NEXT, HW_MODE, -1, 1).has_value());
  }
  std::shared_ptr<SimulatedProbe> probe;
  ProtocolClient client;
};

// The frame interval holds back the first record of a stream together with its HW_START: the
// reader restarts its count only when both come in one record.
TEST(SimStreaming, TheFirstRecordKeepsItsStartWhenTheFrameIntervalHoldsItBack) {
  RealTimeStream stream(200, 1000, 1'000'000);
  ProtocolClient& client = stream.client;
  // A block measurement first: a frame begins with its announcement.
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_MODE, -1, 2).has_value());
  ASSERT_TRUE(client.Set(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, 0).has_value());
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_START, -1, 1).has_value());
  ASSERT_TRUE(client.WaitMeasurement(kPatience).has_value());
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_MODE, -1, 1).has_value());
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_START, -1, -1).has_value());
  const std::optional<News> first = client.WaitMeasurement(kPatience);
  ASSERT_TRUE(client.Set(IOCTL_SET_CURRENT, HW_STOP, -1, 0).has_value());
  ASSERT_TRUE(first.has_value());
  EXPECT_NE(first->Mask(NotificationKind::kCurrent, -1) & HW_START, 0u);
  EXPECT_NE(first->Mask(NotificationKind::kCurrent, 0) & HW_START, 0u);
  EXPECT_EQ(first->restart, 2u);
}

// A stream announces its records once per frame interval; what comes in between stays in the ring
// for a reader that keeps up, even when a frame holds more records than a block measurement keeps.
TEST(SimStreaming, TheRingKeepsTheRecordsOfAFrame) {
  RealTimeStream stream(600, 1000, 200'000);
  ProtocolClient& client = stream.client;
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_START, -1, -1).has_value());
  const std::optional<News> first = client.WaitMeasurement(kPatience);
  const std::optional<News> second = client.WaitMeasurement(kPatience);
  ASSERT_TRUE(client.Set(IOCTL_SET_CURRENT, HW_STOP, -1, 0).has_value());
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(second.has_value());
  EXPECT_GT(second->newest - first->newest, 100u);  // 5 ms records, 600 ms apart
  EXPECT_LE(second->compare, first->newest + 1);
  EXPECT_TRUE(client.Acquire(first->newest + 1, 0).has_value());
}

// A reader that falls behind finds the oldest records overwritten: the block's comparison number
// has passed it and those records can no longer be acquired.
TEST(SimStreaming, OldRecordsAreOverwrittenWhenTheReaderFallsBehind) {
  const std::shared_ptr<SimulatedProbe> probe = Plug(Config(Preset::kProbe, false));
  ProtocolClient slow(probe->Path());
  ProtocolClient quick(probe->Path());
  ASSERT_TRUE(slow.Connect());
  ASSERT_TRUE(quick.Connect());
  ASSERT_TRUE(quick.Set(IOCTL_SET_NEXT, HW_DATASIZE, -1, 1000).has_value());
  ASSERT_TRUE(quick.Set(IOCTL_SET_NEXT, HW_SAMPLEFREQUENCY, -1, 1'000'000 * kHz).has_value());
  ASSERT_TRUE(quick.Set(IOCTL_SET_NEXT, HW_MODE, -1, 1).has_value());
  ASSERT_TRUE(quick.Set(IOCTL_SET_NEXT, HW_START, -1, -1).has_value());
  // The slow client has news waiting and does not read it while the quick one sees 40 records.
  uint32_t seen = 0;
  while (seen < 40) {
    const std::optional<News> news = quick.WaitMeasurement(kPatience);
    ASSERT_TRUE(news.has_value());
    seen = news->newest;
  }
  ASSERT_TRUE(quick.Set(IOCTL_SET_CURRENT, HW_STOP, -1, 0).has_value());
  std::optional<News> news;
  while (!news || news->newest < 40) {
    news = slow.WaitMeasurement(kPatience);
    ASSERT_TRUE(news.has_value());
  }
  EXPECT_GT(news->compare, 2u);
  EXPECT_FALSE(slow.Acquire(1, 0).has_value());
  EXPECT_TRUE(slow.Acquire(news->newest, 0).has_value());
}

TEST_F(SimDeviceTest, BuffersComeAndGoByMeasurementNumber) {
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 100);
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, 0);
  const uint32_t first = Measure().newest;
  const std::optional<uintptr_t> held = Client().Acquire(first, 0);
  ASSERT_TRUE(held.has_value());
  EXPECT_FALSE(Client().Acquire(first + 1, 0).has_value());  // not taken yet
  EXPECT_FALSE(Client().Acquire(0, 0).has_value());
  EXPECT_FALSE(Client().Acquire(first, 1).has_value());  // no such channel
  EXPECT_FALSE(Client().Release(*held + 2, 0));
  // Many records later the held buffer is still there; the others have been replaced.
  uint32_t last = first;
  for (int i = 0; i < 20; ++i) last = Measure().newest;
  EXPECT_TRUE(Client().Acquire(first, 0).has_value());
  EXPECT_FALSE(Client().Acquire(first + 1, 0).has_value());
  EXPECT_TRUE(Client().Acquire(last, 0).has_value());
  EXPECT_TRUE(Client().Release(*held, 0));
  EXPECT_TRUE(Client().Release(*held, 0));  // acquired twice, released twice
  EXPECT_FALSE(Client().Release(*held, 0));
}

TEST_F(SimDeviceTest, AutoRangingMovesTheNextRange) {
  Write(IOCTL_SET_NEXT, HW_DATASIZE, -1, 2000);
  Write(IOCTL_SET_TRIGGER_NEXT, TR_TIMEOUT, -1, 0);
  Write(IOCTL_SET_NEXT, HW_AUTORANGING, 0, 1);
  probe_->SetSignal(0, WaveSignal(Waveform::kSine, 1000.0, 1.5));
  struct Case {
    double from;
    double to;
  };
  // Clipped: one range up. Not clipped: the smallest range holding the peak with room to spare.
  const Case cases[] = {{0.2, 0.4}, {80.0, 2.0}, {2.0, 2.0}};
  for (const Case& c : cases) {
    Write(IOCTL_SET_NEXT, HW_RANGE, 0, Volts(c.from));
    const News news = Measure();
    EXPECT_EQ(Client().Get(IOCTL_GET_NEXT, HW_RANGE, 0), Volts(c.to)) << "from " << c.from;
    EXPECT_EQ(Client().Get(IOCTL_GET_CURRENT, HW_RANGE, 0), Volts(c.from));
    EXPECT_EQ(news.Mask(NotificationKind::kNext, 0) & HW_RANGE, c.from != c.to ? HW_RANGE : 0u);
  }
}

TEST(SimClients, OpenCountAndConnectionLimit) {
  const std::shared_ptr<SimulatedProbe> probe = Plug(Config());
  std::vector<std::unique_ptr<ProtocolClient>> clients;
  for (int i = 0; i < 5; ++i) clients.push_back(std::make_unique<ProtocolClient>(probe->Path()));
  EXPECT_EQ(clients[0]->Get(IOCTL_GET_CONTROL, kControlOpenCount, -1), 5);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(clients[i]->Connect()) << i;
  EXPECT_FALSE(clients[4]->Connect());
  EXPECT_FALSE(clients[0]->Connect());  // one connection per file
  clients[1].reset();
  clients[2]->Close();
  EXPECT_EQ(clients[0]->Get(IOCTL_GET_CONTROL, kControlOpenCount, -1), 3);
  EXPECT_EQ(probe->OpenCount(), 3);
  EXPECT_TRUE(clients[4]->Connect());
  EXPECT_FALSE(clients[0]->Set(IOCTL_SET_CONTROL, kControlOpenCount, -1, 1).has_value());
}

// Plugging in and pulling out reach the windows registered for the class and for an open file,
// as the library learns of them; a stream running at the time ends with the device.
TEST(SimRemoval, UnpluggingWhileStreamingEndsEverything) {
  struct Change {
    uintptr_t event;
    uint32_t deviceType;
  };
  std::vector<Change> changes;
  platform::MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == platform::kWmDeviceChange && lParam != 0) {
      changes.push_back(
          {wParam, reinterpret_cast<const platform::DevBroadcastHeader*>(lParam)->deviceType});
    }
    return intptr_t{0};
  });
  const platform::DeviceNotification classRegistration =
      platform::RegisterInterfaceNotification(window, kDriverInterfaceClass);
  const std::shared_ptr<SimulatedProbe> probe = Plug(Config());
  platform::PumpMessages();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].event, platform::kDbtDeviceArrival);
  platform::UnregisterDeviceNotification(classRegistration);

  ProtocolClient client(probe->Path());
  ASSERT_TRUE(client.Connect());
  const platform::DeviceNotification fileRegistration =
      platform::RegisterHandleNotification(window, client.File());
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_MODE, -1, 1).has_value());
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_START, -1, -1).has_value());
  ASSERT_TRUE(client.WaitMeasurement(kPatience).has_value());
  probe->Unplug();
  EXPECT_FALSE(client.Get(IOCTL_GET_NEXT, HW_MODE, -1).has_value());
  EXPECT_FALSE(client.Acquire(1, 0).has_value());
  platform::PumpMessages();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[1].event, platform::kDbtDeviceRemoveComplete);
  EXPECT_EQ(changes[1].deviceType, platform::kDbtDevTypHandle);
  platform::UnregisterDeviceNotification(fileRegistration);
  client.Close();
  EXPECT_EQ(probe->OpenCount(), 0);
}

// Completed records are announced no more often than the frame interval allows: a stream of a
// thousand records a second reaches the reader in a few blocks, each with many records.
TEST(SimTiming, FrameIntervalLimitsTheAnnouncements) {
  RealTimeStream stream(100, 1000, 1'000'000);
  ProtocolClient& client = stream.client;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client.Set(IOCTL_SET_NEXT, HW_START, -1, -1).has_value());
  int announcements = 0;
  uint32_t newest = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(350)) {
    const std::optional<News> news = client.WaitMeasurement(kPatience);
    ASSERT_TRUE(news.has_value());
    ++announcements;
    newest = news->newest;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(client.Set(IOCTL_SET_CURRENT, HW_STOP, -1, 0).has_value());
  const auto frames = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 100;
  EXPECT_LE(announcements, frames + 1);
  EXPECT_GT(newest, static_cast<uint32_t>(announcements));  // several records per announcement
}

}  // namespace
}  // namespace veltra::sim
