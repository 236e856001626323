// The platform's hot paths against baselines in the same run:
//   a control call through a registry device file   vs  the same session called directly;
//   a Send to a window of another thread            vs  a Send on the owning thread.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include "platform/Platform.h"

namespace veltra::platform {
namespace {

// Copies a set record's worth of bytes, as a driver's set call does.
class CopySession : public DeviceSession {
 public:
  bool IoControl(uint32_t, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned) override {
    *returned = std::min(inSize, outSize);
    std::memcpy(out, in, *returned);
    return true;
  }
};

class CopyProvider : public DeviceProvider {
 public:
  std::unique_ptr<DeviceSession> Open() override { return std::make_unique<CopySession>(); }
};

const Guid kBenchClass = Guid::Parse("{0B7E5C11-2A44-4D0F-8E55-6A1D00000001}");

void BM_SessionDirect(benchmark::State& state) {
  const std::unique_ptr<DeviceSession> owned = CopyProvider().Open();
  DeviceSession* session = owned.get();
  benchmark::DoNotOptimize(session);  // a virtual call, as the registry makes it
  uint8_t in[24] = {1, 2, 3};
  uint8_t out[24];
  uint32_t returned = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        session->IoControl(0x222400, in, sizeof in, out, sizeof out, &returned));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SessionDirect);

void BM_RegistryFileIoControl(benchmark::State& state) {
  const DeviceId device =
      RegisterDevice(kBenchClass, "\\\\?\\bench#copy", std::make_shared<CopyProvider>());
  DeviceFile file = DeviceFile::Open("\\\\?\\bench#copy");
  uint8_t in[24] = {1, 2, 3};
  uint8_t out[24];
  uint32_t returned = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(file.IoControl(0x222400, in, sizeof in, out, sizeof out, &returned));
    benchmark::ClobberMemory();
  }
  file.Close();
  UnregisterDevice(device);
}
BENCHMARK(BM_RegistryFileIoControl);

void BM_SendSameThread(benchmark::State& state) {
  MessageWindow window(
      [](uint32_t, uintptr_t wParam, intptr_t) { return static_cast<intptr_t>(wParam); });
  uintptr_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(window.Send(kWmUser + 10, ++i));
  }
}
BENCHMARK(BM_SendSameThread);

void BM_SendOtherThread(benchmark::State& state) {
  constexpr uint32_t kQuit = kWmUser + 99;
  std::promise<WindowHandle> ready;
  std::thread owner([&] {
    bool quit = false;
    MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t) {
      quit = quit || message == kQuit;
      return static_cast<intptr_t>(wParam);
    });
    ready.set_value(window.Handle());
    while (!quit) {
      WaitMessage(kInfinite);
      PumpMessages();
    }
  });
  const WindowHandle handle = ready.get_future().get();
  uintptr_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SendMessageTo(handle, kWmUser + 10, ++i));
  }
  PostMessageTo(handle, kQuit);
  owner.join();
}
BENCHMARK(BM_SendOtherThread)->UseRealTime();

}  // namespace
}  // namespace veltra::platform

BENCHMARK_MAIN();
