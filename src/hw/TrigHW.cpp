#include "hw/TrigHW.h"

#include "hw/HWEncoding.h"
#include "hw/HWFiles.h"
#include "util/Routines.h"

namespace veltra {

namespace {

// Every trigger identifier but the raw trigger word, which is a command rather than a setting.
constexpr uint64_t kLoadableTriggerSettings = ~uint64_t{TR_TRIGGER};

constexpr double kDefaultTimeOut = 0.1;  // seconds
constexpr int64_t kDefaultSourceOR = 1;
constexpr int64_t kDefaultSourceAND = 0;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TInstrumentTriggerSettings

bool TInstrumentTriggerSettings::GetUsed() { return ReadValue(*this, TR_USED) != 0; }

double TInstrumentTriggerSettings::GetPreSamples() {
  return ValueToFraction(ReadValue(*this, TR_PRESAMPLES));
}

int64_t TInstrumentTriggerSettings::GetHoldOff() { return ReadValue(*this, TR_HOLDOFF); }

int64_t TInstrumentTriggerSettings::GetHoldOffMax() { return ReadValue(*this, TR_HOLDOFFMAX); }

int32_t TInstrumentTriggerSettings::GetResolution() {
  return static_cast<int32_t>(ReadValue(*this, TR_RESOLUTION));
}

double TInstrumentTriggerSettings::GetTimeOut() {
  return ValueToTimeOut(ReadValue(*this, TR_TIMEOUT));
}

int64_t TInstrumentTriggerSettings::GetSourceOR() { return ReadValue(*this, TR_SOURCEOR); }

int64_t TInstrumentTriggerSettings::GetSourceAND() { return ReadValue(*this, TR_SOURCEAND); }

int64_t TInstrumentTriggerSettings::GetSources() { return ReadValue(*this, TR_SOURCES); }

HResult TInstrumentTriggerSettings::SetPreSamples(double fraction) {
  return SetValue(TR_PRESAMPLES, FractionToValue(fraction));
}

HResult TInstrumentTriggerSettings::SetHoldOff(int64_t holdOff) {
  return SetValue(TR_HOLDOFF, holdOff);
}

HResult TInstrumentTriggerSettings::SetResolution(int32_t resolution) {
  return SetValue(TR_RESOLUTION, resolution);
}

HResult TInstrumentTriggerSettings::SetTimeOut(double seconds) {
  return SetValue(TR_TIMEOUT, TimeOutToValue(seconds));
}

HResult TInstrumentTriggerSettings::SetSourceOR(int64_t mask) {
  return SetValue(TR_SOURCEOR, mask);
}

HResult TInstrumentTriggerSettings::SetSourceAND(int64_t mask) {
  return SetValue(TR_SOURCEAND, mask);
}

HResult TInstrumentTriggerSettings::SetTriggerWord(int64_t word) {
  return SetValue(TR_TRIGGER, word);
}

int64_t TInstrumentTriggerSettings::GetTriggerWord() { return ReadValue(*this, TR_TRIGGER); }

bool TInstrumentTriggerSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IInstrumentTriggerSettings>(this, iid, object) ||
         Answer<ITriggerSettings>(this, iid, object) || TCachedSettings::GetInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// TChannelTriggerSettings

bool TChannelTriggerSettings::GetUsed() { return ReadValue(*this, TR_USED) != 0; }

int32_t TChannelTriggerSettings::GetResolution() {
  return static_cast<int32_t>(ReadValue(*this, TR_RESOLUTION));
}

uint32_t TChannelTriggerSettings::GetKind() {
  return static_cast<uint32_t>(ReadValue(*this, TR_KIND));
}

uint32_t TChannelTriggerSettings::GetKinds() {
  return static_cast<uint32_t>(ReadValue(*this, TR_KINDS));
}

double TChannelTriggerSettings::GetLevel() { return ValueToFraction(ReadValue(*this, TR_LEVEL)); }

double TChannelTriggerSettings::GetHysteresis() {
  return ValueToFraction(ReadValue(*this, TR_HYSTERESIS));
}

double TChannelTriggerSettings::GetPulseTime() {
  return ValueToPulseTime(ReadValue(*this, TR_PULSETIME));
}

HResult TChannelTriggerSettings::SetUsed(bool used) { return SetValue(TR_USED, used ? 1 : 0); }

HResult TChannelTriggerSettings::SetResolution(int32_t resolution) {
  return SetValue(TR_RESOLUTION, resolution);
}

HResult TChannelTriggerSettings::SetKind(uint32_t kind) { return SetValue(TR_KIND, kind); }

HResult TChannelTriggerSettings::SetLevel(double fraction) {
  return SetValue(TR_LEVEL, FractionToValue(fraction));
}

HResult TChannelTriggerSettings::SetHysteresis(double fraction) {
  return SetValue(TR_HYSTERESIS, FractionToValue(fraction));
}

HResult TChannelTriggerSettings::SetPulseTime(double seconds) {
  return SetValue(TR_PULSETIME, PulseTimeToValue(seconds));
}

bool TChannelTriggerSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IChannelTriggerSettings>(this, iid, object) ||
         Answer<ITriggerSettings>(this, iid, object) || TCachedSettings::GetInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// TTrigger

void TTrigger::SetSettings(TCachedSettings& cur, TCachedSettings& next) {
  cur_ = &cur;
  next_ = &next;
}

bool TTrigger::GetInterface(const Guid& iid, void** object) {
  return Answer<ITrigger>(this, iid, object) || Answer<ICurNext>(this, iid, object) ||
         TOwnInterfacedObject::GetInterface(iid, object);
}

ComPtr<ISettings> TTrigger::GetCur() { return ComPtr<ISettings>(cur_); }

ComPtr<ISettings> TTrigger::GetNext() { return ComPtr<ISettings>(next_); }

ComPtr<ISettings> TTrigger::GetCurNext(int32_t index) {
  return CurOrNext<ISettings>(index, cur_, next_);
}

void TTrigger::Changed(int32_t index, uint32_t mask) {
  if (index == 0) cur_->Changed(mask);
  if (index == 1) next_->Changed(mask);
}

void TTrigger::BeginUpdate() {
  cur_->BeginUpdate();
  next_->BeginUpdate();
}

void TTrigger::EndUpdate() {
  next_->EndUpdate();
  cur_->EndUpdate();
}

void TTrigger::LoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  BeginUpdate();
  try {
    if ((flags & kFileNoData) == 0) {
      if (TIFFChunk* stored = FindChild(iff, node, ID_TRIGGER_CUR)) {
        cur_->LoadFromChunk(iff, stored, kLoadableTriggerSettings);
      }
    }
    if (TIFFChunk* stored = FindChild(iff, node, ID_TRIGGER_NEXT)) {
      next_->LoadFromChunk(iff, stored, kLoadableTriggerSettings);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TTrigger::SaveToIFF(IIFFStream& iff, TIFFChunk* node) {
  cur_->SaveToChunk(iff, node, true, ID_TRIGGER_CUR);
  next_->SaveToChunk(iff, node, true, ID_TRIGGER_NEXT);
}

int32_t TTrigger::LoadFromStream(TStream& stream, uint32_t flags) {
  StreamBlockHeader header;
  const int64_t start = FindStreamBlock(stream, GetClassID(), header);
  if (start < 0) return 0;
  const auto loadable = static_cast<uint32_t>(kLoadableTriggerSettings);
  if (header.version == 0) {
    cur_->LoadFromStream(stream, loadable);
  } else if (header.version == 1) {
    // The rest of the header, whose length comes first.
    const uint32_t length = ReadUInt32(stream);
    if (length > 4) stream.Seek(length - 4, SeekOrigin::Current);
    if ((flags & kFileNoData) != 0) {
      stream.Seek(kSettingsRecordSize, SeekOrigin::Current);
    } else {
      cur_->LoadFromStream(stream, loadable);
    }
    next_->LoadFromStream(stream, loadable);
  } else {
    throw EStreamError(UnsupportedVersionText(ClassName()));
  }
  stream.SetPosition(start + header.distance);
  return 1;
}

// ---------------------------------------------------------------------------------------------
// TInstrumentTrigger, TChannelTrigger

TInstrumentTrigger::TInstrumentTrigger(IInterface* owner, const TSettingsMethods& cur,
                                       const TSettingsMethods& next)
    : TTrigger(owner),
      cur_(MakeSettings<TInstrumentTriggerSettings>(owner, cur, kTRCachable, kTRCachableIndices)),
      next_(
          MakeSettings<TInstrumentTriggerSettings>(owner, next, kTRCachable, kTRCachableIndices)) {
  SetSettings(*cur_.Get(), *next_.Get());
}

ComPtr<IInstrumentTriggerSettings> TInstrumentTrigger::GetCurSettings() {
  return ComPtr<IInstrumentTriggerSettings>(cur_.Get());
}

ComPtr<IInstrumentTriggerSettings> TInstrumentTrigger::GetNextSettings() {
  return ComPtr<IInstrumentTriggerSettings>(next_.Get());
}

bool TInstrumentTrigger::GetInterface(const Guid& iid, void** object) {
  return Answer<IInstrumentTrigger>(this, iid, object) || TTrigger::GetInterface(iid, object);
}

TChannelTrigger::TChannelTrigger(IInterface* owner, const TSettingsMethods& cur,
                                 const TSettingsMethods& next)
    : TTrigger(owner),
      cur_(MakeSettings<TChannelTriggerSettingsEx>(owner, cur, kTRCachable, kTRCachableIndices)),
      next_(MakeSettings<TChannelTriggerSettings>(owner, next, kTRCachable, kTRCachableIndices)) {
  SetSettings(*cur_.Get(), *next_.Get());
}

ComPtr<IChannelTriggerSettings> TChannelTrigger::GetCurSettings() {
  return ComPtr<IChannelTriggerSettings>(cur_.Get());
}

ComPtr<IChannelTriggerSettings> TChannelTrigger::GetNextSettings() {
  return ComPtr<IChannelTriggerSettings>(next_.Get());
}

bool TChannelTrigger::GetInterface(const Guid& iid, void** object) {
  return Answer<IChannelTrigger>(this, iid, object) || TTrigger::GetInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// TCustomTriggerHW

void TCustomTriggerHW::CreateSettings() {
  trigger_ = MakeOwned<TInstrumentTrigger>(
      static_cast<IInstrument*>(this),
      TSettingsMethods{TSettingsSetValueMethod::Bind<&TCustomTriggerHW::SetCurInstrTrigger>(this),
                       TSettingsGetValueMethod::Bind<&TCustomTriggerHW::GetCurInstrTrigger>(this),
                       TSettingsInfoMethod::Bind<&TCustomTriggerHW::GetCurTriggerInfo>(this)},
      TSettingsMethods{TSettingsSetValueMethod::Bind<&TCustomTriggerHW::SetNextInstrTrigger>(this),
                       TSettingsGetValueMethod::Bind<&TCustomTriggerHW::GetNextInstrTrigger>(this),
                       TSettingsInfoMethod::Bind<&TCustomTriggerHW::GetNextTriggerInfo>(this)});
  TCustomHW::CreateSettings();
}

bool TCustomTriggerHW::GetInterface(const Guid& iid, void** object) {
  // The trigger is part of the instrument: its interfaces count on the instrument.
  if (trigger_ && (iid == ITrigger::IID || iid == IInstrumentTrigger::IID)) {
    if (iid == ITrigger::IID) {
      *object = static_cast<ITrigger*>(trigger_.Get());
    } else {
      *object = static_cast<IInstrumentTrigger*>(trigger_.Get());
    }
    return true;
  }
  return TCustomHW::GetInterface(iid, object);
}

HResult TCustomTriggerHW::SetCurInstrTrigger(uint32_t id, int64_t value) {
  return SetCurTriggerValue(id, -1, value);
}

HResult TCustomTriggerHW::GetCurInstrTrigger(uint32_t id, int64_t& value) {
  return GetCurTriggerValue(id, -1, value);
}

HResult TCustomTriggerHW::SetNextInstrTrigger(uint32_t id, int64_t value) {
  return SetNextTriggerValue(id, -1, value);
}

HResult TCustomTriggerHW::GetNextInstrTrigger(uint32_t id, int64_t& value) {
  return GetNextTriggerValue(id, -1, value);
}

HResult TCustomTriggerHW::SetCurTriggerValue(uint32_t, int32_t channel, int64_t) {
  return AccessGate(channel);
}

HResult TCustomTriggerHW::GetCurTriggerValue(uint32_t, int32_t channel, int64_t& value) {
  return ReadGate(channel, value);
}

HResult TCustomTriggerHW::SetNextTriggerValue(uint32_t, int32_t channel, int64_t) {
  return AccessGate(channel);
}

HResult TCustomTriggerHW::GetNextTriggerValue(uint32_t, int32_t channel, int64_t& value) {
  return ReadGate(channel, value);
}

void TCustomTriggerHW::SetDefaults() {
  if (GetOpenCount() == 1) {
    TInstrumentTriggerSettings& next = trigger_->NextSettings();
    next.BeginUpdate();
    next.SetTimeOut(kDefaultTimeOut);
    next.SetSourceOR(kDefaultSourceOR);
    next.SetSourceAND(kDefaultSourceAND);
    next.EndUpdate();
  }
  TCustomHW::SetDefaults();
}

int32_t TCustomTriggerHW::UpdateStartTime() {
  const double afterTrigger = 1.0 - trigger_->CurSettings().GetPreSamples();
  SetStartTimeBefore(static_cast<double>(CurSettings().GetDataSize()) * afterTrigger);
  return 0;
}

int32_t TCustomTriggerHW::LoadFromStream(TStream& stream, uint32_t flags) {
  const int32_t trigger = trigger_->LoadFromStream(stream, flags);
  const int32_t levels = TCustomHW::LoadFromStream(stream, flags);
  return trigger > 0 ? levels : levels | TTrigger::kTriggerBlockMissing;
}

HResult TCustomTriggerHW::DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  const HResult result = TCustomHW::DoLoadFromIFF(iff, node, flags);
  trigger_->LoadFromIFF(iff, node, flags);
  return result;
}

void TCustomTriggerHW::DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  TCustomHW::DoSaveToIFF(iff, node, flags);
  trigger_->SaveToIFF(iff, node);
}

void TCustomTriggerHW::GrowChannelArrays() {
  TCustomHW::GrowChannelArrays();
  for (std::vector<int32_t>& words : triggerWords_) {
    words.resize(static_cast<size_t>(GetChannelCount()) + 2);
  }
}

void TCustomTriggerHW::FitChannelArrays() {
  TCustomHW::FitChannelArrays();
  for (std::vector<int32_t>& words : triggerWords_) {
    words.resize(static_cast<size_t>(GetChannelCount()) + 1);
  }
}

}  // namespace veltra
