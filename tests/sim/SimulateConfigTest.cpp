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
