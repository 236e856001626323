// Acquisition settings: resolution, enabled channels, record length, post samples, sample
// frequency, clock source and transfer mode. All of them act on the instrument's Next settings.

#include <cmath>

#include "api/ExportFrame.h"
#include "hw/HWEncoding.h"
#include "hw/TrigInterface.h"

using namespace veltra;
using namespace veltra::api;

namespace {

constexpr size_t kListEntries = 20;  // entries of the caller's resolution array
constexpr uint32_t kMaskChannels = 8;

IInstrumentSettings& Next(IInstrument& instrument) { return Must(instrument.GetNextSettings()); }

IChannelSettings& NextOf(IChannel& channel) { return Must(channel.GetNextSettings()); }

// round(f + 1e-8): a frequency a hair below an integer is reported as that integer.
uint32_t RoundedFrequency(double hertz) { return static_cast<uint32_t>(RoundToInt64(hertz + 1e-8)); }

// Sets the sample frequency from the caller's variable and writes back, as `report` gives it, the
// frequency the instrument chose.
template <class T, class Report>
VeltraStatus SetFrequencyInOut(T* hertz, Report report) {
  auto instrument = GlobalInstrument();
  if (!instrument) return STATUS_NO_INSTRUMENT;
  if (!hertz || !std::isfinite(static_cast<double>(*hertz))) return STATUS_INVALID_VALUE;
  IInstrumentSettings& next = Next(*instrument);
  next.SetSampleFrequency(static_cast<double>(*hertz));
  return Deliver(hertz, report(next.GetSampleFrequency()));
}

}  // namespace

extern "C" {

VeltraStatus VELTRA_CALL GetResolution(uint8_t* bits) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    return Deliver(bits, static_cast<uint8_t>(Next(*instrument).GetResolution()));
  });
}

VeltraStatus VELTRA_CALL SetResolution(uint8_t bits) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    IInstrumentSettings& next = Next(*instrument);
    next.SetResolution(bits);
    return next.GetResolution() == bits ? STATUS_OK : STATUS_INVALID_VALUE;
  });
}

VeltraStatus VELTRA_CALL GetAvailableResolutions(double* resolutions) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    if (resolutions) std::fill_n(resolutions, kListEntries, 0.0);
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    IInstrumentSettings& next = Next(*instrument);
    constexpr int64_t kListed = HW_RESOLUTIONS | HW_RESOLUTIONCOUNT;
    if ((next.GetSupportsGet() & kListed) != kListed) return STATUS_NOT_SUPPORTED;
    if (!resolutions) return STATUS_INVALID_VALUE;
    const int64_t count = std::min<int64_t>(next.GetResolutionCount(), kListEntries);
    for (int32_t i = 0; i < count; ++i) {
      resolutions[i] = static_cast<double>(next.GetResolutions(i));
    }
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetMeasureMode(uint8_t* mask) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    Preset(mask, 0);
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    const uint32_t channels = std::min<uint32_t>(instrument->GetChannelCount(), kMaskChannels);
    uint32_t enabled = 0;
    for (uint32_t n = 1; n <= channels; ++n) {
      if (NextOf(Must(ChannelByNumber(*instrument, n))).GetEnabled() != 0) enabled |= 1u << (n - 1);
    }
    return Deliver(mask, enabled);
  });
}

VeltraStatus VELTRA_CALL SetMeasureMode(uint8_t mask) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    const uint32_t channels = std::min<uint32_t>(instrument->GetChannelCount(), kMaskChannels);
    for (uint32_t n = 1; n <= channels; ++n) {
      const bool on = (mask & (1u << (n - 1))) != 0;
      NextOf(Must(ChannelByNumber(*instrument, n))).SetEnabled(on ? -1 : 0);
    }
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetChEnabled(uint16_t channel, uint8_t* enabled) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    Preset(enabled, 0);
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    auto ch = ChannelByNumber(*instrument, channel);
    if (!ch) return STATUS_INVALID_CHANNEL;
    return Deliver(enabled, NextOf(*ch).GetEnabled() != 0 ? 1 : 0);
  });
}

