// Any text gives a value, the conversion error quoting a text, or the division error; nothing
// else, and never a crash or a hang.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "util/NumberText.h"

namespace {

// The message quotes a text; a text with a NUL byte cuts the C string short after the quote.
void CheckMessage(const veltra::EConvertError& e, std::string_view ending, bool wholeText) {
  const std::string_view message = e.what();
  if (message.empty() || message.front() != '\'') std::abort();
  if (wholeText && (message.size() < ending.size() + 1 ||
                    message.substr(message.size() - ending.size()) != ending)) {
    std::abort();
  }
}

template <class F>
void Evaluate(F&& evaluate, std::string_view ending, bool wholeText) {
  try {
    evaluate();
  } catch (const veltra::EConvertError& e) {
    CheckMessage(e, ending, wholeText);
  } catch (const veltra::EDivByZero&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool wholeText = text.find('\0') == std::string::npos;
  Evaluate([&] { veltra::EvalFloat(text); }, "' is not a valid floating point value", wholeText);
  Evaluate([&] { veltra::EvalInteger(text); }, "' is not a valid integer value", wholeText);
  Evaluate([&] { veltra::EvalInt64(text); }, "' is not a valid integer value", wholeText);
  return 0;
}
