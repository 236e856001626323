#include "hw/HWSettings.h"

#include "hw/HWEncoding.h"

namespace veltra {

int64_t ReadValue(ISettings& settings, uint32_t id, int64_t parameter) {
  return TryReadValue(settings, id, parameter).value_or(0);
}

std::optional<int64_t> TryReadValue(ISettings& settings, uint32_t id, int64_t parameter) {
  int64_t value = parameter;
  if (settings.GetValue(id, value) != S_OK) return std::nullopt;
  return value;
}

// ---------------------------------------------------------------------------------------------
// TInstrumentSettings

uint8_t TInstrumentSettings::GetMode() { return ModeFromValue(ReadValue(*this, HW_MODE)); }

HResult TInstrumentSettings::SetMode(int8_t mode) { return SetValue(HW_MODE, mode); }

double TInstrumentSettings::GetSampleFrequency() {
  return ValueToFrequency(ReadValue(*this, HW_SAMPLEFREQUENCY));
}

HResult TInstrumentSettings::SetSampleFrequency(double hertz) {
  return SetValue(HW_SAMPLEFREQUENCY, FrequencyToValue(hertz));
}

double TInstrumentSettings::GetSampleFrequencies(int32_t index) {
  return ValueToFrequency(ReadValue(*this, HW_SAMPLEFREQUENCIES, index));
}

int64_t TInstrumentSettings::GetSampleFrequencyCount() {
  return ReadValue(*this, HW_SAMPLEFREQUENCYCOUNT);
}

int64_t TInstrumentSettings::GetDataSize() { return ReadValue(*this, HW_DATASIZE); }

HResult TInstrumentSettings::SetDataSize(int64_t samples) { return SetValue(HW_DATASIZE, samples); }

int64_t TInstrumentSettings::GetDataSizeMax() { return ReadValue(*this, HW_DATASIZEMAX); }

uint32_t TInstrumentSettings::GetResolutionModes() {
  int64_t mask = -1;
  return GetValue(HW_RESOLUTIONMODE, mask) == S_OK ? ResolutionModesFromMask(mask) : 0;
}

int64_t TInstrumentSettings::GetResolutionMode() { return ReadValue(*this, HW_RESOLUTIONMODE); }

HResult TInstrumentSettings::SetResolutionMode(int8_t mode) {
  return SetValue(HW_RESOLUTIONMODE, mode);
}

int64_t TInstrumentSettings::GetResolution() { return ReadValue(*this, HW_RESOLUTION); }

HResult TInstrumentSettings::SetResolution(uint32_t bits) { return SetValue(HW_RESOLUTION, bits); }

int64_t TInstrumentSettings::GetResolutions(int32_t index) {
  return ReadValue(*this, HW_RESOLUTIONS, index);
}

int64_t TInstrumentSettings::GetResolutionCount() { return ReadValue(*this, HW_RESOLUTIONCOUNT); }

uint8_t TInstrumentSettings::GetClockSource() {
  return ClockSourceFromValue(ReadValue(*this, HW_CLOCKSOURCE));
}

HResult TInstrumentSettings::SetClockSource(int8_t source) {
  return SetValue(HW_CLOCKSOURCE, source);
}

uint8_t TInstrumentSettings::GetSelector23() {
  return Selector23FromValue(ReadValue(*this, HW_SELECTOR23));
}

HResult TInstrumentSettings::SetSelector23(int8_t selector) {
  return SetValue(HW_SELECTOR23, selector);
}

bool TInstrumentSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IInstrumentSettings>(this, iid, object) ||
         Answer<IScopeHWSettings>(this, iid, object) || TCachedSettings::GetInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// TChannelSettings

int64_t TChannelSettings::GetEnabled() { return ReadValue(*this, HW_ENABLE); }

HResult TChannelSettings::SetEnabled(int32_t enabled) { return SetValue(HW_ENABLE, enabled); }

uint8_t TChannelSettings::GetCoupling() { return CouplingFromValue(ReadValue(*this, HW_COUPLING)); }

HResult TChannelSettings::SetCoupling(int8_t coupling) { return SetValue(HW_COUPLING, coupling); }

double TChannelSettings::GetRange() { return ValueToRange(ReadValue(*this, HW_RANGE)); }

HResult TChannelSettings::SetRange(double volts) { return SetValue(HW_RANGE, RangeToValue(volts)); }

double TChannelSettings::GetRanges(int32_t index) {
  return ValueToRange(ReadValue(*this, HW_RANGES, index));
}

int64_t TChannelSettings::GetRangeCount() { return ReadValue(*this, HW_RANGECOUNT); }

int64_t TChannelSettings::GetAutoRanging() { return ReadValue(*this, HW_AUTORANGING); }

int64_t TChannelSettings::GetResolution() { return ReadValue(*this, HW_RESOLUTION); }

int64_t TChannelSettings::GetResolutions(int32_t index) {
  return ReadValue(*this, HW_RESOLUTIONS, index);
}

int64_t TChannelSettings::GetResolutionCount() { return ReadValue(*this, HW_RESOLUTIONCOUNT); }

HResult TChannelSettings::SetAutoRanging(int32_t on) { return SetValue(HW_AUTORANGING, on); }

double TChannelSettings::GetSampleFrequency() {
  return ValueToFrequency(ReadValue(*this, HW_SAMPLEFREQUENCY));
}

int64_t TChannelSettings::GetDataSize() { return ReadValue(*this, HW_DATASIZE); }

bool TChannelSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IChannelSettings>(this, iid, object) ||
         Answer<IScopeHWSettings>(this, iid, object) || TCachedSettings::GetInterface(iid, object);
}

}  // namespace veltra
