#pragma once
// The vertical scale the text and PNG plots share: the span of every channel's samples, with a
// little room above and below so the trace does not run along the frame.

#include <vector>

#include "Capture.h"

namespace veltra::scope {

struct VoltageSpan {
  double low = -1.0;
  double high = 1.0;
};

// The samples' extremes over all channels, widened by a twentieth of their span on each side
// (a flat record gets a span around its level); the trigger level is kept inside when a trigger
// was set, so its mark stays on the plot.
VoltageSpan PlotSpan(const Capture& capture);

// Round values between low and high for grid lines and axis labels, at a step of 1, 2 or 5 times
// a power of ten chosen so that about `wanted` of them fit ("-2 ms, -1 ms, 0 s, 1 ms").
std::vector<double> RoundTicks(double low, double high, int wanted);

}  // namespace veltra::scope
