// veltra-scope measure: one or more triggered measurements, their figures, plots and files.
#include <cstdio>
#include <memory>

#include "Commands.h"
#include "Export.h"
#include "Figures.h"
#include "OutputFile.h"
#include "PngPlot.h"
#include "System.h"
#include "TextPlot.h"
#include "ToolError.h"

namespace veltra::scope {
namespace {

constexpr int kTextPlotRows = 12;
constexpr int kLargestTextPlot = 160;  // columns; wider terminals get a plot of this width

int32_t ParseTimeout(const std::string& text) {
  if (text == "forever") return -1;
  const double seconds = ParseSeconds("--timeout", text);
  if (seconds * 1000.0 > 2147483647.0) {
    throw ToolError(kExitUsage, "--timeout '" + text + "': at most 2147483 seconds, or forever");
  }
  return static_cast<int32_t>(seconds * 1000.0 + 0.5);
}

void PrintSettings(const AcquisitionSettings& settings) {
  std::printf("sample frequency %s, record length %u samples (%u after the trigger), resolution %d bits\n",
              FormatQuantity(settings.sampleFrequency, "Hz").c_str(), static_cast<unsigned>(settings.recordLength),
              static_cast<unsigned>(settings.postSamples), settings.resolution);
  if (settings.trigger.slope == TriggerSlope::kNone) {
    std::printf("trigger none\n");
  } else {
    std::printf("trigger %s V on channel 1, time-out %s\n", TriggerText(settings.trigger).c_str(),
                settings.timeoutMs < 0 ? "none" : FormatQuantity(settings.timeoutMs / 1000.0, "s").c_str());
  }
}

void PrintFigures(const Capture& capture, int measurement, int count) {
  if (count > 1 || capture.settings.trigger.slope != TriggerSlope::kNone) {
    std::string state = capture.settings.trigger.slope == TriggerSlope::kNone ? "untriggered"
                        : capture.triggered ? "triggered"
                                            : "not triggered (time-out)";
    if (count > 1) {
      std::printf("measurement %d of %d: %s\n", measurement, count, state.c_str());
    } else {
      std::printf("%s\n", state.c_str());
    }
  }
  std::printf("%-8s %-12s %-11s %-11s %-11s %-11s %-11s %s\n", "channel", "range", "minimum", "maximum", "mean",
              "RMS", "pk-pk", "frequency");
  for (const ChannelRecord& channel : capture.channels) {
    const SignalFigures figures = Summarise(channel.volts, capture.settings.sampleFrequency);
    const std::string range = FormatQuantity(channel.range, "V") + " " + channel.coupling;
    std::printf("%-8d %-12s %-11s %-11s %-11s %-11s %-11s %s\n", channel.number, range.c_str(),
                FormatQuantity(figures.minimum, "V").c_str(), FormatQuantity(figures.maximum, "V").c_str(),
                FormatQuantity(figures.mean, "V").c_str(), FormatQuantity(figures.rms, "V").c_str(),
                FormatQuantity(figures.peakToPeak, "V").c_str(),
                figures.frequency ? FormatQuantity(*figures.frequency, "Hz").c_str() : "-");
  }
}

}  // namespace

int RunMeasure(const MeasureOptions& options) {
  MeasureRequest request = ParseAcquisition(options.acquisition);
  request.postSamples = options.postSamples;
  const std::optional<TriggerSetting> trigger = ParseTrigger(options.trigger);
  if (!trigger) {
    throw ToolError(kExitUsage, "--trigger '" + options.trigger +
                                    "': expected none, rising:LEVEL or falling:LEVEL, the level in volts (rising:0.1)");
  }
  request.trigger = *trigger;
  if (!options.hysteresis.empty()) {
    const std::optional<double> hysteresis = ParseQuantity(options.hysteresis);
    if (!hysteresis || *hysteresis < 0.0) {
      throw ToolError(kExitUsage, "--hysteresis '" + options.hysteresis + "': expected volts, 0 or more (20m)");
    }
    request.hysteresis = hysteresis;
  }
  request.timeoutMs = ParseTimeout(options.timeout);
  const std::pair<int, int> plotSize = ParsePlotSize(options.plotSize);

  // Files first: a path that cannot be written is reported before the probe is touched.
  std::unique_ptr<OutputFile> output;
  std::unique_ptr<OutputFile> plot;
  if (!options.output.empty()) {
    const std::string extension = ExtensionOf(options.output);
    if (extension != ".csv" && extension != ".json") {
      throw ToolError(kExitUsage, "-o '" + options.output + "': the file name must end in .csv or .json");
    }
    output = std::make_unique<OutputFile>(options.output);
  }
  if (!options.plot.empty()) {
    if (ExtensionOf(options.plot) != ".png") {
      throw ToolError(kExitUsage, "--plot '" + options.plot + "': the file name must end in .png");
    }
    if (!PngPlotAvailable()) {
      throw ToolError(kExitUsage, "--plot: this build of veltra-scope draws no PNG images (it was built "
                                  "without cairo); write the samples with -o FILE.csv instead");
    }
    plot = std::make_unique<OutputFile>(options.plot);
  }

  Probe probe(options.common.simulated);
  const AcquisitionSettings settings = probe.Apply(request, false);
  PrintSettings(settings);
  std::vector<Capture> captures;
  for (int i = 1; i <= options.count; ++i) {
    captures.push_back(probe.Measure(settings));
    PrintFigures(captures.back(), i, options.count);
  }
  const Capture& last = captures.back();
  if (options.textPlot.value_or(StdoutIsTerminal())) {
    std::printf("\n%s", TextPlot(last, std::min(TerminalColumns(), kLargestTextPlot), kTextPlotRows).c_str());
  }

  if (output) {
    if (ExtensionOf(output->Path()) == ".json") {
      WriteJson(output->Stream(), captures);
    } else {
      WriteCsvHeader(output->Stream(), "veltra-scope measure", settings, last.channels, captures.size() > 1);
      for (size_t i = 0; i < captures.size(); ++i) {
        WriteCsvRows(output->Stream(), captures[i].channels, settings.TimeOf(0), settings.sampleFrequency,
                     captures.size() > 1 ? static_cast<int>(i + 1) : 0);
      }
    }
    output->Finish();
    std::printf("samples written to %s\n", output->Path().c_str());
  }
  if (plot) {
    std::string error;
    if (!WritePngPlot(last, plotSize.first, plotSize.second, plot->Stream(), error)) {
      throw ToolError(kExitFailure, "cannot draw " + plot->Path() + ": " + error);
    }
    plot->Finish();
    std::printf("plot written to %s\n", plot->Path().c_str());
  }
  return kExitOk;
}

}  // namespace veltra::scope
