// The notification-block fuzz target over its seed corpus: large channel numbers, records of odd
// sizes at misaligned addresses, sizes that end the walk. The target aborts on a wrong answer.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace veltra {
namespace {

TEST(NotificationBlockCorpus, EverySeedReadsConsistently) {
  size_t seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VELTRA_NOTIFICATION_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    ++seeds;
  }
  EXPECT_GE(seeds, 3u);
}

}  // namespace
}  // namespace veltra
