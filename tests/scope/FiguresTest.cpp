#include "Figures.h"

#include <gtest/gtest.h>

#include "SignalMaker.h"

namespace veltra::scope::test {
namespace {

struct SineCase {
  double frequency, amplitude, offset, sampleFrequency;
  size_t samples;  // a whole number of periods, so the mean and RMS are exact
};

TEST(FiguresTest, SineFiguresMatchTheSignal) {
  const SineCase cases[] = {{1e3, 1.0, 0.0, 1e6, 5000},
                            {50.0, 0.25, 0.5, 10e3, 2000},
                            {123e3, 3.0, -1.0, 12.3e6, 5000}};
  for (const SineCase& c : cases) {
    SCOPED_TRACE(c.frequency);
    const std::vector<double> volts = Sine(c.samples, c.sampleFrequency, c.frequency, c.amplitude, c.offset, 0.3);
    const SignalFigures figures = Summarise(volts, c.sampleFrequency);
    EXPECT_NEAR(figures.maximum, c.offset + c.amplitude, c.amplitude * 1e-3);
    EXPECT_NEAR(figures.minimum, c.offset - c.amplitude, c.amplitude * 1e-3);
    EXPECT_NEAR(figures.peakToPeak, 2.0 * c.amplitude, c.amplitude * 2e-3);
    EXPECT_NEAR(figures.mean, c.offset, c.amplitude * 1e-2);
    EXPECT_NEAR(figures.rms, std::sqrt(c.offset * c.offset + c.amplitude * c.amplitude / 2.0), c.amplitude * 1e-2);
    ASSERT_TRUE(figures.frequency.has_value());
    EXPECT_NEAR(*figures.frequency, c.frequency, c.frequency * 1e-4);
  }
}

TEST(FiguresTest, FrequencyOfASquareWaveAndOfANoisySine) {
  // A square wave of 2.5 periods per 1000 samples: the crossings fall between samples.
  std::vector<double> square(4000);
  for (size_t i = 0; i < square.size(); ++i) square[i] = (i % 400) < 200 ? 0.8 : -0.8;
  ASSERT_TRUE(EstimateFrequency(square, 1e6, -0.8, 0.8).has_value());
  EXPECT_NEAR(*EstimateFrequency(square, 1e6, -0.8, 0.8), 2500.0, 2500.0 * 1e-3);

  // Noise of 5 % of the amplitude wiggles the signal across the middle several times per slope;
  // each period still counts once.
  const std::vector<double> noisy = Sine(20000, 1e6, 1e3, 1.0, 0.0, 0.0, 0.05);
  const SignalFigures figures = Summarise(noisy, 1e6);
  ASSERT_TRUE(figures.frequency.has_value());
  EXPECT_NEAR(*figures.frequency, 1e3, 1e3 * 2e-3);
}

TEST(FiguresTest, NoFrequencyWithoutAWholePeriod) {
  EXPECT_FALSE(Summarise(std::vector<double>(1000, 0.3), 1e6).frequency.has_value());
  // Three quarters of a period: a single rising crossing.
  EXPECT_FALSE(Summarise(Sine(750, 1e6, 1e3, 1.0, 0.0, -kPi / 2.0), 1e6).frequency.has_value());

  const SignalFigures empty = Summarise({}, 1e6);
  EXPECT_EQ(empty.minimum, 0.0);
  EXPECT_EQ(empty.rms, 0.0);
  EXPECT_FALSE(empty.frequency.has_value());
}

}  // namespace
}  // namespace veltra::scope::test
