#include "sim/Notifier.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#include "hw/HWInterfaces.h"

namespace veltra::sim {

namespace {

struct alignas(8) BlockStorage {
  std::byte bytes[kNotificationBlockSize];
};

std::atomic_ref<uint32_t> BusyFlag(BlockStorage& block) {
  return std::atomic_ref<uint32_t>(
      *reinterpret_cast<uint32_t*>(block.bytes + offsetof(NotificationBlockHeader, busy)));
}

// The completed-measurement bits of the news: HW_MREADY in the current-settings masks, with the
// HW_START that marks the first record of a streaming run. The two go out together: the library
// restarts its count only when both are in one record.
ChangeMasks MeasurementPart(const ChangeMasks& changes) {
  ChangeMasks part(changes.ChannelCount());
  for (int32_t index = -1; index < static_cast<int32_t>(changes.ChannelCount()); ++index) {
    const uint64_t mask = changes.Get(Family::kCurrent, index);
    if ((mask & HW_MREADY) != 0) part.Add(Family::kCurrent, index, mask & (HW_MREADY | HW_START));
  }
  return part;
}

bool CarriesMeasurement(const ChangeMasks& changes) {
  return (changes.Get(Family::kCurrent, -1) & HW_MREADY) != 0;
}

// How long Disconnect waits for the delivery thread before it goes on without it: a thread that
// the process has already ended (at its exit) never answers.
constexpr auto kDeliveryGrace = std::chrono::seconds(2);
// How long a set waits for the done event of a block already read. The library's event thread sets
// it a moment after the window procedure returns; only a client that never sets it meets the limit.
constexpr auto kDoneGrace = std::chrono::seconds(10);

}  // namespace

struct Notifier::Connection {
  uint64_t client = 0;
  platform::EventHandle news = 0;
  platform::EventHandle done = 0;
  std::unique_ptr<BlockStorage> block = std::make_unique<BlockStorage>();
  ChangeMasks pending;           // news not yet written
  ChangeMasks written;           // the news in the block now
  bool outstanding = false;      // the block holds news the library has not finished with
  bool broken = false;           // its events are gone: nothing more is delivered
  MeasurementNumbers announced;  // the numbers of the last block with a completed measurement
  uint32_t consumed = 0;         // the newest measurement the library has read about
  double lastFrame = -1e300;     // when a completed measurement was last written

  explicit Connection(uint32_t channelCount) : pending(channelCount), written(channelCount) {}
};

Notifier::Notifier(uint32_t channelCount, uint32_t connectionLimit)
    : channelCount_(channelCount), connectionLimit_(connectionLimit) {}

Notifier::~Notifier() { Stop(); }

void Notifier::Start() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this] { Run(); });
}

void Notifier::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) return;
    stopping_ = true;
  }
  wake_.Set();
  thread_.join();
}

Notifier::Connection* Notifier::Find(uint64_t client) {
  for (auto& connection : connections_) {
    if (connection->client == client) return connection.get();
  }
  return nullptr;
}

std::optional<uintptr_t> Notifier::Connect(uint64_t client, platform::EventHandle news,
                                           platform::EventHandle done) {
  std::lock_guard lock(mutex_);
  if (connections_.size() >= connectionLimit_ || Find(client) != nullptr) return std::nullopt;
  auto connection = std::make_unique<Connection>(channelCount_);
  connection->client = client;
  connection->news = news;
  connection->done = done;
  // The done event starts set; that signal announces nothing we wrote.
  const platform::EventHandle handles[] = {done};
  if (platform::WaitAny(handles, 0) == platform::kWaitFailed) return std::nullopt;
  connection->announced = numbers_;
  connection->consumed = numbers_.newest;
  const auto address = reinterpret_cast<uintptr_t>(connection->block->bytes);
  connections_.push_back(std::move(connection));
  return address;
}

void Notifier::Disconnect(uint64_t client) {
  std::unique_lock lock(mutex_);
  const auto found = std::find_if(connections_.begin(), connections_.end(),
                                  [client](const auto& c) { return c->client == client; });
  if (found == connections_.end()) return;
  connections_.erase(found);
  if (!thread_.joinable() || stopping_) return;
  // Wait until the delivery thread has left a wait that may still hold the client's done event.
  // Bounded: a thread the process has already ended never answers.
  const uint64_t target = passes_ + 1;
  wake_.Set();
  listChanged_.wait_for(lock, kDeliveryGrace, [&] { return passes_ >= target; });
}

