// The probes VELTRA_SIMULATE plugs in as the program loads, faults included. The test's
// environment sets "probe:serial=4242,connections=0,info=short;probe:serial=4243,unplug=50m": the
// faults that need a live probe on one, the removal, whose clock no test can outrun, on the other.

#include <gtest/gtest.h>

#include "DeviceChanges.h"
#include "ProtocolClient.h"
#include "sim/Simulator.h"

namespace veltra::sim {
namespace {

TEST(SimEnvironment, TheProbesComeWithTheirFaults) {
  const std::vector<std::shared_ptr<SimulatedProbe>> probes = ProbesFromEnvironment();
  ASSERT_EQ(probes.size(), 2u);
  const std::string refusing = probes[0]->Path();
  const std::string leaving = probes[1]->Path();
  test::DeviceChanges changes;
  // Loading started no clock: the probe stays until it is opened, twice its time and more.
  EXPECT_FALSE(changes.WaitFor([&] { return changes.Removed(leaving); }, 100));
  EXPECT_TRUE(test::Listed(leaving));

  test::ProtocolClient client(refusing);
  ASSERT_TRUE(client.IsOpen());
  const std::optional<DeviceInfoRecord> info = client.Info();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->serialNumber, 4242u);
  EXPECT_EQ(info->size, kShortInfoSize);
  EXPECT_FALSE(client.Connect());

  test::ProtocolClient opened(leaving);
  ASSERT_TRUE(opened.IsOpen());
  ASSERT_TRUE(changes.WaitFor([&] { return changes.Removed(leaving); }, test::kPatience));
  EXPECT_FALSE(opened.Info().has_value());
  EXPECT_TRUE(client.Info().has_value()) << "the other probe stays";
}

}  // namespace
}  // namespace veltra::sim
