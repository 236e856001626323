// Openers: which new items they open, in which order, and emptying their list while they open.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TestDevices.h"
#include "discovery/DeviceListItemSearcherInterfaceGUID.h"
#include "discovery/DeviceOpener.h"
#include "discovery/Enumerators.h"

namespace veltra::test {
namespace {

// An item with a sub-identifier whose objects are counted.
class TCountingItem : public TCustomDeviceListItem {
 public:
  explicit TCountingItem(uint32_t sub) {
    subId = sub;
    kind = kDeviceKindInstrument;
  }
  ComPtr<IInterface> CreateObject() override {
    ++creations;
    return Query<IInterface>(MakeObject<TNamedDevice>("device", "dev", 1));
  }
  int creations = 0;
};

TCountingItem* AddItem(TCustomDeviceList& list, uint32_t subId) {
  return static_cast<TCountingItem*>(list.AddItem(std::make_unique<TCountingItem>(subId)));
}

TEST(DeviceOpenerSubID, AcceptsSubIdentifiersSharingABitWithTheMask) {
  TCustomDeviceList list;
  const TDeviceOpenerSubID opener(list, TDeviceOpenerSubID::kLibraryMask);
  struct Case {
    uint32_t subId;
    bool accepted;
  };
  const Case cases[] = {{0x1, true},  {0x2, true},  {0x4, false},  {0x8, true},   {0x10, true},
                        {0x20, true}, {0x40, false}, {0x0, false}, {0x44, false}, {0x45, true},
                        {0xFFFFFFC4, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(opener.Accepts(TCountingItem(c.subId)), c.accepted) << std::hex << c.subId;
  }
}

TEST(DeviceOpener, NewItemsAreOpenedOnceByTheOpenersThatAcceptThem) {
  TCustomDeviceList list;
  TDeviceOpenerList openers;
  openers.Add(std::make_unique<TDeviceOpenerSubID>(list, TDeviceOpenerSubID::kLibraryMask));
  TCountingItem* matching = AddItem(list, 1);
  TCountingItem* other = AddItem(list, 4);
  EXPECT_EQ(matching->creations, 1);
  EXPECT_EQ(other->creations, 0) << "only the sub-identifier opener exists";

  for (int i = 0; i < 3; ++i) openers.Add(std::make_unique<TDeviceOpenerAll>(list));
  for (uint32_t subId : {1u, 4u}) {
    TCountingItem* item = AddItem(list, subId);
    EXPECT_EQ(item->creations, 1) << "four openers, one object; sub-identifier " << subId;
  }
  EXPECT_EQ(other->creations, 0) << "openers open items as they are added, not those listed";

  openers.Clear();
  EXPECT_EQ(list.OnItemAdded().Count(), 0u) << "destroyed openers stop watching";
  EXPECT_EQ(AddItem(list, 1)->creations, 0);
}

// Empties the opener list when an item opens, as the library does once it has its instrument.
struct StopOpening {
  TDeviceOpenerList* openers;
  void ItemOpened(TCustomDeviceList*, TCustomDeviceListItem*) { openers->Clear(); }
};

TEST(DeviceOpener, TheOpenerListMayBeEmptiedWhileAnOpenerOpens) {
  TCustomDeviceList list;
  TDeviceOpenerList openers;
  StopOpening stop{&openers};
  list.OnItemOpened().Add(TMultiCastDeviceListEvent::THandler::Bind<&StopOpening::ItemOpened>(&stop));
  openers.Add(std::make_unique<TDeviceOpenerSubID>(list, TDeviceOpenerSubID::kLibraryMask));
  openers.Add(std::make_unique<TDeviceOpenerAll>(list));
  openers.Add(std::make_unique<TDeviceOpenerAll>(list));
  TCountingItem* first = AddItem(list, 1);  // opened by the first opener, which is then destroyed
  TCountingItem* second = AddItem(list, 1);
  EXPECT_EQ(first->creations, 1);
  EXPECT_EQ(second->creations, 0);
  EXPECT_EQ(openers.Count(), 0u);
}

TEST(DeviceOpener, ADeviceThatArrivesLaterIsOpenedWhileOpenersExist) {
  const Guid cls = TestClass(30);
  TCustomDeviceList list;
  list.AddSearcher(std::make_unique<TDeviceListItemSearcherInterfaceGUID>(
      list, cls, kDeviceKindInstrument, &TPathObject::Create, &TEnumDeviceDriverHW::Create));
  TDeviceOpenerList openers;
  openers.Add(std::make_unique<TDeviceOpenerSubID>(list, TDeviceOpenerSubID::kLibraryMask));
  list.Search();  // nothing there yet
  TInfoDevice unmatched(cls, "\\\\?\\test#later#1", 901, 4);
  platform::PumpMessages();
  ASSERT_EQ(list.ItemCount(), 1u);
  EXPECT_TRUE(list.Item(0)->IsClosed());

  openers.Add(std::make_unique<TDeviceOpenerAll>(list));
  TInfoDevice later(cls, "\\\\?\\test#later#2", 902, 4);
  platform::PumpMessages();
  ASSERT_EQ(list.ItemCount(), 2u);
  EXPECT_TRUE(list.Item(0)->IsClosed()) << "a listed item is not opened by a new opener";
  ASSERT_TRUE(list.Item(1)->IsOpen());
  EXPECT_EQ(later.OpenFiles(), 1) << "the object holds the device file open";
}

}  // namespace
}  // namespace veltra::test
