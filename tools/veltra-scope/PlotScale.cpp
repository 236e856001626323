#include "PlotScale.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltra::scope {

VoltageSpan PlotSpan(const Capture& capture) {
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (const ChannelRecord& channel : capture.channels) {
    for (const double v : channel.volts) {
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  if (capture.settings.trigger.slope != TriggerSlope::kNone) {
    low = std::min(low, capture.settings.trigger.level);
    high = std::max(high, capture.settings.trigger.level);
  }
  if (!(low <= high)) return {};  // no samples at all
  const double span = high - low;
  const double room = span > 0.0 ? span / 20.0 : std::max(std::fabs(low) / 10.0, 1e-3);
  return {low - room, high + room};
}

std::vector<double> RoundTicks(double low, double high, int wanted) {
  std::vector<double> ticks;
  if (!(high > low) || wanted < 1) return ticks;
  const double rough = (high - low) / wanted;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = 10.0 * power;
  for (const double factor : {1.0, 2.0, 5.0}) {
    if (factor * power >= rough) {
      step = factor * power;
      break;
    }
  }
  for (double k = std::ceil(low / step); k * step <= high; k += 1.0) {
    // k * step is exact for the zero tick; others keep the step's rounding only.
    ticks.push_back(k * step);
  }
  return ticks;
}

}  // namespace veltra::scope
