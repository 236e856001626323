#pragma once
// What the driver-backed instrument's tests share: a simulated probe plugged in for the test, the
// instrument opened on its device path, a protocol client that reads the probe's settings on the
// wire, and waiting for the instrument's news while this thread processes its messages.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/DriverTriggerChannel.h"
#include "driver/DriverTriggerHW.h"
#include "sim/ProtocolClient.h"
#include "sim/Simulator.h"

namespace veltra::test {

using sim::test::kPatience;

// Processes this thread's messages until `done` holds; false when the patience runs out first.
template <class Predicate>
bool PumpUntil(Predicate done, uint32_t patienceMs = kPatience) {
  const double end = platform::HighResSeconds() + patienceMs / 1000.0;
  while (!done()) {
    if (platform::HighResSeconds() > end) return false;
    platform::WaitMessage(10);
    platform::PumpMessages();
  }
  return true;
}

// Records the change masks a settings object reports.
class ChangeRecorder {
 public:
  explicit ChangeRecorder(ISettings& settings) : settings_(settings) {
    settings_.AddChangeNotify(Handler());
  }
  ~ChangeRecorder() { settings_.RemoveChangeNotify(Handler()); }
  ChangeRecorder(const ChangeRecorder&) = delete;
  ChangeRecorder& operator=(const ChangeRecorder&) = delete;

  std::vector<uint32_t> masks;
  size_t Count(uint32_t bits) const;

 private:
  void OnChange(IInterface*, uint32_t mask) { masks.push_back(mask); }
  TSettingsChangeEvent Handler() {
    return TSettingsChangeEvent::Bind<&ChangeRecorder::OnChange>(this);
  }
  ISettings& settings_;
};

class DriverTest : public ::testing::Test {
 protected:
  // A probe with instant timing unless the configuration says otherwise.
  std::shared_ptr<sim::SimulatedProbe> PlugProbe(sim::DeviceConfig config = Instant());
  static sim::DeviceConfig Instant();
  // The instrument on the probe's path; fails the test when construction throws.
  ComPtr<TDriverTriggerHW> Open(const sim::SimulatedProbe& probe);
  static ComPtr<TDriverTriggerChannel> Channel(TDriverTriggerHW& hw, int32_t index);

  // Block-mode settings for a clean record: 12 bits at 1 MHz, `length` samples, range 2 V DC on
  // every channel, no auto-ranging.
  static void PrepareBlockRecord(TDriverTriggerHW& hw, int64_t length = 5000);
  // Starts and processes messages until the instrument reports a completed measurement.
  static bool Measure(TDriverTriggerHW& hw);

  void TearDown() override;

  std::vector<std::shared_ptr<sim::SimulatedProbe>> probes_;
};

}  // namespace veltra::test
