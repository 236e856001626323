#pragma once
// The simulated probe's sample buffers: a ring of numbered records, each with one buffer per
// channel. A new record takes the place of the oldest record that no client holds; a held buffer
// (acquired with IOCTL_DATA_BUFFER and not yet released) is never overwritten. Buffers keep their
// memory from record to record and only grow.
//
// Not thread-safe: the device guards it with its lock. A claimed slot is filled without the lock;
// it is nobody else's until committed or given back.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace veltra::sim {

class RecordRing {
 public:
  struct Slot {
    uint32_t number = 0;  // 0: holds no record
    bool claimed = false;
    size_t length = 0;
    uint32_t codeBits = 8;
    std::vector<std::vector<uint16_t>> channels;  // codes: 8-bit codes packed two to a word
    struct Hold {
      uint64_t client;
      uint32_t channel;
    };
    std::vector<Hold> holds;

    uint8_t* Bytes(uint32_t channel) {
      return reinterpret_cast<uint8_t*>(channels[channel].data());
    }
    uint16_t* Words(uint32_t channel) { return channels[channel].data(); }
    const uint8_t* Bytes(uint32_t channel) const {
      return reinterpret_cast<const uint8_t*>(channels[channel].data());
    }
    const uint16_t* Words(uint32_t channel) const { return channels[channel].data(); }
  };

  explicit RecordRing(uint32_t channelCount) : channelCount_(channelCount) {}

  // Records of `length` samples of `codeBits`-bit codes from now on. Sets the capacity: as many
  // records as fit in a memory budget, at least 2 and at most 16 or, when that is more, two frames
  // of `frameRecords` (the records announced at once, one frame being read while the next one is
  // taken) and two more, up to a limit.
  void Configure(size_t length, uint32_t codeBits, size_t frameRecords = 0);
  size_t Capacity() const { return capacity_; }

  // The slot for the next record, sized for it; null when every slot is held or claimed.
  Slot* Claim();
  void Commit(Slot* slot, uint32_t number);
  void Abandon(Slot* slot);

  // The address of a channel's buffer of a measurement, now held by the client; nothing when the
  // record is gone, the channel does not exist, or the record's length or code width is not the
  // configured one: a client reads a buffer as the current settings describe it, and a record
  // taken with other settings would be read past its end or at the wrong width.
  std::optional<uintptr_t> Acquire(uint32_t number, uint32_t channel, uint64_t client);
  bool Release(uintptr_t address, uint32_t channel, uint64_t client);
  void ReleaseAll(uint64_t client);

  // The oldest measurement from which on every measurement up to `newest` can be acquired.
  uint32_t OldestKept(uint32_t newest) const;

 private:
  // A record a client can acquire.
  bool Available(const Slot& slot, uint32_t number) const;

  const uint32_t channelCount_;
  size_t length_ = 0;
  uint32_t codeBits_ = 8;
  size_t capacity_ = 2;
  std::vector<std::unique_ptr<Slot>> slots_;
};

}  // namespace veltra::sim
