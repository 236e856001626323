#include "MemoryHW.h"

#include <algorithm>
#include <cmath>

namespace veltra::test {

namespace {

constexpr uint32_t kEverySetting = 0x7FFFFFFF;

bool IsTrigger(TSet set) { return set == TSet::kTriggerCur || set == TSet::kTriggerNext; }

// A list identifier and the list it reads, by settings family.
const std::vector<int64_t>* ListOf(TMemoryDevice& device, TSet set, int32_t channel, uint32_t id) {
  if (IsTrigger(set)) return nullptr;
  if (id == HW_SAMPLEFREQUENCIES && channel < 0) return &device.frequencies;
  if (id == HW_RESOLUTIONS) return &device.resolutions;
  if (id == HW_RANGES && channel >= 0) return &device.ranges[channel];
  return nullptr;
}

uint32_t ListOfCount(uint32_t id) {
  switch (id) {
    case HW_SAMPLEFREQUENCYCOUNT:
      return HW_SAMPLEFREQUENCIES;
    case HW_RESOLUTIONCOUNT:
      return HW_RESOLUTIONS;
    case HW_RANGECOUNT:
      return HW_RANGES;
    default:
      return 0;
  }
}

// Values a channel shares with its instrument unless it holds its own.
bool SharedWithInstrument(uint32_t id) {
  return id == HW_DATASIZE || id == HW_SAMPLEFREQUENCY || id == HW_RESOLUTION;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Tables

int64_t TMemoryTable::Value(uint32_t id) const {
  const auto found = values.find(id);
  return found == values.end() ? 0 : found->second;
}

std::vector<int64_t> TMemoryTable::WritesOf(uint32_t id) const {
  std::vector<int64_t> written;
  for (const auto& [writtenId, value] : writes) {
    if (writtenId == id) written.push_back(value);
  }
  return written;
}

TMemoryTable& TMemoryDevice::Table(TSet set, int32_t channel) { return tables_[{set, channel}]; }

void TMemoryDevice::Put(TSet set, int32_t channel, uint32_t id, int64_t value) {
  Table(set, channel).values[id] = value;
  Report(set, channel, id);
}

void TMemoryDevice::Refuse(TSet set, int32_t channel, uint32_t id, HResult result) {
  Table(set, channel).refused[id] = result;
  Report(set, channel, id);
}

void TMemoryDevice::Choose(TSet set, int32_t channel, uint32_t id, int64_t chosen) {
  Table(set, channel).rounding[id] = [chosen](int64_t) { return chosen; };
}

void TMemoryDevice::SetReadable(TSet set, int32_t channel, int64_t mask) {
  Table(set, channel).readable = mask;
  Report(set, channel, HW_SUPPORTSGET);
}

HResult TMemoryDevice::Get(TSet set, int32_t channel, uint32_t id, int64_t& value) {
  TMemoryTable& table = Table(set, channel);
  ++table.reads[id];
  if (const auto refused = table.refused.find(id); refused != table.refused.end()) {
    value = 0;
    return refused->second;
  }
  if (id == 1 || id == 2) {
    value = id == 1 ? table.readable : table.writable;
    return S_OK;
  }
  if ((table.readable & id) == 0) {
    value = 0;
    return E_NOTIMPL;
  }
  if (const std::vector<int64_t>* list = ListOf(*this, set, channel, id)) {
    if (value < 0 || value >= static_cast<int64_t>(list->size())) {
      value = 0;
      return E_INVALIDARG;
    }
    value = (*list)[static_cast<size_t>(value)];
    return S_OK;
  }
  if (const std::vector<int64_t>* list = ListOf(*this, set, channel, ListOfCount(id))) {
    value = static_cast<int64_t>(list->size());
    return S_OK;
  }
  const auto found = table.values.find(id);
  if (found == table.values.end() && channel >= 0 && SharedWithInstrument(id)) {
    value = Table(set).Value(id);
    return S_OK;
  }
  value = found == table.values.end() ? 0 : found->second;
  return S_OK;
}

HResult TMemoryDevice::Set(TSet set, int32_t channel, uint32_t id, int64_t value) {
  TMemoryTable& table = Table(set, channel);
  table.writes.emplace_back(id, value);
  if (const auto refused = table.refused.find(id); refused != table.refused.end()) {
    return refused->second;
  }
  if ((table.writable & id) == 0) return E_NOTIMPL;
  const auto round = table.rounding.find(id);
  table.values[id] = round == table.rounding.end() ? value : round->second(value);
  return S_OK;
}

int32_t TMemoryDevice::InfoWord(TSet set, int32_t channel, int32_t index) {
  const TMemoryTable& table = Table(set, channel);
  if (index == 0) return static_cast<int32_t>(table.readable);
  if (index == 1) return static_cast<int32_t>(table.writable);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Channels

template <class ChannelBase>
void TMemoryChannelOf<ChannelBase>::Measure(int64_t count) {
  this->SetCount(count);
  const TSpan span = this->Span();
  if (auto volts = this->template Samples<double>(); !volts.empty()) {
    for (size_t i = 0; i < volts.size(); ++i) {
      volts[i] = signal ? signal(static_cast<int64_t>(i)) : 0.0;
    }
  } else if (auto codes = this->template Samples<uint16_t>(); !codes.empty()) {
    for (size_t i = 0; i < codes.size(); ++i) {
      const double v = signal ? signal(static_cast<int64_t>(i)) : 0.0;
      const double code = std::round((v - span.low) / (span.high - span.low) * 65536.0);
      codes[i] = static_cast<uint16_t>(std::clamp(code, 0.0, 65535.0));
    }
  }
  this->Changed(kChangeNewData);
}

template <class ChannelBase>
void TMemoryChannelOf<ChannelBase>::SetVolts(const std::vector<double>& volts) {
  this->SetDataType(DT_ARRAY_DOUBLE);
  this->SetCount(static_cast<int64_t>(volts.size()));
  std::copy(volts.begin(), volts.end(), this->template Samples<double>().begin());
  this->Changed(kChangeNewData);
}

template <class ChannelBase>
void TMemoryChannelOf<ChannelBase>::SetCodes(const std::vector<uint16_t>& codes) {
  this->SetDataType(DT_ARRAY_UINT16);
  this->SetCount(static_cast<int64_t>(codes.size()));
  std::copy(codes.begin(), codes.end(), this->template Samples<uint16_t>().begin());
  this->Changed(kChangeNewData);
}

template class TMemoryChannelOf<TCustomTriggerChannel>;
template class TMemoryChannelOf<TCustomChannel>;

// ---------------------------------------------------------------------------------------------
// Instruments

template <class HWBase>
void TMemoryHWOf<HWBase>::CreateSettings() {
  HWBase::CreateSettings();
  created_ = true;
  for (int32_t i = 0; i < config_.channels; ++i) {
    if constexpr (std::is_base_of_v<TCustomTriggerHW, HWBase>) {
      const bool withTrigger = config_.triggerChannels < 0 || i < config_.triggerChannels;
      if (withTrigger) {
        MakeObject<TMemoryChannel>(this, i, config_.channelDataType);
        continue;
      }
    }
    MakeObject<TMemoryPlainChannel>(this, i, config_.channelDataType);
  }
}

template <class HWBase>
HResult TMemoryHWOf<HWBase>::Write(TSet set, int32_t channel, uint32_t id, int64_t value) {
  const HResult result = Set(set, channel, id, value);
  if (result != S_OK) return result;
  Report(set, channel, id);
  if (set == TSet::kNext && channel < 0 && id == HW_START && measureOnStart) Measure();
  return S_OK;
}

template <class HWBase>
HResult TMemoryHWOf<HWBase>::SetCurValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = HWBase::SetCurValue(id, channel, value);
  return gate == E_NOTIMPL ? Write(TSet::kCur, channel, id, value) : gate;
}

template <class HWBase>
HResult TMemoryHWOf<HWBase>::SetNextValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = HWBase::SetNextValue(id, channel, value);
  return gate == E_NOTIMPL ? Write(TSet::kNext, channel, id, value) : gate;
}

template <class HWBase>
HResult TMemoryHWOf<HWBase>::GetCurValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = HWBase::GetCurValue(id, channel, value);
  return gate == E_NOTIMPL ? Get(TSet::kCur, channel, id, value) : gate;
}

template <class HWBase>
HResult TMemoryHWOf<HWBase>::GetNextValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = HWBase::GetNextValue(id, channel, value);
  return gate == E_NOTIMPL ? Get(TSet::kNext, channel, id, value) : gate;
}

