#pragma once
// The driver's wire format: control codes, the fixed records exchanged through the device file's
// control call, and the notification block the driver shares with the library.
//
// All integers are little-endian and every record is packed; the sizes and offsets below are
// checked at compile time. Identifiers travel as their 32-bit single-bit code zero-extended to
// 64 bits, values as signed 64-bit integers. Addresses the driver hands out (the notification
// block, sample buffers) are pointer-sized: 4 bytes in the 32-bit build, 8 bytes in a 64-bit build.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "framework/ResultCodes.h"
#include "hw/InstrumentInfo.h"
#include "platform/Guid.h"
#include "platform/Platform.h"
#include "util/Routines.h"

namespace veltra {

static_assert(std::endian::native == std::endian::little, "the driver records are little-endian");

// ---------------------------------------------------------------------------------------------
// Control codes: device type 0x22 (unknown device), any access, buffered transfer.

constexpr uint32_t DriverControlCode(uint32_t function) {
  constexpr uint32_t kDeviceType = 0x22;
  constexpr uint32_t kAnyAccess = 0;
  constexpr uint32_t kBuffered = 0;
  return (kDeviceType << 16) | (kAnyAccess << 14) | (function << 2) | kBuffered;
}

inline constexpr uint32_t IOCTL_GET_VERSIONS = DriverControlCode(0x900);
inline constexpr uint32_t IOCTL_GET_INFO = DriverControlCode(0x901);
inline constexpr uint32_t IOCTL_CONNECT = DriverControlCode(0x902);
inline constexpr uint32_t IOCTL_SET_CONTROL = DriverControlCode(0x903);
inline constexpr uint32_t IOCTL_GET_CONTROL = DriverControlCode(0x904);
inline constexpr uint32_t IOCTL_DATA_BUFFER = DriverControlCode(0x905);
inline constexpr uint32_t IOCTL_GET_SUPPORTED = DriverControlCode(0x906);
inline constexpr uint32_t IOCTL_SET_CURRENT = DriverControlCode(0x90A);
inline constexpr uint32_t IOCTL_GET_CURRENT = DriverControlCode(0x90B);
inline constexpr uint32_t IOCTL_SET_NEXT = DriverControlCode(0x90C);
inline constexpr uint32_t IOCTL_GET_NEXT = DriverControlCode(0x90D);
inline constexpr uint32_t IOCTL_SET_TRIGGER_CURRENT = DriverControlCode(0x914);
inline constexpr uint32_t IOCTL_GET_TRIGGER_CURRENT = DriverControlCode(0x915);
inline constexpr uint32_t IOCTL_SET_TRIGGER_NEXT = DriverControlCode(0x916);
inline constexpr uint32_t IOCTL_GET_TRIGGER_NEXT = DriverControlCode(0x917);
inline constexpr uint32_t IOCTL_SET_CONNECTION_TEST = DriverControlCode(0x919);
inline constexpr uint32_t IOCTL_GET_CONNECTION_TEST = DriverControlCode(0x91A);

// The device-interface class under which the instruments' drivers publish their devices.
inline constexpr Guid kDriverInterfaceClass = Guid::Parse("{4B29CE9D-7C1E-4C5F-B196-67C75B256C47}");

// ---------------------------------------------------------------------------------------------
// Records

#pragma pack(push, 1)

// Output of IOCTL_GET_VERSIONS; all zeros when the call fails.
struct VersionRecord {
  uint64_t reserved;
  uint64_t driverVersion;    // four 16-bit parts, the most significant in the highest word
  uint64_t firmwareVersion;  // passed on unchanged
};
static_assert(sizeof(VersionRecord) == 24);
static_assert(offsetof(VersionRecord, driverVersion) == 8);
static_assert(offsetof(VersionRecord, firmwareVersion) == 16);

// Input of IOCTL_CONNECT: the driver sets the news event when the notification block holds news;
// the library sets the done event when it has finished reading the block.
struct ConnectRecord {
  platform::EventHandle newsEvent;
  platform::EventHandle doneEvent;
};
static_assert(sizeof(ConnectRecord) == 8);
static_assert(offsetof(ConnectRecord, doneEvent) == 4);

// Output of IOCTL_CONNECT: the address of the notification block in the calling process.
using NotificationBlockAddress = uintptr_t;
inline constexpr uint32_t kConnectAnswerSize = sizeof(NotificationBlockAddress);

// The index of a set or get record for the instrument as a whole; channels use their 0-based index.
inline constexpr int32_t kInstrumentIndex = -1;

// The wait flag of a set record: the library is not processing the notification block and will
// process news the driver announces through the pending flag of the answer.
inline constexpr uint32_t kWaitForNews = 0xFFFFFFFF;

// Input of every set code; the answer is a 32-bit pending flag.
struct SetRecord {
  uint64_t id;
  int64_t value;
  int32_t index;
  uint32_t wait;
};
static_assert(sizeof(SetRecord) == 24);
static_assert(offsetof(SetRecord, value) == 8);
static_assert(offsetof(SetRecord, index) == 16);
static_assert(offsetof(SetRecord, wait) == 20);

// Input of every get code: `value` is an input of the read (the list index of list-valued
// identifiers); the answer is the signed 64-bit value.
struct GetRecord {
  uint64_t id;
  int64_t value;
  int32_t index;
};
static_assert(sizeof(GetRecord) == 20);
static_assert(offsetof(GetRecord, value) == 8);
static_assert(offsetof(GetRecord, index) == 16);

inline constexpr uint64_t kDataBufferAcquire = 1;
inline constexpr uint64_t kDataBufferRelease = 2;

// Input of IOCTL_DATA_BUFFER. Acquire: argument = measurement number; the 8-byte answer holds the
// sample buffer's address (its low 32 bits in the 32-bit build). Release: argument = that address;
// no answer.
struct DataBufferRecord {
  uint64_t subcommand;
  uint64_t argument;
  uint32_t dataId;
};
static_assert(sizeof(DataBufferRecord) == 20);
static_assert(offsetof(DataBufferRecord, argument) == 8);
static_assert(offsetof(DataBufferRecord, dataId) == 16);

// The 28-byte header of the notification block; the records follow it.
struct NotificationBlockHeader {
  uint64_t reserved;
  uint32_t busy;                // set to 1 by the library when it starts reading
  uint32_t recordCount;
  uint32_t newestMeasurement;   // the newest completed measurement
  uint32_t compareMeasurement;  // compared with the library's last processed measurement
  uint32_t restartMeasurement;  // the library restarts its count from here
};
static_assert(sizeof(NotificationBlockHeader) == 28);
static_assert(offsetof(NotificationBlockHeader, busy) == 8);
static_assert(offsetof(NotificationBlockHeader, recordCount) == 12);
static_assert(offsetof(NotificationBlockHeader, newestMeasurement) == 16);
static_assert(offsetof(NotificationBlockHeader, compareMeasurement) == 20);
static_assert(offsetof(NotificationBlockHeader, restartMeasurement) == 24);

// The fixed part of a notification record; the channels' masks follow it, 8 bytes each. The next
// record starts `size` bytes after the start of this one.
struct NotificationRecordHeader {
  uint32_t size;
  uint32_t kind;   // NotificationKind; other kinds are skipped
  uint32_t reserved;
  uint32_t valid;  // the record is skipped while 0
  uint64_t instrumentMask;
};
static_assert(sizeof(NotificationRecordHeader) == 24);
static_assert(offsetof(NotificationRecordHeader, kind) == 4);
static_assert(offsetof(NotificationRecordHeader, valid) == 12);
static_assert(offsetof(NotificationRecordHeader, instrumentMask) == 16);

#pragma pack(pop)

enum class NotificationKind : uint32_t {
  kCurrent = 2,          // current instrument settings and measurements
  kNext = 3,             // next instrument settings
  kTriggerCurrent = 4,   // current trigger settings
  kTriggerNext = 5,      // next trigger settings
  kConnectionTest = 14,  // connection-test settings
};

// Bytes of the notification block the library reads at most; a driver's block is at least this
// large.
inline constexpr size_t kNotificationBlockSize = 4096;

// ---------------------------------------------------------------------------------------------
// Supported-identifiers selector (input of IOCTL_GET_SUPPORTED).

// The settings set a selector asks about.
enum class SettingsSet : uint32_t {
  kCurrent = 0,
  kNext = 0x10,
  kTriggerCurrent = 0x100,
  kTriggerNext = 0x110,
  kControl = 0x200,
  kConnectionTest = 0x400,
};

// The info index asked for: 0 the mask of readable identifiers, 1 the mask of writable ones.
inline constexpr uint32_t kSupportsGet = 0;
inline constexpr uint32_t kSupportsSet = 1;

// The selector for `infoIndex` of a settings set, of the instrument (channel -1) or of the channel
// with that 0-based index (carried as index + 1 in bits 16 to 23).
constexpr uint32_t SupportedSelector(uint32_t infoIndex, SettingsSet set,
                                     int32_t channel = kInstrumentIndex) {
  const uint32_t channelBits = channel < 0 ? 0 : (static_cast<uint32_t>(channel + 1) & 0xFF) << 16;
  return infoIndex | static_cast<uint32_t>(set) | channelBits;
}

// The parts of a selector, for the driver's side.
constexpr uint32_t SelectorInfoIndex(uint32_t selector) { return selector & 0xF; }
constexpr uint32_t SelectorSetBits(uint32_t selector) { return selector & 0xFFF0; }
// The 0-based channel index, or -1 for the instrument.
constexpr int32_t SelectorChannel(uint32_t selector) {
  return static_cast<int32_t>((selector >> 16) & 0xFF) - 1;
}

// ---------------------------------------------------------------------------------------------
// The notification block, read in place. Every access stays inside the block it is given.

class NotificationRecord {
 public:
  uint32_t Size() const { return Field(offsetof(NotificationRecordHeader, size)); }
  uint32_t Kind() const { return Field(offsetof(NotificationRecordHeader, kind)); }
  bool Valid() const { return Field(offsetof(NotificationRecordHeader, valid)) != 0; }

