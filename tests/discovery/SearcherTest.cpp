// The device-interface searcher: what a search adds, and how arrivals and removals reach the list.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestDevices.h"
#include "discovery/DeviceListItemSearcherInterfaceGUID.h"
#include "discovery/Enumerators.h"
#include "platform/TextCodec.h"
#include "sim/Simulator.h"

namespace veltra::test {
namespace {

struct Searching {
  explicit Searching(const Guid& cls, uint8_t kind = 5)
      : searcher(static_cast<TDeviceListItemSearcherInterfaceGUID*>(list.AddSearcher(
            std::make_unique<TDeviceListItemSearcherInterfaceGUID>(
                list, cls, kind, &TPathObject::Create, &TEnumDeviceDriverHW::Create)))) {}

  TDeviceListItemPath* Item(size_t index) const {
    return static_cast<TDeviceListItemPath*>(list.Item(index));
  }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (size_t i = 0; i < list.ItemCount(); ++i) paths.push_back(Item(i)->DevicePath());
    return paths;
  }

  TCustomDeviceList list;
  TDeviceListItemSearcherInterfaceGUID* searcher;
};

TEST(DeviceListItemSearcherInterfaceGUID, SearchAddsOneItemPerDevicePath) {
  const Guid cls = TestClass(20);
  TInfoDevice a(cls, "\\\\?\\test#search#a", 601, 8), b(cls, "\\\\?\\test#search#b", 602);
  Searching s(cls, 5);
  s.list.Search();
  ASSERT_EQ(s.Paths(), (std::vector<std::string>{a.Path(), b.Path()}));
  const TDeviceListItemPath& first = *s.Item(0);
  EXPECT_EQ(first.name, "Test device 601");
  EXPECT_EQ(first.shortName, "TD");
  EXPECT_EQ(first.serialNumber, 601u);
  EXPECT_EQ(first.subId, 8u);
  EXPECT_EQ(first.kind, 5);
  EXPECT_TRUE(first.IsClosed()) << "searching opens nothing";
  EXPECT_EQ(s.searcher->Items().size(), 2u);

  s.list.Search();
  a.ReportPath("\\\\?\\TEST#SEARCH#A");  // the same device, its path in other letters
  s.list.Search();
  EXPECT_EQ(s.list.ItemCount(), 2u);
}

TEST(DeviceListItemSearcherInterfaceGUID, FindsTheSimulatedProbes) {
  sim::DeviceConfig config;
  config.serial = 27101;
  config.subId = 2;
  const auto single = sim::Plug(config);
  config.preset = sim::Preset::kDual;
  config.serial = 27102;
  const auto dual = sim::Plug(config);
  Searching s(kDriverInterfaceClass);
  s.list.Search();
  ASSERT_EQ(s.Paths(), (std::vector<std::string>{single->Path(), dual->Path()}));
  EXPECT_EQ(s.Item(0)->name, "VP-1 USB oscilloscope probe");
  EXPECT_EQ(s.Item(0)->shortName, "VP-1");
  EXPECT_EQ(s.Item(0)->typeCode, 18u);
  EXPECT_EQ(s.Item(0)->subId, 2u);
  EXPECT_EQ(s.Item(1)->serialNumber, 27102u);
  EXPECT_EQ(s.Item(1)->typeCode, 17u);
  EXPECT_EQ(single->OpenCount() + dual->OpenCount(), 0) << "the search closed what it opened";
}

TEST(DeviceListItemSearcherInterfaceGUID, ArrivalAddsAndRemovalFreesTheItem) {
  const Guid cls = TestClass(21);
  Searching s(cls);
  const int alive = TPathObject::Alive();
  auto device = std::make_unique<TInfoDevice>(cls, "\\\\?\\test#plug#1", 701);
  EXPECT_EQ(s.list.ItemCount(), 0u) << "broadcasts wait for the thread's messages";
  platform::PumpMessages();
  ASSERT_EQ(s.Paths(), (std::vector<std::string>{device->Path()}));
  s.Item(0)->Open();
  ASSERT_TRUE(s.Item(0)->IsOpen());
  EXPECT_EQ(TPathObject::Alive(), alive + 1);

  device.reset();  // unplugged
  platform::PumpMessages();
  EXPECT_EQ(s.list.ItemCount(), 0u);
  EXPECT_TRUE(s.searcher->Items().empty());
  EXPECT_EQ(TPathObject::Alive(), alive) << "the object went with its item";
}

// A removal broadcast for `path` as the system may send it: the name in UTF-16 or 8-bit.
std::vector<std::byte> RemovalBroadcast(const Guid& cls, const std::string& path, bool wide) {
  constexpr size_t kNameOffset = offsetof(platform::DevBroadcastDeviceInterface, name);
  const std::u16string wideName = platform::Utf8ToUtf16(path);
  const size_t nameBytes = wide ? (wideName.size() + 1) * 2 : path.size() + 1;
  const platform::DevBroadcastHeader header{static_cast<uint32_t>(kNameOffset + nameBytes),
                                            platform::kDbtDevTypDeviceInterface, 0};
  std::vector<std::byte> data;
  const auto append = [&data](const void* bytes, size_t size) {
    const auto* first = static_cast<const std::byte*>(bytes);
    data.insert(data.end(), first, first + size);
  };
  append(&header, sizeof header);
  append(&cls, sizeof cls);
  if (wide) {
    append(wideName.c_str(), nameBytes);
  } else {
    append(path.c_str(), nameBytes);
  }
  return data;
}

TEST(DeviceListItemSearcherInterfaceGUID, RemovalBroadcastsMatchPathsIgnoringCase) {
  const Guid cls = TestClass(22);
  TInfoDevice device(cls, "\\\\?\\test#removal#1", 801);
  struct Case {
    const char* path;
    bool wide;
    bool freed;
  };
  const Case cases[] = {
      {"\\\\?\\test#removal#2", true, false},  // another device
      {"\\\\?\\test#removal#2", false, false},
      {"\\\\?\\TEST#Removal#1", true, true},
      {"\\\\?\\TEST#REMOVAL#1", false, true},
      {"", false, false},
  };
  for (const Case& c : cases) {
    Searching s(cls);
    s.list.Search();
    ASSERT_EQ(s.list.ItemCount(), 1u);
    std::vector<std::byte> broadcast = RemovalBroadcast(cls, c.path, c.wide);
    platform::SendMessageTo(s.searcher->Window(), platform::kWmDeviceChange,
                            platform::kDbtDeviceRemoveComplete,
                            reinterpret_cast<intptr_t>(broadcast.data()));
    EXPECT_EQ(s.list.ItemCount(), c.freed ? 0u : 1u) << c.path << (c.wide ? " (UTF-16)" : "");
  }
}

}  // namespace
}  // namespace veltra::test
