#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace veltra::platform {
namespace {

// Long enough that a loaded machine never runs out of it; the waits that succeed end far earlier.
constexpr uint32_t kPatience = 10000;
constexpr uint32_t kMessage = kWmUser + 5;
constexpr uint32_t kQuit = kWmUser + 99;

// Pumps the calling thread until `done` holds or the patience runs out.
template <typename Done>
bool PumpUntil(Done done) {
  const double deadline = HighResSeconds() + kPatience / 1000.0;
  while (!done()) {
    if (HighResSeconds() > deadline) {
      return false;
    }
    WaitMessage(100);
    PumpMessages();
  }
  return true;
}

// A window owned by a thread of its own, which pumps until the window receives kQuit.
class WindowThread {
 public:
  explicit WindowThread(MessageWindow::Procedure procedure)
      : thread_([this, procedure = std::move(procedure)] { Run(procedure); }) {
    handle_ = ready_.get_future().get();
  }
  ~WindowThread() {
    PostMessageTo(handle_, kQuit);
    thread_.join();
  }
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  WindowHandle Handle() const { return handle_; }

 private:
  void Run(const MessageWindow::Procedure& procedure) {
    bool quit = false;
    MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
      if (message == kQuit) {
        quit = true;
        return 0;
      }
      return procedure(message, wParam, lParam);
    });
    ready_.set_value(window.Handle());
    while (!quit) {
      WaitMessage(kInfinite);
      PumpMessages();
    }
  }

  std::promise<WindowHandle> ready_;
  WindowHandle handle_ = 0;
  std::thread thread_;
};

TEST(MessageWindow, CrossThreadSendWaitsForTheOwnerAndAnswersTheResult) {
  const std::thread::id owner = std::this_thread::get_id();
  std::vector<std::thread::id> ranOn;
  MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
    ranOn.push_back(std::this_thread::get_id());
    return message == kMessage ? static_cast<intptr_t>(wParam) * 2 : 0;
  });

  EXPECT_EQ(window.Send(kMessage, 4), 8) << "on the owning thread Send calls the procedure";
  ASSERT_EQ(ranOn.size(), 1u);

  std::atomic<bool> returned{false};
  intptr_t answer = 0;
  std::thread sender([&] {
    answer = window.Send(kMessage, 21);
    returned = true;
  });
  ASSERT_TRUE(WaitMessage(kPatience)) << "the sent message is queued for the owner";
  EXPECT_FALSE(returned) << "the sender waits while the owner has not pumped";
  PumpMessages();
  sender.join();
  EXPECT_EQ(answer, 42);
  ASSERT_EQ(ranOn.size(), 2u);
  EXPECT_EQ(ranOn[1], owner) << "the procedure runs on the owning thread";
}

TEST(MessageWindow, TwoThreadsSendingToEachOtherDoNotDeadlock) {
  constexpr uint32_t kPing = kWmUser + 1;
  constexpr uint32_t kPong = kWmUser + 2;
  const std::thread::id owner = std::this_thread::get_id();
  bool pongOnOwner = false;
  MessageWindow here([&](uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
    pongOnOwner = message == kPong && std::this_thread::get_id() == owner;
    return static_cast<intptr_t>(wParam) + 1;
  });
  const WindowHandle hereHandle = here.Handle();
  // The peer answers a ping by sending to this thread's window, which is blocked in its own Send.
  WindowThread peer([&](uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
    return message == kPing ? SendMessageTo(hereHandle, kPong, wParam + 10) * 100 : 0;
  });

  EXPECT_EQ(SendMessageTo(peer.Handle(), kPing, 1), 1200);
  EXPECT_TRUE(pongOnOwner);
}

TEST(MessageWindow, PostsArriveInOrder) {
  std::vector<intptr_t> received;
  MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
    if (message == kMessage) {
      received.push_back(static_cast<intptr_t>(wParam) * 1000 + lParam);
    }
    return 0;
  });
  constexpr int kEach = 200;
  std::thread poster([&] {
    for (int i = 0; i < kEach; ++i) {
      EXPECT_TRUE(PostMessageTo(window.Handle(), kMessage, 1, i));
    }
  });
  for (int i = 0; i < kEach; ++i) {
    EXPECT_TRUE(window.Post(kMessage, 2, i));
  }
  poster.join();
  PumpMessages();

  ASSERT_EQ(received.size(), 2u * kEach);
  intptr_t last[3] = {-1, -1, -1};
  for (intptr_t code : received) {
    const intptr_t from = code / 1000;
    EXPECT_GT(code % 1000, last[from]) << "posts of one poster keep their order";
    last[from] = code % 1000;
  }
  EXPECT_FALSE(WaitMessage(0)) << "the pump emptied the queue";
}

TEST(MessageWindow, OneShotTimerFiresOncePerArming) {
  std::vector<uintptr_t> ticks;
  MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
    if (message == kWmTimer) {
      ticks.push_back(wParam);
    }
    return 0;
  });
  ASSERT_TRUE(window.SetTimer(7, 10, false));
  ASSERT_TRUE(PumpUntil([&] { return !ticks.empty(); }));
  EXPECT_FALSE(WaitMessage(100)) << "a one-shot timer does not come back";
  PumpMessages();
  EXPECT_EQ(ticks, std::vector<uintptr_t>{7});

  ASSERT_TRUE(window.SetTimer(7, 10, false));  // arming it again gives one more tick
  ASSERT_TRUE(PumpUntil([&] { return ticks.size() == 2; }));
  WaitMessage(100);
  PumpMessages();
  EXPECT_EQ(ticks, (std::vector<uintptr_t>{7, 7}));
  EXPECT_FALSE(window.KillTimer(7)) << "a one-shot timer is gone after its tick";
}

