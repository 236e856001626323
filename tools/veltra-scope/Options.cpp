// The option values that CLI11 hands over as text: numbers with SI prefixes, couplings, sizes.
#include <charconv>

#include "Commands.h"
#include "ToolError.h"

namespace veltra::scope {
namespace {

constexpr int kSmallestPlot = 240;
constexpr int kLargestPlot = 8192;

[[noreturn]] void BadOption(const std::string& option, const std::string& text, const std::string& expected) {
  throw ToolError(kExitUsage, option + " '" + text + "': " + expected);
}

double PositiveQuantity(const std::string& option, const std::string& text, const char* unit) {
  const std::optional<double> value = ParseQuantity(text);
  if (!value || !(*value > 0.0)) {
    BadOption(option, text, std::string("expected a positive number of ") + unit +
                                ", with an SI prefix if you like (p n u m k M G): 2.5, 100k, 500m");
  }
  return *value;
}

uint32_t Count(const std::string& option, const std::string& text) {
  const std::optional<double> value = ParseQuantity(text);
  if (!value || *value < 1.0 || *value > 4294967295.0 || *value != static_cast<double>(static_cast<uint32_t>(*value))) {
    BadOption(option, text, "expected a whole number of samples from 1 on (k and M allowed: 10k)");
  }
  return static_cast<uint32_t>(*value);
}

int Pixels(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

}  // namespace

MeasureRequest ParseAcquisition(const AcquisitionText& text) {
  MeasureRequest request;
  if (!text.frequency.empty()) request.sampleFrequency = PositiveQuantity("--frequency", text.frequency, "hertz");
  if (!text.samples.empty()) request.recordLength = Count("--samples", text.samples);
  if (!text.range.empty()) request.range = PositiveQuantity("--range", text.range, "volts");
  if (!text.coupling.empty()) {
    request.coupling = ParseCoupling(text.coupling);
    if (!request.coupling) BadOption("--coupling", text.coupling, "expected dc, ac or a coupling code 1-16");
  }
  request.resolution = text.resolution;
  request.channels = text.channels;
  return request;
}

double ParseSeconds(const std::string& option, const std::string& text) {
  return PositiveQuantity(option, text, "seconds");
}

std::pair<int, int> ParsePlotSize(const std::string& text) {
  const size_t x = text.find('x');
  const int width = x == std::string::npos ? 0 : Pixels(text.substr(0, x));
  const int height = x == std::string::npos ? 0 : Pixels(text.substr(x + 1));
  if (width < kSmallestPlot || height < kSmallestPlot || width > kLargestPlot || height > kLargestPlot) {
    BadOption("--plot-size", text,
              "expected WIDTHxHEIGHT in pixels, each " + std::to_string(kSmallestPlot) + " to " +
                  std::to_string(kLargestPlot) + ": 800x480");
  }
  return {width, height};
}

}  // namespace veltra::scope
