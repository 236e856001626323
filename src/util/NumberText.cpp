#include "util/NumberText.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <type_traits>
#include <vector>

#include "util/ExtendedPrecision.h"

namespace veltra {

namespace {

// The decimal separator of number text.
constexpr char kDecimalSeparator = '.';

// Parentheses nested deeper than this make the text invalid, so that no text can exhaust the stack.
constexpr int kMaxNesting = 200;

struct Prefix {
  std::string_view letter;
  int exponent;
};

// In the order they are looked for; the first one present in a number counts. The micro sign
// comes as UTF-8 or as the single byte of the 8-bit code page.
constexpr Prefix kFloatPrefixes[] = {
    {"f", -15}, {"p", -12}, {"n", -9}, {"\xC2\xB5", -6}, {"\xB5", -6}, {"u", -6},
    {"m", -3},  {"k", 3},   {"M", 6},  {"G", 9},          {"T", 12},    {"P", 15},
};
constexpr Prefix kIntegerPrefixes[] = {{"k", 3}, {"M", 6}, {"G", 9}, {"T", 12}, {"P", 15}};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Moves i past the digits at i; answers how many there were.
size_t Digits(std::string_view text, size_t& i) {
  const size_t start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i - start;
}

// Decimal float text: [sign] digits [separator digits] [e|E [sign] digits], with at least one
// digit before the exponent.
bool IsFloatText(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t mantissa = Digits(text, i);
  if (i < text.size() && text[i] == kDecimalSeparator) mantissa += Digits(text, ++i);
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (Digits(text, i) == 0) return false;
  }
  return i == text.size();
}

[[noreturn]] void FloatError(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

[[noreturn]] void IntegerError(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

long double ToFloat(const std::string& text) {
  if (!IsFloatText(text)) FloatError(text);
  // The C library reads the separator of the process's locale.
  std::string local = text;
  const char* separator = std::localeconv()->decimal_point;
  const size_t at = local.find(kDecimalSeparator);
  if (at != std::string::npos && separator && *separator && *separator != kDecimalSeparator) {
    local = text.substr(0, at) + separator + text.substr(at + 1);
  }
  const long double value = std::strtold(local.c_str(), nullptr);
  if (std::isinf(value)) FloatError(text);  // beyond the extended range
  return value;
}

template <class T>
T ToInteger(const std::string& text) {
  const bool negative = !text.empty() && text[0] == '-';
  const size_t first = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  size_t i = first;
  if (Digits(text, i) == 0 || i != text.size()) IntegerError(text);
  // Accumulate the magnitude, allowing one more for the most negative value.
  using U = std::make_unsigned_t<T>;
  const U limit = static_cast<U>(std::numeric_limits<T>::max()) + (negative ? 1u : 0u);
  U magnitude = 0;
  for (size_t k = first; k < text.size(); ++k) {
    const auto digit = static_cast<U>(text[k] - '0');
    if (magnitude > (limit - digit) / 10) IntegerError(text);
    magnitude = static_cast<U>(magnitude * 10 + digit);
  }
  return static_cast<T>(negative ? static_cast<U>(U{0} - magnitude) : magnitude);
}

template <class T>
class Evaluator {
 public:
  static constexpr bool kFloat = std::is_floating_point_v<T>;

  T Eval(std::string_view text, int nesting) {
    if (nesting > kMaxNesting) Error(text);
    std::vector<size_t> splits = Splits(text, "+-");
    if (splits.empty()) splits = Splits(text, "*/");
    if (!splits.empty()) return Fold(text, splits, nesting);
    if (!text.empty() && text[0] == '(' && (!kFloat || text.size() > 2)) {
      if (text.size() < 2 || text.back() != ')') Error(text);
      return Eval(text.substr(1, text.size() - 2), nesting + 1);
    }
    return Number(std::string(text));
  }

 private:
  [[noreturn]] static void Error(std::string_view text) {
    if constexpr (kFloat) {
      FloatError(text);
    } else {
      IntegerError(text);
    }
  }

  // The positions, left to right, of the operators at parenthesis level 0 that split the text:
  // never the first character, and in float text not the sign of an exponent. Levels count from
  // the right end: ")" opens one, "(" closes it.
  static std::vector<size_t> Splits(std::string_view text, std::string_view operators) {
    std::vector<size_t> found;
    int level = 0;
    for (size_t i = text.size(); i-- > 1;) {
      const char c = text[i];
      if (c == ')') {
        ++level;
      } else if (c == '(') {
        --level;
      } else if (level == 0 && operators.find(c) != std::string_view::npos) {
        const bool exponentSign = kFloat && (c == '+' || c == '-') &&
                                  (text[i - 1] == 'e' || text[i - 1] == 'E');
        if (!exponentSign) found.push_back(i);
      }
    }
    return {found.rbegin(), found.rend()};
  }

  // Left-associative: ((a op b) op c) ..., operands evaluated from left to right.
  T Fold(std::string_view text, const std::vector<size_t>& splits, int nesting) {
    T result = Eval(text.substr(0, splits[0]), nesting);
    for (size_t k = 0; k < splits.size(); ++k) {
      const size_t begin = splits[k] + 1;
      const size_t end = k + 1 < splits.size() ? splits[k + 1] : text.size();
      result = Apply(result, text[splits[k]], Eval(text.substr(begin, end - begin), nesting), text);
    }
    return result;
  }

  // `text` is the expression the operation belongs to, quoted by the error.
  static T Apply(T a, char op, T b, std::string_view text) {
    if constexpr (kFloat) {
      T result;
      switch (op) {
        case '+': result = a + b; break;
        case '-': result = a - b; break;
        case '*': result = a * b; break;
        default:
          if (b == 0) throw EDivByZero();
          result = a / b;
      }
      // Overflow gives infinity (and infinity minus itself NaN): no value a number text can have.
      if (!std::isfinite(result)) FloatError(text);
      return result;
    } else {
      // Two's complement arithmetic that wraps around.
      using U = std::make_unsigned_t<T>;
      switch (op) {
        case '+': return static_cast<T>(static_cast<U>(a) + static_cast<U>(b));
        case '-': return static_cast<T>(static_cast<U>(a) - static_cast<U>(b));
        case '*': return static_cast<T>(static_cast<U>(a) * static_cast<U>(b));
        default:
          if (b == 0) throw EDivByZero();
          if (b == -1) return static_cast<T>(U{0} - static_cast<U>(a));
          return a / b;
      }
    }
  }

  static T Number(std::string text) {
    if constexpr (kFloat) {
      for (const Prefix& p : kFloatPrefixes) {
        const size_t at = text.find(p.letter);
        if (at == std::string::npos) continue;
        // At the end the letter goes; inside the number it becomes the decimal separator.
        const std::string rest = text.substr(at + p.letter.size());
        text.resize(at);
        if (!rest.empty()) text += kDecimalSeparator + rest;
        text += 'e';
        text += std::to_string(p.exponent);
        break;
      }
      return ToFloat(text);
    } else {
      for (const Prefix& p : kIntegerPrefixes) {
        const size_t at = text.find(p.letter);
        if (at == std::string::npos) continue;
        std::string scaled = text;
        size_t cut = at;  // the character to remove: the letter or the decimal separator
        if (at + 1 == scaled.size() && scaled.find(kDecimalSeparator) != std::string::npos) {
          scaled.erase(at);
          cut = scaled.find(kDecimalSeparator);
        }
        const size_t after = scaled.size() - cut - 1;
        if (after <= static_cast<size_t>(p.exponent)) {
          scaled.erase(cut, 1);
          scaled.append(static_cast<size_t>(p.exponent) - after, '0');
          text = scaled;
        }
        break;
      }
      return ToInteger<T>(text);
    }
  }
};

template <class T>
[[gnu::noinline]] T Evaluate(const std::string& text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (c != ' ') compact += c;
  }
  return Evaluator<T>().Eval(compact, 0);
}

}  // namespace

long double EvalFloat(const std::string& text) {
  ExtendedPrecision precision;
  return Evaluate<long double>(text);
}

int32_t EvalInteger(const std::string& text) { return Evaluate<int32_t>(text); }

int64_t EvalInt64(const std::string& text) { return Evaluate<int64_t>(text); }

}  // namespace veltra
