#include "ProtocolClient.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "hw/HWInterfaces.h"

namespace veltra::sim::test {

uint64_t News::Mask(NotificationKind kind, int32_t index) const {
  uint64_t mask = 0;
  for (const NewsRecord& record : records) {
    const auto slot = static_cast<size_t>(index + 1);
    if (record.kind == static_cast<uint32_t>(kind) && slot < record.masks.size()) {
      mask |= record.masks[slot];
    }
  }
  return mask;
}

ProtocolClient::ProtocolClient(const std::string& path) {
  file_ = platform::DeviceFile::Open(path);
  if (const auto info = Info()) channelCount_ = info->channelCount;
}

std::optional<DeviceInfoRecord> ProtocolClient::Info() {
  DeviceInfoRecord info = DefaultDeviceInfo();
  if (!file_.IoControl(IOCTL_GET_INFO, &info, sizeof info, &info, sizeof info)) return std::nullopt;
  return info;
}

std::optional<VersionRecord> ProtocolClient::Versions() {
  VersionRecord versions{};
  if (!file_.IoControl(IOCTL_GET_VERSIONS, nullptr, 0, &versions, sizeof versions)) {
    return std::nullopt;
  }
  return versions;
}

std::optional<uint32_t> ProtocolClient::Supported(uint32_t selector) {
  uint32_t mask = 0;
  if (!file_.IoControl(IOCTL_GET_SUPPORTED, &selector, sizeof selector, &mask, sizeof mask)) {
    return std::nullopt;
  }
  return mask;
}

std::optional<int64_t> ProtocolClient::Get(uint32_t code, uint32_t id, int32_t index,
                                           int64_t parameter) {
  const GetRecord record{id, parameter, index};
  int64_t value = 0;
  if (!file_.IoControl(code, &record, sizeof record, &value, sizeof value)) return std::nullopt;
  return value;
}

std::optional<uint32_t> ProtocolClient::Set(uint32_t code, uint32_t id, int32_t index,
                                            int64_t value, bool wait) {
  const SetRecord record{id, value, index, wait ? kWaitForNews : 0};
  uint32_t pending = 0;
  lastAnswer_ = News{};
  if (!file_.IoControl(code, &record, sizeof record, &pending, sizeof pending)) return std::nullopt;
  if (wait && pending != 0 && block_ != nullptr) {
    lastAnswer_ = ReadBlock();
    done_->Set();
  }
  return pending;
}

bool ProtocolClient::Connect() {
  news_ = std::make_unique<platform::Event>(false, false);
  done_ = std::make_unique<platform::Event>(false, true);
  const ConnectRecord record{news_->Handle(), done_->Handle()};
  NotificationBlockAddress address = 0;
  if (!file_.IoControl(IOCTL_CONNECT, &record, sizeof record, &address, sizeof address)) {
    return false;
  }
  block_ = reinterpret_cast<std::byte*>(address);
  return true;
}

News ProtocolClient::ReadBlock() {
  News news;
  auto* busy = reinterpret_cast<uint32_t*>(block_ + offsetof(NotificationBlockHeader, busy));
  std::atomic_ref<uint32_t> busyFlag(*busy);
  if (busyFlag.load(std::memory_order_acquire) != 0) return news;
  NotificationBlockHeader header{};
  std::memcpy(&header, block_, sizeof header);
  if (header.recordCount == 0) return news;
  busyFlag.store(1, std::memory_order_relaxed);
  news.newest = header.newestMeasurement;
  news.compare = header.compareMeasurement;
  news.restart = header.restartMeasurement;
  NotificationBlock block({block_, kNotificationBlockSize});
  NotificationBlock::Cursor cursor = block.Records();
  while (std::optional<NotificationRecord> record = cursor.Next()) {
    if (!record->Valid()) continue;
    NewsRecord read;
    read.kind = record->Kind();
    for (int32_t index = -1; index < static_cast<int32_t>(channelCount_); ++index) {
      read.masks.push_back(record->Mask(index));
    }
    news.records.push_back(std::move(read));
  }
  return news;
}

std::optional<News> ProtocolClient::WaitNews(uint32_t timeoutMs, const Processing& process,
                                             bool signalDone) {
  if (!news_) return std::nullopt;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    platform::Event* events[] = {news_.get()};
    if (platform::WaitAny(events, static_cast<uint32_t>(std::max<int64_t>(left.count(), 0))) != 0) {
      return std::nullopt;
    }
    News news = ReadBlock();
    // A news event whose block was already read (the news went with a pending answer) is done
    // with at once, as the library does.
    if (news.records.empty()) {
      done_->Set();
      continue;
    }
    if (process) process(news);
    if (signalDone) done_->Set();
    return news;
  }
}

std::optional<News> ProtocolClient::WaitMeasurement(uint32_t timeoutMs, const Processing& process,
                                                     bool signalDone) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    std::optional<News> news = WaitNews(static_cast<uint32_t>(left.count()), process, false);
    if (!news) return std::nullopt;
    const bool measurement = (news->Mask(NotificationKind::kCurrent) & HW_MREADY) != 0;
    if (signalDone || !measurement) done_->Set();
    if (measurement) return news;
  }
}

std::optional<uintptr_t> ProtocolClient::Acquire(uint32_t measurement, uint32_t channel) {
  const DataBufferRecord record{kDataBufferAcquire, measurement, channel};
  uint64_t address = 0;
  if (!file_.IoControl(IOCTL_DATA_BUFFER, &record, sizeof record, &address, sizeof address)) {
    return std::nullopt;
  }
  return static_cast<uintptr_t>(address);
}

bool ProtocolClient::Release(uintptr_t address, uint32_t channel) {
  const DataBufferRecord record{kDataBufferRelease, address, channel};
  return file_.IoControl(IOCTL_DATA_BUFFER, &record, sizeof record, nullptr, 0);
}

}  // namespace veltra::sim::test