VeltraStatus VELTRA_CALL SetChEnabled(uint16_t channel, uint8_t enabled) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    auto ch = ChannelByNumber(*instrument, channel);
    if (!ch) return STATUS_INVALID_CHANNEL;
    NextOf(*ch).SetEnabled(enabled != 0 ? -1 : 0);
    return STATUS_OK;
  });
}

uint32_t VELTRA_CALL GetRecordLength(void) {
  return Guarded(0u, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return 0u;
    return static_cast<uint32_t>(Next(*instrument).GetDataSize());
  });
}

VeltraStatus VELTRA_CALL SetRecordLength(uint32_t samples) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    IInstrumentSettings& next = Next(*instrument);
    if (samples > next.GetDataSizeMax()) return STATUS_INVALID_VALUE;
    next.SetDataSize(samples);
    return STATUS_OK;
  });
}

uint32_t VELTRA_CALL GetPostSamples(void) {
  return Guarded(0u, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return 0u;
    const auto length = static_cast<double>(Next(*instrument).GetDataSize());
    auto trigger = Query<IInstrumentTrigger>(instrument);
    if (!trigger) return 0u;
    const double pre = Must(trigger->GetNextSettings()).GetPreSamples();
    return static_cast<uint32_t>(RoundToInt64(length * (1.0 - pre)));
  });
}

VeltraStatus VELTRA_CALL SetPostSamples(uint32_t samples) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    const int64_t length = Next(*instrument).GetDataSize();
    auto trigger = Query<IInstrumentTrigger>(instrument);
    if (!trigger || length == 0) return STATUS_NOT_SUPPORTED;
    const double pre = 1.0 - static_cast<double>(samples) / static_cast<double>(length);
    Must(trigger->GetNextSettings()).SetPreSamples(pre);
    return STATUS_OK;
  });
}

uint32_t VELTRA_CALL GetSampleFrequency(void) {
  return Guarded(0u, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return 0u;
    return RoundedFrequency(Next(*instrument).GetSampleFrequency());
  });
}

VeltraStatus VELTRA_CALL SetSampleFrequency(uint32_t* hertz) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return SetFrequencyInOut(hertz, RoundedFrequency); });
}

double VELTRA_CALL GetSampleFrequencyF(void) {
  return Guarded(0.0, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return 0.0;
    return Next(*instrument).GetSampleFrequency();
  });
}

VeltraStatus VELTRA_CALL SetSampleFrequencyF(double* hertz) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    return SetFrequencyInOut(hertz, [](double chosen) { return chosen; });
  });
}

VeltraStatus VELTRA_CALL GetExternalClock(uint16_t* external) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    Preset(external, 0);
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    int64_t source = 0;
    if (Next(*instrument).GetValue(HW_CLOCKSOURCE, source) != S_OK) return STATUS_NOT_SUPPORTED;
    return Deliver(external, source != 0 && source != 2 ? 1 : 0);
  });
}

VeltraStatus VELTRA_CALL SetExternalClock(uint16_t mode) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    if (mode == 0) mode = 2;  // 0 is the internal clock too
    if (mode != 1 && mode != 2) return STATUS_INVALID_VALUE;
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    return Next(*instrument).SetValue(HW_CLOCKSOURCE, mode) == S_OK ? STATUS_OK
                                                                     : STATUS_NOT_SUPPORTED;
  });
}

VeltraStatus VELTRA_CALL GetTransferMode(uint32_t* mode) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    switch (Next(*instrument).GetMode()) {
      case 1: return Deliver(mode, 1);
      case 2: return Deliver(mode, 0);
      default: return STATUS_INVALID_VALUE;
    }
  });
}

VeltraStatus VELTRA_CALL SetTransferMode(uint32_t mode) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    if (mode > 1) return STATUS_INVALID_VALUE;
    Next(*instrument).SetMode(mode == 1 ? 1 : 2);  // streaming is mode 1, block mode 2
    return STATUS_OK;
  });
}

}  // extern "C"
