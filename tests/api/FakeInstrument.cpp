#include "FakeInstrument.h"

#include "hw/HWEncoding.h"

namespace veltra::test {

// Answers interface I with `part`, an object the answering object owns.
template <class I, class Part>
bool Delegate(Part* part, const Guid& iid, void** object) {
  if (!part || iid != I::IID) return false;
  *object = static_cast<I*>(part);
  return true;
}

uint8_t TFakeInstrumentSettings::GetMode() { return ModeFromValue(Value(HW_MODE)); }

double TFakeInstrumentSettings::GetSampleFrequency() {
  return ValueToFrequency(Value(HW_SAMPLEFREQUENCY));
}

HResult TFakeInstrumentSettings::SetSampleFrequency(double hertz) {
  return SetValue(HW_SAMPLEFREQUENCY, FrequencyToValue(hertz));
}

double TFakeInstrumentSettings::GetSampleFrequencies(int32_t index) {
  return frequencies.at(static_cast<size_t>(index));
}

uint8_t TFakeInstrumentSettings::GetClockSource() {
  return ClockSourceFromValue(Value(HW_CLOCKSOURCE));
}

bool TFakeInstrumentSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IInstrumentSettings>(this, iid, object) ||
         Answer<IScopeHWSettings>(this, iid, object) || TFakeSettings::GetInterface(iid, object);
}

uint8_t TFakeChannelSettings::GetCoupling() {
  int64_t value = 0;
  return GetValue(HW_COUPLING, value) == S_OK ? CouplingFromValue(value) : 2;
}

double TFakeChannelSettings::GetRange() { return ValueToRange(Value(HW_RANGE)); }

HResult TFakeChannelSettings::SetRange(double volts) {
  return SetValue(HW_RANGE, RangeToValue(volts));
}

bool TFakeChannelSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IChannelSettings>(this, iid, object) ||
         Answer<IScopeHWSettings>(this, iid, object) || TFakeSettings::GetInterface(iid, object);
}

double TFakeInstrumentTriggerSettings::GetPreSamples() {
  return ValueToFraction(Value(TR_PRESAMPLES));
}

double TFakeInstrumentTriggerSettings::GetTimeOut() { return ValueToTimeOut(Value(TR_TIMEOUT)); }

HResult TFakeInstrumentTriggerSettings::SetPreSamples(double fraction) {
  return SetValue(TR_PRESAMPLES, FractionToValue(fraction));
}

HResult TFakeInstrumentTriggerSettings::SetTimeOut(double seconds) {
  return SetValue(TR_TIMEOUT, TimeOutToValue(seconds));
}

bool TFakeInstrumentTriggerSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IInstrumentTriggerSettings>(this, iid, object) ||
         TFakeSettings::GetInterface(iid, object);
}

double TFakeChannelTriggerSettings::GetLevel() { return ValueToFraction(Value(TR_LEVEL)); }

double TFakeChannelTriggerSettings::GetHysteresis() {
  return ValueToFraction(Value(TR_HYSTERESIS));
}

HResult TFakeChannelTriggerSettings::SetLevel(double fraction) {
  return SetValue(TR_LEVEL, FractionToValue(fraction));
}

HResult TFakeChannelTriggerSettings::SetHysteresis(double fraction) {
  return SetValue(TR_HYSTERESIS, FractionToValue(fraction));
}

bool TFakeChannelTriggerSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IChannelTriggerSettings>(this, iid, object) ||
         TFakeSettings::GetInterface(iid, object);
}

TFakeInstrumentTrigger::TFakeInstrumentTrigger(IInterface* owner)
    : TOwnInterfacedObject(owner),
      cur(MakeOwned<TFakeInstrumentTriggerSettings>(owner)),
      next(MakeOwned<TFakeInstrumentTriggerSettings>(owner)) {}

ComPtr<IInstrumentTriggerSettings> TFakeInstrumentTrigger::GetCurSettings() {
  return ComPtr<IInstrumentTriggerSettings>(cur.Get());
}

ComPtr<IInstrumentTriggerSettings> TFakeInstrumentTrigger::GetNextSettings() {
  return ComPtr<IInstrumentTriggerSettings>(next.Get());
}

