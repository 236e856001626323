// Items and the device list: opening, closing, the list's events and what it collects.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestDevices.h"
#include "discovery/DeviceList.h"
#include "discovery/DeviceListItemUnknownOrigin.h"

namespace veltra::test {
namespace {

// An item whose object the test supplies (or whose creation fails as the test says).
class TTestItem : public TCustomDeviceListItem {
 public:
  explicit TTestItem(std::function<ComPtr<IInterface>()> create, uint8_t itemKind = 1)
      : create_(std::move(create)) {
    kind = itemKind;
  }
  ComPtr<IInterface> CreateObject() override {
    ++creations;
    return create_();
  }
  int creations = 0;

 private:
  std::function<ComPtr<IInterface>()> create_;
};

// The number of references to the object.
uint32_t Refs(const ComPtr<IInterface>& object) {
  object->AddRef();
  return object->Release();
}

ComPtr<IInterface> NewDevice(const std::string& name = "device") {
  return Query<IInterface>(MakeObject<TNamedDevice>(name, "dev", 7));
}

// Records the events of a list and of its items as "event:item name".
struct EventLog {
  std::vector<std::string> entries;

  void Added(TCustomDeviceList*, TCustomDeviceListItem* item) { Log("added", item); }
  void Removed(TCustomDeviceList*, TCustomDeviceListItem* item) { Log("removed", item); }
  void Opened(TCustomDeviceList*, TCustomDeviceListItem* item) { Log("opened", item); }
  void Closed(TCustomDeviceListItem* item) { Log("closed", item); }
  void Destroying(TCustomDeviceListItem* item) { Log("destroying", item); }
  void Log(const char* event, TCustomDeviceListItem* item) {
    entries.push_back(std::string(event) + ":" + item->name);
  }

