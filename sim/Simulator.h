#pragma once
// Simulated probes published as devices of the driver's interface class: the programming
// interface through which tests and tools plug them in, configure them and pull them out again.
//
// Plugging a probe in registers it with the platform's device registry (an arrival); every device
// file opened on its path is a client that speaks the driver protocol with it. Unplugging removes
// it (a removal): calls on files still open on it fail from then on.
//
// The configuration may ask the probe to go by itself (unplugSeconds, unplugRecords) and to come
// back (replugSeconds). Coming back, it is a new instance of the same probe: a new device path, the
// same serial number and signals, every setting at its default. A probe may be used from any
// thread.
//
// When the library loads, VELTRA_SIMULATE (see SimulateConfig.h) plugs in the probes it names.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/FaultSchedule.h"
#include "sim/SimDevice.h"

namespace veltra::sim {

class SimulatedProbe {
 public:
  ~SimulatedProbe();
  SimulatedProbe(const SimulatedProbe&) = delete;
  SimulatedProbe& operator=(const SimulatedProbe&) = delete;

  // The device path of the present instance (of the last one while the probe is out).
  std::string Path() const;
  // The configuration it was plugged in with.
  const DeviceConfig& Config() const;
  uint32_t ChannelCount() const;
  bool Plugged() const;
  // Files open on the present instance.
  int64_t OpenCount() const;

  // The input of a channel (0-based); takes effect from the next record on.
  void SetSignal(uint32_t channel, const SignalSpec& signal);
  SignalSpec Signal(uint32_t channel) const;
  // Instant timing: records complete as fast as the host can.
  void SetInstant(bool instant);

  // Pulls the probe out for good: a removal or second arrival still to come is called off. Also
  // done when the last reference goes.
  void Unplug();

 private:
  friend std::shared_ptr<SimulatedProbe> Plug(const DeviceConfig& config);
  explicit SimulatedProbe(const DeviceConfig& config);

  // Publishes a new instance made from `config`.
  void PlugInstanceLocked(const DeviceConfig& config);
  // The schedule's actions: false from RemoveByItself when the probe was already out.
  bool RemoveByItself();
  void Replug();
  void UnplugLocked();

  const DeviceConfig config_;
  mutable std::mutex mutex_;
  std::shared_ptr<SimDevice> device_;
  uint64_t registration_ = 0;
  bool pulledByHand_ = false;
  std::unique_ptr<FaultSchedule> schedule_;  // only when the configuration asks for a removal
};

// Plugs in a new probe; its device path is unique in the process.
std::shared_ptr<SimulatedProbe> Plug(const DeviceConfig& config);

// The probes VELTRA_SIMULATE plugged in when the library loaded (they stay until the process
// ends or they are unplugged).
std::vector<std::shared_ptr<SimulatedProbe>> ProbesFromEnvironment();

}  // namespace veltra::sim