  // The changed-identifier mask of the instrument (channel -1) or of a channel; a record too short
  // to hold it has none: Mask answers 0 and SetMask writes nothing.
  bool HasMask(int32_t channel) const;
  uint64_t Mask(int32_t channel) const;
  void SetMask(int32_t channel, uint64_t mask);

 private:
  friend class NotificationBlock;
  explicit NotificationRecord(std::span<std::byte> bytes) : bytes_(bytes) {}
  uint32_t Field(size_t offset) const;
  uint64_t MaskOffset(int32_t channel) const;

  std::span<std::byte> bytes_;  // exactly the record's `size` bytes
};

class NotificationBlock {
 public:
  explicit NotificationBlock(std::span<std::byte> block) : block_(block) {}

  // Header fields; a block too short for its header reads as all zeros and ignores writes. The
  // block is shared with the driver's thread: every field is read and written atomically, the busy
  // flag with acquire and release order (read it before the other fields).
  uint32_t Busy() const;
  void SetBusy(uint32_t busy);
  uint32_t RecordCount() const { return Field(offsetof(NotificationBlockHeader, recordCount)); }
  uint32_t NewestMeasurement() const {
    return Field(offsetof(NotificationBlockHeader, newestMeasurement));
  }
  uint32_t CompareMeasurement() const {
    return Field(offsetof(NotificationBlockHeader, compareMeasurement));
  }
  uint32_t RestartMeasurement() const {
    return Field(offsetof(NotificationBlockHeader, restartMeasurement));
  }

