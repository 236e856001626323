#pragma once
// Numbers with SI prefixes as people type and read them at a bench: "1M", "250k", "-20m", and
// back again as "1 MHz" or "-20 mV". Also the trigger setting of the command line.

#include <optional>
#include <string>
#include <string_view>

namespace veltra::scope {

// A number with an optional SI prefix letter (p n u m k M G) and nothing else, or nothing when the
// text is not one. "1.5k" is 1500, "-20m" is -0.02.
std::optional<double> ParseQuantity(std::string_view text);

// The value with the SI prefix that keeps between one and three digits before the point, and the
// unit: FormatQuantity(1500, "Hz") is "1.5 kHz". significant digits are kept, trailing zeros dropped.
std::string FormatQuantity(double value, std::string_view unit, int significant = 4);

enum class TriggerSlope { kNone, kRising, kFalling };

// --trigger: "none", "rising:LEVEL" or "falling:LEVEL", the level in volts with SI prefixes.
struct TriggerSetting {
  TriggerSlope slope = TriggerSlope::kNone;
  double level = 0.0;
};

// The trigger setting of the text, or nothing when the text is none of the three forms.
std::optional<TriggerSetting> ParseTrigger(std::string_view text);
// The text form again, for files and summaries: "rising:0.1", "none".
std::string TriggerText(const TriggerSetting& trigger);

}  // namespace veltra::scope
