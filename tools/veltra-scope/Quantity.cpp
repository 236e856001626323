#include "Quantity.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace veltra::scope {
namespace {

struct Prefix {
  char letter;
  int exponent;
};
constexpr std::array<Prefix, 7> kPrefixes{
    {{'p', -12}, {'n', -9}, {'u', -6}, {'m', -3}, {'k', 3}, {'M', 6}, {'G', 9}}};

// Shortest text of value with at most `significant` significant digits ("1.5", "250", "0.001").
std::string ShortNumber(double value, int significant) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*g", significant, value);
  return text;
}

}  // namespace

std::optional<double> ParseQuantity(std::string_view text) {
  if (text.empty()) return std::nullopt;
  double scale = 1.0;
  for (const Prefix& prefix : kPrefixes) {
    if (text.back() == prefix.letter) {
      scale = std::pow(10.0, prefix.exponent);
      text.remove_suffix(1);
      break;
    }
  }
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value * scale;
}

std::string FormatQuantity(double value, std::string_view unit, int significant) {
  int exponent = 0;
  if (value != 0.0 && std::isfinite(value)) {
    exponent = static_cast<int>(std::floor(std::log10(std::fabs(value)) / 3.0)) * 3;
    exponent = std::clamp(exponent, -12, 9);
    // Rounding to the digits shown can carry into the next prefix (999.96 shown as 1000).
    const std::string shown = ShortNumber(value / std::pow(10.0, exponent), significant);
    if (std::fabs(std::stod(shown)) >= 1000.0 && exponent < 9) exponent += 3;
  }
  std::string text = ShortNumber(value / std::pow(10.0, exponent), significant);
  std::string suffix;
  for (const Prefix& prefix : kPrefixes) {
    if (prefix.exponent == exponent) suffix += prefix.letter;
  }
  suffix += unit;
  if (!suffix.empty()) text += ' ' + suffix;
  return text;
}

std::optional<TriggerSetting> ParseTrigger(std::string_view text) {
  if (text == "none") return TriggerSetting{};
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view slope = text.substr(0, colon);
  TriggerSetting trigger;
  if (slope == "rising") {
    trigger.slope = TriggerSlope::kRising;
  } else if (slope == "falling") {
    trigger.slope = TriggerSlope::kFalling;
  } else {
    return std::nullopt;
  }
  const std::optional<double> level = ParseQuantity(text.substr(colon + 1));
  if (!level) return std::nullopt;
  trigger.level = *level;
  return trigger;
}

std::string TriggerText(const TriggerSetting& trigger) {
  switch (trigger.slope) {
    case TriggerSlope::kRising: return "rising:" + ShortNumber(trigger.level, 6);
    case TriggerSlope::kFalling: return "falling:" + ShortNumber(trigger.level, 6);
    case TriggerSlope::kNone: break;
  }
  return "none";
}

}  // namespace veltra::scope
