#pragma once
// Settings objects: the front through which every instrument, channel and trigger value is read
// and written by property identifier (a 32-bit code with one bit set).
//
// TCustomSettings stores nothing itself: it forwards reads and writes to its owner through three
// method pointers, tells its listeners which identifiers changed (merged inside an update
// bracket), and loads and saves values as a 256-byte stream record or a settings chunk.
// TCachedSettings adds a value cache for the identifiers the owner marks as cacheable, and a
// separate cache for reads with parameter -1; both are dropped identifier by identifier when the
// owner reports changes. Slots are addressed by bit number: a cached read is a mask test and an
// array index, and no read or write allocates.
//
// A settings object is owned: it has no reference count of its own, every reference keeps its
// owner alive, and the owner destroys it with itself (MakeOwned).

#include <array>
#include <cstdint>
#include <vector>

#include "framework/CommonInterfaces.h"
#include "framework/CommonObjects.h"
#include "util/IFF.h"
#include "util/Streams.h"

namespace veltra {

using TSettingsSetValueMethod = Method<HResult(uint32_t id, int64_t value)>;
using TSettingsGetValueMethod = Method<HResult(uint32_t id, int64_t& value)>;
using TSettingsInfoMethod = Method<int32_t(int32_t index)>;

// ISettings is a virtual base, so typed settings interfaces (which derive from it) share it.
class TCustomSettings : public TOwnInterfacedObject, public virtual ISettings {
 public:
  TCustomSettings(IInterface* owner, TSettingsSetValueMethod setMethod, TSettingsGetValueMethod getMethod,
                  TSettingsInfoMethod infoMethod);

  // IChangeNotify2. Listeners are called newest first; one may add or remove listeners while it
  // runs (removed ones are not called any more, added ones from the next change on).
  void AddChangeNotify(const TSettingsChangeEvent& handler) override;
  void RemoveChangeNotify(const TSettingsChangeEvent& handler) override;
  void BeginUpdate() override;
  // Closing the outermost bracket delivers the merged changes, also when there were none.
  void EndUpdate() override;

  // ISettings
  ComPtr<IInterface> GetOwner() override;
  int64_t GetSupportsGet() override;
  int64_t GetSupportsSet() override;
  int32_t GetInfo0() override;
  int32_t GetInfo1() override;
  HResult SetValue(uint32_t id, int64_t value) override;
  HResult GetValue(uint32_t id, int64_t& value) override;

  // Applies the 256-byte record (an 8-byte mask, then values for bits 1 to 31) to the identifiers
  // in both masks; answers the bits that could not be written or did not read back equal. A
  // record cut short applies nothing and fails every requested bit.
  virtual uint32_t LoadFromStream(TStream& stream, uint32_t mask);
  // Applies a settings chunk to the identifiers in `mask`; answers the failed bits, or 0xFFFFFFFF
  // when the chunk is malformed (nothing is applied then).
  virtual uint64_t LoadFromChunk(IIFFStream& iff, TIFFChunk* chunk, uint64_t mask);
  // Writes the settings chunk: into `node` itself, or (find) into its child `id`, added if missing.
  void SaveToChunk(IIFFStream& iff, TIFFChunk* node, bool find, TChunkID id);
  // Called by the owner when values changed.
  virtual void Changed(uint32_t mask);

 protected:
  bool GetInterface(const Guid& iid, void** object) override;

 private:
  void Deliver(uint32_t mask);
  // Writes a value and reads it back: true when both succeed and the value is unchanged.
  bool ApplyValue(uint32_t id, int64_t value);

  TSettingsSetValueMethod setMethod_;
  TSettingsGetValueMethod getMethod_;
  TSettingsInfoMethod infoMethod_;
  std::vector<TSettingsChangeEvent> listeners_;
  int32_t updateCount_ = 0;
  uint32_t pendingChanges_ = 0;
  int32_t delivering_ = 0;       // nesting of Deliver: removals leave empty entries meanwhile
  bool emptyEntries_ = false;
};

class TCachedSettings : public TCustomSettings {
 public:
  TCachedSettings(IInterface* owner, TSettingsSetValueMethod setMethod, TSettingsGetValueMethod getMethod,
                  TSettingsInfoMethod infoMethod)
      : TCustomSettings(owner, setMethod, getMethod, infoMethod) {}

  HResult GetValue(uint32_t id, int64_t& value) override;
  // Loading drops the cache first, so that each written value is checked against what the owner
  // reads back and not against a value cached before; a chunk load drops it again afterwards.
  uint32_t LoadFromStream(TStream& stream, uint32_t mask) override;
  uint64_t LoadFromChunk(IIFFStream& iff, TIFFChunk* chunk, uint64_t mask) override;
  void Changed(uint32_t mask) override;

  // Identifiers whose plain value may be cached; narrowing drops what is no longer allowed.
  uint32_t GetCachable() const { return cachable_; }
  void SetCachable(uint32_t mask) {
    cachable_ = mask;
    cached_ &= mask;
  }
  // Identifiers whose value read with parameter -1 may be cached.
  uint32_t GetCachableIndices() const { return cachableIndices_; }
  void SetCachableIndices(uint32_t mask) {
    cachableIndices_ = mask;
    cachedIndices_ &= mask;
  }

 protected:
  // Forgets the cached values of the identifiers in `mask` (both caches).
  void DropCached(uint32_t mask) {
    cached_ &= ~mask;
    cachedIndices_ &= ~mask;
  }

 private:
  void DropCache() { DropCached(~0u); }

  uint32_t cached_ = 0;
  uint32_t cachedIndices_ = 0;
  uint32_t cachable_ = 0;
  uint32_t cachableIndices_ = 0;
  std::array<int64_t, 32> values_{};
  std::array<int64_t, 32> indexValues_{};
};

}  // namespace veltra
