// Simulated probes the library cannot open, through the public header alone: a driver that
// refuses every connection and a driver that answers with an older, too short information record.
// Opening finds nothing to open, every export says so, and closing stays harmless.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "veltra/veltra.h"

namespace {

// Also in this program's CTest entry.
constexpr char kSimulate[] = "probe:connections=0;dual:info=short";

TEST(NoProbe, NeitherOpensAndTheExportsAnswerWithoutAnInstrument) {
  const char* environment = std::getenv("VELTRA_SIMULATE");
  ASSERT_TRUE(environment != nullptr && std::string(environment) == kSimulate)
      << "this program is meant to run with VELTRA_SIMULATE=" << kSimulate;

  EXPECT_EQ(InitInstrument(0), STATUS_NO_INSTRUMENT);
  EXPECT_EQ(InitInstrument(0), STATUS_NO_INSTRUMENT) << "nor on a second attempt";
  uint16_t channels = 7;
  EXPECT_EQ(GetNrChannels(&channels), STATUS_NO_INSTRUMENT);
  EXPECT_EQ(channels, 7) << "left untouched";
  EXPECT_EQ(GetRecordLength(), 0u);
  EXPECT_EQ(StartMeasurement(), STATUS_NO_INSTRUMENT) << "returns at once";
  EXPECT_EQ(ADC_Start(), STATUS_NOT_INITIALIZED);
  EXPECT_EQ(ADC_Ready(), 0);
  EXPECT_EQ(ADC_Running(), 0);

  EXPECT_EQ(ExitInstrument(), STATUS_OK);
  EXPECT_EQ(ExitInstrument(), STATUS_OK) << "a second ExitInstrument is harmless";
  EXPECT_EQ(InitInstrument(0), STATUS_NO_INSTRUMENT);
  EXPECT_EQ(ExitInstrument(), STATUS_OK);
}

}  // namespace
