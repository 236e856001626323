#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "platform/Platform.h"

namespace veltra::platform {
namespace {

TEST(Services, ClockAdvancesAndVersionIsNtFamily) {
  const double start = HighResSeconds();
  const double later = HighResSeconds();
  EXPECT_LE(start, later);
  EXPECT_EQ(PlatformId(), 2u);
}

TEST(Services, RegisteredMessagesAreProcessWide) {
  const uint32_t first = RegisterMessage("Platform test: first");
  const uint32_t second = RegisterMessage("Platform test: second");
  EXPECT_GE(first, 0xC000u);
  EXPECT_LE(first, 0xFFFFu);
  EXPECT_GE(second, 0xC000u);
  EXPECT_NE(first, second);
  EXPECT_EQ(RegisterMessage("Platform test: first"), first);
  EXPECT_EQ(RegisterMessage("PLATFORM TEST: FIRST"), first);  // names ignore case
  uint32_t fromThread = 0;
  std::thread([&] { fromThread = RegisterMessage("Platform test: second"); }).join();
  EXPECT_EQ(fromThread, second);
  EXPECT_EQ(RegisterMessage(""), 0u);
}

TEST(Services, BitmapsByName) {
  std::set<uintptr_t> handles;
  for (const char* name :
       {"INSTRUMENT", "INSTRUMENT_QM1", "INSTRUMENT_QM8", "CHANNEL", "CHANNEL_BAN"}) {
    const uintptr_t bitmap = LoadBitmapResource(name);
    EXPECT_NE(bitmap, 0u) << name;
    handles.insert(bitmap);
  }
  EXPECT_EQ(handles.size(), 5u) << "every loaded bitmap is its own object";
  for (uintptr_t bitmap : handles) {
    DeleteBitmap(bitmap);
  }
  EXPECT_EQ(LoadBitmapResource("OSCILLOSCOPE"), 0u);
  EXPECT_EQ(LoadBitmapResource(""), 0u);
  DeleteBitmap(0);  // harmless
}

}  // namespace
}  // namespace veltra::platform
