#pragma once
// The measurement drawn as a PNG image: a grid at round times and voltages, the time axis in
// seconds and the voltage axis in volts (both labelled with SI prefixes), one coloured trace and
// a legend entry per channel, and the trigger point (time 0 at the trigger level) marked.
// Available where the tool was built with cairo.

#include <ostream>
#include <string>

#include "Capture.h"

namespace veltra::scope {

// Whether this build can draw PNG images at all.
bool PngPlotAvailable();

// Writes the PNG of width x height pixels to out; false with a reason in error when cairo cannot
// draw or the stream refuses the bytes.
bool WritePngPlot(const Capture& capture, int width, int height, std::ostream& out, std::string& error);

}  // namespace veltra::scope
