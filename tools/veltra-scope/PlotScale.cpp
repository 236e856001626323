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

}  // namespace veltra::scope
