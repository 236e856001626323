#include "hw/TrigChannel.h"

#include "hw/HWEncoding.h"

namespace veltra {

namespace {

constexpr uint32_t kEveryTriggerSetting = 0x7FFFFFFF;

}  // namespace

TCustomTriggerHW* TCustomTriggerChannel::TriggerInstrument() const {
  // Made only with a TCustomTriggerHW (see the constructor).
  return static_cast<TCustomTriggerHW*>(Instrument());
}

void TCustomTriggerChannel::CreateSettings() {
  trigger_ = MakeOwned<TChannelTrigger>(
      static_cast<IChannel*>(this),
      TSettingsMethods{
          TSettingsSetValueMethod::Bind<&TCustomTriggerChannel::SetCurTriggerValue>(this),
          TSettingsGetValueMethod::Bind<&TCustomTriggerChannel::GetCurTriggerValue>(this),
          TSettingsInfoMethod::Bind<&TCustomTriggerChannel::GetCurTriggerInfo>(this)},
      TSettingsMethods{
          TSettingsSetValueMethod::Bind<&TCustomTriggerChannel::SetNextTriggerValue>(this),
          TSettingsGetValueMethod::Bind<&TCustomTriggerChannel::GetNextTriggerValue>(this),
          TSettingsInfoMethod::Bind<&TCustomTriggerChannel::GetNextTriggerInfo>(this)});
  trigger_->CurSettings().SetOnChangedCalled(
      TNotifyDWORD::Bind<&TCustomTriggerChannel::OnTriggerCurChanged>(this));
  TCustomChannel::CreateSettings();
}

bool TCustomTriggerChannel::GetInterface(const Guid& iid, void** object) {
  // The trigger is part of the channel: its interfaces count on the channel.
  if (trigger_ && iid == ITrigger::IID) {
    *object = static_cast<ITrigger*>(trigger_.Get());
    return true;
  }
  if (trigger_ && iid == IChannelTrigger::IID) {
    *object = static_cast<IChannelTrigger*>(trigger_.Get());
    return true;
  }
  return TCustomChannel::GetInterface(iid, object);
}

int32_t TCustomTriggerChannel::GetCurTriggerInfo(int32_t index) {
  TCustomTriggerHW* instrument = TriggerInstrument();
  return instrument ? instrument->GetCurTriggerInfo(ChannelInfoIndex(index)) : 0;
}

int32_t TCustomTriggerChannel::GetNextTriggerInfo(int32_t index) {
  TCustomTriggerHW* instrument = TriggerInstrument();
  return instrument ? instrument->GetNextTriggerInfo(ChannelInfoIndex(index)) : 0;
}

HResult TCustomTriggerChannel::SetCurTriggerValue(uint32_t id, int64_t value) {
  return WriteThrough(TriggerInstrument(), &TCustomTriggerHW::SetCurTriggerValue, id, value);
}

HResult TCustomTriggerChannel::GetCurTriggerValue(uint32_t id, int64_t& value) {
  return ReadThrough(TriggerInstrument(), &TCustomTriggerHW::GetCurTriggerValue, id, value);
}

HResult TCustomTriggerChannel::SetNextTriggerValue(uint32_t id, int64_t value) {
  return WriteThrough(TriggerInstrument(), &TCustomTriggerHW::SetNextTriggerValue, id, value);
}

HResult TCustomTriggerChannel::GetNextTriggerValue(uint32_t id, int64_t& value) {
  return ReadThrough(TriggerInstrument(), &TCustomTriggerHW::GetNextTriggerValue, id, value);
}

void TCustomTriggerChannel::InstrumentGone() {
  TCustomChannel::InstrumentGone();
  if (trigger_) {
    trigger_->Changed(0, ~0u);
    trigger_->Changed(1, ~0u);
  }
}

void TCustomTriggerChannel::SetIndex(int32_t index) {
  const bool moved = index != GetIndex();
  TCustomChannel::SetIndex(index);
  if (moved && trigger_) {
    trigger_->Changed(0, kEveryTriggerSetting);
    trigger_->Changed(1, kEveryTriggerSetting);
  }
}

void TCustomTriggerChannel::TriggerSettingsChanged(uint32_t mask) {
  if ((mask & TR_PRESAMPLES) != 0) Changed(kChangePreSamples);
}

int64_t TCustomTriggerChannel::GetPreSamples() {
  if (!trigger_) return TCustomChannel::GetPreSamples();  // not yet made
  const double fraction = ValueToFraction(ReadValue(trigger_->Cur(), TR_PRESAMPLES));
  return RoundToInt64(static_cast<double>(GetCount()) * fraction);
}

void TCustomTriggerChannel::BeginUpdate(bool announce) {
  if (trigger_) trigger_->BeginUpdate();
  TCustomChannel::BeginUpdate(announce);
}

void TCustomTriggerChannel::EndUpdate() {
  TCustomChannel::EndUpdate();
  if (trigger_) trigger_->EndUpdate();
}

int32_t TCustomTriggerChannel::LoadFromStream(TStream& stream, uint32_t flags) {
  const int32_t trigger = trigger_->LoadFromStream(stream, flags);
  const int32_t levels = TCustomChannel::LoadFromStream(stream, flags);
  return trigger > 0 ? levels : levels | TTrigger::kTriggerBlockMissing;
}

void TCustomTriggerChannel::DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) {
  const uint32_t requested = flags;
  TCustomChannel::DoLoadFromIFF(iff, node, flags);
  trigger_->LoadFromIFF(iff, node, requested);
}

void TCustomTriggerChannel::DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) {
  TCustomChannel::DoSaveToIFF(iff, node, flags);
  trigger_->SaveToIFF(iff, node);
}

}  // namespace veltra
