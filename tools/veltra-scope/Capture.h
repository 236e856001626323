#pragma once
// One measurement as the tool holds it: the settings the probe took it with (read back from the
// probe, so after its rounding) and the samples of each channel in volts.

#include <cstdint>
#include <string>
#include <vector>

#include "Quantity.h"

namespace veltra::scope {

struct ChannelRecord {
  int number = 1;          // 1-based, as the probe counts channels
  double range = 0.0;      // input range, volts full scale
  std::string coupling;    // "dc", "ac" or the probe's code as a number
  std::vector<double> volts;
};

struct AcquisitionSettings {
  double sampleFrequency = 0.0;  // Hz
  uint32_t recordLength = 0;     // samples per channel
  uint32_t postSamples = 0;      // samples after the trigger point
  int resolution = 0;            // bits
  TriggerSetting trigger;
  int32_t timeoutMs = 0;         // trigger time-out, -1 waits for ever

  // Index of the trigger point in the record: the samples before it are the pre-trigger part.
  uint32_t TriggerIndex() const { return recordLength > postSamples ? recordLength - postSamples : 0; }
  // Time of sample i in seconds, 0 at the trigger point.
  double TimeOf(uint32_t index) const {
    return (static_cast<double>(index) - static_cast<double>(TriggerIndex())) / sampleFrequency;
  }
};

struct Capture {
  AcquisitionSettings settings;
  bool triggered = false;  // false when the time-out took the record, or no trigger was set
  std::vector<ChannelRecord> channels;
};

}  // namespace veltra::scope
