#pragma once
// The trigger source numbers of the exports: each selects a pair of masks (OR and AND) of trigger
// sources; bit k below 58 stands for channel k + 1, bits 58-63 for the other trigger inputs.

#include <array>
#include <cstdint>

namespace veltra::api {

struct TSourceRow {
  bool valid;
  uint64_t orMask;
  uint64_t andMask;
};

inline constexpr std::array<TSourceRow, 15> kTriggerSources = {{
    {true, 0x1, 0},                   // 0 channel 1
    {true, 0x2, 0},                   // 1 channel 2
    {true, 0x4, 0},                   // 2 channel 3
    {true, 0x8, 0},                   // 3 channel 4
    {true, 0x8000000000000000, 0},    // 4
    {true, 0x4000000000000000, 0},    // 5
    {true, 0, 0x3},                   // 6 channels 1 and 2 together
    {true, 0x3, 0},                   // 7 channel 1 or channel 2
    {false, 0, 0},                    // 8
    {true, 0, 0},                     // 9 no source
    {false, 0, 0},                    // 10
    {true, 0x2000000000000000, 0},    // 11
    {true, 0x1000000000000000, 0},    // 12
    {true, 0x0400000000000000, 0},    // 13
    {true, 0x0800000000000000, 0},    // 14
}};

// What a source number reports when the masks match no row.
inline constexpr uint8_t kNoTriggerSource = 15;

}  // namespace veltra::api
