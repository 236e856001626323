// Reads an arbitrary notification block as the driver-backed instrument does: walks its records
// and reads and clears the masks of the instrument and of channels, large numbers included. Every
// answer is checked against the block's bytes with offsets computed in 64 bits: a record too short
// for a channel has no mask, and clearing a mask writes its 8 bytes and nothing else. The same
// target runs as a test over its seed corpus in the 32-bit Windows build, whose 32-bit sizes are
// where mask offsets could wrap around.
//
// Input: byte 0, the block's misalignment (low 3 bits); byte 1, the number of channel numbers to
// try (at most 32); then that many 32-bit little-endian channel numbers; the rest is the block.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/DevIoCtl.h"

namespace {

using namespace veltra;

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

uint64_t LoadMask(const std::byte* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t misalignment = data[0] & 7;
  const size_t probes = std::min<size_t>(data[1] % 33, (size - 2) / 4);
  std::vector<int32_t> channels{-1, 0};
  for (size_t i = 0; i < probes; ++i) {
    uint32_t bits;
    std::memcpy(&bits, data + 2 + 4 * i, 4);
    channels.push_back(static_cast<int32_t>(bits));
  }
  const size_t blockStart = 2 + 4 * probes;
  const size_t blockSize = size - blockStart;
  std::vector<std::byte> storage(blockSize + misalignment);
  if (blockSize > 0) std::memcpy(storage.data() + misalignment, data + blockStart, blockSize);
  std::byte* blockBytes = storage.data() + misalignment;
  NotificationBlock block(std::span<std::byte>(blockBytes, blockSize));

  uint32_t walked = 0;
  uint64_t offset = sizeof(NotificationBlockHeader);
  auto cursor = block.Records();
  while (auto record = cursor.Next()) {
    ++walked;
    Require(walked <= block.RecordCount(), "no more records than the count");
    const uint64_t recordSize = record->Size();
    Require(recordSize >= offsetof(NotificationRecordHeader, instrumentMask), "a whole record header");
    Require(offset + recordSize <= blockSize, "the record inside the block");
    std::byte* recordBytes = blockBytes + offset;
    for (const int32_t channel : channels) {
      const int64_t maskOffset = int64_t{16} + 8 * (int64_t{channel} + 1);
      const bool expected = channel >= -1 && maskOffset + 8 <= static_cast<int64_t>(recordSize);
      Require(record->HasMask(channel) == expected, "a mask exactly where the record holds one");
      Require(record->Mask(channel) == (expected ? LoadMask(recordBytes + maskOffset) : 0), "the mask's bytes");

      const std::vector<std::byte> before = storage;
      const uint64_t cleared = record->Mask(channel) & 0x80000000u;
      record->SetMask(channel, cleared);
      for (size_t i = 0; i < storage.size(); ++i) {
        const int64_t at = static_cast<int64_t>(i) - static_cast<int64_t>(misalignment + offset);
        const bool inSlot = expected && at >= maskOffset && at < maskOffset + 8;
        if (!inSlot) Require(storage[i] == before[i], "nothing written beside the mask");
      }
      if (expected) Require(LoadMask(recordBytes + maskOffset) == cleared, "the mask written");
    }
    offset += recordSize;
  }
  block.SetBusy(1);
  Require(block.Busy() == (blockSize >= sizeof(NotificationBlockHeader) ? 1u : 0u), "the busy flag");
  return 0;
}
