// Loads arbitrary bytes as a settings chunk: a malformed chunk applies nothing; otherwise exactly
// the stored and requested identifiers are written.

#include <bit>
#include <cstdlib>
#include <vector>

#include "framework/Settings.h"

namespace {

using namespace veltra;

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  uint64_t mask = 0;
  for (int i = 0; i < 8; ++i) mask = mask << 8 | data[i];
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("TEST"));
  TIFFChunk* chunk = iff.WriteChunk(form, ID_SETTINGS_CUR, false, static_cast<uint32_t>(size - 8), data + 8);

  ComPtr<TOwner> owner = MakeObject<TOwner>();
  Owned<TCachedSettings> settings = MakeOwned<TCachedSettings>(
      owner.Get(), TSettingsSetValueMethod::Bind<&TOwner::Set>(owner.Get()),
      TSettingsGetValueMethod::Bind<&TOwner::Get>(owner.Get()), TSettingsInfoMethod::Bind<&TOwner::Info>(owner.Get()));
  const uint64_t failed = settings->LoadFromChunk(iff, chunk, mask);
  uint64_t stored = 0;
  if (size - 8 >= 24) {
    for (int i = 7; i >= 0; --i) stored = stored << 8 | data[8 + 16 + i];
  }
  const bool wellFormed = mask != 0 && size - 8 == (static_cast<size_t>(std::popcount(static_cast<uint32_t>(stored) | 3)) + 2) * 8;
  if (failed == 0xFFFFFFFF ? owner->written != 0 || wellFormed : owner->written != (stored & mask & 0xFFFFFFFC)) std::abort();
  if (failed != 0 && failed != 0xFFFFFFFF) std::abort();  // this owner takes every value
  return 0;
}
