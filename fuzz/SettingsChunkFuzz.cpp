// Settings from arbitrary bytes: as a settings chunk written here (a malformed chunk applies
// nothing; otherwise exactly the stored and requested identifiers are written), as the chunks of
// an arbitrary stream (whatever they hold, a refused chunk writes nothing and no identifier outside
// the request is written), and as the legacy record of a stream (too short a record applies
// nothing; otherwise the record's identifiers that were requested are written).
//
// Input: byte 0 selects the form, bytes 1-8 are the request mask (big-endian), the rest the bytes.

#include <bit>
#include <cstdlib>
#include <memory>
#include <vector>

#include "framework/Settings.h"

namespace {

using namespace veltra;

void Require(bool condition) {
  if (!condition) std::abort();
}

class TOwner : public TOwnInterfacedObject {
 public:
  HResult Get(uint32_t id, int64_t& value) {
    value = id <= 2 ? 0xFFFFFFFF : values[std::countr_zero(id)];
    return S_OK;
  }
  HResult Set(uint32_t id, int64_t value) {
    written |= id;
    values[std::countr_zero(id)] = value;
    return S_OK;
  }
  int32_t Info(int32_t) { return 0; }

  uint32_t written = 0;
  int64_t values[32] = {};
};

struct Target {
  ComPtr<TOwner> owner = MakeObject<TOwner>();
  Owned<TCachedSettings> settings = MakeOwned<TCachedSettings>(
      owner.Get(), TSettingsSetValueMethod::Bind<&TOwner::Set>(owner.Get()),
      TSettingsGetValueMethod::Bind<&TOwner::Get>(owner.Get()), TSettingsInfoMethod::Bind<&TOwner::Info>(owner.Get()));
};

uint64_t LoadLittleEndian64(const uint8_t* bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

void LoadOwnChunk(const uint8_t* data, size_t size, uint64_t mask) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("TEST"));
  TIFFChunk* chunk = iff.WriteChunk(form, ID_SETTINGS_CUR, false, static_cast<uint32_t>(size), data);
  Target target;
  const uint64_t failed = target.settings->LoadFromChunk(iff, chunk, mask);
  const uint64_t stored = size >= 24 ? LoadLittleEndian64(data + 16) : 0;
  const bool wellFormed =
      mask != 0 && size == (static_cast<size_t>(std::popcount(static_cast<uint32_t>(stored) | 3)) + 2) * 8;
  if (failed == 0xFFFFFFFF) {
    Require(target.owner->written == 0 && !wellFormed);
  } else {
    Require(target.owner->written == (stored & mask & 0xFFFFFFFC));
    Require(failed == 0);  // this owner takes every value
  }
}

void LoadHostileChunks(const uint8_t* data, size_t size, uint64_t mask) {
  TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  std::unique_ptr<TIFFStream> iff;
  try {
    iff = std::make_unique<TIFFStream>(stream, false);
  } catch (const EStreamCreateError&) {
    return;
  }
  int visited = 0;
  for (std::vector<TIFFChunk*> pending{iff->GetRoot()}; !pending.empty() && visited < 64;) {
    TIFFChunk* node = pending.back();
    pending.pop_back();
    for (TIFFChunk* child = node->firstChild; child; child = child->next, ++visited) {
      pending.push_back(child);
      Target target;
      const uint64_t failed = target.settings->LoadFromChunk(*iff, child, mask);
      Require(failed == 0xFFFFFFFF ? target.owner->written == 0 : (target.owner->written & ~mask) == 0);
    }
  }
}

void LoadRecord(const uint8_t* data, size_t size, uint32_t mask) {
  TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  Target target;
  const uint32_t failed = target.settings->LoadFromStream(stream, mask);
  if (size < 256) {
    Require(failed == (mask & ~1u) && target.owner->written == 0);
    return;
  }
  // Identifier 2 reads back another value from this owner; every other one is taken.
  const uint32_t apply = static_cast<uint32_t>(LoadLittleEndian64(data)) & mask & ~1u;
  Require((target.owner->written & ~2u) == (apply & ~2u) && (failed & ~2u) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  uint64_t mask = 0;
  for (int i = 1; i < 9; ++i) mask = mask << 8 | data[i];
  switch (data[0] % 3) {
    case 0: LoadOwnChunk(data + 9, size - 9, mask); break;
    case 1: LoadHostileChunks(data + 9, size - 9, mask); break;
    default: LoadRecord(data + 9, size - 9, static_cast<uint32_t>(mask)); break;
  }
  return 0;
}
