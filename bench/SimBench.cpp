// Generate-and-quantise rate of the simulated probe next to a memcpy of the same output bytes.
// The counter `vs_memcpy` is the generator's rate divided by memcpy's, both measured in this run
// over the same buffers (the fastest of a few runs each); the simulator must not dominate a
// measurement of the library, so it should stay at 0.1 or above.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "sim/SampleGenerator.h"

namespace {

using veltra::sim::Quantisation;
using veltra::sim::SampleStream;
using veltra::sim::SignalSpec;

// Seconds of the fastest of a few runs of `work`.
template <class Work>
double BestSeconds(Work work) {
  double best = 1e9;
  for (int round = 0; round < 7; ++round) {
    const auto start = std::chrono::steady_clock::now();
    work();
    benchmark::ClobberMemory();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

template <class Code>
void Generate(benchmark::State& state, SignalSpec signal, uint32_t resolution) {
  const size_t count = static_cast<size_t>(state.range(0));
  std::vector<Code> out(count);
  std::vector<Code> copy(count);
  const Quantisation quantisation{2.0, resolution, false};
  const SampleStream stream(signal, quantisation, 1e6, 0, 0, 1);
  uint64_t offset = 0;
  for (auto _ : state) {
    stream.Fill(offset, out.data(), count);
    benchmark::DoNotOptimize(out.data());
    offset += count;
  }
  const size_t bytes = count * sizeof(Code);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  const double generate = BestSeconds([&] { stream.Fill(0, out.data(), count); });
  const double copying = BestSeconds([&] { std::memcpy(copy.data(), out.data(), bytes); });
  state.counters["vs_memcpy"] = copying / std::max(generate, 1e-12);
}

void BM_Memcpy(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(state.range(0)) * 2;
  std::vector<char> source(bytes, 1);
  std::vector<char> target(bytes);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_SineNoise14Bit(benchmark::State& state) {
  SignalSpec signal;
  signal.frequency = 12345.0;
  signal.amplitude = 1.5;
  signal.noise = 0.01;
  Generate<uint16_t>(state, signal, 14);
}

void BM_Square16Bit(benchmark::State& state) {
  SignalSpec signal;
  signal.waveform = veltra::sim::Waveform::kSquare;
  signal.amplitude = 1.0;
  Generate<uint16_t>(state, signal, 16);
}

void BM_Sine8Bit(benchmark::State& state) {
  SignalSpec signal;
  signal.amplitude = 1.0;
  Generate<uint8_t>(state, signal, 8);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(1 << 20)->Arg(1 << 24);
BENCHMARK(BM_SineNoise14Bit)->Arg(1 << 20)->Arg(1 << 24);
BENCHMARK(BM_Square16Bit)->Arg(1 << 20)->Arg(1 << 24);
BENCHMARK(BM_Sine8Bit)->Arg(1 << 20)->Arg(1 << 24);

BENCHMARK_MAIN();
