// PumpOwnMessages: what is pending for the calling thread's message windows is delivered, on that
// thread; on Windows the application's own messages stay queued for its loop.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace veltra::platform {
namespace {

constexpr uint32_t kPosted = kWmUser + 21;
constexpr uint32_t kSent = kWmUser + 22;
constexpr uintptr_t kTimerId = 5;
constexpr double kPatienceSeconds = 10.0;  // only bounds a failure; the waits end far earlier

struct Delivery {
  uint32_t message;
  std::thread::id thread;
};

TEST(PumpOwnMessages, DeliversPostsTimersAndOtherThreadsSendsOnTheOwningThread) {
  std::vector<Delivery> delivered;
  MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
    if (message == kWmTimer && wParam != kTimerId) return 0;
    delivered.push_back({message, std::this_thread::get_id()});
    return message == kSent ? static_cast<intptr_t>(wParam) + 1 : 0;
  });
  ASSERT_TRUE(window.Post(kPosted));
  ASSERT_TRUE(window.SetTimer(kTimerId, 10, false));
  std::atomic<intptr_t> answer{-1};
  std::thread sender([&, handle = window.Handle()] { answer = SendMessageTo(handle, kSent, 41); });

  std::thread([] { PumpOwnMessages(); }).join();
  EXPECT_TRUE(delivered.empty()) << "another thread's pump delivers nothing of this thread's";

  const double deadline = HighResSeconds() + kPatienceSeconds;
  while (delivered.size() < 3 && HighResSeconds() < deadline) {
    WaitMessage(100);
    PumpOwnMessages();
  }
  sender.join();
  EXPECT_EQ(answer, 42) << "the sender got the procedure's answer";
  std::vector<uint32_t> messages;
  for (const Delivery& d : delivered) {
    messages.push_back(d.message);
    EXPECT_EQ(d.thread, std::this_thread::get_id());
  }
  std::sort(messages.begin(), messages.end());
  EXPECT_EQ(messages, (std::vector<uint32_t>{kWmTimer, kPosted, kSent}));
}

#ifdef _WIN32

int applicationCalls = 0;

LRESULT CALLBACK ApplicationProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) ++applicationCalls;
  return DefWindowProcA(window, message, wParam, lParam);
}

// A window the application made itself, of its own class.
HWND MakeApplicationWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &ApplicationProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VeltraTestApplicationWindow";
  RegisterClassA(&windowClass);  // fails harmlessly on a second run
  return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         windowClass.hInstance, nullptr);
}

TEST(PumpOwnMessages, LeavesTheApplicationsMessagesQueued) {
  constexpr UINT kApplicationPost = WM_USER + 7;
  constexpr UINT kThreadMessage = WM_USER + 8;
  const HWND application = MakeApplicationWindow();
  ASSERT_NE(application, nullptr);
  applicationCalls = 0;
  int ownPosts = 0;
  MessageWindow window([&](uint32_t message, uintptr_t, intptr_t) -> intptr_t {
    if (message == kPosted) ++ownPosts;
    return 0;
  });
  ASSERT_TRUE(PostMessageA(application, kApplicationPost, 0, 0));
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), kThreadMessage, 0, 0));
  ASSERT_TRUE(window.Post(kPosted));
  PostQuitMessage(3);

  PumpOwnMessages();

  EXPECT_EQ(ownPosts, 1);
  EXPECT_EQ(applicationCalls, 0) << "the application's window procedure was not called";
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, application, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, kApplicationPost);
  ASSERT_TRUE(PeekMessageA(&message, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, kThreadMessage) << "the thread message is still queued";
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3u) << "WM_QUIT is still the application's";
  DestroyWindow(application);
}

#endif

}  // namespace
}  // namespace veltra::platform
