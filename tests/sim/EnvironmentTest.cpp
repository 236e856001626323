// The probes VELTRA_SIMULATE plugs in as the program loads, faults included. The test's
// environment sets "probe:serial=4242,unplug=50m,connections=0,info=short".

#include <gtest/gtest.h>

#include "DeviceChanges.h"
#include "ProtocolClient.h"
#include "sim/Simulator.h"

namespace veltra::sim {
namespace {

TEST(SimEnvironment, TheProbeComesWithItsFaults) {
  const std::vector<std::shared_ptr<SimulatedProbe>> probes = ProbesFromEnvironment();
  ASSERT_EQ(probes.size(), 1u);
  const std::shared_ptr<SimulatedProbe>& probe = probes[0];
  const std::string path = probe->Path();
  test::DeviceChanges changes;
  // Loading started no clock: the probe stays until it is opened, twice its time and more.
  EXPECT_FALSE(changes.WaitFor([&] { return changes.Removed(path); }, 100));
  EXPECT_TRUE(test::Listed(path));

  test::ProtocolClient client(path);
  ASSERT_TRUE(client.IsOpen());
  const std::optional<DeviceInfoRecord> info = client.Info();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->serialNumber, 4242u);
  EXPECT_EQ(info->size, kShortInfoSize);
  EXPECT_FALSE(client.Connect());
  ASSERT_TRUE(changes.WaitFor([&] { return changes.Removed(path); }, test::kPatience));
  EXPECT_FALSE(client.Info().has_value());
}

}  // namespace
}  // namespace veltra::sim