size_t Notifier::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

void Notifier::Publish(const ChangeMasks& changes) {
  if (changes.Empty()) return;
  {
    std::lock_guard lock(mutex_);
    for (auto& connection : connections_) connection->pending.Merge(changes);
  }
  wake_.Set();
}

bool Notifier::PublishAnswer(uint64_t client, const ChangeMasks& changes) {
  std::unique_lock lock(mutex_);
  Connection* own = Find(client);
  for (auto& connection : connections_) {
    if (connection.get() != own) connection->pending.Merge(changes);
  }
  if (own == nullptr || own->broken) {
    lock.unlock();
    wake_.Set();
    return false;
  }
  ChangeMasks news = own->pending;
  news.Merge(changes);
  ChangeMasks held(channelCount_);
  if (CarriesMeasurement(news) && platform::HighResSeconds() < own->lastFrame + frameInterval_) {
    held = MeasurementPart(news);
    news.Remove(held);
  }
  own->pending = held;
  if (news.Empty()) return false;
  if (own->outstanding && !BlockRead(*own)) {
    // The library has not started on the block yet (it is busy sending this set): add to it.
    ChangeMasks merged = own->written;
    merged.Merge(news);
    news = merged;
  }
  WriteBlock(*own, news);
  lock.unlock();
  wake_.Set();  // the delivery thread watches for the done event of this block from now on
  return true;
}

void Notifier::AwaitDone(uint64_t client) {
  std::unique_lock lock(mutex_);
  listChanged_.wait_for(lock, kDoneGrace, [&] {
    const Connection* c = Find(client);
    return c == nullptr || c->broken || !c->outstanding || !BlockRead(*c) || stopping_ ||
           !thread_.joinable();
  });
}

void Notifier::DiscardMeasurements(uint64_t answering) {
  std::lock_guard lock(mutex_);
  for (auto& connection : connections_) {
    connection->pending.Remove(MeasurementPart(connection->pending));
    if (connection->client == answering && connection->outstanding && !BlockRead(*connection)) {
      connection->written.Remove(MeasurementPart(connection->written));
    }
  }
}

void Notifier::SetNumbers(const MeasurementNumbers& numbers) {
  std::lock_guard lock(mutex_);
  numbers_ = numbers;
}

void Notifier::SetFrameInterval(double seconds) {
  {
    std::lock_guard lock(mutex_);
    frameInterval_ = std::max(seconds, 0.0);
  }
  wake_.Set();
}

void Notifier::SetConsumedCallback(std::function<void()> callback) {
  std::lock_guard lock(mutex_);
  consumed_ = std::move(callback);
}

std::optional<uint32_t> Notifier::SlowestConsumed() const {
  std::lock_guard lock(mutex_);
  std::optional<uint32_t> slowest;
  for (const auto& connection : connections_) {
    if (connection->broken) continue;
    // Measurement numbers only grow; compare by distance so that a wrap does not matter.
    if (!slowest || static_cast<int32_t>(connection->consumed - *slowest) < 0) {
      slowest = connection->consumed;
    }
  }
  return slowest;
}

bool Notifier::BlockRead(const Connection& connection) const {
  return BusyFlag(*connection.block).load(std::memory_order_acquire) != 0;
}

void Notifier::DrainDone(Connection& connection) {
  const platform::EventHandle handles[] = {connection.done};
  platform::WaitAny(handles, 0);
}

