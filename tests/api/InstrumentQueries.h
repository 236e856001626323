#pragma once
// The instrument's state as an application sees it through the exports.

#include <cstdint>

#include "veltra/veltra.h"

namespace veltra::test {

inline bool HasInstrument() {
  uint16_t channels = 0;
  return GetNrChannels(&channels) == STATUS_OK;
}

// 0 without an instrument.
inline uint16_t ChannelCount() {
  uint16_t channels = 0;
  return GetNrChannels(&channels) == STATUS_OK ? channels : 0;
}

// 0 without an instrument.
inline uint32_t Serial() {
  uint32_t serial = 0;
  return GetSerialNumber(&serial) == STATUS_OK ? serial : 0;
}

}  // namespace veltra::test
