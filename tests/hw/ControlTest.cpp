// Control settings: the frame interval from the frame-rate default, and which control values the
// cache keeps.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "hw/ControlObjects.h"

namespace veltra {
namespace {

TEST(ControlSettings, FrameIntervalFromTheMaximumFrameRate) {
  EXPECT_EQ(ControlDefaultSettings().MaxFrameRate, 30.0);
  const struct {
    double rate;
    uint32_t interval;
  } cases[] = {{30.0, 33},
               {1000.0, 1},
               {3.0, 333},
               {0.0, 0},
               {-5.0, 0},
               {std::nan(""), 0},
               {1e-9, std::numeric_limits<uint32_t>::max()}};
  for (const auto& c : cases) EXPECT_EQ(FrameIntervalFromRate(c.rate), c.interval) << c.rate;
}

// An owner of control settings that counts what reaches it.
class TControlOwner : public TOwnInterfacedObject {
 public:
  HResult Get(uint32_t id, int64_t& value) {
    ++reads[id];
    value = id <= 2 ? -1 : values[id];
    return S_OK;
  }
  HResult Set(uint32_t id, int64_t value) {
    values[id] = value;
    return S_OK;
  }
  int32_t Info(int32_t) { return 0; }

  std::map<uint32_t, int64_t> values;
  std::map<uint32_t, int> reads;
};

TEST(ControlSettings, TheLoadingFlagIsNeverCachedTheOpenCountIs) {
  const ComPtr<TControlOwner> owner = MakeObject<TControlOwner>();
  Owned<TControlSettings> control = MakeOwned<TControlSettings>(
      owner.Get(), TSettingsSetValueMethod::Bind<&TControlOwner::Set>(owner.Get()),
      TSettingsGetValueMethod::Bind<&TControlOwner::Get>(owner.Get()),
      TSettingsInfoMethod::Bind<&TControlOwner::Info>(owner.Get()));
  control->SetCachable(kControlCachable);
  owner->values[kControlOpenCount] = 1;
  EXPECT_EQ(control->SetLoading(1), S_OK);
  EXPECT_EQ(owner->values[kControlLoading], 1);
  int64_t loading = 0;
  control->GetValue(kControlLoading, loading);
  control->GetValue(kControlLoading, loading);
  EXPECT_EQ(owner->reads[kControlLoading], 2);
  EXPECT_EQ(control->GetOpenCount(), 1);
  owner->values[kControlOpenCount] = 2;
  EXPECT_EQ(control->GetOpenCount(), 1);  // from the cache
  EXPECT_EQ(owner->reads[kControlOpenCount], 1);
  control->Changed(kControlOpenCount);
  EXPECT_EQ(control->GetOpenCount(), 2);

  EXPECT_EQ(control->SetFrameInterval(0xFFFFFFFFu), S_OK);
  EXPECT_EQ(owner->values[kControlFrameInterval], 0xFFFFFFFFLL);  // zero-extended
  control->SetControl8(0);
  control->SetControl32(1);
  EXPECT_EQ(owner->values[kControl32], 1);
  EXPECT_TRUE(Query<IControlSettings>(static_cast<ISettings*>(control.Get())));
}

}  // namespace
}  // namespace veltra
