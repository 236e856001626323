#pragma once
// TEventThread: the thread through which a driver-backed instrument hears the driver's news.
//
// Construction hands the driver two events (IOCTL_CONNECT): the news event, which the driver sets
// when the notification block holds news, and the done event, which the library sets when it has
// read the block. The thread then waits for the news event (or its stop event) and forwards each
// piece of news to the instrument's hidden window with a synchronous send of kNewsMessage, so that
// the block is read on the window's thread while the event thread waits.
//
// The done event. The window's procedure answers the send with non-zero only when it has read the
// block, and the reader sets the done event itself, before its procedure returns (SignalDone). So
// every done event the driver sees follows exactly one reading: a news event whose block was read
// already (through a pending answer) or was not ready sets nothing, and a set the window's thread
// sends after a reading never finds the done event of that reading still to come.
//
// Ending. Stop (also the destructor) sets the stop event and returns at once: the thread may be
// blocked in its send to a window whose thread is the one stopping it. The thread ends at its next
// wake-up (a send to a destroyed window answers 0) and frees what it shares with this object; the
// events live until then. WaitUntilAllEnded lets a caller that may wait (a library unload outside
// the loader's lock, tests) see every event thread gone.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "driver/DevIoCtl.h"
#include "platform/Platform.h"

namespace veltra {

class TEventThread {
 public:
  // The message the window receives for news (WM_USER + 10, parameters 0 and 0).
  static constexpr uint32_t kNewsMessage = platform::kWmUser + 10;

  // Connects on `device` and starts the thread, which forwards news to `window`. Throws
  // EDriverError "Maximum number of connections to the driver reached." when the driver refuses
  // the connection (no thread is started then).
  TEventThread(platform::DeviceFile& device, platform::WindowHandle window);
  ~TEventThread();  // Stop
  TEventThread(const TEventThread&) = delete;
  TEventThread& operator=(const TEventThread&) = delete;

  // Ends the thread at its next wake-up without waiting for it; no news is forwarded afterwards.
  void Stop();
  // Tells the driver that the block has been read.
  void SignalDone();
  // The notification block the driver answered the connection with.
  std::span<std::byte> NotificationBlock() const;

  // The number of event threads of the process that have not ended yet (a thread counts from its
  // connection until it has closed its events).
  static size_t LiveCount();
  // Waits until every event thread of the process has ended and closed its events; false when the
  // time-out (ms, platform::kInfinite for none) passes first.
  static bool WaitUntilAllEnded(uint32_t timeoutMs);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::byte* block_ = nullptr;
};

}  // namespace veltra
