#include "driver/DevIoCtl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace veltra {
namespace {

TEST(DevIoCtl, ControlCodesFromFunctionNumbers) {
  const struct {
    uint32_t code;
    uint32_t expected;
  } cases[] = {
      {IOCTL_GET_VERSIONS, 0x222400},        {IOCTL_GET_INFO, 0x222404},
      {IOCTL_CONNECT, 0x222408},             {IOCTL_SET_CONTROL, 0x22240C},
      {IOCTL_GET_CONTROL, 0x222410},         {IOCTL_DATA_BUFFER, 0x222414},
      {IOCTL_GET_SUPPORTED, 0x222418},       {IOCTL_SET_CURRENT, 0x222428},
      {IOCTL_GET_CURRENT, 0x22242C},         {IOCTL_SET_NEXT, 0x222430},
      {IOCTL_GET_NEXT, 0x222434},            {IOCTL_SET_TRIGGER_CURRENT, 0x222450},
      {IOCTL_GET_TRIGGER_CURRENT, 0x222454}, {IOCTL_SET_TRIGGER_NEXT, 0x222458},
      {IOCTL_GET_TRIGGER_NEXT, 0x22245C},    {IOCTL_SET_CONNECTION_TEST, 0x222464},
      {IOCTL_GET_CONNECTION_TEST, 0x222468},
  };
  for (const auto& c : cases) EXPECT_EQ(c.code, c.expected);
}

TEST(DevIoCtl, SupportedSelectorBuildsAndSplits) {
  const struct {
    uint32_t index;
    SettingsSet set;
    int32_t channel;
    uint32_t expected;
  } cases[] = {
      {kSupportsGet, SettingsSet::kCurrent, -1, 0x0},
      {kSupportsSet, SettingsSet::kNext, -1, 0x11},
      {kSupportsGet, SettingsSet::kTriggerCurrent, 0, 0x10100},
      {kSupportsSet, SettingsSet::kTriggerNext, 1, 0x20111},
      {kSupportsGet, SettingsSet::kControl, -1, 0x200},
      {kSupportsSet, SettingsSet::kConnectionTest, 254, 0xFF0401},
  };
  for (const auto& c : cases) {
    const uint32_t selector = SupportedSelector(c.index, c.set, c.channel);
    EXPECT_EQ(selector, c.expected);
    EXPECT_EQ(SelectorInfoIndex(selector), c.index);
    EXPECT_EQ(SelectorSetBits(selector), static_cast<uint32_t>(c.set));
    EXPECT_EQ(SelectorChannel(selector), c.channel);
  }
}

TEST(DevIoCtl, ModeAndClockSourceTranslateTwoToZeroInTheInstrumentSetsOnly) {
  constexpr auto kCur = SettingsSet::kCurrent;
  constexpr auto kNext = SettingsSet::kNext;
  const struct {
    SettingsSet set;
    uint32_t id;
    int64_t library;
    int64_t driver;
  } cases[] = {
      {kCur, 0x20, 2, 0},      {kNext, 0x20, 2, 0},     {kCur, 0x20, 1, 1},
      {kNext, 0x100000, 2, 0}, {kCur, 0x100000, 4, 4},  {kCur, 0x100000, 1, 1},
      {kCur, 0x40, 2, 2},  // another identifier passes unchanged
      // TR_TIMEOUT and control identifier 0x20 share the code of HW_MODE
      {SettingsSet::kTriggerCurrent, 0x20, 2, 2}, {SettingsSet::kTriggerNext, 0x20, 2, 2},
      {SettingsSet::kControl, 0x20, 2, 2},        {SettingsSet::kConnectionTest, 0x20, 2, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValueToDriver(c.set, c.id, c.library), c.driver) << c.id;
    EXPECT_EQ(ValueFromDriver(c.set, c.id, c.driver), c.library) << c.id;
  }
  EXPECT_EQ(ValueFromDriver(kCur, 0x40, 0), 0);
  EXPECT_EQ(ValueFromDriver(SettingsSet::kControl, 0x20, 0), 0);
}

// A notification block built byte by byte, as a driver fills it.
class BlockBuilder {
 public:
  explicit BlockBuilder(size_t size = kNotificationBlockSize) : bytes_(size) {
    offset_ = sizeof(NotificationBlockHeader);
  }
  BlockBuilder& Header(uint32_t count, uint32_t newest, uint32_t compare, uint32_t restart) {
    NotificationBlockHeader h{};
    h.recordCount = count;
    h.newestMeasurement = newest;
    h.compareMeasurement = compare;
    h.restartMeasurement = restart;
    std::memcpy(bytes_.data(), &h, sizeof h);
    return *this;
  }
  // A record of `size` bytes (at least the header) holding the instrument mask and channel masks
  // as far as they fit.
  BlockBuilder& Record(uint32_t size, uint32_t kind, uint32_t valid,
                       std::vector<uint64_t> masks) {
    const uint32_t fields[4] = {size, kind, 0, valid};
    std::memcpy(bytes_.data() + offset_, fields, sizeof fields);
    for (size_t i = 0; i < masks.size() && 16 + 8 * (i + 1) <= size; ++i) {
      std::memcpy(bytes_.data() + offset_ + 16 + 8 * i, &masks[i], 8);
    }
    offset_ += size;
    return *this;
  }
  std::span<std::byte> Span() { return bytes_; }
  std::vector<std::byte>& Bytes() { return bytes_; }