  // Walks the records one after the other by their size fields, at most RecordCount() of them.
  // The walk ends early at a record whose size is below its 16-byte header or that does not end
  // inside the block.
  class Cursor {
   public:
    std::optional<NotificationRecord> Next();

   private:
    friend class NotificationBlock;
    Cursor(std::span<std::byte> block, uint32_t count) : block_(block), remaining_(count) {}
    std::span<std::byte> block_;
    size_t offset_ = sizeof(NotificationBlockHeader);
    uint32_t remaining_;
  };
  Cursor Records() const { return Cursor(block_, RecordCount()); }

 private:
  uint32_t Field(size_t offset) const;

  std::span<std::byte> block_;
};

// ---------------------------------------------------------------------------------------------
// Values and calls

// In the instrument's current and next settings (and the channels' through them) the driver uses 0
// for HW_MODE and HW_CLOCKSOURCE where the library uses 2. Every other set, identifier and value
// passes unchanged: the trigger's TR_TIMEOUT and control identifier 0x20 share the code 0x20 with
// HW_MODE and are values of their own.
int64_t ValueToDriver(SettingsSet set, uint32_t id, int64_t value);
int64_t ValueFromDriver(SettingsSet set, uint32_t id, int64_t value);

// One control call on a device file: E_ACCESSDENIED without calling when the file is not open,
// S_OK when the driver accepted the call, else E_INVALIDARG. The returned byte count is not looked
// at.
HResult IoCtl(platform::DeviceFile& file, uint32_t code, const void* in, uint32_t inSize, void* out,
              uint32_t outSize);

// IOCTL_GET_SUPPORTED: the identifier mask a selector (SupportedSelector) asks for; 0 when the call
// fails.
uint32_t GetSupportedMask(platform::DeviceFile& file, uint32_t selector);

// IOCTL_DATA_BUFFER: the driver's sample buffer of a completed measurement for a channel (its data
// identifier is its 0-based index), held for the library until released; null when the driver has
// none to give (the measurement is gone, or the call failed). The buffer holds the record length
// of the measurement's current settings in codes of their resolution's width.
const std::byte* AcquireDataBuffer(platform::DeviceFile& file, uint32_t measurement,
                                   uint32_t dataId);
HResult ReleaseDataBuffer(platform::DeviceFile& file, const std::byte* buffer, uint32_t dataId);

// A failure to construct a driver-backed object, with the system's fixed message.
class EDriverError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace veltra
