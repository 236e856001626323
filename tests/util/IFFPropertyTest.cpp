// Random edit sequences on a chunk stream, checked after every step against a re-parse of the bytes
// and against a model of every data chunk's contents.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "IFFEditModel.h"

namespace veltra {
namespace {

TEST(IFFStreamProperty, RandomEditSequencesKeepTreeAndBytesConsistent) {
  constexpr uint32_t kSequences = 3000;
  constexpr int kSteps = 40;
  for (uint32_t seed = 1; seed <= kSequences; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    // The chunks start behind a few bytes of something else.
    const std::string prefix(pick(4), 'p');
    TMemoryStream stream(std::vector<uint8_t>(prefix.begin(), prefix.end()));
    stream.SetPosition(static_cast<int64_t>(prefix.size()));
    TIFFStream iff(stream, true);
    test::IFFEditModel model(stream, iff, pick);
    for (int step = 0; step < kSteps; ++step) {
      model.Step();
      ASSERT_EQ(model.Verify(), "") << "after step " << step;
    }
    model.Close();
    ASSERT_EQ(model.Verify(), "") << "after closing";
  }
}

}  // namespace
}  // namespace veltra
