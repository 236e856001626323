// Every test of the program starts from the library-wide state of a freshly loaded library. The
// library keeps its flags across ExitInstrument (ADC_Ready reports the last measurement until the
// next one starts), so a test that left one set would decide the outcome of the tests after it.

#include <gtest/gtest.h>

#include "api/DLL.h"
#include "veltra/veltra.h"

namespace veltra::test {
namespace {

class TLibraryStateReset : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    ExitInstrument();
    api::TLibraryState& state = api::State();
    state.measurementReady = false;
    state.adcRunning = false;
    state.dataReadyCallback = nullptr;
    state.dataReadyEvent = 0;
  }
};

[[maybe_unused]] const bool kRegistered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new TLibraryStateReset);
  return true;
}();

}  // namespace
}  // namespace veltra::test
