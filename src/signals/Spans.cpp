#include "signals/Spans.h"

#include <algorithm>
#include <cmath>

namespace veltra {
namespace {

// 10^e, and v scaled by it, with the exact powers of ten: dividing by 10^3 rounds 0.004 correctly
// where multiplying by 10^-3 (not exact) may not.
double TimesPowerOfTen(double v, int e) {
  return e >= 0 ? v * std::pow(10.0, e) : v / std::pow(10.0, -e);
}

}  // namespace

double RoundNumber(double v) {
  if (!(v > 0.0) || !std::isfinite(v)) return v;  // 0, and values that have no round number
  const int e = static_cast<int>(std::floor(std::log10(v)));
  double mantissa = TimesPowerOfTen(v, -e);
  if (mantissa - std::floor(mantissa) < 1e-6) mantissa = std::round(mantissa);
  for (const double step : {1.0, 2.0, 4.0, 8.0}) {
    if (step >= mantissa) return TimesPowerOfTen(step, e);
  }
  return TimesPowerOfTen(1.0, e + 1);
}

TSpan SnapSpan(TSpan requested) {
  const auto [low, high] = requested;
  if (high <= 0) return {-RoundNumber(std::fabs(low)), 0.0};
  if (low >= 0) return {0.0, RoundNumber(high)};
  const double magnitude = RoundNumber(std::max(-low, high));
  return {-magnitude, magnitude};
}

}  // namespace veltra
