#include "TextPlot.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "PlotScale.h"

namespace veltra::scope {
namespace {

constexpr int kLabelWidth = 10;  // "-999.9 mV" and a space
constexpr std::array<char, 4> kMarks{'*', 'o', '+', 'x'};

std::string RightAligned(const std::string& text, int width) {
  const int pad = width - static_cast<int>(text.size());
  return pad > 0 ? std::string(static_cast<size_t>(pad), ' ') + text : text;
}

// Puts text into line at column, unless it would run over the end or touch text already there.
void PlaceLabel(std::string& line, int column, const std::string& text) {
  const int size = static_cast<int>(text.size());
  column = std::clamp(column, 0, std::max(0, static_cast<int>(line.size()) - size));
  if (column + size > static_cast<int>(line.size())) return;
  const int from = std::max(0, column - 1);
  const int to = std::min(static_cast<int>(line.size()), column + size + 1);
  for (int i = from; i < to; ++i) {
    if (line[static_cast<size_t>(i)] != ' ') return;
  }
  line.replace(static_cast<size_t>(column), text.size(), text);
}

}  // namespace

std::string TextPlot(const Capture& capture, int width, int height) {
  const int columns = std::max(8, width - kLabelWidth - 1);
  const int rows = std::max(3, height);
  const VoltageSpan span = PlotSpan(capture);
  std::vector<std::string> grid(static_cast<size_t>(rows), std::string(static_cast<size_t>(columns), ' '));
  const auto rowOf = [&](double volts) {
    const double share = (span.high - volts) / (span.high - span.low);
    return std::clamp(static_cast<int>(std::lround(share * (rows - 1))), 0, rows - 1);
  };

  size_t samples = 0;
  for (size_t c = 0; c < capture.channels.size(); ++c) {
    const std::vector<double>& volts = capture.channels[c].volts;
    samples = std::max(samples, volts.size());
    const char mark = kMarks[c % kMarks.size()];
    for (int column = 0; column < columns && !volts.empty(); ++column) {
      // Every sample that falls into the column, and the last one of the column before, so that a
      // steep edge is drawn as a joined line.
      const size_t first = volts.size() * static_cast<size_t>(column) / static_cast<size_t>(columns);
      const size_t end = std::max(first + 1, volts.size() * static_cast<size_t>(column + 1) /
                                                 static_cast<size_t>(columns));
      double low = volts[first > 0 ? first - 1 : 0];
      double high = low;
      for (size_t i = first; i < end && i < volts.size(); ++i) {
        low = std::min(low, volts[i]);
        high = std::max(high, volts[i]);
      }
      for (int row = rowOf(high); row <= rowOf(low); ++row) {
        grid[static_cast<size_t>(row)][static_cast<size_t>(column)] = mark;
      }
    }
  }

  std::string plot;
  for (int row = 0; row < rows; ++row) {
    std::string label;
    if (row == 0) label = FormatQuantity(span.high, "V", 3);
    if (row == rows / 2) label = FormatQuantity((span.high + span.low) / 2.0, "V", 3);
    if (row == rows - 1) label = FormatQuantity(span.low, "V", 3);
    plot += RightAligned(label, kLabelWidth - 1) + " |" + grid[static_cast<size_t>(row)] + '\n';
  }

  std::string axis(static_cast<size_t>(columns), '-');
  std::string timeLabels(static_cast<size_t>(columns), ' ');
  const AcquisitionSettings& settings = capture.settings;
  if (samples > 0 && settings.sampleFrequency > 0.0) {
    const auto last = static_cast<uint32_t>(samples - 1);
    PlaceLabel(timeLabels, 0, FormatQuantity(settings.TimeOf(0), "s", 3));
    const std::string end = FormatQuantity(settings.TimeOf(last), "s", 3);
    PlaceLabel(timeLabels, columns - static_cast<int>(end.size()), end);
    if (settings.trigger.slope != TriggerSlope::kNone) {
      const auto column = static_cast<int>(static_cast<size_t>(settings.TriggerIndex()) *
                                           static_cast<size_t>(columns) / samples);
      axis[static_cast<size_t>(std::min(column, columns - 1))] = 'T';
      PlaceLabel(timeLabels, column, "0 s");
    }
  }
  plot += std::string(kLabelWidth, ' ') + '+' + axis + '\n';
  plot += std::string(kLabelWidth + 1, ' ') + timeLabels + '\n';
  return plot;
}

}  // namespace veltra::scope
