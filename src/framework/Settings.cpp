#include "framework/Settings.h"

#include <algorithm>
#include <bit>

namespace veltra {

namespace {

// Settings chunk: info 0, info 1, readable mask, writable mask, then one value per readable bit
// from 2 upward; every field 8 bytes little-endian.
constexpr uint32_t kChunkHeader = 32;
constexpr uint32_t kMaxChunkSize = kChunkHeader + 30 * 8;
constexpr uint64_t kMalformed = 0xFFFFFFFF;
// The stream record: the mask, then values for bits 1 to 31.
constexpr size_t kRecordSize = 256;

constexpr uint32_t ChunkSizeFor(uint32_t readable) {
  return static_cast<uint32_t>(std::popcount(readable | 3) + 2) * 8;
}

int64_t LoadI64(const uint8_t* bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
  return static_cast<int64_t>(value);
}

void StoreI64(uint8_t* bytes, int64_t value) {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
}

constexpr bool IsSingleBit(uint32_t id) { return id != 0 && (id & (id - 1)) == 0; }

// Counts a delivery in and out, also when a listener throws.
class DeliveryScope {
 public:
  explicit DeliveryScope(int32_t& depth) : depth_(depth) { ++depth_; }
  ~DeliveryScope() { --depth_; }
  DeliveryScope(const DeliveryScope&) = delete;
  DeliveryScope& operator=(const DeliveryScope&) = delete;

