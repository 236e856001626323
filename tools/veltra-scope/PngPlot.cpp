#include "PngPlot.h"

#ifdef VELTRA_SCOPE_HAVE_CAIRO

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "PlotScale.h"

namespace veltra::scope {
namespace {

// About this many grid lines across and up the plot, at round values.
constexpr int kTicksX = 10;
constexpr int kTicksY = 8;
constexpr double kLeft = 84.0;  // room for the voltage labels and the axis name
constexpr double kRight = 16.0;
constexpr double kTop = 36.0;   // room for the title and the legend
constexpr double kBottom = 52.0;
constexpr double kFontSize = 12.0;

struct Colour {
  double r, g, b;
};
constexpr std::array<Colour, 4> kTraceColours{
    {{0.12, 0.40, 0.75}, {0.85, 0.40, 0.05}, {0.15, 0.60, 0.25}, {0.60, 0.20, 0.60}}};
constexpr Colour kTriggerColour{0.80, 0.10, 0.10};

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* context) const { cairo_destroy(context); }
};

// The plot area in pixels and the span of time and voltage it shows.
struct Frame {
  double x, y, width, height;
  double firstTime, lastTime;
  VoltageSpan volts;

  double X(double time) const { return x + (time - firstTime) / (lastTime - firstTime) * width; }
  double Y(double v) const { return y + (volts.high - v) / (volts.high - volts.low) * height; }
};

void SetColour(cairo_t* cr, const Colour& colour) { cairo_set_source_rgb(cr, colour.r, colour.g, colour.b); }

// Draws text with its anchor point at share (0 left/top ... 1 right/bottom) of its extents.
void Label(cairo_t* cr, const std::string& text, double x, double y, double shareX, double shareY) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  cairo_move_to(cr, x - extents.x_bearing - extents.width * shareX,
                y - extents.y_bearing - extents.height * shareY);
  cairo_show_text(cr, text.c_str());
}

void DrawGridAndAxes(cairo_t* cr, const Frame& frame) {
  const std::vector<double> times = RoundTicks(frame.firstTime, frame.lastTime, kTicksX);
  const std::vector<double> levels = RoundTicks(frame.volts.low, frame.volts.high, kTicksY);
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
  for (const double time : times) {
    const double x = std::round(frame.X(time)) + 0.5;
    cairo_move_to(cr, x, frame.y);
    cairo_line_to(cr, x, frame.y + frame.height);
  }
  for (const double v : levels) {
    const double y = std::round(frame.Y(v)) + 0.5;
    cairo_move_to(cr, frame.x, y);
    cairo_line_to(cr, frame.x + frame.width, y);
  }
  cairo_stroke(cr);

  cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
  cairo_rectangle(cr, frame.x + 0.5, frame.y + 0.5, frame.width, frame.height);
  cairo_stroke(cr);
  for (const double time : times) {
    Label(cr, FormatQuantity(time, "s", 3), frame.X(time), frame.y + frame.height + 6.0, 0.5, 0.0);
  }
  for (const double v : levels) Label(cr, FormatQuantity(v, "V", 3), frame.x - 6.0, frame.Y(v), 1.0, 0.5);
  Label(cr, "time (s)", frame.x + frame.width / 2.0, frame.y + frame.height + 26.0, 0.5, 0.0);
  cairo_save(cr);
  cairo_translate(cr, 14.0, frame.y + frame.height / 2.0);
  cairo_rotate(cr, -M_PI / 2.0);
  Label(cr, "voltage (V)", 0.0, 0.0, 0.5, 0.5);
  cairo_restore(cr);
}

// The trace, as a line through the samples, or where there are more samples than pixels as the
// band from lowest to highest sample of each pixel column, so that no peak is lost.
void DrawTrace(cairo_t* cr, const Frame& frame, const ChannelRecord& channel, double sampleFrequency) {
  const std::vector<double>& volts = channel.volts;
  if (volts.empty()) return;
  const auto timeOf = [&](size_t i) { return frame.firstTime + static_cast<double>(i) / sampleFrequency; };
  cairo_set_line_width(cr, 1.5);
  const auto columns = static_cast<size_t>(frame.width);
  if (volts.size() <= 2 * columns) {
    cairo_move_to(cr, frame.X(timeOf(0)), frame.Y(volts[0]));
    for (size_t i = 1; i < volts.size(); ++i) cairo_line_to(cr, frame.X(timeOf(i)), frame.Y(volts[i]));
  } else {
    for (size_t column = 0; column < columns; ++column) {
      // From the last sample of the column before, so that neighbouring bands join.
      const size_t first = column > 0 ? volts.size() * column / columns - 1 : 0;
      const size_t end = volts.size() * (column + 1) / columns;
      const auto [low, high] = std::minmax_element(volts.begin() + static_cast<std::ptrdiff_t>(first),
                                                   volts.begin() + static_cast<std::ptrdiff_t>(end));
      const double x = frame.x + static_cast<double>(column) + 0.5;
      cairo_move_to(cr, x, frame.Y(*high) - 0.5);
      cairo_line_to(cr, x, frame.Y(*low) + 0.5);
    }
  }
  cairo_stroke(cr);
}