  void Watch(TCustomDeviceList& list) {
    using E = TMultiCastDeviceListEvent::THandler;
    list.OnItemAdded().Add(E::Bind<&EventLog::Added>(this));
    list.OnItemRemoved().Add(E::Bind<&EventLog::Removed>(this));
    list.OnItemOpened().Add(E::Bind<&EventLog::Opened>(this));
  }
  void Watch(TCustomDeviceListItem& item) {
    using N = TMultiCastNotifyEvent::THandler;
    item.OnClosed().Add(N::Bind<&EventLog::Closed>(this));
    item.OnDestroying().Add(N::Bind<&EventLog::Destroying>(this));
  }
};

std::unique_ptr<TTestItem> Item(const std::string& name, std::function<ComPtr<IInterface>()> create,
                                uint8_t kind = 1) {
  auto item = std::make_unique<TTestItem>(std::move(create), kind);
  item->name = name;
  return item;
}

TEST(DeviceListItem, OpensItsObjectOnce) {
  EventLog log;  // outlives the list, which still reports while it goes
  TCustomDeviceList list;
  log.Watch(list);
  const ComPtr<IInterface> device = NewDevice();
  auto* item = static_cast<TTestItem*>(list.AddItem(Item("a", [&] { return device; })));
  EXPECT_TRUE(item->IsClosed());
  item->Open();
  item->Open();
  EXPECT_TRUE(item->IsOpen());
  EXPECT_EQ(item->creations, 1) << "an open item keeps its object";
  EXPECT_EQ(item->Object(), device);
  EXPECT_EQ(log.entries, (std::vector<std::string>{"added:a", "opened:a"}));
}

TEST(DeviceListItem, AFailedOpenLeavesTheItemClosedAndSaysNothing) {
  struct Case {
    const char* what;
    std::function<ComPtr<IInterface>()> create;
  };
  const std::vector<Case> cases = {
      {"creation raises", []() -> ComPtr<IInterface> {
         throw std::runtime_error("Could not open instrument.");
       }},
      {"creation answers nothing", [] { return ComPtr<IInterface>(); }},
      {"the object has no hide protocol",
       [] { return Query<IInterface>(MakeObject<TOwnInterfacedObject>()); }},
  };
  for (const Case& c : cases) {
    EventLog log;
    TCustomDeviceList list;
    log.Watch(list);
    TCustomDeviceListItem* item = list.AddItem(Item("a", c.create));
    item->Open();
    EXPECT_TRUE(item->IsClosed()) << c.what;
    EXPECT_EQ(log.entries, (std::vector<std::string>{"added:a"})) << c.what;
  }
}

TEST(DeviceListItem, AnObjectThatGoesAwayClosesTheItem) {
  EventLog log;  // outlives the list, which still reports while it goes
  TCustomDeviceList list;
  auto created = std::make_shared<std::vector<ComPtr<IInterface>>>();
  TCustomDeviceListItem* item = list.AddItem(Item("a", [created] {
    created->push_back(NewDevice());
    return created->back();
  }));
  log.Watch(*item);
  bool openWhenClosed = true;
  using N = TMultiCastNotifyEvent::THandler;
  struct Probe {
    bool* open;
    void Closed(TCustomDeviceListItem* i) { *open = i->IsOpen(); }
  } probe{&openWhenClosed};
  item->OnClosed().Add(N::Bind<&Probe::Closed>(&probe));
  item->Open();
  ASSERT_EQ(created->size(), 1u);
  const ComPtr<IInterface> first = created->front();
  EXPECT_EQ(Refs(first), 3u) << "held by the item, the creation log and the test";

  Query<IHide>(first)->Hide();  // as an instrument does when its device is removed
  EXPECT_TRUE(item->IsClosed());
  EXPECT_FALSE(openWhenClosed) << "closed handlers see the item closed";
  EXPECT_EQ(log.entries, (std::vector<std::string>{"closed:a"}));
  EXPECT_TRUE(list.Contains(item)) << "the item stays listed";
  EXPECT_EQ(Refs(first), 2u) << "the item let go";

  item->Open();
  EXPECT_TRUE(item->IsOpen()) << "a closed item opens again with a new object";
  EXPECT_EQ(created->size(), 2u);
}

TEST(DeviceList, EventsOfAddingRemovingAndDestroyingItems) {
  EventLog log;  // outlives the list, which still reports while it goes
  TCustomDeviceList list;
  log.Watch(list);
  const ComPtr<IInterface> device = NewDevice();
  TCustomDeviceListItem* a = list.AddItem(Item("a", [&] { return device; }));
  TCustomDeviceListItem* b = list.AddItem(Item("b", [] { return NewDevice(); }));
  log.Watch(*a);
  log.Watch(*b);
  a->Open();
  std::unique_ptr<TCustomDeviceListItem> extracted = list.ExtractItem(a);
  ASSERT_EQ(extracted.get(), a);
  EXPECT_EQ(list.ExtractItem(a), nullptr) << "not listed any more";
  Query<IHide>(device)->Hide();  // an extracted item's events no longer reach the list
  extracted->Open();
  list.FreeItem(b);
  EXPECT_EQ(list.ItemCount(), 0u);
  EXPECT_EQ(log.entries,
            (std::vector<std::string>{"added:a", "added:b", "opened:a", "removed:a", "closed:a",
                                      "removed:b", "destroying:b"}));
}

TEST(DeviceList, DestroyingAnItemReleasesItsObject) {
  TCustomDeviceList list;
  const ComPtr<IInterface> kept = NewDevice("kept");
  TCustomDeviceListItem* item = list.AddItem(Item("a", [&] { return kept; }));
  TCustomDeviceListItem* other = list.AddItem(Item("b", [] { return NewDevice("alone"); }));
  item->Open();
  other->Open();
  bool hidden = false;
  struct Watch {
    bool* hidden;
    void Hidden(IInterface*) { *hidden = true; }
  } watch{&hidden};
  Query<IHideNotify>(other->Object())->AddHideNotify(TNotifyHide::Bind<&Watch::Hidden>(&watch));
  list.ClearItems();
  EXPECT_TRUE(hidden) << "the object only the item held was destroyed (and hidden on the way)";
  EXPECT_EQ(Refs(kept), 1u) << "an object somebody else holds survives its item";
}

TEST(DeviceList, CollectsTheOpenObjectsOfAKind) {
  TCustomDeviceList list;
  std::vector<ComPtr<IInterface>> devices = {NewDevice("1"), NewDevice("4"), NewDevice("5"),
                                             NewDevice("closed 5")};
  const uint8_t kinds[] = {1, 4, 5, 5};
  for (size_t i = 0; i < devices.size(); ++i) {
    list.AddItem(Item(std::to_string(i), [&, i] { return devices[i]; }, kinds[i]));
  }
  for (size_t i = 0; i < 3; ++i) list.Item(i)->Open();
  using Objects = std::vector<ComPtr<IInterface>>;
  EXPECT_EQ(list.CollectOpenObjects(kDeviceKindInstrument), (Objects{devices[0], devices[2]}));
  EXPECT_EQ(list.CollectOpenObjects(kDeviceKindI2CHost), (Objects{devices[1], devices[2]}));
  EXPECT_EQ(list.CollectOpenObjects(kDeviceKindGenerator), Objects{});
}

TEST(DeviceListItemUnknownOrigin, DescribesItsObjectAndGoesWithIt) {
  EventLog log;  // outlives the list, which still reports while it goes
  TCustomDeviceList list;
  log.Watch(list);
  const ComPtr<IInterface> device = Query<IInterface>(MakeObject<TNamedDevice>("Bus", "B", 42));
  auto item = std::make_unique<TDeviceListItemUnknownOrigin>(device.Get());
  EXPECT_EQ(item->name, "Bus");
  EXPECT_EQ(item->shortName, "B");
  EXPECT_EQ(item->serialNumber, 42u);
  EXPECT_EQ(item->kind, kDeviceKindI2CHost);
  EXPECT_EQ(item->CreateObject(), nullptr);
  item->name = "u";
  list.AddItem(std::move(item));
  EXPECT_EQ(log.entries, (std::vector<std::string>{"added:u", "opened:u"}))
      << "an item that comes open is reported open";
  Query<IHide>(device)->Hide();
  EXPECT_EQ(list.ItemCount(), 0u) << "the item freed itself";
  EXPECT_EQ(log.entries.back(), "removed:u");

  // Destroying the list (and the item) with the object still there frees nothing twice.
  auto other = std::make_unique<TCustomDeviceList>();
  const ComPtr<IInterface> second = NewDevice();
  other->AddItem(std::make_unique<TDeviceListItemUnknownOrigin>(second.Get()));
  other.reset();
  EXPECT_EQ(Refs(second), 1u);
}

}  // namespace
}  // namespace veltra::test
