#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace veltra::platform {
namespace {

// Long enough that a loaded machine never misses it; waits that should succeed end far earlier.
constexpr uint32_t kPatience = 10000;

TEST(Events, AutoResetIsConsumedByTheWaitManualResetStaysSet) {
  Event autoReset(false, true);
  Event manualReset(true, true);
  std::array<Event*, 1> autoList{&autoReset};
  std::array<Event*, 1> manualList{&manualReset};

  EXPECT_EQ(WaitAny(autoList, 0), 0);
  EXPECT_EQ(WaitAny(autoList, 0), kWaitTimeout) << "the first wait consumed it";
  autoReset.Set();
  autoReset.Set();  // setting a set event leaves it set once
  EXPECT_EQ(WaitAny(autoList, 0), 0);
  EXPECT_EQ(WaitAny(autoList, 0), kWaitTimeout);

  EXPECT_EQ(WaitAny(manualList, 0), 0);
  EXPECT_EQ(WaitAny(manualList, 0), 0);
  manualReset.Reset();
  EXPECT_EQ(WaitAny(manualList, 0), kWaitTimeout);
  EXPECT_EQ(WaitAny(manualList, 20), kWaitTimeout);
}

TEST(Events, WaitAnyReportsTheEventThatFired) {
  Event stop(false, false);
  Event news(false, false);
  std::array<Event*, 2> list{&stop, &news};
  std::array<EventHandle, 2> handles{stop.Handle(), news.Handle()};

  news.Set();
  EXPECT_EQ(WaitAny(list, 0), 1);
  EXPECT_TRUE(SetEventHandle(stop.Handle()));
  EXPECT_EQ(WaitAny(handles, 0), 0);
  stop.Set();
  news.Set();
  EXPECT_EQ(WaitAny(handles, 0), 0) << "the first of several set events";
  EXPECT_EQ(WaitAny(handles, 0), 1);
  EXPECT_EQ(WaitAny(handles, 0), kWaitTimeout);
}

TEST(Events, WakesAWaiterOnAnotherThread) {
  Event ready(false, false);
  Event reply(false, false);
  int payload = 0;  // handed over through the events alone
  std::thread peer([&] {
    const std::array<EventHandle, 1> handles{ready.Handle()};
    if (WaitAny(handles, kPatience) == 0) {
      payload += 1;
      reply.Set();
    }
  });
  payload = 41;
  ready.Set();
  std::array<Event*, 1> list{&reply};
  EXPECT_EQ(WaitAny(list, kPatience), 0);
  EXPECT_EQ(payload, 42);
  peer.join();
}

TEST(Events, ManualResetReleasesEveryWaiter) {
  Event gate(true, false);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      std::array<Event*, 1> list{&gate};
      if (WaitAny(list, kPatience) == 0) {
        ++passed;
      }
    });
  }
  gate.Set();
  for (std::thread& waiter : waiters) {
    waiter.join();
  }
  EXPECT_EQ(passed.load(), 3);
}

TEST(Events, InvalidHandlesFail) {
  const std::array<EventHandle, 1> bogus{0x7FFF0000u};
  EXPECT_EQ(WaitAny(bogus, 0), kWaitFailed);
  EXPECT_EQ(WaitAny(std::span<const EventHandle>{}, 0), kWaitFailed);
  EXPECT_FALSE(SetEventHandle(0x7FFF0000u));
}

}  // namespace
}  // namespace veltra::platform
