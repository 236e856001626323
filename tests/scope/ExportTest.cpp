#include "Export.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "SignalMaker.h"

namespace veltra::scope::test {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<double> SplitNumbers(const std::string& line) {
  std::vector<double> numbers;
  std::istringstream in(line);
  for (std::string cell; std::getline(in, cell, ',');) numbers.push_back(std::stod(cell));
  return numbers;
}

// Values whose shortest decimal forms are long, so that a writer that rounds is caught.
Capture AwkwardCapture() {
  Capture capture = MakeCapture({{0.1, 1.0 / 3.0, -1e-7, 0.7071067811865476}, {-2.0, 2.0 / 3.0, 0.0, 1e-300}},
                                195312.5, {TriggerSlope::kRising, 0.1});
  capture.channels[1].coupling = "ac";
  return capture;
}

TEST(ExportTest, CsvHoldsTheSettingsAndReadsBackToTheSamples) {
  const Capture capture = AwkwardCapture();
  std::ostringstream out;
  WriteCsvHeader(out, "veltra-scope measure", capture.settings, capture.channels, false);
  WriteCsvRows(out, capture.channels, capture.settings.TimeOf(0), capture.settings.sampleFrequency);
  const std::vector<std::string> lines = SplitLines(out.str());

  const std::string header = out.str().substr(0, out.str().find("time (s)"));
  EXPECT_NE(header.find("# sample frequency: 195312.5 Hz"), std::string::npos) << header;
  EXPECT_NE(header.find("# record length: 4 samples"), std::string::npos);
  EXPECT_NE(header.find("# trigger: rising:0.1"), std::string::npos);
  EXPECT_NE(header.find("# channel 2: range 2 V, coupling ac"), std::string::npos);

  size_t first = 0;
  while (first < lines.size() && lines[first].starts_with('#')) ++first;
  ASSERT_LT(first, lines.size());
  EXPECT_EQ(lines[first], "time (s),channel 1 (V),channel 2 (V)");
  ASSERT_EQ(lines.size(), first + 1 + capture.settings.recordLength);
  for (uint32_t i = 0; i < capture.settings.recordLength; ++i) {
    const std::vector<double> row = SplitNumbers(lines[first + 1 + i]);
    ASSERT_EQ(row.size(), 3u);
    EXPECT_DOUBLE_EQ(row[0], capture.settings.TimeOf(i));
    EXPECT_EQ(row[1], capture.channels[0].volts[i]);
    EXPECT_EQ(row[2], capture.channels[1].volts[i]);
  }
}

TEST(ExportTest, CsvNumbersTheMeasurementsWhenThereAreSeveral) {
  const Capture capture = AwkwardCapture();
  std::ostringstream out;
  WriteCsvHeader(out, "veltra-scope measure", capture.settings, capture.channels, true);
  WriteCsvRows(out, capture.channels, 0.0, capture.settings.sampleFrequency, 1);
  WriteCsvRows(out, capture.channels, 0.0, capture.settings.sampleFrequency, 2);
  const std::vector<std::string> lines = SplitLines(out.str());
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(lines[lines.size() - 9], "measurement,time (s),channel 1 (V),channel 2 (V)");
  EXPECT_EQ(SplitNumbers(lines[lines.size() - 8])[0], 1.0);
  EXPECT_EQ(SplitNumbers(lines.back())[0], 2.0);
  EXPECT_EQ(SplitNumbers(lines.back())[3], 1e-300);
}

TEST(ExportTest, JsonReadsBackToSettingsFiguresAndSamples) {
  const Capture awkward = AwkwardCapture();
  Capture flat = MakeCapture({std::vector<double>(4, 0.25)}, 1e6);
  const std::vector<Capture> captures{awkward, flat};
  std::ostringstream out;
  WriteJson(out, captures);
  const nlohmann::json json = nlohmann::json::parse(out.str());

  const nlohmann::json& first = json.at("measurements").at(0);
  EXPECT_EQ(first.at("settings").at("sample_frequency_hz").get<double>(), 195312.5);
  EXPECT_EQ(first.at("settings").at("record_length").get<uint32_t>(), 4u);
  EXPECT_EQ(first.at("settings").at("post_samples").get<uint32_t>(), 2u);
  EXPECT_EQ(first.at("settings").at("trigger").get<std::string>(), "rising:0.1");
  EXPECT_TRUE(first.at("triggered").get<bool>());
  EXPECT_DOUBLE_EQ(first.at("time_of_first_sample_s").get<double>(), -2.0 / 195312.5);
  EXPECT_EQ(first.at("channels").at(1).at("coupling").get<std::string>(), "ac");
  EXPECT_EQ(first.at("channels").at(0).at("volts").get<std::vector<double>>(), awkward.channels[0].volts);
  EXPECT_EQ(first.at("channels").at(1).at("volts").get<std::vector<double>>(), awkward.channels[1].volts);
  EXPECT_DOUBLE_EQ(first.at("channels").at(1).at("figures").at("minimum_v").get<double>(), -2.0);

  const nlohmann::json& second = json.at("measurements").at(1);
  EXPECT_FALSE(second.at("triggered").get<bool>());
  EXPECT_EQ(second.at("settings").at("trigger").get<std::string>(), "none");
  EXPECT_TRUE(second.at("channels").at(0).at("figures").at("frequency_hz").is_null());
  EXPECT_EQ(second.at("channels").at(0).at("figures").at("mean_v").get<double>(), 0.25);
}

}  // namespace
}  // namespace veltra::scope::test
