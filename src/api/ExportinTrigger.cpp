// Trigger: sources by number or by mask, the kind per channel (mode), level and hysteresis in
// volts, and the time-out in milliseconds. All of them act on the Cur trigger settings; level and
// hysteresis convert with the range and coupling of the channel's Next settings.

#include <bit>
#include <cmath>

#include "api/ExportFrame.h"
#include "api/TriggerSources.h"
#include "hw/HWEncoding.h"
#include "hw/TrigInterface.h"

using namespace veltra;
using namespace veltra::api;

namespace {

constexpr uint8_t kLastMode = 11;      // modes 4-11 exist but are not offered
constexpr uint8_t kOfferedModes = 4;   // modes 0-3: kind 2^mode
constexpr uint8_t kCouplingSpanZeroUp = 16;  // the input whose span is 0 ... range

// The Cur settings of the global instrument's trigger, or null (no instrument, no trigger).
ComPtr<IInstrumentTriggerSettings> InstrumentTriggerCur() {
  auto trigger = Query<IInstrumentTrigger>(GlobalInstrument());
  return trigger ? trigger->GetCurSettings() : nullptr;
}

// A channel's trigger with the Next settings of the channel, for level and hysteresis.
struct TChannelTriggerAccess {
  ComPtr<IChannelTriggerSettings> trigger = nullptr;  // Cur trigger settings
  double range = 0.0;                        // volts
  bool zeroUp = false;                       // coupling 16: the range spans 0 ... R
  VeltraStatus status = STATUS_OK;
};

TChannelTriggerAccess ChannelTrigger(uint8_t number) {
  auto instrument = GlobalInstrument();
  if (!instrument) return {.status = STATUS_NO_INSTRUMENT};
  auto channel = ChannelByNumber(*instrument, number);
  if (!channel) return {.status = STATUS_INVALID_CHANNEL};
  auto trigger = Query<IChannelTrigger>(channel);
  if (!trigger) return {.status = STATUS_NOT_SUPPORTED};
  IChannelSettings& next = Must(channel->GetNextSettings());
  return {Must(trigger).GetCurSettings(), next.GetRange(),
          next.GetCoupling() == kCouplingSpanZeroUp, STATUS_OK};
}

// The Cur settings of channel `number`'s trigger, or null; the status stops the export.
struct TModeAccess {
  ComPtr<IChannelTriggerSettings> trigger;
  VeltraStatus status = STATUS_OK;
};

TModeAccess ModeAccess(uint8_t number) {
  auto instrument = GlobalInstrument();
  if (!instrument) return {nullptr, STATUS_NO_INSTRUMENT};
  if (number > instrument->GetChannelCount()) return {nullptr, STATUS_INVALID_CHANNEL};
  // Channel number 0 reaches no channel and so no trigger.
  auto trigger = Query<IChannelTrigger>(ChannelByNumber(*instrument, number));
  return {trigger ? trigger->GetCurSettings() : nullptr, STATUS_OK};
}

VeltraStatus GetSourceMask(uint64_t* mask, int64_t (IInstrumentTriggerSettings::*read)()) {
  auto cur = InstrumentTriggerCur();
  if (!cur) return STATUS_NO_INSTRUMENT;
  return Deliver(mask, ((*cur).*read)());
}

VeltraStatus SetSourceMask(uint64_t mask, HResult (IInstrumentTriggerSettings::*write)(int64_t)) {
  auto cur = InstrumentTriggerCur();
  if (!cur) return STATUS_NO_INSTRUMENT;
  if ((mask & ~static_cast<uint64_t>(cur->GetSources())) != 0) return STATUS_NOT_SUPPORTED;
  ((*cur).*write)(static_cast<int64_t>(mask));
  return STATUS_OK;
}

// Level and hysteresis in volts from their fractions of the range, and back.
double LevelToVolts(const TChannelTriggerAccess& t, double fraction) {
  return t.zeroUp ? fraction * t.range : (fraction * 2) * t.range - t.range;
}
double LevelToFraction(const TChannelTriggerAccess& t, double volts) {
  return t.zeroUp ? volts / t.range : (volts + t.range) / (2 * t.range);
}
double HysteresisToVolts(const TChannelTriggerAccess& t, double fraction) {
  return t.zeroUp ? fraction * t.range : fraction * 2 * t.range;
}
double HysteresisToFraction(const TChannelTriggerAccess& t, double volts) {
  return t.zeroUp ? volts / t.range : volts / (2 * t.range);
}

VeltraStatus GetLevelLike(uint8_t channel, double* volts,
                          double (IChannelTriggerSettings::*read)(),
                          double (*toVolts)(const TChannelTriggerAccess&, double)) {
  Preset(volts, 0.0);
  const TChannelTriggerAccess t = ChannelTrigger(channel);
  if (t.status != STATUS_OK) return t.status;
  return Deliver(volts, toVolts(t, (Must(t.trigger).*read)()));
}

VeltraStatus SetLevelLike(uint8_t channel, double volts,
                          HResult (IChannelTriggerSettings::*write)(double),
                          double (*toFraction)(const TChannelTriggerAccess&, double)) {
  const TChannelTriggerAccess t = ChannelTrigger(channel);
  if (t.status != STATUS_OK) return t.status;
  if (t.range == 0.0) return STATUS_NOT_SUPPORTED;
  if (!std::isfinite(volts)) return STATUS_INVALID_VALUE;
  (Must(t.trigger).*write)(toFraction(t, volts));  // the settings clamp it to 0 ... 1
  return STATUS_OK;
}

}  // namespace

