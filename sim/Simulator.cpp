#include "sim/Simulator.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/Platform.h"
#include "sim/SimulateConfig.h"

namespace veltra::sim {

namespace {

// One open device file.
class Session final : public platform::DeviceSession {
 public:
  Session(std::shared_ptr<SimDevice> device, uint64_t client)
      : device_(std::move(device)), client_(client) {}
  ~Session() override { device_->CloseClient(client_); }

  bool IoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned) override {
    return device_->IoControl(client_, code, in, inSize, out, outSize, returned);
  }

 private:
  std::shared_ptr<SimDevice> device_;
  uint64_t client_;
};

class Provider final : public platform::DeviceProvider {
 public:
  explicit Provider(std::shared_ptr<SimDevice> device) : device_(std::move(device)) {}

  std::unique_ptr<platform::DeviceSession> Open() override {
    const uint64_t client = device_->OpenClient();
    if (client == 0) return nullptr;
    return std::make_unique<Session>(device_, client);
  }

 private:
  std::shared_ptr<SimDevice> device_;
};

std::string NextDevicePath() {
  static std::atomic<uint32_t> instances{0};
  char path[96];
  std::snprintf(path, sizeof path,
                "\\\\?\\root#veltrasim#%04u#{4b29ce9d-7c1e-4c5f-b196-67c75b256c47}",
                static_cast<unsigned>(instances++));
  return path;
}

struct EnvironmentProbes {
  std::mutex mutex;
  std::vector<std::shared_ptr<SimulatedProbe>> probes;
};

EnvironmentProbes& Environment() {
  // Never destroyed: the probes live as long as the process, without a destructor that could
  // run after the platform's own state is gone.
  static auto* probes = new EnvironmentProbes;
  return *probes;
}

// Plugs in what VELTRA_SIMULATE asks for, once, when the library loads. No thread starts here:
// the probes start theirs when a client opens them.
const bool kEnvironmentRead = [] {
  const char* text = std::getenv("VELTRA_SIMULATE");
  if (text == nullptr) return true;
  const SimulateRequest request = ParseSimulate(text);
  for (const std::string& error : request.errors) std::fprintf(stderr, "%s\n", error.c_str());
  EnvironmentProbes& environment = Environment();
  std::lock_guard lock(environment.mutex);
  for (const DeviceConfig& config : request.devices) environment.probes.push_back(Plug(config));
  return true;
}();

}  // namespace

SimulatedProbe::SimulatedProbe(const DeviceConfig& config) : config_(config) {
  if (config.RemovesItself()) {
    schedule_ = std::make_unique<FaultSchedule>(
        config.unplugSeconds, config.replugSeconds,
        FaultSchedule::Actions{[this] { return RemoveByItself(); }, [this] { Replug(); }});
  }
}

SimulatedProbe::~SimulatedProbe() {
  Unplug();
  schedule_.reset();  // waits for an action under way, which finds the probe pulled out
}

std::string SimulatedProbe::Path() const {
  std::lock_guard lock(mutex_);
  return device_->Path();
}

const DeviceConfig& SimulatedProbe::Config() const { return config_; }
uint32_t SimulatedProbe::ChannelCount() const { return ChannelCountOf(config_.preset); }

bool SimulatedProbe::Plugged() const {
  std::lock_guard lock(mutex_);
  return registration_ != 0;
}

int64_t SimulatedProbe::OpenCount() const {
  std::lock_guard lock(mutex_);
  return device_->OpenCount();
}

void SimulatedProbe::SetSignal(uint32_t channel, const SignalSpec& signal) {
  std::lock_guard lock(mutex_);
  device_->SetSignal(channel, signal);
}

SignalSpec SimulatedProbe::Signal(uint32_t channel) const {
  std::lock_guard lock(mutex_);
  return device_->Signal(channel);
}

void SimulatedProbe::SetInstant(bool instant) {
  std::lock_guard lock(mutex_);
  device_->SetInstant(instant);
}

void SimulatedProbe::Unplug() {
  std::lock_guard lock(mutex_);
  pulledByHand_ = true;
  if (schedule_) schedule_->Cancel();
  UnplugLocked();
}

void SimulatedProbe::UnplugLocked() {
  if (registration_ == 0) return;
  device_->Removed();
  platform::UnregisterDevice(registration_);
  registration_ = 0;
}

bool SimulatedProbe::RemoveByItself() {
  std::lock_guard lock(mutex_);
  if (pulledByHand_) return false;
  UnplugLocked();
  return true;
}

void SimulatedProbe::Replug() {
  std::lock_guard lock(mutex_);
  if (pulledByHand_) return;
  // The same probe with the same signals at its tip; it does not go by itself a second time.
  DeviceConfig again = config_;
  again.unplugSeconds.reset();
  again.unplugRecords.reset();
  again.replugSeconds.reset();
  again.instant = device_->Instant();
  again.signals.clear();
  for (uint32_t channel = 0; channel < device_->ChannelCount(); ++channel) {
    again.signals.push_back(device_->Signal(channel));
  }
  PlugInstanceLocked(again);
}

void SimulatedProbe::PlugInstanceLocked(const DeviceConfig& config) {
  device_ = std::make_shared<SimDevice>(config, NextDevicePath());
  if (config.RemovesItself()) {
    device_->SetListener([schedule = schedule_.get()](SimDevice::Event event) {
      if (event == SimDevice::Event::kFirstOpened) {
        schedule->FirstOpened();
      } else {
        schedule->RecordLimitReached();
      }
    });
  }
  registration_ = platform::RegisterDevice(kDriverInterfaceClass, device_->Path(),
                                           std::make_shared<Provider>(device_));
}

std::shared_ptr<SimulatedProbe> Plug(const DeviceConfig& config) {
  std::shared_ptr<SimulatedProbe> probe(new SimulatedProbe(config));
  std::lock_guard lock(probe->mutex_);
  probe->PlugInstanceLocked(config);
  return probe;
}

std::vector<std::shared_ptr<SimulatedProbe>> ProbesFromEnvironment() {
  EnvironmentProbes& environment = Environment();
  std::lock_guard lock(environment.mutex);
  return environment.probes;
}

}  // namespace veltra::sim