TEST(MessageWindow, PeriodicTimerRepeatsUntilKilled) {
  int ticks = 0;
  MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
    if (message == kWmTimer && wParam == 3) {
      ++ticks;
    }
    return 0;
  });
  ASSERT_TRUE(window.SetTimer(3, 10, true));
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
  EXPECT_TRUE(window.KillTimer(3));
  const int atKill = ticks;
  for (int i = 0; i < 5; ++i) {
    WaitMessage(20);
    PumpMessages();
  }
  EXPECT_EQ(ticks, atKill) << "nothing arrives after KillTimer";

  int otherThreadResult = -1;
  std::thread([&] { otherThreadResult = window.SetTimer(4, 10, true) ? 1 : 0; }).join();
  EXPECT_EQ(otherThreadResult, 0) << "timers belong to the owning thread";
}

TEST(MessageWindow, DestroyAnswersAWaitingSenderAndDropsPosts) {
  std::vector<uint32_t> received;
  MessageWindow window([&](uint32_t message, uintptr_t, intptr_t) {
    received.push_back(message);
    return intptr_t{5};
  });
  const WindowHandle handle = window.Handle();
  intptr_t answer = -1;
  std::thread sender([&] { answer = SendMessageTo(handle, kMessage); });
  ASSERT_TRUE(WaitMessage(kPatience)) << "the send is queued";
  ASSERT_TRUE(window.Post(kMessage + 1));
  window.Destroy();
  EXPECT_EQ(window.Handle(), 0u);
  PumpMessages();  // on Windows the waiting sender is answered here at the latest
  sender.join();
  EXPECT_EQ(answer, 0);
  EXPECT_TRUE(received.empty()) << "neither the send nor the post reached the procedure";

  EXPECT_EQ(SendMessageTo(handle, kMessage), 0);
  EXPECT_EQ(window.Send(kMessage), 0);
  EXPECT_FALSE(PostMessageTo(handle, kMessage));
  EXPECT_FALSE(window.Post(kMessage));
  EXPECT_FALSE(window.SetTimer(1, 10, false));
  window.Destroy();  // twice is harmless
  EXPECT_TRUE(received.empty());
}

// An owner that deletes itself, and with it its window, while handling a posted message.
class SelfDeletingOwner {
 public:
  explicit SelfDeletingOwner(std::vector<std::string>& log)
      : window_([this, &log, note = std::string("procedure state survives its window")](
                    uint32_t message, uintptr_t, intptr_t) -> intptr_t {
          if (message == kMessage) {
            delete this;
            log.push_back(note);  // the running procedure (and its captures) is still alive
          } else {
            log.push_back("late message");
          }
          return 0;
        }) {}
  MessageWindow& Window() { return window_; }

 private:
  MessageWindow window_;
};

TEST(MessageWindow, ProcedureMayDestroyItsOwnWindow) {
  std::vector<std::string> log;
  auto* owner = new SelfDeletingOwner(log);
  const WindowHandle handle = owner->Window().Handle();
  ASSERT_TRUE(owner->Window().Post(kMessage));
  ASSERT_TRUE(owner->Window().Post(kMessage + 1));  // dropped with the window
  PumpMessages();
  EXPECT_EQ(log, std::vector<std::string>{"procedure state survives its window"});
  EXPECT_FALSE(PostMessageTo(handle, kMessage + 1));
  PumpMessages();
  EXPECT_EQ(log.size(), 1u);

  // The same through a Send on the owning thread, which calls the procedure directly.
  owner = new SelfDeletingOwner(log);
  EXPECT_EQ(owner->Window().Send(kMessage), 0);
  EXPECT_EQ(log.size(), 2u);
  EXPECT_EQ(log.back(), "procedure state survives its window");
}

TEST(MessageWindow, WaitMessageWakesOnAPostAndReturnsOnItsTimeOut) {
  MessageWindow window([](uint32_t, uintptr_t, intptr_t) { return intptr_t{0}; });
  PumpMessages();
  const double start = HighResSeconds();
  EXPECT_FALSE(WaitMessage(60));
  EXPECT_GE(HighResSeconds() - start, 0.05) << "it waited for the time-out";

  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the owner block first
    PostMessageTo(window.Handle(), kMessage);
  });
  EXPECT_TRUE(WaitMessage(kPatience));
  poster.join();
  PumpMessages();
  EXPECT_FALSE(WaitMessage(0));
}

TEST(MessageWindow, WindowsEndWithTheirThread) {
  std::unique_ptr<MessageWindow> outlived;  // its thread ends without destroying it
  std::thread([&] {
    outlived = std::make_unique<MessageWindow>([](uint32_t, uintptr_t, intptr_t) { return intptr_t{1}; });
  }).join();
  const WindowHandle handle = outlived->Handle();
  EXPECT_EQ(SendMessageTo(handle, kMessage), 0);
  EXPECT_FALSE(PostMessageTo(handle, kMessage));
  outlived.reset();  // destroying it later, on another thread, is harmless
}

}  // namespace
}  // namespace veltra::platform