extern "C" {

VeltraStatus VELTRA_CALL GetTriggerSource(uint8_t* source) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    Preset(source, kNoTriggerSource);
    auto trigger = Query<ITrigger>(GlobalInstrument());
    if (!trigger) return STATUS_NO_INSTRUMENT;
    ISettings& cur = Must(trigger->GetCur());
    int64_t orMask = 0;
    int64_t andMask = 0;
    const bool orRead = cur.GetValue(TR_SOURCEOR, orMask) == S_OK;
    if (cur.GetValue(TR_SOURCEAND, andMask) != S_OK) andMask = 0;
    if (!orRead) return STATUS_NOT_SUPPORTED;
    for (size_t n = 0; n < kTriggerSources.size(); ++n) {
      const TSourceRow& row = kTriggerSources[n];
      if (row.valid && row.orMask == static_cast<uint64_t>(orMask) &&
          row.andMask == static_cast<uint64_t>(andMask)) {
        return Deliver(source, n);
      }
    }
    return STATUS_INVALID_VALUE;
  });
}

VeltraStatus VELTRA_CALL SetTriggerSource(uint8_t source) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto cur = InstrumentTriggerCur();
    if (!cur) return STATUS_NO_INSTRUMENT;
    if (source >= kTriggerSources.size()) return STATUS_INVALID_VALUE;
    const TSourceRow& row = kTriggerSources[source];
    if (!row.valid) return STATUS_NOT_SUPPORTED;
    const uint64_t needed = row.orMask | row.andMask;
    if ((static_cast<uint64_t>(cur->GetSources()) & needed) != needed) return STATUS_INVALID_VALUE;
    cur->SetSourceOR(static_cast<int64_t>(row.orMask));
    cur->SetSourceAND(static_cast<int64_t>(row.andMask));
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetTriggerSources(uint64_t* mask) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return GetSourceMask(mask, &IInstrumentTriggerSettings::GetSources); });
}

VeltraStatus VELTRA_CALL GetTriggerSourceOR(uint64_t* mask) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return GetSourceMask(mask, &IInstrumentTriggerSettings::GetSourceOR); });
}

VeltraStatus VELTRA_CALL SetTriggerSourceOR(uint64_t mask) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return SetSourceMask(mask, &IInstrumentTriggerSettings::SetSourceOR); });
}

VeltraStatus VELTRA_CALL GetTriggerSourceAND(uint64_t* mask) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return GetSourceMask(mask, &IInstrumentTriggerSettings::GetSourceAND); });
}

