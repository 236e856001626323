// Named objects: object numbers, display names, bitmaps and published items; the string table.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "TestObjects.h"
#include "framework/Strings.h"

namespace veltra::test {
namespace {

TEST(ObjectNumbers, DrawnReturnedAndRedrawn) {
  using TItem = TNamedProbe<10>;
  Log log;
  ComPtr<TItem> one = MakeObject<TItem>(&log);
  ComPtr<TItem> two = MakeObject<TItem>(&log);
  ComPtr<TItem> three = MakeObject<TItem>(&log);
  EXPECT_EQ(one->GetNumber(), 1);
  EXPECT_EQ(two->GetNumber(), 2);
  EXPECT_EQ(three->GetNumber(), 3);
  EXPECT_EQ(MakeObject<TNamedProbe<11>>()->GetNumber(), 1) << "every class counts on its own";

  three.Reset();
  ComPtr<TItem> again = MakeObject<TItem>(&log);
  EXPECT_EQ(again->GetNumber(), 3) << "the last number freed is drawn again";
  one.Reset();
  ComPtr<TItem> next = MakeObject<TItem>(&log);
  EXPECT_EQ(next->GetNumber(), 4) << "a gap in the middle stays open";
  EXPECT_EQ(log, (Log{"#3 destroyed", "#1 destroyed"}));
}

TEST(ObjectNumbers, SetNumberGivesBackADrawnNumberAndRegistersNone) {
  using TItem = TNamedProbe<12>;
  ComPtr<TItem> first = MakeObject<TItem>();
  ComPtr<TItem> second = MakeObject<TItem>();
  second->SetNumber(7);
  EXPECT_FALSE(second->OwnsNumber());
  EXPECT_EQ(MakeObject<TItem>()->GetNumber(), 2) << "2 was given back";

  ComPtr<TItem> chosen = MakeObject<TItem>(nullptr, 5);  // a number chosen in the constructor
  EXPECT_EQ(chosen->GetNumber(), 5);
  EXPECT_FALSE(chosen->OwnsNumber());
  EXPECT_EQ(MakeObject<TItem>()->GetNumber(), 2) << "explicit numbers are not registered";

  first.Reset();
  second.Reset();
  chosen.Reset();
  EXPECT_EQ(MakeObject<TItem>()->GetNumber(), 1) << "nothing of the class remains in use";
}

TEST(ObjectNumbers, ObjectsMadeOnTwoThreadsDrawDistinctNumbers) {
  using TItem = TNamedProbe<15>;
  std::vector<ComPtr<TItem>> made[2];
  auto make = [](std::vector<ComPtr<TItem>>& into) {
    for (int i = 0; i < 200; ++i) into.push_back(MakeObject<TItem>());
  };
  std::thread a(make, std::ref(made[0])), b(make, std::ref(made[1]));
  a.join();
  b.join();
  std::vector<int32_t> numbers;
  for (const auto& list : made) {
    for (const auto& object : list) numbers.push_back(object->GetNumber());
  }
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
  EXPECT_EQ(numbers.back(), 400);
}

TEST(DisplayName, ComposesAliasNameAndNumber) {
  struct Case {
    const char* name;
    const char* shortName;
    const char* alias;
    int32_t number;
    uint32_t flags;
    const char* expected;
  };
  const Case cases[] = {
      {"Ch1", "", "", 2, 0, "Ch1_2"},
      {"Instrument", "Instr", "", 3, kDisplayShortName, "Instr3"},
      {"Instrument", "Instr", "", 3, 0, "Instrument3"},
      {"Instrument", "", "", 3, kDisplayShortName, "Instrument3"},
      {"Ch1", "", "", 2, kDisplayAlias, "Ch1_2"},
      {"Ch1", "", "Probe A", 2, kDisplayAlias | kDisplayNoNumber, "Probe A"},
      {"Ch1", "", "Probe A", 2, 0, "Ch1_2"},
      {"Instr", "", "", 3, kDisplayNoNumber, "Instr"},
      {"Instr", "", "", 0, 0, "Instr"},
      {"Instr", "", "", -1, 0, "Instr-1"},
  };
  for (const Case& c : cases) {
    ComPtr<TNamedProbe<13>> object = MakeObject<TNamedProbe<13>>();
    object->SetName(c.name);
    object->SetShortName(c.shortName);
    object->SetNumber(c.number);
    ComPtr<IVTObject> named = Query<IVTObject>(object);
    ASSERT_TRUE(named);
    named->SetAlias(c.alias);
    EXPECT_EQ(named->GetDisplayName(c.flags), c.expected)
        << c.name << "/" << c.shortName << "/" << c.alias << " #" << c.number << " flags "
        << c.flags;
  }
}

TEST(NamedObject, LoadsTheBitmapOfItsName) {
  struct TBitmapProbe : TVTObject {
    explicit TBitmapProbe(const char* bitmapName) { SetBitmapName(bitmapName); }
  };
  EXPECT_NE(MakeObject<TBitmapProbe>("CHANNEL")->GetBitmap(), 0u);
  EXPECT_EQ(MakeObject<TBitmapProbe>("")->GetBitmap(), 0u);
  EXPECT_EQ(MakeObject<TBitmapProbe>("NO_SUCH_BITMAP")->GetBitmap(), 0u);
}

TEST(NamedObject, PublishedItemsAreFoundRemovedAndDroppedOnHide) {
  ComPtr<TNamedProbe<14>> object = MakeObject<TNamedProbe<14>>();
  TPublishedItems& items = object->PublishedItems();
  items.Add({"Delete", 200, 0x1000D2});
  items.Add({"Duplicate", 201, 0x100197});
  items.Add({"Delete", 202, 0});  // replaces the item of that name
  ASSERT_EQ(items.Count(), 2u);
  ASSERT_NE(items.Find("Delete"), nullptr);
  EXPECT_EQ(items.Find("Delete")->number, 202);
  EXPECT_EQ(items.Find("Rename"), nullptr);

  EXPECT_TRUE(items.Remove("Delete"));
  EXPECT_FALSE(items.Remove("Delete"));
  EXPECT_EQ(items[0].name, "Duplicate");

  object->Hide();
  EXPECT_EQ(items.Count(), 0u);
}

TEST(Strings, TableAndFormatting) {
  EXPECT_EQ(LocalisedString(0x12345678), "");
  for (uint32_t id : {strings::kInstrumentName, strings::kChannelName, strings::kChannelShortName,
                      strings::kUnitVoltage, strings::kUnitCurrent, strings::kUnitResistance}) {
    EXPECT_FALSE(LocalisedString(id).empty()) << std::hex << id;
  }
  EXPECT_EQ(FormatText(LocalisedString(strings::kUnsupportedVersion), {"TCustomHW"}).rfind("TCustomHW", 0), 0u);
  EXPECT_EQ(FormatText("Unable to connect %s.\r%s", {"TObjectRef", "why"}),
            "Unable to connect TObjectRef.\rwhy");
  EXPECT_EQ(FormatText("100%% %s %s", {"a"}), "100% a ");
}

}  // namespace
}  // namespace veltra::test
