// The driver enumerator over registry devices: what Next delivers, Skip, Reset and Clone.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TestDevices.h"
#include "discovery/Enumerators.h"

namespace veltra::test {
namespace {

std::vector<uint32_t> Serials(const std::vector<DeviceInfoRecord>& records) {
  std::vector<uint32_t> serials;
  for (const DeviceInfoRecord& record : records) serials.push_back(record.serialNumber);
  return serials;
}

TEST(EnumDeviceDriverHW, NothingPresent) {
  auto enumerator = MakeObject<TEnumDeviceDriverHW>(TestClass(1));
  std::vector<DeviceInfoRecord> records(2);
  uint32_t fetched = 99;
  EXPECT_EQ(enumerator->Next(1, records, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(enumerator->Skip(1), S_FALSE);
  EXPECT_EQ(enumerator->Position(), -1);
}

TEST(EnumDeviceDriverHW, DevicesThatCannotBeOpenedAreSteppedOver) {
  const Guid cls = TestClass(2);
  TInfoDevice first(cls, "\\\\?\\test#enum#1", 101), second(cls, "\\\\?\\test#enum#2", 102),
      third(cls, "\\\\?\\test#enum#3", 103);
  second.Refuse(true);
  auto enumerator = MakeObject<TEnumDeviceDriverHW>(cls);
  ASSERT_EQ(enumerator->Count(), 3);
  std::vector<DeviceInfoRecord> records;
  uint32_t fetched = 0;
  EXPECT_EQ(enumerator->Next(3, records, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(Serials(records), (std::vector<uint32_t>{101, 103}));
  EXPECT_EQ(InfoDevicePath(records[1]), third.Path());
  EXPECT_EQ(first.OpenFiles() + third.OpenFiles(), 0) << "each file is closed again";

  enumerator->Reset();
  EXPECT_EQ(enumerator->Next(1, records, nullptr), S_OK);
  EXPECT_EQ(Serials(records), (std::vector<uint32_t>{101}));
  EXPECT_EQ(enumerator->Next(1, records, &fetched), S_OK) << "the refused second is passed by";
  EXPECT_EQ(Serials(records), (std::vector<uint32_t>{103}));
  EXPECT_EQ(enumerator->Next(1, records, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
}

TEST(EnumDeviceDriverHW, ResetListsTheDevicesPresentNow) {
  const Guid cls = TestClass(3);
  TInfoDevice first(cls, "\\\\?\\test#reset#1", 201);
  auto enumerator = MakeObject<TEnumDeviceDriverHW>(cls);
  auto late = std::make_unique<TInfoDevice>(cls, "\\\\?\\test#reset#2", 202);
  std::vector<DeviceInfoRecord> records;
  EXPECT_EQ(enumerator->Next(2, records, nullptr), S_FALSE) << "listed before the second came";
  EXPECT_EQ(Serials(records), (std::vector<uint32_t>{201}));
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Next(2, records, nullptr), S_OK);
  EXPECT_EQ(Serials(records), (std::vector<uint32_t>{201, 202}));
  late.reset();
  enumerator->Reset();
  EXPECT_EQ(enumerator->Count(), 1);
}

TEST(EnumDeviceDriverHW, SkipStopsOnTheLastDevice) {
  const Guid cls = TestClass(4);
  TInfoDevice a(cls, "\\\\?\\test#skip#1", 301), b(cls, "\\\\?\\test#skip#2", 302),
      c(cls, "\\\\?\\test#skip#3", 303);
  auto enumerator = MakeObject<TEnumDeviceDriverHW>(cls);
  EXPECT_EQ(enumerator->Skip(2), S_OK);
  EXPECT_EQ(enumerator->Position(), 1);
  std::vector<DeviceInfoRecord> records;
  EXPECT_EQ(enumerator->Next(1, records, nullptr), S_OK);
  EXPECT_EQ(Serials(records), (std::vector<uint32_t>{303}));
  enumerator->Reset();
  EXPECT_EQ(enumerator->Skip(0xFFFFFFFF), S_FALSE);
  EXPECT_EQ(enumerator->Position(), 2);
  EXPECT_EQ(enumerator->Next(1, records, nullptr), S_FALSE);
  EXPECT_TRUE(records.empty());
}

TEST(EnumDeviceDriverHW, PositionsOutsideTheDevicesAreRefused) {
  const Guid cls = TestClass(5);
  TInfoDevice a(cls, "\\\\?\\test#position#1", 401), b(cls, "\\\\?\\test#position#2", 402);
  auto enumerator = MakeObject<TEnumDeviceDriverHW>(cls);
  for (int32_t refused : {-2, 2, 1000}) {
    EXPECT_FALSE(enumerator->SetPosition(refused)) << refused;
    EXPECT_EQ(enumerator->Position(), -1) << refused;
  }
  EXPECT_TRUE(enumerator->SetPosition(1));
  EXPECT_TRUE(enumerator->SetPosition(-1));
}

TEST(EnumDeviceDriverHW, CloneStartsWhereTheOriginalIsAndGoesOnByItself) {
  const Guid cls = TestClass(6);
  TInfoDevice a(cls, "\\\\?\\test#clone#1", 501), b(cls, "\\\\?\\test#clone#2", 502);
  auto enumerator = MakeObject<TEnumDeviceDriverHW>(cls);
  enumerator->Skip(1);
  ComPtr<IEnumDevice> clone;
  ASSERT_EQ(enumerator->Clone(clone), S_OK);
  ASSERT_TRUE(clone);
  EXPECT_NE(clone.Get(), static_cast<IEnumDevice*>(enumerator.Get()));
  std::vector<DeviceInfoRecord> records;
  EXPECT_EQ(clone->Next(1, records, nullptr), S_OK);
  EXPECT_EQ(Serials(records), (std::vector<uint32_t>{502}));
  EXPECT_EQ(enumerator->Position(), 0) << "the original did not move";
  EXPECT_EQ(enumerator->Next(1, records, nullptr), S_OK);
  EXPECT_EQ(Serials(records), (std::vector<uint32_t>{502}));
}

}  // namespace
}  // namespace veltra::test
