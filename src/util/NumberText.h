#pragma once
// Numbers typed by a user: expressions of numbers with SI prefix letters, + - * / and parentheses
// ("4k7", "2*(3+4)", "10m", "1e-3+1").

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltra {

// A text that is not a number ("'%s' is not a valid floating point value" or "'%s' is not a valid
// integer value").
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A division by zero inside an expression.
class EDivByZero : public std::runtime_error {
 public:
  EDivByZero() : std::runtime_error("Division by zero") {}
};

// Evaluates an expression, spaces ignored. Sums and differences bind weaker than products and
// quotients; both are left-associative; parentheses group. A number may carry one SI prefix letter
// (case-sensitive): f p n µ u m k M G T P for EvalFloat, at the end ("10m") or in place of the
// decimal point ("4k7"); µ is the UTF-8 micro sign or its 8-bit byte 0xB5. The integer forms know
// k M G T P only, and only where the number stays whole ("1.5k" is 1500, "1.2345k" is an error);
// they divide with truncation and wrap around on overflow. Raises EConvertError for a text that is
// not such an expression (for EvalFloat also one whose value lies beyond the extended range) and
// EDivByZero for a division by zero.
long double EvalFloat(const std::string& text);
int32_t EvalInteger(const std::string& text);
int64_t EvalInt64(const std::string& text);

}  // namespace veltra