void DrawTriggerPoint(cairo_t* cr, const Frame& frame, const Capture& capture) {
  const TriggerSetting& trigger = capture.settings.trigger;
  if (trigger.slope == TriggerSlope::kNone) return;
  const double x = frame.X(0.0);
  const double y = frame.Y(trigger.level);
  SetColour(cr, kTriggerColour);
  cairo_set_line_width(cr, 1.0);
  const std::array<double, 2> dashes{4.0, 3.0};
  cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), 0.0);
  cairo_move_to(cr, x, frame.y);
  cairo_line_to(cr, x, frame.y + frame.height);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0.0);
  cairo_arc(cr, x, y, 4.0, 0.0, 2.0 * M_PI);
  cairo_fill(cr);
  const std::string text = std::string(capture.triggered ? "trigger " : "trigger (timed out) ") +
                           TriggerText(trigger) + " V";
  Label(cr, text, x + 7.0, y - 4.0, 0.0, 1.0);
}

void DrawTitleAndLegend(cairo_t* cr, const Frame& frame, const Capture& capture) {
  const AcquisitionSettings& settings = capture.settings;
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  Label(cr, FormatQuantity(settings.sampleFrequency, "Hz") + ", " + std::to_string(settings.recordLength) +
                " samples, " + std::to_string(settings.resolution) + " bits",
        frame.x, frame.y - 10.0, 0.0, 1.0);
  double x = frame.x + frame.width;
  for (size_t c = capture.channels.size(); c-- > 0;) {
    const ChannelRecord& channel = capture.channels[c];
    const std::string text = "channel " + std::to_string(channel.number) + " (" +
                             FormatQuantity(channel.range, "V") + " " + channel.coupling + ")";
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    Label(cr, text, x, frame.y - 10.0, 1.0, 1.0);
    x -= extents.x_advance + 6.0;
    SetColour(cr, kTraceColours[c % kTraceColours.size()]);
    cairo_rectangle(cr, x - 14.0, frame.y - 19.0, 14.0, 4.0);
    cairo_fill(cr);
    x -= 26.0;
  }
}

cairo_status_t WriteToStream(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::ostream*>(closure);
  out->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
  return *out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

bool PngPlotAvailable() { return true; }

bool WritePngPlot(const Capture& capture, int width, int height, std::ostream& out, std::string& error) {
  const std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  const std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
  cairo_t* cr = context.get();
  cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kFontSize);

  const AcquisitionSettings& settings = capture.settings;
  size_t samples = 0;
  for (const ChannelRecord& channel : capture.channels) samples = std::max(samples, channel.volts.size());
  Frame frame{kLeft, kTop, width - kLeft - kRight, height - kTop - kBottom, settings.TimeOf(0),
              settings.TimeOf(static_cast<uint32_t>(std::max<size_t>(samples, 2) - 1)), PlotSpan(capture)};
  DrawGridAndAxes(cr, frame);
  cairo_save(cr);
  cairo_rectangle(cr, frame.x, frame.y, frame.width, frame.height);
  cairo_clip(cr);
  for (size_t c = 0; c < capture.channels.size(); ++c) {
    SetColour(cr, kTraceColours[c % kTraceColours.size()]);
    DrawTrace(cr, frame, capture.channels[c], settings.sampleFrequency);
  }
  cairo_restore(cr);
  DrawTriggerPoint(cr, frame, capture);
  DrawTitleAndLegend(cr, frame, capture);

  const cairo_status_t status = cairo_surface_write_to_png_stream(surface.get(), WriteToStream, &out);
  if (status != CAIRO_STATUS_SUCCESS) {
    error = cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace veltra::scope

#else

namespace veltra::scope {

bool PngPlotAvailable() { return false; }

bool WritePngPlot(const Capture&, int, int, std::ostream&, std::string& error) {
  error = "this build of veltra-scope draws no PNG images (it was built without cairo)";
  return false;
}

}  // namespace veltra::scope

#endif
