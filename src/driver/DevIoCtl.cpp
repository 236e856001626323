#include "driver/DevIoCtl.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>

#include "hw/HWInterfaces.h"
#include "util/TextCodec.h"

namespace veltra {

namespace {

constexpr Guid kDefaultInfoId = Guid::Parse("{97A833CD-9A43-451B-8AEF-A15DE5606AF0}");
constexpr size_t kDevicePathChars = sizeof(DeviceInfoRecord::devicePath) / sizeof(char16_t);

// The notification block lives in memory the driver writes from its own thread, so every field is
// read and written as an atomic 32-bit word. 64-bit masks are two words, low word first: records
// start 4 bytes past an 8-byte boundary, too loosely aligned for one 64-bit atomic. A word a
// driver places off its 4-byte alignment is copied instead.
bool WordAligned(const std::byte* p) { return reinterpret_cast<uintptr_t>(p) % alignof(uint32_t) == 0; }

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

std::string ReadText(const char* field, size_t size) {
  return AnsiToUtf8(std::string_view(field, strnlen(field, size)));
}

void WriteText(char* field, size_t size, const std::string& text) {
  const std::string bytes = Utf8ToAnsi(text);
  std::memset(field, 0, size);
  std::memcpy(field, bytes.data(), std::min(size, bytes.size()));
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

// The driver fills the block and clears the busy flag last, so a clear flag read with acquire order
// makes the whole block visible. The library's mark is released in turn; the done event that follows
// the reading hands the block back.
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
// Information record

DeviceInfoRecord DefaultDeviceInfo() {
  DeviceInfoRecord info{};
  info.size = sizeof(DeviceInfoRecord);
  info.word2 = 1;
  info.id = kDefaultInfoId;
  SetInfoName(info, "nothing");
  SetInfoShortName(info, "nothing");
  return info;
}

std::string InfoName(const DeviceInfoRecord& info) { return ReadText(info.name, sizeof info.name); }

std::string InfoShortName(const DeviceInfoRecord& info) {
  return ReadText(info.shortName, sizeof info.shortName);
}

void SetInfoName(DeviceInfoRecord& info, const std::string& name) {
  WriteText(info.name, sizeof info.name, name);
}

void SetInfoShortName(DeviceInfoRecord& info, const std::string& shortName) {
  WriteText(info.shortName, sizeof info.shortName, shortName);
}

std::string InfoDevicePath(const DeviceInfoRecord& info) {
  std::u16string path(kDevicePathChars, u'\0');
  std::memcpy(path.data(), info.devicePath, sizeof info.devicePath);
  if (const size_t end = path.find(u'\0'); end != std::u16string::npos) path.resize(end);
  return Utf16ToUtf8(path);
}

void SetInfoDevicePath(DeviceInfoRecord& info, const std::string& path) {
  std::u16string wide = Utf8ToUtf16(path);
  wide.resize(kDevicePathChars, u'\0');
  std::memcpy(info.devicePath, wide.data(), sizeof info.devicePath);
}

PackedStamp InfoCalibrationStamp(const DeviceInfoRecord& info) {
  return {info.calibration[0], info.calibration[1], info.calibration[2], info.calibration[3],
          info.calibration[4]};
}

void SetInfoCalibrationStamp(DeviceInfoRecord& info, const PackedStamp& stamp) {
  info.calibration[0] = stamp.year;
  info.calibration[1] = stamp.month;
  info.calibration[2] = stamp.day;
  info.calibration[3] = stamp.hour;
  info.calibration[4] = stamp.minute;
}

double InfoCalibrationDate(const DeviceInfoRecord& info) {
  static const double kFallback = *PackedStampToDateTime({1980, 1, 1, 0, 0});
  return PackedStampToDateTime(InfoCalibrationStamp(info)).value_or(kFallback);
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