void Notifier::WriteBlock(Connection& connection, const ChangeMasks& changes) {
  // A done event set by now ends a reading that is over, or is left over from a pass that found
  // nothing to read; the one that counts follows the reading of this block.
  DrainDone(connection);
  if (connection.outstanding && BlockRead(connection)) {
    connection.consumed = connection.announced.newest;
  }
  BlockStorage& block = *connection.block;
  std::atomic_ref<uint32_t> busy = BusyFlag(block);
  busy.store(1, std::memory_order_relaxed);  // a pass that looks now skips the block

  if (CarriesMeasurement(changes)) connection.announced = numbers_;
  const uint32_t recordSize =
      static_cast<uint32_t>(sizeof(NotificationRecordHeader) + sizeof(uint64_t) * channelCount_);
  size_t offset = sizeof(NotificationBlockHeader);
  uint32_t count = 0;
  for (size_t f = 0; f < kNotifiedFamilies; ++f) {
    const auto family = static_cast<Family>(f);
    if (!changes.Any(family) || offset + recordSize > sizeof block.bytes) continue;
    NotificationRecordHeader record{};
    record.size = recordSize;
    record.kind = static_cast<uint32_t>(KindOf(family));
    record.valid = 1;
    record.instrumentMask = changes.Get(family, -1);
    std::memcpy(block.bytes + offset, &record, sizeof record);
    for (uint32_t channel = 0; channel < channelCount_; ++channel) {
      const uint64_t mask = changes.Get(family, static_cast<int32_t>(channel));
      std::memcpy(block.bytes + offset + sizeof record + sizeof mask * channel, &mask, sizeof mask);
    }
    offset += recordSize;
    ++count;
  }
  NotificationBlockHeader header{};
  header.recordCount = count;
  header.newestMeasurement = connection.announced.newest;
  header.compareMeasurement = connection.announced.oldest;
  header.restartMeasurement = connection.announced.restart;
  header.busy = 1;
  std::memcpy(block.bytes, &header, sizeof header);

  connection.written = changes;
  connection.outstanding = true;
  if (CarriesMeasurement(changes)) connection.lastFrame = platform::HighResSeconds();
  busy.store(0, std::memory_order_release);
}

void Notifier::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    // Write the news of every connection whose block is free.
    const double now = platform::HighResSeconds();
    double deadline = std::numeric_limits<double>::infinity();
    for (auto& connection : connections_) {
      Connection& c = *connection;
      if (c.outstanding || c.broken || c.pending.Empty()) continue;
      ChangeMasks news = c.pending;
      ChangeMasks held(channelCount_);
      if (CarriesMeasurement(news) && now < c.lastFrame + frameInterval_) {
        held = MeasurementPart(news);
        news.Remove(held);
        deadline = std::min(deadline, c.lastFrame + frameInterval_);
      }
      c.pending = held;
      if (news.Empty()) continue;
      WriteBlock(c, news);
      if (!platform::SetEventHandle(c.news)) c.broken = true;
    }

    // Wait for a done event of a block in use, for new news, or for the next frame.
    std::vector<platform::EventHandle> handles{wake_.Handle()};
    std::vector<uint64_t> clients{0};
    for (auto& connection : connections_) {
      if (connection->outstanding && !connection->broken) {
        handles.push_back(connection->done);
        clients.push_back(connection->client);
      }
    }
    uint32_t timeout = platform::kInfinite;
    if (deadline != std::numeric_limits<double>::infinity()) {
      timeout = static_cast<uint32_t>(std::ceil(std::max(deadline - now, 0.0) * 1000.0));
    }
    lock.unlock();
    const int woke = platform::WaitAny(handles, timeout);
    lock.lock();
    ++passes_;

    std::vector<uint64_t> done;  // clients whose done event fired
    if (woke == platform::kWaitFailed) {
      // Some connection's done event is gone: find it by itself, keeping the signals of the others.
      for (auto& connection : connections_) {
        const platform::EventHandle own[] = {connection->done};
        const int state = platform::WaitAny(own, 0);
        if (state == platform::kWaitFailed) connection->broken = true;
        if (state == 0) done.push_back(connection->client);
      }
    } else if (woke > 0) {
      done.push_back(clients[static_cast<size_t>(woke)]);
    }
    bool read = false;
    for (const uint64_t client : done) {
      Connection* c = Find(client);
      // A done event with the busy flag still clear is left over from an earlier pass (one that
      // found the block already read): the news written since is still unread.
      if (c != nullptr && c->outstanding && BlockRead(*c)) {
        c->outstanding = false;
        c->consumed = c->announced.newest;
        read = true;
      }
    }
    listChanged_.notify_all();  // Disconnect and AwaitDone wait for this
    if (read && consumed_) {
      const std::function<void()> callback = consumed_;
      lock.unlock();
      callback();
      lock.lock();
    }
  }
}

}  // namespace veltra::sim
