#pragma once
// Simulated probes published as devices of the driver's interface class: the programming
// interface through which tests and tools plug them in, configure them and pull them out again.
//
// Plugging a probe in registers it with the platform's device registry (an arrival); every device
// file opened on its path is a client that speaks the driver protocol with it. Unplugging removes
// it (a removal): calls on files still open on it fail from then on.
//
// When the library loads, VELTRA_SIMULATE (see SimulateConfig.h) plugs in the probes it names.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimDevice.h"

namespace veltra::sim {

class SimulatedProbe {
 public:
  ~SimulatedProbe();
  SimulatedProbe(const SimulatedProbe&) = delete;
  SimulatedProbe& operator=(const SimulatedProbe&) = delete;

  const std::string& Path() const;
  const DeviceConfig& Config() const;
  uint32_t ChannelCount() const;
  bool Plugged() const;
  // Files open on the probe.
  int64_t OpenCount() const;

  // The input of a channel (0-based); takes effect from the next record on.
  void SetSignal(uint32_t channel, const SignalSpec& signal);
  SignalSpec Signal(uint32_t channel) const;
  // Instant timing: records complete as fast as the host can.
  void SetInstant(bool instant);

  // Pulls the probe out. Also done when the last reference goes.
  void Unplug();

 private:
  friend std::shared_ptr<SimulatedProbe> Plug(const DeviceConfig& config);
  SimulatedProbe() = default;

  std::shared_ptr<SimDevice> device_;
  uint64_t registration_ = 0;
};

// Plugs in a new probe; its device path is unique in the process.
std::shared_ptr<SimulatedProbe> Plug(const DeviceConfig& config);

// The probes VELTRA_SIMULATE plugged in when the library loaded (they stay until the process
// ends or they are unplugged).
std::vector<std::shared_ptr<SimulatedProbe>> ProbesFromEnvironment();

}  // namespace veltra::sim
