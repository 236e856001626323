// veltra-scope: the command-line oscilloscope for the Veltra probe, built on the library's public
// C interface alone.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "Commands.h"
#include "System.h"
#include "ToolError.h"

namespace {

using namespace veltra::scope;

constexpr const char* kSimulateHelp =
    "Use the simulated probe instead of hardware; SPEC as for VELTRA_SIMULATE "
    "(default 1: one probe with a 1 kHz, 1 V sine on channel 1)";

CLI::Option* AddSimulate(CLI::App& command, std::string& spec) {
  return command.add_option("--simulate", spec, kSimulateHelp)->expected(0, 1)->default_str("1")->type_name("[SPEC]");
}

void AddAcquisition(CLI::App& command, AcquisitionText& text) {
  command.add_option("-f,--frequency", text.frequency, "Sample frequency in Hz (SI prefixes: 1M, 250k)")
      ->type_name("HZ");
  command.add_option("-n,--samples", text.samples, "Record length in samples (10k)")->type_name("N");
  command.add_option("-r,--range", text.range, "Input range in volts full scale, every channel")->type_name("V");
  command.add_option("--coupling", text.coupling, "Input coupling: dc, ac or a code 1-16")->type_name("dc|ac");
  command.add_option("--resolution", text.resolution, "Resolution in bits")->type_name("BITS");
  command.add_option("--channels", text.channels, "Channels to record (default: all), e.g. --channels 1,2")
      ->delimiter(',')
      ->type_name("LIST");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"veltra-scope: take measurements with the Veltra oscilloscope probe.\n"
               "Run 'veltra-scope COMMAND --help' for the options of a command.",
               "veltra-scope"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "veltra-scope 0.1.0");

  std::string simulateSpec;
  InfoOptions info;
  CLI::App* infoCommand = app.add_subcommand("info", "Show the probe's serial number, calibration and limits");
  CLI::Option* infoSimulate = AddSimulate(*infoCommand, simulateSpec);
  infoCommand->add_flag("--json", info.json, "Print JSON instead of text");

  MeasureOptions measure;
  CLI::App* measureCommand = app.add_subcommand("measure", "Take measurements and show their figures");
  CLI::Option* measureSimulate = AddSimulate(*measureCommand, simulateSpec);
  AddAcquisition(*measureCommand, measure.acquisition);
  measureCommand->add_option("--post-samples", measure.postSamples, "Samples after the trigger point")
      ->type_name("N");
  measureCommand->add_option("-t,--trigger", measure.trigger, "none, rising:LEVEL or falling:LEVEL (volts) on channel 1")
      ->type_name("SLOPE:LEVEL")
      ->capture_default_str();
  measureCommand->add_option("--hysteresis", measure.hysteresis, "Trigger hysteresis in volts")->type_name("V");
  measureCommand->add_option("--timeout", measure.timeout, "Seconds to wait for the trigger, or forever")
      ->type_name("S")
      ->capture_default_str();
  measureCommand->add_option("-c,--count", measure.count, "Number of measurements")
      ->type_name("K")
      ->check(CLI::Range(1, 1000000))
      ->capture_default_str();
  measureCommand->add_option("-o,--output", measure.output, "Write the samples to FILE.csv or FILE.json")
      ->type_name("FILE");
  measureCommand->add_option("--plot", measure.plot, "Draw the last measurement into FILE.png")->type_name("FILE");
  measureCommand->add_option("--plot-size", measure.plotSize, "Size of the PNG in pixels")
      ->type_name("WxH")
      ->capture_default_str();
  bool textPlot = false;
  bool noTextPlot = false;
  CLI::Option* textPlotFlag = measureCommand->add_flag("--text-plot", textPlot, "Show the text plot also when not on a terminal");
  measureCommand->add_flag("--no-text-plot", noTextPlot, "Never show the text plot")->excludes(textPlotFlag);

  StreamOptions stream;
  CLI::App* streamCommand = app.add_subcommand("stream", "Record without gaps into a CSV file");
  CLI::Option* streamSimulate = AddSimulate(*streamCommand, simulateSpec);
  AddAcquisition(*streamCommand, stream.acquisition);
  streamCommand->add_option("-s,--seconds", stream.seconds, "How long to record (signal time)")
      ->type_name("S")
      ->required();
  streamCommand->add_option("-o,--output", stream.output, "The CSV file to write")->type_name("FILE.csv")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  }

  try {
    const bool simulated = infoSimulate->count() + measureSimulate->count() + streamSimulate->count() > 0;
    if (simulated) {
      std::string error;
      if (RelaunchWithSimulation(simulateSpec, argv, error)) throw ToolError(kExitFailure, "--simulate: " + error);
    }
    if (textPlot) measure.textPlot = true;
    if (noTextPlot) measure.textPlot = false;
    info.common.simulated = measure.common.simulated = stream.common.simulated = simulated;
    if (infoCommand->parsed()) return RunInfo(info);
    if (measureCommand->parsed()) return RunMeasure(measure);
    return RunStream(stream);
  } catch (const ToolError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "veltra-scope: %s\n", e.what());
    return e.Code();
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "veltra-scope: %s\n", e.what());
    return kExitFailure;
  }
}
