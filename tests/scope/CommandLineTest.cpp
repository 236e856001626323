// veltra-scope as a user runs it: what it says and which exit code it gives when the command line
// is wrong, a file cannot be written, or there is no probe.
#include <gtest/gtest.h>

#include "ToolRunner.h"

namespace veltra::scope::test {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoProbe = 3;

struct BadCommand {
  const char* arguments;
  int exitCode;
  const char* message;  // a part of what the tool writes to standard error
};

TEST(CommandLineTest, BadCommandsSayWhatIsWrongAndFail) {
  const BadCommand cases[] = {
      {"", kExitUsage, "A subcommand is required"},
      {"measure --trigger sideways:1", kExitUsage, "--trigger 'sideways:1': expected none, rising:LEVEL or falling:LEVEL"},
      {"measure --frequency fast", kExitUsage, "--frequency 'fast': expected a positive number of hertz"},
      {"measure --samples 1.5", kExitUsage, "--samples '1.5': expected a whole number of samples"},
      {"measure --range -2", kExitUsage, "--range '-2': expected a positive number of volts"},
      {"measure --coupling wet", kExitUsage, "--coupling 'wet': expected dc, ac or a coupling code 1-16"},
      {"measure --timeout soon", kExitUsage, "--timeout 'soon'"},
      {"measure --count 0", kExitUsage, "--count"},
      {"measure --plot-size 10x10", kExitUsage, "--plot-size '10x10': expected WIDTHxHEIGHT"},
      {"measure -o samples.txt", kExitUsage, "the file name must end in .csv or .json"},
      {"measure --plot plot.jpg", kExitUsage, "must end in .png"},
      {"stream -o samples.csv", kExitUsage, "--seconds is required"},
      {"stream --seconds 1 -o samples.json", kExitUsage, "a stream is written as CSV"},
      {"measure -o no-such-folder/deeper/samples.csv", kExitFailure, "cannot write no-such-folder/deeper/samples.csv"},
  };
  for (const BadCommand& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = RunTool(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST(CommandLineTest, HelpNamesEverySubcommandAndSucceeds) {
  const ToolRun run = RunTool("--help");
  EXPECT_EQ(run.exitCode, 0);
  for (const char* command : {"info", "measure", "stream"}) EXPECT_NE(run.out.find(command), std::string::npos);
  const ToolRun measure = RunTool("measure --help");
  EXPECT_EQ(measure.exitCode, 0);
  EXPECT_NE(measure.out.find("--simulate"), std::string::npos);
}

TEST(CommandLineTest, WithoutAProbeEverySubcommandSaysHowToGetOne) {
#ifdef VELTRA_SCOPE_HAVE_CAIRO
  const char* const measure = "measure -o samples.csv --plot plot.png";
#else
  const char* const measure = "measure -o samples.csv";
#endif
  for (const char* arguments : {"info", measure, "stream --seconds 1 -o samples.csv"}) {
    SCOPED_TRACE(arguments);
    const ToolRun run = RunTool(arguments);
    EXPECT_EQ(run.exitCode, kExitNoProbe);
    EXPECT_NE(run.err.find("no probe found: plug one in"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--simulate"), std::string::npos);
    // The files were opened before the probe was looked for; a failed command leaves none behind.
    EXPECT_FALSE(std::filesystem::exists(run.folder / "samples.csv"));
    EXPECT_FALSE(std::filesystem::exists(run.folder / "plot.png"));
  }
}

#ifndef VELTRA_SCOPE_HAVE_CAIRO
TEST(CommandLineTest, ABuildWithoutCairoSaysItDrawsNoPlots) {
  const ToolRun run = RunTool("measure --plot plot.png");
  EXPECT_EQ(run.exitCode, kExitUsage);
  EXPECT_NE(run.err.find("draws no PNG images"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("-o FILE.csv"), std::string::npos);
}
#endif

TEST(CommandLineTest, SimulateHandsItsTextToTheLibraryBeforeItLoads) {
  // The library reads VELTRA_SIMULATE when it loads and reports an entry it cannot read; the
  // report proves that the text reached it in time. No probe comes of that entry.
  const ToolRun run = RunTool("info --simulate nosuchpreset");
  EXPECT_EQ(run.exitCode, kExitNoProbe);
  EXPECT_NE(run.err.find("VELTRA_SIMULATE: entry 'nosuchpreset' skipped"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("the simulated probe did not come up"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace veltra::scope::test