template <class HWBase>
int32_t TMemoryHWOf<HWBase>::GetSettingsInfo(int32_t index, int32_t which) {
  const int32_t channel = ((index >> 16) & 0xFF) - 1;
  return InfoWord(which == 0 ? TSet::kCur : TSet::kNext, channel, index & 0xF);
}

template <class HWBase>
TCachedSettings* TMemoryHWOf<HWBase>::SettingsOf(TSet set, int32_t channel) {
  if (IsTrigger(set)) return nullptr;
  if (channel < 0) {
    return set == TSet::kCur ? static_cast<TCachedSettings*>(&this->CurSettings())
                             : &this->NextSettings();
  }
  const ComPtr<TCustomChannel> object = this->ChannelObject(channel);
  if (!object) return nullptr;
  return set == TSet::kCur ? static_cast<TCachedSettings*>(&object->CurSettings())
                           : &object->NextSettings();
}

template <class HWBase>
void TMemoryHWOf<HWBase>::Report(TSet set, int32_t channel, uint32_t mask) {
  if (!created_) return;  // nothing to tell before the settings exist
  if (TCachedSettings* settings = SettingsOf(set, channel)) settings->Changed(mask);
}

template <class HWBase>
void TMemoryHWOf<HWBase>::Measure() {
  const std::vector<ComPtr<TCustomChannel>> channels = this->Channels();
  Table(TSet::kCur).values = Table(TSet::kNext).values;
  for (size_t i = 0; i < channels.size(); ++i) {
    const auto index = static_cast<int32_t>(i);
    Table(TSet::kCur, index).values = Table(TSet::kNext, index).values;
    Report(TSet::kCur, index, kEverySetting);
  }
  Report(TSet::kCur, -1, kEverySetting);
  this->UpdateStartTime();
  const int64_t length = ReadValue(this->CurSettings(), HW_DATASIZE);
  for (const ComPtr<TCustomChannel>& channel : channels) {
    if (channel->CurSettings().GetEnabled() == 0) continue;
    if (auto* measured = dynamic_cast<TMemoryChannel*>(channel.Get())) {
      measured->Measure(length);
    } else if (auto* plain = dynamic_cast<TMemoryPlainChannel*>(channel.Get())) {
      plain->Measure(length);
    }
  }
  Report(TSet::kCur, -1, HW_MREADY);
}