 private:
  std::vector<std::byte> bytes_;
  size_t offset_;
};

std::vector<uint32_t> Kinds(NotificationBlock& block) {
  std::vector<uint32_t> kinds;
  auto cursor = block.Records();
  while (auto record = cursor.Next()) kinds.push_back(record->Kind());
  return kinds;
}

TEST(NotificationBlock, WalksRecordsBySizeAndReadsHeader) {
  BlockBuilder b;
  b.Header(5, 7, 5, 3)
      .Record(32, 2, 1, {0x80000000, 0x11})       // one channel
      .Record(16, 0, 1, {})                       // bare header, kind the library skips
      .Record(48, 13, 0, {1, 2, 3, 4})            // invalid and of another kind, still stepped over
      .Record(40, 3, 1, {0x8, 0x10, 0x20})        // two channels
      .Record(24, 14, 1, {0x100});
  NotificationBlock block(b.Span());
  EXPECT_EQ(block.RecordCount(), 5u);
  EXPECT_EQ(block.NewestMeasurement(), 7u);
  EXPECT_EQ(block.CompareMeasurement(), 5u);
  EXPECT_EQ(block.RestartMeasurement(), 3u);
  EXPECT_EQ(Kinds(block), (std::vector<uint32_t>{2, 0, 13, 3, 14}));

  auto cursor = block.Records();
  auto first = cursor.Next();
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->Valid());
  EXPECT_EQ(first->Mask(-1), 0x80000000u);
  EXPECT_EQ(first->Mask(0), 0x11u);
  EXPECT_FALSE(first->HasMask(1));  // the record holds one channel only
  EXPECT_EQ(first->Mask(1), 0u);
  cursor.Next();
  auto third = cursor.Next();
  EXPECT_FALSE(third->Valid());
  auto fourth = cursor.Next();
  EXPECT_EQ(fourth->Mask(1), 0x20u);
  auto fifth = cursor.Next();
  EXPECT_EQ(fifth->Mask(-1), 0x100u);
  EXPECT_FALSE(fifth->HasMask(0));
  EXPECT_FALSE(cursor.Next());
}

TEST(NotificationBlock, ClearsMasksAndSetsBusyInPlace) {
  BlockBuilder b;
  b.Header(1, 0, 0, 0).Record(40, 2, 1, {0x80000008, 0xFFFFFFFF80000000, 0x3});
  NotificationBlock block(b.Span());
  block.SetBusy(1);
  auto record = block.Records().Next();
  record->SetMask(-1, record->Mask(-1) & 0x80000000);
  record->SetMask(0, 0);
  record->SetMask(2, 0xDEAD);  // beyond the record: nothing is written

  NotificationBlockHeader header;
  std::memcpy(&header, b.Bytes().data(), sizeof header);
  EXPECT_EQ(header.busy, 1u);
  uint64_t masks[3];
  std::memcpy(masks, b.Bytes().data() + 28 + 16, sizeof masks);
  EXPECT_EQ(masks[0], 0x80000000u);
  EXPECT_EQ(masks[1], 0u);
  EXPECT_EQ(masks[2], 0x3u);
  EXPECT_EQ(block.Busy(), 1u);
}

