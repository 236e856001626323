#pragma once
// Turns a channel's input signal into the sample codes of a record.
//
// A sample stream is the signal as one channel sees it for one acquisition: the waveform sampled
// at the sample frequency from a starting phase, noise that depends only on the seed and the
// absolute sample number (so any stretch of the stream can be generated again and gives the same
// codes), AC coupling, and quantisation to the resolution over the channel's range. Codes are
// unsigned with the middle of the range at half scale: 8-bit resolution gives 8-bit codes (128 is
// 0 V); 12, 14 and 16 bits give 16-bit codes, the resolution's code in the upper bits (32768 is
// 0 V). Values beyond the range clip at the lowest and highest code.
//
// Periodic waveforms come from a phase accumulator (64-bit, one turn = 2^64) and a short
// polynomial; the loops are written so that the compiler turns them into vector code.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "sim/Signal.h"

namespace veltra::sim {

struct Quantisation {
  double range = 2.0;       // V full scale: codes span -range ... +range
  uint32_t resolution = 8;  // bits: 8, 12, 14 or 16
  bool acCoupled = false;   // AC coupling removes the signal's mean (its offset)

  // Bits of a code in the record: 8 up to 8 bits of resolution, else 16.
  uint32_t CodeBits() const { return resolution <= 8 ? 8 : 16; }
  // The code of a voltage (nearest step, clipped), in the record's code width.
  uint32_t CodeOf(double volts) const;
  // The voltage at the middle of a record code's step.
  double VoltsOf(uint32_t code) const;
};

// The phase step per sample of a frequency sampled at `sampleFrequency` (one turn = 2^64).
uint64_t PhaseStep(double frequency, double sampleFrequency);

class SampleStream {
 public:
  // `firstSample` is the absolute sample number of offset 0 (it selects the noise), `firstPhase`
  // the waveform's phase there.
  SampleStream(const SignalSpec& signal, const Quantisation& quantisation, double sampleFrequency,
               uint64_t firstSample, uint64_t firstPhase, uint64_t seed);

  // Codes of the samples at offsets [offset, offset + count) of the stream.
  void Fill(uint64_t offset, uint8_t* out, size_t count) const;
  void Fill(uint64_t offset, uint16_t* out, size_t count) const;

  // The waveform's phase at an offset, where the next acquisition continues.
  uint64_t PhaseAt(uint64_t offset) const { return firstPhase_ + offset * step_; }
  const Quantisation& Quant() const { return quantisation_; }
  // Samples per period of the waveform; 0 for a signal without period.
  double PeriodSamples() const { return periodSamples_; }

 private:
  template <class Code>
  void FillCodes(uint64_t offset, Code* out, size_t count) const;

  Quantisation quantisation_;
  uint64_t firstSample_;
  uint64_t firstPhase_;
  Waveform shape_ = Waveform::kDc;  // kDc: no periodic part
  uint64_t step_ = 0;
  std::array<float, 4> coefficients_{};  // of the waveform polynomial, in code steps
  float bias_ = 0.0f;                    // code of the offset, plus 0.5 for rounding
  std::shared_ptr<const void> noise_;    // the seed's noise tables; null without noise
  float noiseScale_ = 0.0f;              // code steps per unit of the tables' sum
  float maxCode_ = 0.0f;
  uint32_t shift_ = 0;  // resolution code to record code
  double periodSamples_ = 0.0;
  bool flat_ = false;  // every sample has the code `flatCode_`
  uint32_t flatCode_ = 0;
};

}  // namespace veltra::sim
