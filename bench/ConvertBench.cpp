// ConvertData throughput for the conversions an instrument makes, each next to a memcpy of the
// same number of doubles (the output of the code-to-double conversions, the input of
// double-to-code), and the ratio of the two times.
//
//   bench_convert [--sse2] [--benchmark_filter=...]   prints Google Benchmark's table, then the
//   ratios; --sse2 measures the SSE2 loops where the processor would allow wider ones.
//
// On a busy machine the memcpy of 1 Mi doubles (8 MiB, beyond the second-level cache) varies with
// what other processes do to the shared cache; repeated, randomly interleaved runs keep that from
// weighing on one benchmark more than another: --benchmark_repetitions=15
// --benchmark_enable_random_interleaving=true (the ratios are of the medians).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "util/ConvertData.h"
#include "util/ConvertKernels.h"
#include "util/DataTypes.h"

namespace {

using veltra::ConvertData;

constexpr int64_t kSizes[] = {64 << 10, 1 << 20, 16 << 20};

// A measured signal: a sine over `scale` of full scale (90% or a quiet 0.5%) with a few codes of
// noise.
std::vector<uint16_t> SignalCodes(size_t n, double scale) {
  std::vector<uint16_t> codes(n);
  std::mt19937 random(1);
  std::uniform_int_distribution<int> noise(-8, 8);
  for (size_t i = 0; i < n; ++i) {
    const double phase = 2 * M_PI * static_cast<double>(i) / 4096.0;
    codes[i] = static_cast<uint16_t>(32768 + std::lround(32768 * scale * std::sin(phase)) + noise(random));
  }
  return codes;
}

struct Case {
  const char* name;
  uint32_t from;
  uint32_t to;
  double min;
  double max;
  double scale = 0.9;
};

const Case kCases[] = {
    {"uint16->double +-2V", veltra::DT_ARRAY_UINT16, veltra::DT_ARRAY_DOUBLE, -2, 2},
    {"uint16->double +-0.2V", veltra::DT_ARRAY_UINT16, veltra::DT_ARRAY_DOUBLE, -0.2, 0.2},
    {"double->uint16 +-2V", veltra::DT_ARRAY_DOUBLE, veltra::DT_ARRAY_UINT16, -2, 2},
    {"double->uint16 +-0.2V", veltra::DT_ARRAY_DOUBLE, veltra::DT_ARRAY_UINT16, -0.2, 0.2},
    {"uint8->double +-2V", veltra::DT_ARRAY_UINT8, veltra::DT_ARRAY_DOUBLE, -2, 2},
    {"uint8->double +-0.2V", veltra::DT_ARRAY_UINT8, veltra::DT_ARRAY_DOUBLE, -0.2, 0.2},
    {"uint32->double +-2V", veltra::DT_ARRAY_UINT32, veltra::DT_ARRAY_DOUBLE, -2, 2},
    {"uint32->double +-0.2V", veltra::DT_ARRAY_UINT32, veltra::DT_ARRAY_DOUBLE, -0.2, 0.2},
    // Values close to 0 over ranges that cross it are the hardest to convert exactly.
    {"uint16->double +-0.2V quiet", veltra::DT_ARRAY_UINT16, veltra::DT_ARRAY_DOUBLE, -0.2, 0.2,
     0.005},
    {"uint32->double +-0.2V quiet", veltra::DT_ARRAY_UINT32, veltra::DT_ARRAY_DOUBLE, -0.2, 0.2,
     0.005},
};

// The source samples of a case, in its source type.
std::vector<unsigned char> Source(const Case& c, size_t n) {
  const std::vector<uint16_t> codes = SignalCodes(n, c.scale);
  std::vector<unsigned char> bytes(n * static_cast<size_t>(veltra::DataTypeSize(c.from)));
  if (c.from == veltra::DT_ARRAY_UINT16) {
    std::memcpy(bytes.data(), codes.data(), bytes.size());
  } else {
    // Codes of the other types come from the same signal; doubles are the codes' own values.
    ConvertData(codes.data(), bytes.data(), veltra::DT_ARRAY_UINT16, c.from, n, c.min, c.max);
  }
  return bytes;
}

void BM_Convert(benchmark::State& state, const Case& c) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<unsigned char> source = Source(c, n);
  std::vector<unsigned char> destination(n * static_cast<size_t>(veltra::DataTypeSize(c.to)), 1);
  for (auto _ : state) {
    ConvertData(source.data(), destination.data(), c.from, c.to, n, c.min, c.max);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Memcpy(benchmark::State& state) {
  const auto bytes = static_cast<size_t>(state.range(0)) * sizeof(double);
  std::vector<unsigned char> source(bytes, 2);
  std::vector<unsigned char> destination(bytes, 1);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), bytes);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Keeps each benchmark's CPU time per iteration (the median when repeated), to print the ratios
// after the table. CPU time, because on a shared machine wall time also counts other processes.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[name] = run.GetAdjustedCPUTime();
      } else if (run.run_type == Run::RT_Iteration) {
        times_[name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("\nConvertData time / memcpy time of the same number of doubles\n");
    std::printf("%-30s %10s %10s %10s\n", "conversion", "64 Ki", "1 Mi", "16 Mi");
    for (const Case& c : kCases) {
      std::printf("%-30s", c.name);
      for (int64_t size : kSizes) {
        const auto convert = Time(std::string("convert/") + c.name + "/" + std::to_string(size));
        const auto copy = Time("memcpy/" + std::to_string(size));
        if (convert && copy) {
          std::printf(" %9.2fx", *convert / *copy);
        } else {
          std::printf(" %10s", "-");
        }
      }
      std::printf("\n");
    }
  }

 private:
  std::optional<double> Time(const std::string& name) const {
    if (const auto median = medians_.find(name); median != medians_.end()) return median->second;
    if (const auto time = times_.find(name); time != times_.end()) return time->second;
    return std::nullopt;
  }

  std::map<std::string, double> times_;
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  bool wide = true;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--sse2") {
      wide = false;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  std::printf("vector loops: %s\n", veltra::convert::UseWiderVectors(wide) ? "AVX2" : "SSE2");
  for (int64_t size : kSizes) {
    benchmark::RegisterBenchmark("memcpy", BM_Memcpy)->Arg(size);
    for (const Case& c : kCases) {
      benchmark::RegisterBenchmark((std::string("convert/") + c.name).c_str(),
                                   [&c](benchmark::State& state) { BM_Convert(state, c); })
          ->Arg(size);
    }
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
