#pragma once
// The simulated probe's choices of sample frequency, range and resolution, and how it rounds a
// requested value to one of them. Values are in the identifiers' encodings: frequencies in 2^-24
// Hz, ranges in 2^-32 V.

#include <cstdint>
#include <span>
#include <vector>

namespace veltra::sim {

// Resolutions in bits, ascending.
std::span<const uint32_t> Resolutions();
// The resolution a request selects: the smallest not below it, at most the largest.
uint32_t RoundResolution(int64_t bits);

// The highest sample frequency at a resolution (2^-24 Hz): 50 MHz at 8 bits, 20 MHz at 12,
// 3.125 MHz at 14, 195.3125 kHz at 16.
int64_t MaxSampleFrequency(uint32_t resolution);
// The listed frequencies at a resolution: the maximum divided by 1, 2, 5, 10, 20, 50 ... down to
// 1 Hz; entry 0 is the maximum.
std::vector<int64_t> SampleFrequencies(uint32_t resolution);
// A frequency value in hertz.
inline double Hertz(int64_t frequency) { return static_cast<double>(frequency) / 16777216.0; }
// Any frequency the probe runs at is the maximum divided by an integer k, from 1 up to the k that
// still gives at least 1 Hz. A request selects the nearest such frequency.
int64_t RoundSampleFrequency(uint32_t resolution, int64_t requested);

// Input ranges (full scale) in ascending order: 0.2, 0.4, 0.8, 2, 4, 8, 20, 40, 80 V.
std::span<const int64_t> Ranges();
// The index of the range a request selects: the smallest range not below it, at most the largest.
size_t RoundRange(int64_t requested);

}  // namespace veltra::sim
