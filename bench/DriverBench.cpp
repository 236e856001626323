// The driver-backed instrument's hot paths against baselines measured in the same run, with the
// simulated probe in instant timing:
//   one measurement cycle of 5000 samples (start, the driver's notification, the samples in the
//   channel's source)                          vs  one send to a window of another thread;
//   moving a record of 128 Ki samples from the driver's buffer into the channel's source (the
//   channel's measurement-ready step)          vs  a memcpy of the output bytes.
// Each benchmark reports its ratio to the baseline as the counter `ratio` (the fastest of a few
// rounds of each, so that a busy machine weighs on both alike), and `allocs` counts the heap
// allocations per iteration in steady state.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>
#include <thread>
#include <vector>

#include "driver/DriverTriggerChannel.h"
#include "driver/DriverTriggerHW.h"
#include "sim/Simulator.h"

// Every allocation of the program is counted; the pair stays out of line, where the compiler
// takes the replacement for what it is.
namespace {

std::atomic<uint64_t> allocations{0};

[[gnu::noinline]] void* Allocate(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

[[gnu::noinline]] void Deallocate(void* p) noexcept { std::free(p); }

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Deallocate(p); }
void operator delete(void* p, size_t) noexcept { Deallocate(p); }

namespace veltra {
namespace {

constexpr int kRounds = 7;

// Seconds of one run of `work`, the fastest of a few rounds of `repeats` runs each.
template <class Work>
double BestSeconds(int repeats, Work work) {
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i) work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count() / repeats);
  }
  return best;
}

// A window on a thread of its own, answering every send.
class RemoteWindow {
 public:
  RemoteWindow() {
    std::promise<platform::WindowHandle> ready;
    thread_ = std::thread([&] {
      platform::MessageWindow window([&](uint32_t message, uintptr_t wParam, intptr_t) {
        quit_ = quit_ || message == kQuit;
        return static_cast<intptr_t>(wParam);
      });
      ready.set_value(window.Handle());
      while (!quit_) {
        platform::WaitMessage(platform::kInfinite);
        platform::PumpMessages();
      }
    });
    handle_ = ready.get_future().get();
  }
  ~RemoteWindow() {
    platform::PostMessageTo(handle_, kQuit);
    thread_.join();
  }
  RemoteWindow(const RemoteWindow&) = delete;
  RemoteWindow& operator=(const RemoteWindow&) = delete;

  void RoundTrip() { benchmark::DoNotOptimize(platform::SendMessageTo(handle_, kQuit - 1, 1)); }

 private:
  static constexpr uint32_t kQuit = platform::kWmUser + 99;
  std::thread thread_;
  platform::WindowHandle handle_ = 0;
  bool quit_ = false;  // the window's thread only
};

// An instrument on a fresh simulated probe, set for block records of `length` samples at
// `resolution` bits on range 2 V.
struct Bench {
  std::shared_ptr<sim::SimulatedProbe> probe;
  ComPtr<TDriverTriggerHW> hw;
  ComPtr<TDriverTriggerChannel> channel;
  uint64_t measurements = 0;

  Bench(int64_t length, uint32_t resolution) {
    sim::DeviceConfig config;
    config.instant = true;
    probe = sim::Plug(config);
    hw = MakeObject<TDriverTriggerHW>(probe->Path());
    const ComPtr<TCustomChannel> first = hw->ChannelObject(0);
    channel = ComPtr<TDriverTriggerChannel>(static_cast<TDriverTriggerChannel*>(first.Get()));
    hw->NextSettings().SetMode(2);
    hw->NextSettings().SetResolution(resolution);
    hw->NextSettings().SetDataSize(length);
    channel->NextSettings().SetAutoRanging(0);
    channel->NextSettings().SetRange(2.0);
    hw->CurSettings().AddChangeNotify(TSettingsChangeEvent::Bind<&Bench::OnChange>(this));
  }
  ~Bench() {
    hw->CurSettings().RemoveChangeNotify(TSettingsChangeEvent::Bind<&Bench::OnChange>(this));
    channel = nullptr;
    hw = nullptr;
    probe->Unplug();
  }
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  void OnChange(IInterface*, uint32_t mask) {
    if ((mask & HW_MREADY) != 0) ++measurements;
  }
  // Start, then this thread's messages until the samples are in the channel.
  void Measure() {
    const uint64_t before = measurements;
    hw->Start(1);
    while (measurements == before) {
      platform::WaitMessage(platform::kInfinite);
      platform::PumpMessages();
    }
  }
};

void BM_MeasurementCycle(benchmark::State& state) {
  Bench bench(5000, 8);
  bench.Measure();  // the first record sizes every buffer
  uint64_t allocated = 0;
  for (auto _ : state) {
    const uint64_t before = allocations.load();
    bench.Measure();
    allocated += allocations.load() - before;
  }
  const double cycle = BestSeconds(50, [&] { bench.Measure(); });
  RemoteWindow window;
  const double roundTrip = BestSeconds(2000, [&] { window.RoundTrip(); });
  state.counters["ratio"] = cycle / roundTrip;
  state.counters["allocs"] =
      static_cast<double>(allocated) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MeasurementCycle)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The channel's step for a completed measurement, run again on the record the probe still holds.
void BM_RecordIntoSource(benchmark::State& state) {
  constexpr int64_t kLength = 128 * 1024;
  Bench bench(kLength, static_cast<uint32_t>(state.range(0)));
  bench.Measure();
  const uint32_t measurement = bench.hw->LastMeasurement();
  const auto step = [&] { bench.channel->MeasurementReady(HW_MREADY, measurement); };
  step();
  if (bench.channel->Samples<double>().size() != static_cast<size_t>(kLength)) {
    state.SkipWithError("the record did not reach the channel");
    return;
  }
  uint64_t allocated = 0;
  for (auto _ : state) {
    const uint64_t before = allocations.load();
    step();
    allocated += allocations.load() - before;
    benchmark::ClobberMemory();
  }
  std::vector<double> source(kLength, 1.0);
  std::vector<double> target(kLength);
  const double moving = BestSeconds(20, step);
  const double copying = BestSeconds(20, [&] {
    std::memcpy(target.data(), source.data(), kLength * sizeof(double));
    benchmark::ClobberMemory();
  });
  state.counters["ratio"] = moving / copying;
  state.counters["allocs"] =
      static_cast<double>(allocated) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(state.iterations() * kLength * static_cast<int64_t>(sizeof(double)));
}
BENCHMARK(BM_RecordIntoSource)->Arg(8)->Arg(12)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veltra

BENCHMARK_MAIN();
