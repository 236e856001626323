#include "sim/SampleGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>

namespace veltra::sim {

// The generation loops are compiled once more for the wider vector units where the toolchain can
// pick the variant at load time (not under ThreadSanitizer, whose runtime is not up yet when the
// loader picks).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define VELTRA_VECTOR_CLONES \
  __attribute__((target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")))
#else
#define VELTRA_VECTOR_CLONES
#endif

namespace {

// Samples generated per pass; every pass takes its phase afresh from the 64-bit accumulator.
constexpr size_t kChunk = 1024;

// sin(pi/2 f) for f in [-1, 1] as near-minimax odd polynomials: degree 7 (error below 6e-7, a
// fiftieth of a 16-bit step) and, for resolutions up to 12 bits, degree 5 (error below 7e-5, a
// seventh of a 12-bit step).
constexpr double kSin7[] = {1.570791011, -0.6458928496, 0.07943434467, -0.004333095325};
constexpr double kSin5[] = {1.570320019, -0.6421131659, 0.0718608534, 0.0};

// Noise is the sum of two uniform values read from tables of coprime lengths at the sample number
// modulo each length: a triangular distribution that repeats only after 16381 * 16411 samples,
// read with plain vector loads. Each table has kChunk extra entries so that a pass never wraps.
constexpr uint32_t kNoiseLength1 = 16381;
constexpr uint32_t kNoiseLength2 = 16411;
constexpr double kNoiseSigma = 0.40824829046386302;  // sqrt(2/12)

struct NoiseTables {
  std::array<float, kNoiseLength1 + kChunk> first;
  std::array<float, kNoiseLength2 + kChunk> second;
};

constexpr uint32_t Mix32(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

template <size_t N>
void FillUniform(std::array<float, N>& table, uint32_t length, uint32_t key) {
  for (uint32_t i = 0; i < length; ++i) {
    table[i] = static_cast<float>(Mix32(i ^ key)) * 0x1p-32f - 0.5f;
  }
  std::copy_n(table.begin(), N - length, table.begin() + length);
}

// The tables of a seed; the few seeds in use are kept.
std::shared_ptr<const NoiseTables> NoiseTablesFor(uint64_t seed) {
  struct Entry {
    uint64_t seed;
    std::shared_ptr<const NoiseTables> tables;
  };
  static std::mutex mutex;
  static std::array<Entry, 8> cache;
  static size_t nextSlot = 0;
  const std::lock_guard lock(mutex);
  for (const Entry& entry : cache) {
    if (entry.tables && entry.seed == seed) return entry.tables;
  }
  auto tables = std::make_shared<NoiseTables>();
  const uint32_t key =
      Mix32(static_cast<uint32_t>(seed) ^ Mix32(static_cast<uint32_t>(seed >> 32)));
  FillUniform(tables->first, kNoiseLength1, key);
  FillUniform(tables->second, kNoiseLength2, Mix32(key + 0x9E3779B9u));
  cache[nextSlot] = Entry{seed, tables};
  nextSlot = (nextSlot + 1) % cache.size();
  return tables;
}

// The loop variants. Periodic waveforms are computed from the phase folded onto the rising
// quarter turns (-1 ... 1): the sine as an odd polynomial of it, the triangle as the folded phase
// itself, the square from the phase's sign.
enum class Shape { kNone, kSine7, kSine5, kSquare, kTriangle };

// What one pass needs.
struct Pass {
  uint32_t phase;        // phase of the first sample (upper 32 bits)
  uint32_t step;         // upper 32 bits of the step
  float k1, k3, k5, k7;  // the waveform polynomial in code steps (the amplitude for square waves)
  float bias;
  const float* noise1;  // the noise tables at this pass's first sample
  const float* noise2;
  float noiseScale;
  float maxCode;
  uint32_t shift;
};

// The pass is taken by value: stores through a byte pointer could otherwise alias it. One loop
// without branches per waveform and code width, so that it runs as vector code.
template <Shape kShape, bool kNoise, class Code>
VELTRA_VECTOR_CLONES void GeneratePass(const Pass pass, Code* out, size_t count) {
  uint32_t p = pass.phase;
  for (size_t i = 0; i < count; ++i, p += pass.step) {
    float x = pass.bias;
    if constexpr (kShape != Shape::kNone) {
      const float quarters = static_cast<float>(static_cast<int32_t>(p)) * 0x1p-30f;  // -2 ... 2
      if constexpr (kShape == Shape::kSquare) {
        x += std::copysign(pass.k1, quarters);
      } else {
        const float folded = std::copysign(1.0f - std::fabs(std::fabs(quarters) - 1.0f), quarters);
        const float r2 = folded * folded;
        if constexpr (kShape == Shape::kSine7) {
          x += folded * (pass.k1 + r2 * (pass.k3 + r2 * (pass.k5 + r2 * pass.k7)));
        } else if constexpr (kShape == Shape::kSine5) {
          x += folded * (pass.k1 + r2 * (pass.k3 + r2 * pass.k5));
        } else {
          x += folded * pass.k1;
        }
      }
    }
    if constexpr (kNoise) x += (pass.noise1[i] + pass.noise2[i]) * pass.noiseScale;
    x = std::min(std::max(x, 0.0f), pass.maxCode);
    const auto code = static_cast<uint32_t>(static_cast<int32_t>(x));
    out[i] = static_cast<Code>(code << pass.shift);
  }
}

template <Shape kShape, class Code>
void GeneratePassNoise(const Pass& pass, bool noise, Code* out, size_t count) {
  if (noise) {
    GeneratePass<kShape, true>(pass, out, count);
  } else {
    GeneratePass<kShape, false>(pass, out, count);
  }
}

template <class Code>
void GeneratePass(Shape shape, const Pass& pass, bool noise, Code* out, size_t count) {
  switch (shape) {
    case Shape::kSine7: GeneratePassNoise<Shape::kSine7>(pass, noise, out, count); break;
    case Shape::kSine5: GeneratePassNoise<Shape::kSine5>(pass, noise, out, count); break;
    case Shape::kSquare: GeneratePassNoise<Shape::kSquare>(pass, noise, out, count); break;
    case Shape::kTriangle: GeneratePassNoise<Shape::kTriangle>(pass, noise, out, count); break;
    case Shape::kNone: GeneratePassNoise<Shape::kNone>(pass, noise, out, count); break;
  }
}

}  // namespace
uint32_t Quantisation::CodeOf(double volts) const {
  const double half = std::ldexp(1.0, static_cast<int>(resolution) - 1);
  const double top = 2.0 * half - 1.0;
  const double code = std::clamp(std::floor(volts / range * half + half + 0.5), 0.0, top);
  return static_cast<uint32_t>(code) << (CodeBits() - resolution);
}

double Quantisation::VoltsOf(uint32_t code) const {
  const double half = std::ldexp(1.0, static_cast<int>(CodeBits()) - 1);
  return (static_cast<double>(code) - half) / half * range;
}

uint64_t PhaseStep(double frequency, double sampleFrequency) {
  if (!(sampleFrequency > 0.0) || !(frequency > 0.0)) return 0;
  const double turns = frequency / sampleFrequency;
  const double fraction = turns - std::floor(turns);
  const double step = std::ldexp(fraction, 64);
  return step >= 18446744073709551615.0 ? 0 : static_cast<uint64_t>(step);
}

SampleStream::SampleStream(const SignalSpec& signal, const Quantisation& quantisation,
                           double sampleFrequency, uint64_t firstSample, uint64_t firstPhase,
                           uint64_t seed)
    : quantisation_(quantisation), firstSample_(firstSample), firstPhase_(firstPhase) {
  const double half = std::ldexp(1.0, static_cast<int>(quantisation.resolution) - 1);
  const double codesPerVolt = half / quantisation.range;
  double offset = 0.0;
  double noiseRms = 0.0;
  if (signal.connected) {
    offset = quantisation.acCoupled ? 0.0 : signal.offset;
    noiseRms = signal.noise;
    if (signal.waveform == Waveform::kNoise) {
      noiseRms = std::hypot(signal.amplitude, signal.noise);
    } else if (signal.waveform != Waveform::kDc && signal.amplitude != 0.0) {
      shape_ = signal.waveform;
      step_ = PhaseStep(signal.frequency, sampleFrequency);
      periodSamples_ = signal.frequency > 0.0 ? sampleFrequency / signal.frequency : 0.0;
    }
  }
  const double gain = signal.amplitude * codesPerVolt;
  if (shape_ == Waveform::kSine) {
    const double* sine = quantisation.resolution <= 12 ? kSin5 : kSin7;
    for (size_t i = 0; i < coefficients_.size(); ++i) {
      coefficients_[i] = static_cast<float>(gain * sine[i]);
    }
  } else if (shape_ != Waveform::kDc) {
    coefficients_[0] = static_cast<float>(gain);
  }
  bias_ = static_cast<float>(offset * codesPerVolt + half + 0.5);
  if (noiseRms > 0.0) {
    noise_ = NoiseTablesFor(seed);
    noiseScale_ = static_cast<float>(noiseRms * codesPerVolt / kNoiseSigma);
  }
  maxCode_ = static_cast<float>(2.0 * half - 1.0);
  shift_ = quantisation.CodeBits() - quantisation.resolution;
  flat_ = shape_ == Waveform::kDc && !noise_;
  flatCode_ = quantisation.CodeOf(offset);
}

void SampleStream::Fill(uint64_t offset, uint8_t* out, size_t count) const {
  FillCodes(offset, out, count);
}

void SampleStream::Fill(uint64_t offset, uint16_t* out, size_t count) const {
  FillCodes(offset, out, count);
}

template <class Code>
void SampleStream::FillCodes(uint64_t offset, Code* out, size_t count) const {
  if (flat_) {
    std::fill(out, out + count, static_cast<Code>(flatCode_));
    return;
  }
  const auto* tables = static_cast<const NoiseTables*>(noise_.get());
  Pass pass{};
  pass.step = static_cast<uint32_t>(step_ >> 32);
  pass.k1 = coefficients_[0];
  pass.k3 = coefficients_[1];
  pass.k5 = coefficients_[2];
  pass.k7 = coefficients_[3];
  pass.bias = bias_;
  pass.noiseScale = noiseScale_;
  pass.maxCode = maxCode_;
  pass.shift = shift_;
  const Shape shape = shape_ == Waveform::kSine
                          ? (quantisation_.resolution <= 12 ? Shape::kSine5 : Shape::kSine7)
                      : shape_ == Waveform::kSquare   ? Shape::kSquare
                      : shape_ == Waveform::kTriangle ? Shape::kTriangle
                                                      : Shape::kNone;
  while (count > 0) {
    // Passes cover the stream in aligned blocks of kChunk samples. Within a block the phase
    // advances by the upper half of the step only (the lost lower half stays below 2^-22 turns),
    // and every block starts from the exact accumulator, so a sample's code depends on its offset
    // alone, however the stream is cut into calls.
    const uint64_t blockStart = offset - offset % kChunk;
    const auto intoBlock = static_cast<uint32_t>(offset - blockStart);
    const size_t n = std::min<size_t>(count, kChunk - intoBlock);
    pass.phase = static_cast<uint32_t>(PhaseAt(blockStart) >> 32) + intoBlock * pass.step;
    if (tables != nullptr) {
      const uint64_t sample = firstSample_ + offset;
      pass.noise1 = tables->first.data() + sample % kNoiseLength1;
      pass.noise2 = tables->second.data() + sample % kNoiseLength2;
    }
    GeneratePass(shape, pass, tables != nullptr, out, n);
    offset += n;
    out += n;
    count -= n;
  }
}

}  // namespace veltra::sim
