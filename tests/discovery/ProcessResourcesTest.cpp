// The resource counts the repetition tests rely on see what they are meant to see.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "ProcessResources.h"
#include "platform/Platform.h"

namespace veltra::test {
namespace {

TEST(ProcessResources, CountsThreadsHandlesWindowsAndHeap) {
  // Run twice and count the second time: what the first use of threads, events and windows sets
  // up for good (a thread's message queue, the thread library's own handles) is there by then.
  for (int round = 0; round < 2; ++round) {
    const ProcessResources before = ProcessResources::Now();
    ProcessResources during;
    {
      std::vector<std::unique_ptr<platform::Event>> events;
      for (int i = 0; i < 3; ++i) events.push_back(std::make_unique<platform::Event>(true, false));
      std::thread thread([&] {
        platform::Event* stop[] = {events.front().get()};
        platform::WaitAny(stop, platform::kInfinite);
      });
      platform::MessageWindow window([](uint32_t, uintptr_t, intptr_t) -> intptr_t { return 0; });
      const std::vector<char> block(1 << 20);
      during = ProcessResources::Now();
      events.front()->Set();
      thread.join();
    }
    // Wine lets go of an ended thread's own handles a little after the join returns: wait for the
    // count to come back rather than taking its first reading.
    ProcessResources after = ProcessResources::Now();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (after.handles != before.handles && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      after = ProcessResources::Now();
    }
    if (round == 0) continue;
    EXPECT_EQ(during.threads, before.threads + 1) << during.ToString();
    EXPECT_GE(during.handles, before.handles + 3) << during.ToString();
    EXPECT_GE(during.heapBytes, before.heapBytes + (1 << 20)) << during.ToString();
#ifdef _WIN32
    EXPECT_EQ(during.windows, before.windows + 1) << during.ToString();
#endif
    EXPECT_EQ(after.handles, before.handles) << after.ToString();
    EXPECT_EQ(after.windows, before.windows) << after.ToString();
  }
}

}  // namespace
}  // namespace veltra::test
