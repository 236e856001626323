// InitInstrument and ExitInstrument over the device list: which device becomes the instrument,
// what stays listed, and what a device that comes and goes leaves behind. The devices are test
// devices of a class of their own, found by a searcher added for them and opened as test
// instruments, so the library's own searching and opening is what is exercised.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InstrumentQueries.h"
#include "MemoryHW.h"
#include "TestDevices.h"
#include "discovery/DeviceListItemSearcherInterfaceGUID.h"
#include "discovery/DeviceOpener.h"
#include "discovery/Enumerators.h"
#include "platform/Platform.h"
#include "veltra/veltra.h"

namespace veltra::test {
namespace {

// A test instrument on a device file: one channel per channel of the information record, its
// serial number, and the removal of its file destroys it, as a driver-backed instrument does.
class TPathInstrument : public TMemoryHW {
 public:
  TPathInstrument(platform::DeviceFile file, const DeviceInfoRecord& info)
      : TMemoryHW(ConfigFor(info)), file_(std::move(file)), removal_(file_, [this] { Hide(); }) {
    Info().serialNumber = info.serialNumber;
  }

  // The object class of the test searcher's items: counts the instruments it makes.
  static ComPtr<IInterface> Create(const std::string& path) {
    DeviceInfoRecord info;
    platform::DeviceFile file = OpenDeviceFile(path, info);
    ++created;
    return Query<IInterface>(MakeObject<TPathInstrument>(std::move(file), info));
  }
  static inline int created = 0;

 private:
  static TMemoryConfig ConfigFor(const DeviceInfoRecord& info) {
    TMemoryConfig config;
    config.channels = static_cast<int32_t>(info.channelCount);
    config.triggerChannels = 1;
    return config;
  }

  platform::DeviceFile file_;
  TRemovalWatch removal_;
};

const Guid kTestClass = TestClass(40);

class Opening : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ExitInstrument();  // the library starts with its first call
    // Once per program: the list keeps its searchers, and the suite may run more than once.
    [[maybe_unused]] static const bool added = [] {
      TDeviceList& list = TDeviceList::Instance();
      list.AddSearcher(std::make_unique<TDeviceListItemSearcherInterfaceGUID>(
          list, kTestClass, kDeviceKindInstrument, &TPathInstrument::Create,
          &TEnumDeviceDriverHW::Create));
      return true;
    }();
  }
  void TearDown() override {
    ExitInstrument();
    devices_.clear();
    platform::PumpMessages();  // the removals of the devices, for nobody
  }

  TInfoDevice& Plug(uint32_t serial) {
    return Plug(serial, "\\\\?\\test#opening#" + std::to_string(serial));
  }
  TInfoDevice& Plug(uint32_t serial, const std::string& path) {
    devices_.push_back(std::make_unique<TInfoDevice>(kTestClass, path, serial));
    return *devices_.back();
  }

  TDeviceList& List() { return TDeviceList::Instance(); }
  size_t Openers() { return TDeviceOpenerList::Instance().Count(); }

  std::vector<std::unique_ptr<TInfoDevice>> devices_;
};

TEST_F(Opening, TheFirstDeviceBecomesTheInstrumentAndTheOthersStayListed) {
  Plug(1001);
  Plug(1002);
  ASSERT_EQ(InitInstrument(0), STATUS_OK);
  EXPECT_EQ(Serial(), 1001u);
  ASSERT_EQ(List().ItemCount(), 2u);
  EXPECT_TRUE(List().Item(0)->IsOpen());
  EXPECT_TRUE(List().Item(1)->IsClosed());
  EXPECT_EQ(Openers(), 0u);

  EXPECT_EQ(ExitInstrument(), STATUS_OK);
  EXPECT_FALSE(HasInstrument());
  EXPECT_EQ(List().ItemCount(), 0u) << "ExitInstrument empties the device list";
  EXPECT_EQ(ExitInstrument(), STATUS_OK);
}

TEST_F(Opening, WithoutADeviceEveryInitLeavesAnOpenerAndTheFirstArrivalIsOpenedOnce) {
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(InitInstrument(0), STATUS_NO_INSTRUMENT);
    EXPECT_FALSE(HasInstrument());
  }
  EXPECT_EQ(Openers(), 3u);
  const int created = TPathInstrument::created;
  Plug(1003);
  ASSERT_TRUE(PumpUntil(HasInstrument)) << "opened while the thread processes its messages";
  EXPECT_EQ(Serial(), 1003u);
  EXPECT_EQ(TPathInstrument::created, created + 1);
  EXPECT_EQ(Openers(), 0u);
}

TEST_F(Opening, AReplugNeedsExitInstrumentBeforeInitInstrumentOpensItAgain) {
  const std::string path = "\\\\?\\test#opening#replug";
  Plug(1004, path);
  ASSERT_EQ(InitInstrument(0), STATUS_OK);

  devices_.clear();  // unplugged
  ASSERT_TRUE(PumpUntil([] { return !HasInstrument(); }));
  EXPECT_EQ(List().ItemCount(), 0u);

  Plug(1004, path);  // plugged in again
  ASSERT_TRUE(PumpUntil([&] { return List().ItemCount() == 1; }));
  EXPECT_TRUE(List().Item(0)->IsClosed()) << "no openers are left since the first was taken";
  EXPECT_EQ(InitInstrument(0), STATUS_NO_INSTRUMENT) << "the device is listed already: "
                                                         "nothing new to open";
  EXPECT_EQ(List().ItemCount(), 1u);

  EXPECT_EQ(ExitInstrument(), STATUS_OK);
  EXPECT_EQ(InitInstrument(0), STATUS_OK);
  EXPECT_EQ(Serial(), 1004u);
}

}  // namespace
}  // namespace veltra::test
