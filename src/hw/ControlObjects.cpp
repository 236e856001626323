#include "hw/ControlObjects.h"

#include <cmath>
#include <limits>

#include "hw/HWSettings.h"

namespace veltra {

int64_t TControlSettings::GetFrameInterval() { return ReadValue(*this, kControlFrameInterval); }

int64_t TControlSettings::GetControl8() { return ReadValue(*this, kControl8); }

int64_t TControlSettings::GetOpenCount() { return ReadValue(*this, kControlOpenCount); }

int64_t TControlSettings::GetControl32() { return ReadValue(*this, kControl32); }

HResult TControlSettings::SetLoading(uint32_t loading) {
  return SetValue(kControlLoading, loading);
}

HResult TControlSettings::SetFrameInterval(uint32_t milliseconds) {
  return SetValue(kControlFrameInterval, milliseconds);
}

HResult TControlSettings::SetControl8(uint32_t value) { return SetValue(kControl8, value); }

HResult TControlSettings::SetControl32(uint32_t value) { return SetValue(kControl32, value); }

bool TControlSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IControlSettings>(this, iid, object) || TCachedSettings::GetInterface(iid, object);
}

TControlDefaultSettings& ControlDefaultSettings() {
  static TControlDefaultSettings defaults;
  return defaults;
}

uint32_t FrameIntervalFromRate(double maxFrameRate) {
  if (!(maxFrameRate > 0.0)) return 0;  // also NaN
  const double interval = std::round(1000.0 / maxFrameRate);
  constexpr double kLargest = std::numeric_limits<uint32_t>::max();
  return interval >= kLargest ? std::numeric_limits<uint32_t>::max()
                              : static_cast<uint32_t>(interval);
}

}  // namespace veltra
