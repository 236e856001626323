#pragma once
// The subcommands, each given its options as the command line held them (after CLI11 has checked
// their form). Each returns the exit code or throws a ToolError.

#include <optional>
#include <string>
#include <vector>

#include "Probe.h"

namespace veltra::scope {

// Options every subcommand has.
struct CommonOptions {
  bool simulated = false;  // --simulate was given (the library runs the simulated probe)
};

struct InfoOptions {
  CommonOptions common;
  bool json = false;
};

// The acquisition options of measure and stream as typed; read by ParseAcquisition.
struct AcquisitionText {
  std::string frequency;
  std::string samples;
  std::string range;
  std::string coupling;
  std::optional<int> resolution;
  std::vector<int> channels;
};

struct MeasureOptions {
  CommonOptions common;
  AcquisitionText acquisition;
  std::optional<uint32_t> postSamples;
  std::string trigger = "none";
  std::string hysteresis;
  std::string timeout = "1";
  int count = 1;
  std::string output;     // .csv or .json
  std::string plot;       // .png
  std::string plotSize = "800x480";
  std::optional<bool> textPlot;  // unset: on a terminal only
};

struct StreamOptions {
  CommonOptions common;
  AcquisitionText acquisition;
  std::string seconds;
  std::string output;  // .csv
};

// The request the acquisition options make, or a ToolError (usage) naming the option.
MeasureRequest ParseAcquisition(const AcquisitionText& text);
// A positive number of seconds with SI prefixes ("2", "500m") for the option named, or a ToolError.
double ParseSeconds(const std::string& option, const std::string& text);
// "WIDTHxHEIGHT" in pixels, within what a plot can be drawn at, or a ToolError.
std::pair<int, int> ParsePlotSize(const std::string& text);

int RunInfo(const InfoOptions& options);
int RunMeasure(const MeasureOptions& options);
int RunStream(const StreamOptions& options);

}  // namespace veltra::scope