TEST(NotificationBlock, ChannelsBeyondTheRecordHaveNoMask) {
  // Channel numbers whose mask offset 8 * (channel + 1) wraps around in 32-bit arithmetic onto the
  // record's instrument mask (0x1FFFFFFF) or its reserved and valid words (0x3FFFFFFE).
  BlockBuilder b;
  b.Header(1, 0, 0, 0).Record(32, 2, 1, {0x80000008, 0x11});
  const std::vector<std::byte> before = b.Bytes();
  NotificationBlock block(b.Span());
  auto record = block.Records().Next();
  ASSERT_TRUE(record);
  for (int32_t channel : {1, 2, 0x1FFFFFFE, 0x1FFFFFFF, 0x3FFFFFFE, 0x3FFFFFFF, 0x7FFFFFFF, -2,
                          std::numeric_limits<int32_t>::min()}) {
    SCOPED_TRACE(channel);
    EXPECT_FALSE(record->HasMask(channel));
    EXPECT_EQ(record->Mask(channel), 0u);
    record->SetMask(channel, 0);
  }
  EXPECT_EQ(b.Bytes(), before);
  EXPECT_TRUE(record->Valid());
  EXPECT_EQ(record->Mask(0), 0x11u);
}

TEST(NotificationBlock, MalformedRecordsEndTheWalkInsideTheBlock) {
  {  // a record of size 0 would be read for ever
    BlockBuilder b;
    b.Header(3, 0, 0, 0).Record(24, 2, 1, {1}).Record(0, 3, 1, {});
    NotificationBlock block(b.Span());
    EXPECT_EQ(Kinds(block), (std::vector<uint32_t>{2}));
  }
  {  // a size below the 16-byte header
    BlockBuilder b;
    b.Header(2, 0, 0, 0).Record(12, 3, 1, {});
    NotificationBlock block(b.Span());
    EXPECT_TRUE(Kinds(block).empty());
  }
  {  // a record that runs past the block's end, and a count larger than the records present
    BlockBuilder b(28 + 24 + 20);
    b.Header(1000, 0, 0, 0).Record(24, 4, 1, {1});
    const uint32_t fields[4] = {64, 5, 0, 1};
    std::memcpy(b.Bytes().data() + 52, fields, 16);
    NotificationBlock block(b.Span());
    EXPECT_EQ(Kinds(block), (std::vector<uint32_t>{4}));
  }
  {  // a block shorter than its header reads as empty
    std::vector<std::byte> bytes(20, std::byte{0xFF});
    NotificationBlock block(bytes);
    EXPECT_EQ(block.RecordCount(), 0u);
    EXPECT_EQ(block.Busy(), 0u);
    block.SetBusy(0);
    EXPECT_EQ(bytes[8], std::byte{0xFF});
    EXPECT_FALSE(block.Records().Next());
  }
}

// A device that answers IOCTL_GET_CURRENT with twice the record's value and rejects the rest.
class DoublingDevice : public platform::DeviceProvider {
 public:
  std::unique_ptr<platform::DeviceSession> Open() override {
    return std::make_unique<Session>(calls);
  }
  std::atomic<int> calls{0};

 private:
  class Session : public platform::DeviceSession {
   public:
    explicit Session(std::atomic<int>& calls) : calls_(calls) {}
    bool IoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* returned) override {
      ++calls_;
      if (code != IOCTL_GET_CURRENT || inSize != sizeof(GetRecord) || outSize != 8) return false;
      GetRecord record;
      std::memcpy(&record, in, sizeof record);
      const int64_t answer = record.value * 2;
      std::memcpy(out, &answer, 8);
      if (returned) *returned = 8;
      return true;
    }

   private:
    std::atomic<int>& calls_;
  };
};

TEST(DevIoCtl, IoCtlMapsTheCallsResult) {
  const Guid classGuid = Guid::Parse("{0D2C5B7E-3F1A-4C55-9E0B-6A7D8C9E1F20}");
  const std::string path = "\\\\?\\test#ioctl#1";
  auto device = std::make_shared<DoublingDevice>();
  const platform::DeviceId id = platform::RegisterDevice(classGuid, path, device);

  GetRecord record{0x20, 21, kInstrumentIndex};
  int64_t value = 0;
  platform::DeviceFile closed;
  EXPECT_EQ(IoCtl(closed, IOCTL_GET_CURRENT, &record, sizeof record, &value, 8), E_ACCESSDENIED);
  EXPECT_EQ(device->calls, 0) << "no call without an open file";

  platform::DeviceFile file = platform::DeviceFile::Open(path);
  ASSERT_TRUE(file.IsValid());
  EXPECT_EQ(IoCtl(file, IOCTL_GET_CURRENT, &record, sizeof record, &value, 8), S_OK);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(IoCtl(file, IOCTL_GET_NEXT, &record, sizeof record, &value, 8), E_INVALIDARG);

  platform::UnregisterDevice(id);
  EXPECT_EQ(IoCtl(file, IOCTL_GET_CURRENT, &record, sizeof record, &value, 8), E_INVALIDARG);
  EXPECT_EQ(device->calls, 2);
}

}  // namespace
}  // namespace veltra
