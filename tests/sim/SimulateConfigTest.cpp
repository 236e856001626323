#include <gtest/gtest.h>

#include "sim/SimulateConfig.h"

namespace veltra::sim {
namespace {

TEST(SimulateConfig, EntriesBecomeProbes) {
  const SimulateRequest one = ParseSimulate("1");
  ASSERT_EQ(one.devices.size(), 1u);
  EXPECT_EQ(one.devices[0].preset, Preset::kProbe);
  EXPECT_EQ(one.devices[0].serial, 27001u);
  EXPECT_TRUE(one.errors.empty());
  EXPECT_TRUE(ParseSimulate("").devices.empty());
  EXPECT_TRUE(ParseSimulate("0").devices.empty());

  const SimulateRequest request = ParseSimulate(
      "probe:serial=27001,ch1=sine:1k:0.5; dual : serial=27002, subid=3, cal=2022-05-06T07:08,"
      "driver=6.1.3.9,firmware=2.0.0.1,maxlength=1M,seed=99,timing=instant,ch2=open;dual");
  ASSERT_EQ(request.devices.size(), 3u);
  EXPECT_TRUE(request.errors.empty());
  const DeviceConfig& probe = request.devices[0];
  EXPECT_EQ(probe.serial, 27001u);
  ASSERT_EQ(probe.signals.size(), 1u);
  EXPECT_EQ(probe.signals[0].frequency, 1000.0);
  EXPECT_EQ(probe.signals[0].amplitude, 0.5);
  const DeviceConfig& dual = request.devices[1];
  EXPECT_EQ(dual.preset, Preset::kDual);
  EXPECT_EQ(dual.subId, 3u);
  EXPECT_EQ(dual.calibration.year, 2022);
  EXPECT_EQ(dual.calibration.minute, 8);
  EXPECT_EQ(dual.driverVersion, 0x0006000100030009u);
  EXPECT_EQ(dual.firmwareVersion, 0x0002000000000001u);
  EXPECT_EQ(dual.dataSizeMax, 1'000'000);
  EXPECT_EQ(dual.seed, 99u);
  EXPECT_TRUE(dual.instant);
  ASSERT_EQ(dual.signals.size(), 2u);
  EXPECT_EQ(dual.signals[0], DefaultSignal(0));
  EXPECT_FALSE(dual.signals[1].connected);
  EXPECT_EQ(request.devices[2].serial, 27003u);  // default serials count on
}

// The fault keys, each into its field; without them a probe behaves.
TEST(SimulateConfig, FaultKeys) {
  const DeviceConfig plain = ParseSimulate("probe").devices.at(0);
  EXPECT_FALSE(plain.unplugSeconds.has_value());
  EXPECT_FALSE(plain.unplugRecords.has_value());
  EXPECT_FALSE(plain.replugSeconds.has_value());
  EXPECT_EQ(plain.connectionLimit, 4u);
  EXPECT_FALSE(plain.shortInfo);
  EXPECT_FALSE(plain.RemovesItself());

  const SimulateRequest request = ParseSimulate(
      "probe:unplug=250m,replug=1.5;dual:unplug-after=3,replug=0;probe:unplug=0;"
      "probe:connections=0,info=short;probe:connections=12,info=full");
  EXPECT_TRUE(request.errors.empty());
  ASSERT_EQ(request.devices.size(), 5u);
  const DeviceConfig& timed = request.devices[0];
  EXPECT_EQ(timed.unplugSeconds, 0.25);
  EXPECT_EQ(timed.replugSeconds, 1.5);
  EXPECT_FALSE(timed.unplugRecords.has_value());
  const DeviceConfig& counted = request.devices[1];
  EXPECT_EQ(counted.unplugRecords, 3u);
  EXPECT_EQ(counted.replugSeconds, 0.0);
  EXPECT_FALSE(counted.unplugSeconds.has_value());
  EXPECT_TRUE(counted.RemovesItself());
  EXPECT_EQ(request.devices[2].unplugSeconds, 0.0);
  EXPECT_FALSE(request.devices[2].replugSeconds.has_value());
  EXPECT_EQ(request.devices[3].connectionLimit, 0u);
  EXPECT_TRUE(request.devices[3].shortInfo);
  EXPECT_EQ(request.devices[4].connectionLimit, 12u);
  EXPECT_FALSE(request.devices[4].shortInfo);
}

// Each malformed entry is reported once and skipped; the good ones stay.
TEST(SimulateConfig, MalformedEntriesAreSkipped) {
  const char* bad[] = {
      "scope",                     // unknown preset
      "probe:serial=abc",          // not a number
      "probe:colour=red",          // unknown key
      "probe:ch2=sine:1k:1",       // the probe has one channel
      "probe:ch1=sine:1k",         // amplitude missing
      "probe:ch1=wobble:1k:1",     // unknown waveform
      "probe:cal=2024-02-30",      // no such day
      "probe:driver=6.1.4",        // three parts
      "probe:maxlength=70000000",  // above 64 Mi
      "probe:timing=slow",
      "probe:serial",  // no value
      "probe:unplug=soon",
      "probe:unplug=-1",
      "probe:unplug=inf",
      "probe:unplug=1x",          // no such prefix
      "probe:unplug=nan",
      "probe:unplug=1e400",       // beyond a double
      "probe:unplug=1e306k",      // finite only before the prefix
      "probe:unplug=",
      "probe:unplug=0,replug=nan",
      "probe:replug=-5m",
      "probe:replug=1",           // nothing removes the probe
      "probe:unplug-after=0",     // records count from 1
      "probe:unplug-after=1.5",
      "probe:unplug-after=-2",
      "probe:connections=-1",
      "probe:connections=4294967296",
      "probe:connections=all",
      "probe:info=tiny",
  };
  for (const char* entry : bad) {
    const SimulateRequest request = ParseSimulate(std::string(entry) + ";probe:serial=5");
    ASSERT_EQ(request.errors.size(), 1u) << entry;
    EXPECT_NE(request.errors[0].find(entry), std::string::npos) << request.errors[0];
    ASSERT_EQ(request.devices.size(), 1u) << entry;
    EXPECT_EQ(request.devices[0].serial, 5u);
  }
}

TEST(SimulateConfig, SignalTextsRoundTrip) {
  const char* texts[] = {"sine:1k:0.5",  "square:250:2:0.5:0.01", "triangle:10M:1:-1",
                         "dc:0.3:0.001", "noise:0.1:0.2",         "open"};
  for (const char* text : texts) {
    const std::optional<SignalSpec> signal = ParseSignal(text);
    ASSERT_TRUE(signal.has_value()) << text;
    EXPECT_EQ(ParseSignal(FormatSignal(*signal)), signal) << text;
  }
  EXPECT_EQ(ParseSignal("triangle:10M:1:-1")->frequency, 10e6);
  EXPECT_EQ(ParseSignal("dc:0.3")->offset, 0.3);
  EXPECT_FALSE(ParseSignal("sine:-1:1").has_value());
  EXPECT_FALSE(ParseSignal("sine:1k:1:0:0:0").has_value());
  EXPECT_FALSE(ParseSignal("open:1").has_value());
  EXPECT_FALSE(ParseNumber("1kk").has_value());
  EXPECT_EQ(ParseNumber("2.5m"), 0.0025);
}

}  // namespace
}  // namespace veltra::sim