 private:
  int32_t& depth_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCustomSettings

TCustomSettings::TCustomSettings(IInterface* owner, TSettingsSetValueMethod setMethod,
                                 TSettingsGetValueMethod getMethod, TSettingsInfoMethod infoMethod)
    : TOwnInterfacedObject(owner), setMethod_(setMethod), getMethod_(getMethod), infoMethod_(infoMethod) {
  listeners_.reserve(4);
}

bool TCustomSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<ISettings>(this, iid, object) || Answer<IChangeNotify2>(this, iid, object) ||
         TOwnInterfacedObject::GetInterface(iid, object);
}

void TCustomSettings::AddChangeNotify(const TSettingsChangeEvent& handler) {
  if (std::find(listeners_.begin(), listeners_.end(), handler) == listeners_.end()) {
    listeners_.push_back(handler);
  }
}

void TCustomSettings::RemoveChangeNotify(const TSettingsChangeEvent& handler) {
  const auto it = std::find(listeners_.begin(), listeners_.end(), handler);
  if (it == listeners_.end()) return;
  if (delivering_ > 0) {
    *it = TSettingsChangeEvent();  // erased when the delivery is over
    emptyEntries_ = true;
  } else {
    listeners_.erase(it);
  }
}

void TCustomSettings::BeginUpdate() { ++updateCount_; }

void TCustomSettings::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  if (updateCount_ == 0) Deliver(std::exchange(pendingChanges_, 0));
}

void TCustomSettings::Changed(uint32_t mask) {
  if (mask == 0) return;
  if (updateCount_ > 0) {
    pendingChanges_ |= mask;
  } else {
    Deliver(mask);
  }
}

void TCustomSettings::Deliver(uint32_t mask) {
  {
    DeliveryScope scope(delivering_);
    // Newest first. Entries only become empty or are appended meanwhile, so indices stay valid.
    for (size_t i = listeners_.size(); i-- > 0;) {
      const TSettingsChangeEvent handler = listeners_[i];
      if (handler) handler(static_cast<IInterface*>(this), mask);
    }
  }
  if (delivering_ == 0 && emptyEntries_) {
    std::erase(listeners_, TSettingsChangeEvent());
    emptyEntries_ = false;
  }
}

ComPtr<IInterface> TCustomSettings::GetOwner() { return ComPtr<IInterface>(Owner()); }

int64_t TCustomSettings::GetSupportsGet() {
  int64_t value = 0;
  return GetValue(1, value) == S_OK ? value : 0;
}

int64_t TCustomSettings::GetSupportsSet() {
  int64_t value = 0;
  return GetValue(2, value) == S_OK ? value : 0;
}

int32_t TCustomSettings::GetInfo0() { return infoMethod_ ? infoMethod_(0) : 0; }

int32_t TCustomSettings::GetInfo1() { return infoMethod_ ? infoMethod_(1) : 0; }

HResult TCustomSettings::SetValue(uint32_t id, int64_t value) {
  return setMethod_ ? setMethod_(id, value) : E_NOTIMPL;
}

HResult TCustomSettings::GetValue(uint32_t id, int64_t& value) {
  if (!getMethod_) {
    value = 0;
    return E_NOTIMPL;
  }
  return getMethod_(id, value);
}

bool TCustomSettings::ApplyValue(uint32_t id, int64_t value) {
  if (SetValue(id, value) != S_OK) return false;
  int64_t readBack = 0;
  return GetValue(id, readBack) == S_OK && readBack == value;
}

uint32_t TCustomSettings::LoadFromStream(TStream& stream, uint32_t mask) {
  std::array<uint8_t, kRecordSize> record;
  if (stream.Read(record.data(), record.size()) != record.size()) return mask & ~1u;
  const uint32_t apply = static_cast<uint32_t>(LoadI64(record.data())) & mask;
  uint32_t failed = 0;
  BeginUpdate();
  for (int bit = 1; bit < 32; ++bit) {
    const uint32_t id = 1u << bit;
    if ((apply & id) && !ApplyValue(id, LoadI64(record.data() + 8 * bit))) failed |= id;
  }
  EndUpdate();
  return failed;
}

void TCustomSettings::SaveToChunk(IIFFStream& iff, TIFFChunk* node, bool find, TChunkID id) {
  const int64_t readable = GetSupportsGet();
  const uint32_t readableBits = static_cast<uint32_t>(readable);
  const uint32_t size = ChunkSizeFor(readableBits);
  TIFFChunk* chunk = node;
  if (find) {
    const TChunkID ids[] = {id};
    chunk = iff.FindChunk(node, ids, 0);
  }
  if (chunk) {
    iff.SetChunkSize(chunk, size);
  } else {
    chunk = iff.AddChunk(node, id, size);
  }

  std::array<uint8_t, kMaxChunkSize> data;
  StoreI64(data.data(), static_cast<uint32_t>(GetInfo0()));
  StoreI64(data.data() + 8, static_cast<uint32_t>(GetInfo1()));
  StoreI64(data.data() + 16, readable);
  StoreI64(data.data() + 24, GetSupportsSet());
  uint8_t* next = data.data() + kChunkHeader;
  for (int bit = 2; bit < 32; ++bit) {
    if (!(readableBits & (1u << bit))) continue;
    int64_t value = 0;
    GetValue(1u << bit, value);
    StoreI64(next, value);
    next += 8;
  }
  iff.SeekData(chunk, 0);
  iff.GetStream().WriteBuffer(data.data(), size);
}

uint64_t TCustomSettings::LoadFromChunk(IIFFStream& iff, TIFFChunk* chunk, uint64_t mask) {
  if (mask == 0) return 0;
  if (!chunk || chunk == iff.GetRoot()) return kMalformed;
  const uint32_t size = iff.GetChunkSize(chunk);
  if (size < kChunkHeader || size > kMaxChunkSize) return kMalformed;
  std::array<uint8_t, kMaxChunkSize> data;
  iff.ReadChunkData(chunk, data.data(), size);
  const auto readable = static_cast<uint64_t>(LoadI64(data.data() + 16));
  const auto readableBits = static_cast<uint32_t>(readable);
  if (size != ChunkSizeFor(readableBits)) return kMalformed;
  if ((readable & mask) == 0) return 0;

  uint64_t failed = 0;
  const uint8_t* next = data.data() + kChunkHeader;
  BeginUpdate();
  for (int bit = 2; bit < 32; ++bit) {
    const uint32_t id = 1u << bit;
    if (!(readableBits & id)) continue;
    const int64_t value = LoadI64(next);
    next += 8;
    if ((mask & id) && !ApplyValue(id, value)) failed |= id;
  }
  EndUpdate();
  return failed;
}

// ---------------------------------------------------------------------------------------------
// TCachedSettings

HResult TCachedSettings::GetValue(uint32_t id, int64_t& value) {
  // Identifiers 1 and 2 always go on; others must be readable. The readable mask is taken from
  // the cache when it is there, which is what reading identifier 1 would do.
  if ((id & 3) == 0) {
    const auto readable = static_cast<uint32_t>((cached_ & 1) ? values_[0] : GetSupportsGet());
    if ((id & readable) == 0) {
      value = 0;
      return E_NOTIMPL;
    }
  }
  const bool cachable = IsSingleBit(id);
  const int slot = std::countr_zero(id);
  if (cachable && (cachableIndices_ & id) && value == -1) {
    if (cachedIndices_ & id) {
      value = indexValues_[slot];
      return S_OK;
    }
    const HResult result = TCustomSettings::GetValue(id, value);
    if (result != S_OK) return result;
    indexValues_[slot] = value;
    cachedIndices_ |= id;
    return S_OK;
  }
  if (cachable && (cached_ & id)) {
    value = values_[slot];
    return S_OK;
  }
  const HResult result = TCustomSettings::GetValue(id, value);
  if (result == S_OK && cachable && (cachable_ & id)) {
    values_[slot] = value;
    cached_ |= id;
  }
  return result;
}

void TCachedSettings::Changed(uint32_t mask) {
  DropCached(mask);
  TCustomSettings::Changed(mask);
}

uint32_t TCachedSettings::LoadFromStream(TStream& stream, uint32_t mask) {
  if (mask != 0) DropCache();
  return TCustomSettings::LoadFromStream(stream, mask);
}

uint64_t TCachedSettings::LoadFromChunk(IIFFStream& iff, TIFFChunk* chunk, uint64_t mask) {
  if (mask != 0) DropCache();
  const uint64_t failed = TCustomSettings::LoadFromChunk(iff, chunk, mask);
  if (mask != 0) DropCache();
  return failed;
}

}  // namespace veltra
