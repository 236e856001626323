#pragma once
// The vertical scale the text and PNG plots share: the span of every channel's samples, with a
// little room above and below so the trace does not run along the frame.

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

}  // namespace veltra::scope
