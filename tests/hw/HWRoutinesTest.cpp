#include "hw/HWRoutines.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "framework/CommonInterfaces.h"
#include "framework/CommonObjects.h"

namespace veltra {
namespace {

// Settings in memory: readable identifiers answer their stored value; a write stores the value
// as `accept` turns it (rounding, clamping), or is refused for identifiers it maps to nothing.
class TMemorySettings : public TOwnInterfacedObject, public ISettings {
 public:
  std::map<uint32_t, int64_t> values;
  std::function<std::optional<int64_t>(uint32_t id, int64_t value)> accept =
      [](uint32_t, int64_t value) { return value; };
  std::vector<uint32_t> written;

  HResult SetValue(uint32_t id, int64_t value) override {
    written.push_back(id);
    const auto taken = accept(id, value);
    if (!taken) return E_INVALIDARG;
    values[id] = *taken;
    return S_OK;
  }
  HResult GetValue(uint32_t id, int64_t& value) override {
    const auto found = values.find(id);
    if (found == values.end()) {
      value = 0;
      return E_NOTIMPL;
    }
    value = found->second;
    return S_OK;
  }
  void AddChangeNotify(const TSettingsChangeEvent&) override {}
  void RemoveChangeNotify(const TSettingsChangeEvent&) override {}
  void BeginUpdate() override {}
  void EndUpdate() override {}
  ComPtr<IInterface> GetOwner() override { return nullptr; }
  int64_t GetSupportsGet() override { return 0; }
  int64_t GetSupportsSet() override { return 0; }
  int32_t GetInfo0() override { return 0; }
  int32_t GetInfo1() override { return 0; }
};

class TMemoryDevice : public TOwnInterfacedObject, public ICurNext {
 public:
  ComPtr<TMemorySettings> cur = MakeObject<TMemorySettings>();
  ComPtr<TMemorySettings> next = MakeObject<TMemorySettings>();

  ComPtr<ISettings> GetCur() override { return cur; }
  ComPtr<ISettings> GetNext() override { return next; }
  ComPtr<ISettings> GetCurNext(int32_t index) override { return index == 0 ? GetCur() : GetNext(); }

 protected:
  bool GetInterface(const Guid& iid, void** object) override {
    return Answer<ICurNext>(this, iid, object) || TOwnInterfacedObject::GetInterface(iid, object);
  }
};

TEST(HWRoutines, CopySettingsReportsWhatDidNotTake) {
  auto source = MakeObject<TMemoryDevice>();
  auto destination = MakeObject<TMemoryDevice>();
  source->next->values = {{0x1, 10}, {0x4, 5000}, {0x8, 7}, {0x80000000, -3}};
  destination->next->accept = [](uint32_t id, int64_t value) -> std::optional<int64_t> {
    if (id == 0x4) return value > 1000 ? 1000 : value;  // clamped
    if (id == 0x8) return std::nullopt;                  // refused
    return value;
  };

  // 0x2 and 0x10 are not readable at the source: skipped, not written, not reported.
  EXPECT_EQ(CopySettings(1, source.Get(), destination.Get(), 0x8000001F), 0x4u | 0x8u);
  EXPECT_EQ(destination->next->written, (std::vector<uint32_t>{0x1, 0x4, 0x8, 0x80000000}));
  EXPECT_EQ(destination->next->values[0x1], 10);
  EXPECT_EQ(destination->next->values[0x80000000], -3);
  EXPECT_TRUE(destination->cur->written.empty()) << "index 1 is Next";

  // A mask the source cannot read at all gives 0 and writes nothing.
  EXPECT_EQ(CopySettings(0, source.Get(), destination.Get(), 0xFF), 0u);
  EXPECT_TRUE(destination->cur->written.empty());

  // A destination without settings takes nothing.
  auto plain = MakeObject<TMemorySettings>();
  EXPECT_EQ(CopySettings(1, source.Get(), plain.Get(), 0x9), 0x9u);
}

}  // namespace
}  // namespace veltra
