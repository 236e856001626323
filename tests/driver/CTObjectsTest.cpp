#include "driver/CTObjects.h"

#include <gtest/gtest.h>

#include <optional>

#include "hw/HWInterfaces.h"

namespace veltra {
namespace {

// An owner whose identifiers 4 and 8 answer one stored value (or refuse the read), and that records
// the last write.
class TTestOwner : public TOwnInterfacedObject {
 public:
  HResult Get(uint32_t id, int64_t& value) {
    value = 0;
    if (id == kConTestSupportsGet) return value = kConTestSetting | kConTestState | 3, S_OK;
    if (!stored) return E_INVALIDARG;
    value = *stored;
    return S_OK;
  }
  HResult Set(uint32_t id, int64_t value) {
    written = {id, value};
    return S_OK;
  }
  int32_t Info(int32_t) { return 0; }

  template <class T>
  Owned<T> Make() {
    Owned<T> settings = MakeOwned<T>(this, TSettingsSetValueMethod::Bind<&TTestOwner::Set>(this),
                                     TSettingsGetValueMethod::Bind<&TTestOwner::Get>(this),
                                     TSettingsInfoMethod::Bind<&TTestOwner::Info>(this));
    return settings;
  }

  std::optional<int64_t> stored;
  std::pair<uint32_t, int64_t> written{};
};

TEST(ConnectionTest, ChannelStateIsOneOrTwoElseZero) {
  TTestOwner owner;
  Owned<TConTestChan> channel = owner.Make<TConTestChan>();
  const struct {
    std::optional<int64_t> stored;
    uint32_t state;
  } cases[] = {{1, 1}, {2, 2}, {0, 0}, {3, 0}, {-1, 0}, {int64_t{1} << 32 | 1, 0}, {{}, 0}};
  for (const auto& c : cases) {
    owner.stored = c.stored;
    channel->Changed(kConTestState);  // nothing cached: every case reads the owner
    EXPECT_EQ(channel->GetConnectionState(), c.state) << c.stored.value_or(-99);
  }
  EXPECT_TRUE(Query<IChannelConnectionTest>(static_cast<ISettings*>(channel.Get())));
  EXPECT_FALSE(Query<IInstrumentConnectionTest>(static_cast<ISettings*>(channel.Get())));
}

TEST(ConnectionTest, InstrumentSettingIsWrittenSignExtended) {
  TTestOwner owner;
  Owned<TConTestIns> instrument = owner.Make<TConTestIns>();
  EXPECT_EQ(instrument->SetConnectionTest(-1), S_OK);
  EXPECT_EQ(owner.written, (std::pair<uint32_t, int64_t>{kConTestSetting, -1}));
  owner.stored = int64_t{1} << 40;
  EXPECT_EQ(instrument->GetConnectionTest(), int64_t{1} << 40);
  owner.stored.reset();
  instrument->Changed(kConTestSetting);
  EXPECT_EQ(instrument->GetConnectionTest(), 0) << "a refused read";
  EXPECT_TRUE(Query<IInstrumentConnectionTest>(static_cast<ISettings*>(instrument.Get())));
}

}  // namespace
}  // namespace veltra
