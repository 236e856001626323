#include "sim/RecordRing.h"

#include <algorithm>
#include <functional>

namespace veltra::sim {

namespace {

constexpr size_t kMemoryBudget = size_t{128} << 20;
constexpr size_t kMinRecords = 2;
constexpr size_t kMaxRecords = 16;
constexpr size_t kMaxFrameRecords = 1024;  // bounds the bookkeeping of very short records

}  // namespace

void RecordRing::Configure(size_t length, uint32_t codeBits, size_t frameRecords) {
  length_ = length;
  codeBits_ = codeBits;
  const size_t recordBytes = std::max<size_t>(length * (codeBits / 8) * channelCount_, 1);
  const size_t frames = std::min(frameRecords, kMaxFrameRecords) * 2 + 2;
  capacity_ = std::clamp(kMemoryBudget / recordBytes, kMinRecords, std::max(kMaxRecords, frames));
  // Slots beyond the capacity go unless a client still holds them.
  for (size_t i = slots_.size(); i-- > 0 && slots_.size() > capacity_;) {
    if (slots_[i]->holds.empty() && !slots_[i]->claimed)
      slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

RecordRing::Slot* RecordRing::Claim() {
  Slot* chosen = nullptr;
  for (auto& slot : slots_) {
    if (slot->claimed || !slot->holds.empty()) continue;
    if (chosen == nullptr || slot->number == 0 ||
        (chosen->number != 0 && static_cast<int32_t>(slot->number - chosen->number) < 0)) {
      chosen = slot.get();
      if (slot->number == 0) break;
    }
  }
  if ((chosen == nullptr || chosen->number != 0) && slots_.size() < capacity_) {
    slots_.push_back(std::make_unique<Slot>());
    chosen = slots_.back().get();
  }
  if (chosen == nullptr) return nullptr;
  chosen->number = 0;
  chosen->claimed = true;
  chosen->length = length_;
  chosen->codeBits = codeBits_;
  chosen->channels.resize(channelCount_);
  const size_t words = codeBits_ == 8 ? (length_ + 1) / 2 : length_;
  for (auto& buffer : chosen->channels) {
    if (buffer.size() < words) buffer.resize(words);
  }
  return chosen;
}

void RecordRing::Commit(Slot* slot, uint32_t number) {
  slot->claimed = false;
  slot->number = number;
}

void RecordRing::Abandon(Slot* slot) {
  slot->claimed = false;
  slot->number = 0;
}

bool RecordRing::Available(const Slot& slot, uint32_t number) const {
  return number != 0 && slot.number == number && !slot.claimed && slot.length == length_ &&
         slot.codeBits == codeBits_;
}

std::optional<uintptr_t> RecordRing::Acquire(uint32_t number, uint32_t channel, uint64_t client) {
  if (channel >= channelCount_) return std::nullopt;
  for (auto& slot : slots_) {
    if (Available(*slot, number)) {
      slot->holds.push_back({client, channel});
      return reinterpret_cast<uintptr_t>(slot->Bytes(channel));
    }
  }
  return std::nullopt;
}

bool RecordRing::Release(uintptr_t address, uint32_t channel, uint64_t client) {
  if (channel >= channelCount_) return false;
  for (auto& slot : slots_) {
    if (reinterpret_cast<uintptr_t>(slot->Bytes(channel)) != address) continue;
    const auto hold = std::find_if(
        slot->holds.begin(), slot->holds.end(),
        [&](const Slot::Hold& h) { return h.client == client && h.channel == channel; });
    if (hold == slot->holds.end()) return false;
    slot->holds.erase(hold);
    return true;
  }
  return false;
}

void RecordRing::ReleaseAll(uint64_t client) {
  for (auto& slot : slots_) {
    std::erase_if(slot->holds, [client](const Slot::Hold& h) { return h.client == client; });
  }
}

uint32_t RecordRing::OldestKept(uint32_t newest) const {
  std::vector<uint32_t> kept;
  for (const auto& slot : slots_) {
    if (Available(*slot, slot->number) && slot->number <= newest) kept.push_back(slot->number);
  }
  std::sort(kept.begin(), kept.end(), std::greater<>());
  uint32_t oldest = newest + 1;
  for (const uint32_t number : kept) {
    if (number != oldest - 1) break;
    oldest = number;
  }
  return oldest;
}

}  // namespace veltra::sim
