#pragma once
// The simulated probe's side of the notification handshake: the connections made with
// IOCTL_CONNECT, each with its notification block and its news and done events.
//
// News (changed identifiers, completed measurements) is kept per connection until its block is
// free, that is until the library has read the previous news: it has set the block's busy flag and
// then its done event. Then the news is written into the block (busy flag cleared last) and the
// news event set. A set sent with the wait flag gets its news into its own connection's block at
// once, and the answer's pending flag tells the library to read it before the call returns.
// Completed measurements (HW_MREADY) go out at most once per frame interval.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "driver/DevIoCtl.h"
#include "platform/Platform.h"
#include "sim/DeviceSettings.h"

namespace veltra::sim {

// Measurement numbers a notification block carries in its header.
struct MeasurementNumbers {
  uint32_t newest = 0;   // the newest completed measurement
  uint32_t oldest = 0;   // the oldest measurement from which on every one up to newest is kept
  uint32_t restart = 0;  // the first measurement of the running acquisition
};

// Connections a probe accepts unless configured otherwise.
inline constexpr uint32_t kDefaultConnectionLimit = 4;

class Notifier {
 public:
  // At most `connectionLimit` connections at a time (0 refuses every one).
  Notifier(uint32_t channelCount, uint32_t connectionLimit);
  ~Notifier();
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  // The delivery thread runs between Start and Stop (which joins it).
  void Start();
  void Stop();

  // A connection for a client; the address of its block, nothing at the connection limit, when
  // the client has one already or its done event is not an event.
  std::optional<uintptr_t> Connect(uint64_t client, platform::EventHandle news,
                                   platform::EventHandle done);
  // Drops the client's connection. When this returns, the delivery thread no longer uses its
  // events, so the client may close them.
  void Disconnect(uint64_t client);
  size_t ConnectionCount() const;

  // News for every connection, delivered through the news events.
  void Publish(const ChangeMasks& changes);
  // News caused by a set the client sent with the wait flag: its own block receives them (with
  // whatever it had not yet been told) at once, every other connection as by Publish. True when
  // the client's block holds news now (the pending flag of the answer).
  bool PublishAnswer(uint64_t client, const ChangeMasks& changes);
  // Called before a set with the wait flag is carried out: when the client has read its block but
  // the delivery thread has not yet seen the done event that follows the reading (the library's
  // event thread sets it a moment after the window procedure returns), waits a while for it. The
  // block the answer writes would otherwise count as read on that late done event, and the next
  // news could overwrite it while the library reads it.
  void AwaitDone(uint64_t client);
  // A new acquisition starts: completed measurements not yet announced are dropped, since the
  // library would take them for the new one and read them with settings they were not taken with.
  // So are those in the block of `answering` (0 for none) while it is unread: the answer to that
  // client's set rewrites the block.
  void DiscardMeasurements(uint64_t answering);

  void SetNumbers(const MeasurementNumbers& numbers);
  // 0 delivers measurements as soon as the block is free.
  void SetFrameInterval(double seconds);
  // Called (without any lock held) whenever a connection has read a block.
  void SetConsumedCallback(std::function<void()> callback);
  // The newest measurement every connection has read about; nothing without connections.
  std::optional<uint32_t> SlowestConsumed() const;

 private:
  struct Connection;

  void Run();
  void WriteBlock(Connection& connection, const ChangeMasks& changes);
  bool BlockRead(const Connection& connection) const;
  void DrainDone(Connection& connection);
  Connection* Find(uint64_t client);

  const uint32_t channelCount_;
  const uint32_t connectionLimit_;
  mutable std::mutex mutex_;
  std::condition_variable listChanged_;
  std::vector<std::unique_ptr<Connection>> connections_;
  MeasurementNumbers numbers_;
  double frameInterval_ = 0.0;
  std::function<void()> consumed_;
  platform::Event wake_{false, false};
  std::thread thread_;
  bool stopping_ = false;
  uint64_t passes_ = 0;  // delivery loop rounds, for Disconnect's handshake
};

}  // namespace veltra::sim
