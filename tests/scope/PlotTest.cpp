#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "PngPlot.h"
#include "SignalMaker.h"
#include "TextPlot.h"

#ifdef VELTRA_SCOPE_HAVE_CAIRO
#include <cairo.h>
#endif

namespace veltra::scope::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One period of a sine, starting at its zero crossing, with a rising trigger in the middle.
Capture OnePeriod(size_t samples = 1000) {
  return MakeCapture({Sine(samples, 1e6, 1e6 / static_cast<double>(samples), 1.0)}, 1e6, {TriggerSlope::kRising, 0.0});
}

TEST(TextPlotTest, DrawsTheSineWhereItIsAndMarksTheTrigger) {
  constexpr int kWidth = 70;
  constexpr int kRows = 11;
  const std::vector<std::string> lines = Lines(TextPlot(OnePeriod(), kWidth, kRows));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kRows + 2));
  for (const std::string& line : lines) EXPECT_LE(line.size(), static_cast<size_t>(kWidth));

  const size_t plotStart = lines[0].find('|') + 1;
  const auto columns = static_cast<double>(lines[0].size() - plotStart);
  // The crest a quarter of the way along in the top row, the trough three quarters along at the
  // bottom, and the middle row crossed in the middle.
  const size_t crest = lines[0].find('*');
  const size_t trough = lines[kRows - 1].find('*');
  ASSERT_NE(crest, std::string::npos);
  ASSERT_NE(trough, std::string::npos);
  EXPECT_NEAR(static_cast<double>(crest - plotStart), columns * 0.25, columns * 0.08);
  EXPECT_NEAR(static_cast<double>(trough - plotStart), columns * 0.75, columns * 0.08);
  EXPECT_EQ(lines[0].find('*', crest + static_cast<size_t>(columns * 0.2)), std::string::npos);

  EXPECT_NE(lines[0].find("1.1 V"), std::string::npos) << lines[0];  // the crest and a twentieth
  const size_t trigger = lines[kRows].find('T');
  ASSERT_NE(trigger, std::string::npos);
  EXPECT_NEAR(static_cast<double>(trigger - plotStart), columns * 0.5, 1.5);
  EXPECT_NE(lines[kRows + 1].find("-500 us"), std::string::npos) << lines[kRows + 1];
}

TEST(TextPlotTest, EachChannelHasItsMarkAndFlatRecordsStayOnThePlot) {
  Capture capture = MakeCapture({std::vector<double>(200, 0.5), std::vector<double>(200, -0.5)}, 1e3);
  const std::string plot = TextPlot(capture, 60, 9);
  const std::vector<std::string> lines = Lines(plot);
  EXPECT_NE(lines.front().find('*'), std::string::npos);  // +0.5 V at the top
  EXPECT_NE(lines[8].find('o'), std::string::npos);       // -0.5 V at the bottom
  EXPECT_EQ(plot.find('T'), std::string::npos);           // no trigger set

  const std::string single = TextPlot(MakeCapture({std::vector<double>(50, 0.0)}, 1e3), 40, 5);
  EXPECT_NE(Lines(single)[2].find('*'), std::string::npos);
}

#ifdef VELTRA_SCOPE_HAVE_CAIRO

struct PngReader {
  std::istringstream in;
  static cairo_status_t Read(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    reader->in.read(reinterpret_cast<char*>(data), length);
    return reader->in.gcount() == static_cast<std::streamsize>(length) ? CAIRO_STATUS_SUCCESS
                                                                       : CAIRO_STATUS_READ_ERROR;
  }
};

// Pixels of the image that are clearly of the colour: red high and blue low, or the reverse.
int CountPixels(cairo_surface_t* image, bool reddish) {
  cairo_surface_flush(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  int count = 0;
  for (int y = 0; y < cairo_image_surface_get_height(image); ++y) {
    for (int x = 0; x < cairo_image_surface_get_width(image); ++x) {
      uint32_t pixel;
      std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
      const int red = (pixel >> 16) & 0xFF;
      const int blue = pixel & 0xFF;
      if (reddish ? (red > 150 && blue < 80) : (blue > 150 && red < 80)) ++count;
    }
  }
  return count;
}

TEST(PngPlotTest, ReadsBackAsAnImageOfTheRequestedSizeWithTraceAndTrigger) {
  ASSERT_TRUE(PngPlotAvailable());
  for (const bool triggered : {true, false}) {
    Capture capture = OnePeriod(100000);  // more samples than pixels: drawn as a band per column
    if (!triggered) capture.settings.trigger = {};
    std::ostringstream out;
    std::string error;
    ASSERT_TRUE(WritePngPlot(capture, 640, 360, out, error)) << error;

    PngReader reader{std::istringstream(out.str())};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(PngReader::Read, &reader);
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 640);
    EXPECT_EQ(cairo_image_surface_get_height(image), 360);
    EXPECT_GT(CountPixels(image, false), 500) << "the blue trace";
    if (triggered) {
      EXPECT_GT(CountPixels(image, true), 100) << "the red trigger line and point";
    } else {
      EXPECT_EQ(CountPixels(image, true), 0);
    }
    cairo_surface_destroy(image);
  }
}

TEST(PngPlotTest, AStreamThatRefusesTheBytesIsAnError) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  std::string error;
  EXPECT_FALSE(WritePngPlot(OnePeriod(), 400, 300, out, error));
  EXPECT_FALSE(error.empty());
}

#else

TEST(PngPlotTest, ThisBuildSaysItDrawsNoImages) {
  EXPECT_FALSE(PngPlotAvailable());
  std::ostringstream out;
  std::string error;
  EXPECT_FALSE(WritePngPlot(OnePeriod(), 400, 300, out, error));
  EXPECT_NE(error.find("without cairo"), std::string::npos);
}

#endif

}  // namespace
}  // namespace veltra::scope::test