bool TFakeInstrumentTrigger::GetInterface(const Guid& iid, void** object) {
  return Answer<ITrigger>(this, iid, object) || Answer<IInstrumentTrigger>(this, iid, object) ||
         TOwnInterfacedObject::GetInterface(iid, object);
}

TFakeChannelTrigger::TFakeChannelTrigger(IInterface* owner)
    : TOwnInterfacedObject(owner),
      cur(MakeOwned<TFakeChannelTriggerSettings>(owner)),
      next(MakeOwned<TFakeChannelTriggerSettings>(owner)) {}

ComPtr<IChannelTriggerSettings> TFakeChannelTrigger::GetCurSettings() {
  return ComPtr<IChannelTriggerSettings>(cur.Get());
}

ComPtr<IChannelTriggerSettings> TFakeChannelTrigger::GetNextSettings() {
  return ComPtr<IChannelTriggerSettings>(next.Get());
}

bool TFakeChannelTrigger::GetInterface(const Guid& iid, void** object) {
  return Answer<ITrigger>(this, iid, object) || Answer<IChannelTrigger>(this, iid, object) ||
         TOwnInterfacedObject::GetInterface(iid, object);
}

TFakeChannel::TFakeChannel(TFakeInstrument* instrument, int32_t index, bool withTrigger)
    : TOwnInterfacedObject(static_cast<IInstrument*>(instrument)),
      cur(MakeOwned<TFakeChannelSettings>(static_cast<IInstrument*>(instrument))),
      next(MakeOwned<TFakeChannelSettings>(static_cast<IInstrument*>(instrument))),
      instrument_(instrument),
      index_(index) {
  if (withTrigger) trigger = MakeOwned<TFakeChannelTrigger>(static_cast<IInstrument*>(instrument));
}

ComPtr<IChannelSettings> TFakeChannel::GetSettings(int32_t index) {
  return index == 0 ? GetCurSettings() : GetNextSettings();
}

ComPtr<IInstrument> TFakeChannel::GetInstrument() { return ComPtr<IInstrument>(instrument_); }

bool TFakeChannel::GetInterface(const Guid& iid, void** object) {
  return Answer<IChannel>(this, iid, object) || Answer<IScopeHW>(this, iid, object) ||
         Answer<ICurNext>(this, iid, object) ||
         Delegate<IChannelTrigger>(trigger.Get(), iid, object) ||
         TOwnInterfacedObject::GetInterface(iid, object);
}

TFakeInstrument::TFakeInstrument(int32_t channelCount, int32_t triggerChannels, bool withTrigger)
    : cur(MakeOwned<TFakeInstrumentSettings>(static_cast<IInstrument*>(this))),
      next(MakeOwned<TFakeInstrumentSettings>(static_cast<IInstrument*>(this))) {
  if (withTrigger) trigger = MakeOwned<TFakeInstrumentTrigger>(static_cast<IInstrument*>(this));
  for (int32_t i = 0; i < channelCount; ++i) {
    channels.push_back(MakeOwned<TFakeChannel>(this, i, i < triggerChannels));
  }
}

TFakeInstrument::~TFakeInstrument() = default;

ComPtr<IChannel> TFakeInstrument::GetChannel(int32_t index) {
  if (index < 0 || index >= GetChannelCount()) return nullptr;
  return ComPtr<IChannel>(channels[static_cast<size_t>(index)].Get());
}

ComPtr<IInstrumentSettings> TFakeInstrument::GetSettings(int32_t index) {
  return index == 0 ? GetCurSettings() : GetNextSettings();
}

HResult TFakeInstrument::Start(int64_t value) {
  starts.push_back(value);
  if (finishOnStart) cur->Changed(HW_MREADY);
  return S_OK;
}

HResult TFakeInstrument::Stop(int64_t value) {
  stops.push_back(value);
  return S_OK;
}

bool TFakeInstrument::GetInterface(const Guid& iid, void** object) {
  return Answer<IInstrument>(this, iid, object) || Answer<IScopeHW>(this, iid, object) ||
         Answer<ICurNext>(this, iid, object) ||
         Delegate<ITrigger>(trigger.Get(), iid, object) ||
         Delegate<IInstrumentTrigger>(trigger.Get(), iid, object) ||
         TInterfacedHideObject::GetInterface(iid, object);
}

}  // namespace veltra::test