template class TMemoryHWOf<TCustomTriggerHW>;
template class TMemoryHWOf<TCustomHW>;

// ---------------------------------------------------------------------------------------------
// Triggers

HResult TMemoryHW::SetCurTriggerValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = TCustomTriggerHW::SetCurTriggerValue(id, channel, value);
  return gate == E_NOTIMPL ? Write(TSet::kTriggerCur, channel, id, value) : gate;
}

HResult TMemoryHW::GetCurTriggerValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = TCustomTriggerHW::GetCurTriggerValue(id, channel, value);
  return gate == E_NOTIMPL ? Get(TSet::kTriggerCur, channel, id, value) : gate;
}

HResult TMemoryHW::SetNextTriggerValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = TCustomTriggerHW::SetNextTriggerValue(id, channel, value);
  return gate == E_NOTIMPL ? Write(TSet::kTriggerNext, channel, id, value) : gate;
}

HResult TMemoryHW::GetNextTriggerValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = TCustomTriggerHW::GetNextTriggerValue(id, channel, value);
  return gate == E_NOTIMPL ? Get(TSet::kTriggerNext, channel, id, value) : gate;
}

int32_t TMemoryHW::GetTriggerSettingsInfo(int32_t index, int32_t which) {
  const int32_t channel = ((index >> 16) & 0xFF) - 1;
  return InfoWord(which == 0 ? TSet::kTriggerCur : TSet::kTriggerNext, channel, index & 0xF);
}

TCachedSettings* TMemoryHW::SettingsOf(TSet set, int32_t channel) {
  if (!IsTrigger(set)) return TMemoryHWOf::SettingsOf(set, channel);
  TTrigger* trigger = nullptr;
  if (channel < 0) {
    trigger = &Trigger();
  } else if (auto* object = dynamic_cast<TCustomTriggerChannel*>(ChannelObject(channel).Get())) {
    trigger = &object->Trigger();
  }
  if (!trigger) return nullptr;
  return set == TSet::kTriggerCur ? &trigger->Cur() : &trigger->Next();
}

}  // namespace veltra::test
