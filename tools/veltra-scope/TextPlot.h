#pragma once
// A small plot of a measurement drawn with characters, for a terminal: one mark per channel
// ('*' for the first, then 'o', '+', 'x'), the voltage scale on the left, the time scale below and
// the trigger point marked 'T' on the time axis.

#include <string>

#include "Capture.h"

namespace veltra::scope {

// The plot as lines of at most width characters, height rows of trace plus two of time axis.
std::string TextPlot(const Capture& capture, int width, int height);

}  // namespace veltra::scope