VeltraStatus VELTRA_CALL SetTriggerSourceAND(uint64_t mask) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return SetSourceMask(mask, &IInstrumentTriggerSettings::SetSourceAND); });
}

VeltraStatus VELTRA_CALL GetTriggerMode(uint8_t* mode) { return GetTriggerModeCh(1, mode); }

VeltraStatus VELTRA_CALL SetTriggerMode(int8_t mode) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    if (mode < 0 || mode > kLastMode) return STATUS_INVALID_VALUE;
    if (mode >= kOfferedModes) return STATUS_NOT_SUPPORTED;
    const int32_t channels = instrument->GetChannelCount();
    for (int32_t i = 0; i < channels; ++i) {
      if (auto trigger = Query<IChannelTrigger>(instrument->GetChannel(i))) {
        Must(trigger->GetCurSettings()).SetKind(1u << mode);
      }
    }
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetTriggerModeCh(uint8_t channel, uint8_t* mode) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const TModeAccess access = ModeAccess(channel);
    if (access.status != STATUS_OK) return access.status;
    if (!access.trigger) return STATUS_NOT_SUPPORTED;
    const uint32_t kind = access.trigger->GetKind();
    return Deliver(mode, std::countr_zero(kind));  // kind 2^m is mode m
  });
}

VeltraStatus VELTRA_CALL SetTriggerModeCh(uint8_t channel, uint8_t mode) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    if (mode > kLastMode) return STATUS_INVALID_VALUE;
    const TModeAccess access = ModeAccess(channel);
    if (access.status != STATUS_OK) return access.status;
    if (!access.trigger || mode >= kOfferedModes) return STATUS_NOT_SUPPORTED;
    access.trigger->SetKind(1u << mode);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetTriggerLevel(uint8_t channel, double* volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    return GetLevelLike(channel, volts, &IChannelTriggerSettings::GetLevel, LevelToVolts);
  });
}

VeltraStatus VELTRA_CALL SetTriggerLevel(uint8_t channel, double volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    return SetLevelLike(channel, volts, &IChannelTriggerSettings::SetLevel, LevelToFraction);
  });
}

VeltraStatus VELTRA_CALL GetTriggerHys(uint8_t channel, double* volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    return GetLevelLike(channel, volts, &IChannelTriggerSettings::GetHysteresis,
                        HysteresisToVolts);
  });
}

VeltraStatus VELTRA_CALL SetTriggerHys(uint8_t channel, double volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    return SetLevelLike(channel, volts, &IChannelTriggerSettings::SetHysteresis,
                        HysteresisToFraction);
  });
}

int32_t VELTRA_CALL GetTriggerTimeOut(void) {
  return Guarded(0, [] {
    auto cur = InstrumentTriggerCur();
    if (!cur) return 0;
    const double seconds = cur->GetTimeOut();
    if (seconds == -1.0) return -1;
    return static_cast<int32_t>(RoundToInt64(seconds * 1000));
  });
}

VeltraStatus VELTRA_CALL SetTriggerTimeOut(int32_t ms) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto cur = InstrumentTriggerCur();
    if (!cur) return STATUS_NO_INSTRUMENT;
    // -1 waits for ever; every other value counts as unsigned milliseconds.
    cur->SetTimeOut(ms == -1 ? -1.0 : static_cast<uint32_t>(ms) / 1000.0);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetPXITriggerSlopes(uint32_t /*reserved*/) { return STATUS_NOT_SUPPORTED; }
VeltraStatus VELTRA_CALL SetPXITriggerSlopes(uint32_t /*reserved*/) { return STATUS_NOT_SUPPORTED; }
VeltraStatus VELTRA_CALL GetPXITriggerEnables(uint32_t /*reserved*/) { return STATUS_NOT_SUPPORTED; }
VeltraStatus VELTRA_CALL SetPXITriggerEnables(uint32_t /*reserved*/) { return STATUS_NOT_SUPPORTED; }

}  // extern "C"
