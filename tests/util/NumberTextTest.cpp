#include "util/NumberText.h"

#include <gtest/gtest.h>

#include <string>

namespace veltra {
namespace {

TEST(NumberText, EvalFloat) {
  const struct {
    std::string text;
    long double value;
  } cases[] = {
      {"2*(3+4)", 14.0L},
      {"1e-3+1", 1e-3L + 1.0L},
      {"10m", 0.01L},
      {"4k7", 4700.0L},
      {" 1.5 k ", 1500.0L},
      {"2M", 2e6L},
      {"3u3", 3.3e-6L},
      {"1\xC2\xB5", 1e-6L},
      {"1\xB5", 1e-6L},  // the micro sign of the 8-bit code page
      {"4\xB5" "7", 4.7e-6L},
      {"5f", 5e-15L},
      {"7p", 7e-12L},
      {"2n2", 2.2e-9L},
      {"3G", 3e9L},
      {"1T", 1e12L},
      {"4P", 4e15L},
      {"7/2", 3.5L},
      {"8/2/2", 2.0L},
      {"2-3-4", -5.0L},
      {"-5+2", -3.0L},
      {"+.5", 0.5L},
      {"1E+2*3", 300.0L},
      {"(1+2)*(3-(4/8))", 7.5L},
      {"((((2))))", 2.0L},
      {"0.1", 0.1L},
      {"5.", 5.0L},
  };
  for (const auto& c : cases) EXPECT_EQ(EvalFloat(c.text), c.value) << c.text;
}

template <class F>
std::string ErrorOf(F&& evaluate) {
  try {
    evaluate();
  } catch (const EConvertError& e) {
    return e.what();
  }
  return "no error";
}

TEST(NumberText, ConversionErrorsQuoteTheText) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"(2", "'(2' is not a valid floating point value"},
      {"abc", "'abc' is not a valid floating point value"},
      {"", "'' is not a valid floating point value"},
      {"1+", "'' is not a valid floating point value"},
      {"2*-3", "'' is not a valid floating point value"},  // "-" splits first: "2*" lacks a factor
      {"1mM", "'1.Me-3' is not a valid floating point value"},
      {"1e5000", "'1e5000' is not a valid floating point value"},
      // Results beyond the extended range, and infinity minus itself, are no values either.
      {"1e4000*1e4000", "'1e4000*1e4000' is not a valid floating point value"},
      {"1e4000*1e4000-1e4000*1e4000", "'1e4000*1e4000' is not a valid floating point value"},
      {"1.1e4932+1.1e4932", "'1.1e4932+1.1e4932' is not a valid floating point value"},
      {"0x10", "'0x10' is not a valid floating point value"},
      {"1.2.3", "'1.2.3' is not a valid floating point value"},
      {"inf", "'ine-15' is not a valid floating point value"},  // f is femto
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { EvalFloat(c.text); }), c.message) << c.text;
  EXPECT_THROW(EvalFloat("1/(2-2)"), EDivByZero);
}

TEST(NumberText, IntegerForms) {
  const struct {
    std::string text;
    int64_t value;
  } cases[] = {
      {"7/2", 3},      {"-7/2", -3},          {"4k7", 4700},   {"1.5k", 1500},
      {"2M", 2000000}, {"1.25G", 1250000000}, {"2*(3+4)", 14}, {"-2147483648", INT32_MIN},
      {"+12", 12},     {"10-2-3", 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EvalInteger(c.text), c.value) << c.text;
    EXPECT_EQ(EvalInt64(c.text), c.value) << c.text;
  }
  EXPECT_EQ(EvalInteger("2147483647+1"), INT32_MIN);  // wraps around
  EXPECT_EQ(EvalInteger("(0-2147483647-1)/(0-1)"), INT32_MIN);
  EXPECT_EQ(EvalInt64("1.5T"), 1500000000000);
  EXPECT_EQ(EvalInt64("9223372036854775807"), INT64_MAX);

  EXPECT_EQ(ErrorOf([] { EvalInteger("1.2345k"); }), "'1.2345k' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { EvalInteger("2147483648"); }),
            "'2147483648' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { EvalInt64("9223372036854775808"); }),
            "'9223372036854775808' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { EvalInteger("1e-3"); }), "'1e' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { EvalInteger("10m"); }), "'10m' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { EvalInt64("(2"); }), "'(2' is not a valid integer value");
  EXPECT_THROW(EvalInteger("5/0"), EDivByZero);
}

TEST(NumberText, LongAndDeepTextsEndWithoutExhaustingTheStack) {
  std::string sum = "1";
  for (int i = 0; i < 100000; ++i) sum += "+1";
  EXPECT_EQ(EvalInt64(sum), 100001);
  EXPECT_EQ(EvalFloat(std::string(150, '(') + "3" + std::string(150, ')')), 3.0L);
  const std::string deep = std::string(100000, '(') + "3" + std::string(100000, ')');
  EXPECT_THROW(EvalFloat(deep), EConvertError);
  EXPECT_THROW(EvalInteger(deep), EConvertError);
}

}  // namespace
}  // namespace veltra
