#include "driver/DevIoCtl.h"

#include <atomic>
#include <cstring>

#include "hw/HWInterfaces.h"

namespace veltra {

namespace {

// The notification block lives in memory the driver writes from its own thread, so every field is
// read and written as an atomic 32-bit word. 64-bit masks are two words, low word first: records
// start 4 bytes past an 8-byte boundary, too loosely aligned for one 64-bit atomic. A word a
// driver places off its 4-byte alignment is copied instead.
bool WordAligned(const std::byte* p) {
  return reinterpret_cast<uintptr_t>(p) % alignof(uint32_t) == 0;
}

uint32_t LoadWord(const std::byte* p, std::memory_order order) {
  uint32_t value = 0;
  if (WordAligned(p)) {
    value = std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(const_cast<std::byte*>(p)))
                .load(order);
  } else {
    std::memcpy(&value, p, sizeof value);
  }
  return value;
}

void StoreWord(std::byte* p, uint32_t value, std::memory_order order) {
  if (WordAligned(p)) {
    std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(p)).store(value, order);
  } else {
    std::memcpy(p, &value, sizeof value);
  }
}

bool Fits(std::span<const std::byte> bytes, size_t offset, size_t size) {
  return offset <= bytes.size() && bytes.size() - offset >= size;
}

template <class T>
T Load(std::span<const std::byte> bytes, size_t offset,
       std::memory_order order = std::memory_order_relaxed) {
  static_assert(sizeof(T) == 4 || sizeof(T) == 8);
  if (!Fits(bytes, offset, sizeof(T))) return T{};
  const std::byte* p = bytes.data() + offset;
  uint64_t value = LoadWord(p, order);
  if constexpr (sizeof(T) == 8) value |= uint64_t{LoadWord(p + 4, order)} << 32;
  return static_cast<T>(value);
}

template <class T>
void Store(std::span<std::byte> bytes, size_t offset, T value,
           std::memory_order order = std::memory_order_relaxed) {
  static_assert(sizeof(T) == 4 || sizeof(T) == 8);
  if (!Fits(bytes, offset, sizeof(T))) return;
  std::byte* p = bytes.data() + offset;
  const auto bits = static_cast<uint64_t>(value);
  StoreWord(p, static_cast<uint32_t>(bits), order);
  if constexpr (sizeof(T) == 8) StoreWord(p + 4, static_cast<uint32_t>(bits >> 32), order);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Notification block

uint32_t NotificationRecord::Field(size_t offset) const { return Load<uint32_t>(bytes_, offset); }

// In 64 bits also in the 32-bit build, where 8 * (channel + 1) would wrap around for channels
// from 0x1FFFFFFF on and land on the record's own header.
uint64_t NotificationRecord::MaskOffset(int32_t channel) const {
  return offsetof(NotificationRecordHeader, instrumentMask) +
         sizeof(uint64_t) * static_cast<uint64_t>(int64_t{channel} + 1);
}

bool NotificationRecord::HasMask(int32_t channel) const {
  return channel >= -1 && MaskOffset(channel) + sizeof(uint64_t) <= bytes_.size();
}

uint64_t NotificationRecord::Mask(int32_t channel) const {
  return HasMask(channel) ? Load<uint64_t>(bytes_, static_cast<size_t>(MaskOffset(channel))) : 0;
}

void NotificationRecord::SetMask(int32_t channel, uint64_t mask) {
  if (HasMask(channel)) Store(bytes_, static_cast<size_t>(MaskOffset(channel)), mask);
}

uint32_t NotificationBlock::Field(size_t offset) const {
  return block_.size() >= sizeof(NotificationBlockHeader) ? Load<uint32_t>(block_, offset) : 0;
}

// The driver fills the block and clears the busy flag last, so a clear flag read with acquire
// order makes the whole block visible. The library's mark is released in turn; the done event that
// follows the reading hands the block back.
uint32_t NotificationBlock::Busy() const {
  if (block_.size() < sizeof(NotificationBlockHeader)) return 0;
  return Load<uint32_t>(block_, offsetof(NotificationBlockHeader, busy), std::memory_order_acquire);
}

void NotificationBlock::SetBusy(uint32_t busy) {
  if (block_.size() >= sizeof(NotificationBlockHeader)) {
    Store(block_, offsetof(NotificationBlockHeader, busy), busy, std::memory_order_release);
  }
}

std::optional<NotificationRecord> NotificationBlock::Cursor::Next() {
  constexpr size_t kRecordHeader = offsetof(NotificationRecordHeader, instrumentMask);
  if (remaining_ == 0 || offset_ > block_.size() || block_.size() - offset_ < kRecordHeader) {
    return std::nullopt;
  }
  const auto size = Load<uint32_t>(block_, offset_);
  if (size < kRecordHeader || size > block_.size() - offset_) {
    remaining_ = 0;
    return std::nullopt;
  }
  NotificationRecord record(block_.subspan(offset_, size));
  offset_ += size;
  --remaining_;
  return record;
}

// ---------------------------------------------------------------------------------------------
// Values and calls

namespace {

bool TranslatesTwo(SettingsSet set, uint32_t id) {
  return (set == SettingsSet::kCurrent || set == SettingsSet::kNext) &&
         (id == HW_MODE || id == HW_CLOCKSOURCE);
}

}  // namespace

int64_t ValueToDriver(SettingsSet set, uint32_t id, int64_t value) {
  return TranslatesTwo(set, id) && value == 2 ? 0 : value;
}

int64_t ValueFromDriver(SettingsSet set, uint32_t id, int64_t value) {
  return TranslatesTwo(set, id) && value == 0 ? 2 : value;
}

HResult IoCtl(platform::DeviceFile& file, uint32_t code, const void* in, uint32_t inSize, void* out,
              uint32_t outSize) {
  if (!file.IsValid()) return E_ACCESSDENIED;
  return file.IoControl(code, in, inSize, out, outSize) ? S_OK : E_INVALIDARG;
}

uint32_t GetSupportedMask(platform::DeviceFile& file, uint32_t selector) {
  uint32_t mask = 0;
  return IoCtl(file, IOCTL_GET_SUPPORTED, &selector, sizeof selector, &mask, sizeof mask) == S_OK
             ? mask
             : 0;
}

const std::byte* AcquireDataBuffer(platform::DeviceFile& file, uint32_t measurement,
                                   uint32_t dataId) {
  const DataBufferRecord record{kDataBufferAcquire, measurement, dataId};
  uint64_t address = 0;
  if (IoCtl(file, IOCTL_DATA_BUFFER, &record, sizeof record, &address, sizeof address) != S_OK) {
    return nullptr;
  }
  // The answer holds a pointer-sized address: its low 32 bits in the 32-bit build.
  return reinterpret_cast<const std::byte*>(static_cast<uintptr_t>(address));
}

HResult ReleaseDataBuffer(platform::DeviceFile& file, const std::byte* buffer, uint32_t dataId) {
  const DataBufferRecord record{kDataBufferRelease, reinterpret_cast<uintptr_t>(buffer), dataId};
  return IoCtl(file, IOCTL_DATA_BUFFER, &record, sizeof record, nullptr, 0);
}

}  // namespace veltra
