// Cost of reading and writing a settings value: a cached read, a read passed to a trivial owner,
// and a write, each next to the baseline of calling the owner's method pointer directly.

#include <benchmark/benchmark.h>

#include "framework/Settings.h"

namespace veltra {
namespace {

constexpr uint32_t kID = 1u << 8;

class TTrivialOwner : public TOwnInterfacedObject {
 public:
  HResult Get(uint32_t id, int64_t& value) {
    value = id == 1 ? 0x7FFFFFFF : stored_;
    return S_OK;
  }
  HResult Set(uint32_t, int64_t value) {
    stored_ = value;
    return S_OK;
  }
  int32_t Info(int32_t) { return 0; }

 private:
  int64_t stored_ = 42;
};

struct Fixture {
  // Only the readable mask (identifier 1) is cacheable unless `cacheValue` is set.
  explicit Fixture(bool cacheValue) {
    settings->SetCachable(cacheValue ? 1 | kID : 1);
    int64_t value = 0;
    settings->GetValue(kID, value);
  }
  ComPtr<TTrivialOwner> owner = MakeObject<TTrivialOwner>();
  TSettingsGetValueMethod get = TSettingsGetValueMethod::Bind<&TTrivialOwner::Get>(owner.Get());
  TSettingsSetValueMethod set = TSettingsSetValueMethod::Bind<&TTrivialOwner::Set>(owner.Get());
  Owned<TCachedSettings> settings =
      MakeOwned<TCachedSettings>(owner.Get(), set, get, TSettingsInfoMethod::Bind<&TTrivialOwner::Info>(owner.Get()));
};

void BM_OwnerGetDirect(benchmark::State& state) {
  Fixture fixture(false);
  for (auto _ : state) {
    int64_t value = 0;
    benchmark::DoNotOptimize(fixture.get(kID, value));
    benchmark::DoNotOptimize(value);
  }
}

void BM_CachedRead(benchmark::State& state) {
  Fixture fixture(true);
  ISettings* settings = fixture.settings.Get();
  for (auto _ : state) {
    int64_t value = 0;
    benchmark::DoNotOptimize(settings->GetValue(kID, value));
    benchmark::DoNotOptimize(value);
  }
}

void BM_UncachedRead(benchmark::State& state) {
  Fixture fixture(false);
  ISettings* settings = fixture.settings.Get();
  for (auto _ : state) {
    int64_t value = 0;
    benchmark::DoNotOptimize(settings->GetValue(kID, value));
    benchmark::DoNotOptimize(value);
  }
}

void BM_Write(benchmark::State& state) {
  Fixture fixture(true);
  ISettings* settings = fixture.settings.Get();
  int64_t value = 0;
  for (auto _ : state) benchmark::DoNotOptimize(settings->SetValue(kID, ++value));
}

BENCHMARK(BM_OwnerGetDirect);
BENCHMARK(BM_CachedRead);
BENCHMARK(BM_UncachedRead);
BENCHMARK(BM_Write);

}  // namespace
}  // namespace veltra

BENCHMARK_MAIN();
