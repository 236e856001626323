#include "hw/CustomHW.h"

#include <algorithm>
#include <utility>

#include "framework/Strings.h"
#include "hw/CustomChannel.h"
#include "hw/HWRoutines.h"

namespace veltra {

namespace {

constexpr double kSecondsPerDay = 86400.0;

}  // namespace

TCustomHW::TCustomHW() : info_(DefaultDeviceInfo()) {
  for (std::vector<int32_t>& words : channelWords_) words.resize(1);
  SetBitmapName("INSTRUMENT");
  SetName(LocalisedString(strings::kInstrumentName));
  SetShortName("Instr");
}

TCustomHW::~TCustomHW() = default;

void TCustomHW::BeforeDestruction() {
  TCustomDevice::BeforeDestruction();
  // The channels go while the instrument is still whole. Those someone still holds outlive it:
  // they are told it is gone first.
  std::vector<ComPtr<TCustomChannel>> channels;
  {
    const std::lock_guard lock(channelsMutex_);
    channels.swap(channels_);
  }
  for (const ComPtr<TCustomChannel>& channel : channels) channel->DetachFromInstrument();
}

void TCustomHW::AfterConstruction() {
  CreateSettings();
  ApplyDefaults();
  TCustomDevice::AfterConstruction();
}

bool TCustomHW::GetInterface(const Guid& iid, void** object) {
  return Answer<IInstrument>(this, iid, object) || Answer<IScopeHW>(this, iid, object) ||
         Answer<ICurNext>(this, iid, object) || Answer<IInstrumentTiming>(this, iid, object) ||
         Answer<INumberedSources>(this, iid, object) || TCustomDevice::GetInterface(iid, object);
}

void TCustomHW::CreateSettings() {
  IInterface* const owner = static_cast<IInstrument*>(this);
  cur_ = MakeSettings<TInstrumentSettings>(
      owner,
      {TSettingsSetValueMethod::Bind<&TCustomHW::SetCurOfInstrument>(this),
       TSettingsGetValueMethod::Bind<&TCustomHW::GetCurOfInstrument>(this),
       TSettingsInfoMethod::Bind<&TCustomHW::GetCurInfo>(this)},
      kHWCachable, kHWCachableIndices);
  next_ = MakeSettings<TInstrumentSettings>(
      owner,
      {TSettingsSetValueMethod::Bind<&TCustomHW::SetNextOfInstrument>(this),
       TSettingsGetValueMethod::Bind<&TCustomHW::GetNextOfInstrument>(this),
       TSettingsInfoMethod::Bind<&TCustomHW::GetNextInfo>(this)},
      kHWCachable, kHWCachableIndices);
}

// ---------------------------------------------------------------------------------------------
// Settings

ComPtr<ISettings> TCustomHW::GetCur() { return ComPtr<ISettings>(cur_.Get()); }

ComPtr<ISettings> TCustomHW::GetNext() { return ComPtr<ISettings>(next_.Get()); }

ComPtr<ISettings> TCustomHW::GetCurNext(int32_t index) {
  return CurOrNext<ISettings>(index, cur_.Get(), next_.Get());
}

ComPtr<IInstrumentSettings> TCustomHW::GetCurSettings() {
  return ComPtr<IInstrumentSettings>(cur_.Get());
}

ComPtr<IInstrumentSettings> TCustomHW::GetNextSettings() {
  return ComPtr<IInstrumentSettings>(next_.Get());
}

ComPtr<IInstrumentSettings> TCustomHW::GetSettings(int32_t index) {
  return CurOrNext<IInstrumentSettings>(index, cur_.Get(), next_.Get());
}

HResult TCustomHW::Start(int64_t value) { return next_->SetValue(HW_START, value); }

HResult TCustomHW::Stop(int64_t value) { return cur_->SetValue(HW_STOP, value); }

int32_t TCustomHW::GetSettingsInfo(int32_t /*index*/, int32_t /*which*/) { return 0; }

HResult TCustomHW::AccessGate(int32_t channel) const {
  if (Destroying()) return E_ACCESSDENIED;
  const std::lock_guard lock(channelsMutex_);
  if (channel < -1 || channel >= static_cast<int32_t>(channels_.size())) return E_INVALIDARG;
  return E_NOTIMPL;
}

HResult TCustomHW::ReadGate(int32_t channel, int64_t& value) const {
  const HResult result = AccessGate(channel);
  if (result != E_NOTIMPL) value = 0;
  return result;
}

HResult TCustomHW::SetCurValue(uint32_t, int32_t channel, int64_t) { return AccessGate(channel); }

HResult TCustomHW::SetNextValue(uint32_t, int32_t channel, int64_t) { return AccessGate(channel); }

HResult TCustomHW::GetCurValue(uint32_t, int32_t channel, int64_t& value) {
  return ReadGate(channel, value);
}

HResult TCustomHW::GetNextValue(uint32_t, int32_t channel, int64_t& value) {
  return ReadGate(channel, value);
}

HResult TCustomHW::SetCurAuxValue(uint32_t, int32_t channel, int64_t) {
  return AccessGate(channel);
}

HResult TCustomHW::SetNextAuxValue(uint32_t, int32_t channel, int64_t) {
  return AccessGate(channel);
}

HResult TCustomHW::GetCurAuxValue(uint32_t, int32_t channel, int64_t& value) {
  return ReadGate(channel, value);
}

HResult TCustomHW::GetNextAuxValue(uint32_t, int32_t channel, int64_t& value) {
  return ReadGate(channel, value);
}

// ---------------------------------------------------------------------------------------------
// Defaults and timing

void TCustomHW::ApplyDefaults() {
  SetDefaults();
  for (const ComPtr<TCustomChannel>& channel : Channels()) channel->Initialise();
  defaultsApplied_ = true;
}

void TCustomHW::SetDefaults() {
  if (GetOpenCount() != 1) return;
  TInstrumentSettings& next = *next_.Get();
  next.BeginUpdate();
  if (next.GetSampleFrequencyCount() > 0) {
    // The raw value, so the maximum is written exactly as the list holds it.
    if (const auto maximum = TryReadValue(next, HW_SAMPLEFREQUENCIES, 0)) {
      next.SetValue(HW_SAMPLEFREQUENCY, *maximum);
    }
  }
  next.SetDataSize(kDefaultRecordLength);
  next.EndUpdate();
}

int32_t TCustomHW::UpdateStartTime() {
  SetStartTimeBefore(static_cast<double>(cur_->GetDataSize()));
  return 0;
}

void TCustomHW::SetStartTimeBefore(double samples) {
  const double frequency = cur_->GetSampleFrequency();
  const double seconds = frequency > 0.0 ? samples / frequency : 0.0;
  startTime_ = NowDateTime() - seconds / kSecondsPerDay;
}

// ---------------------------------------------------------------------------------------------
// Identity

uint32_t TCustomHW::GetSerialNumber() { return info_.status == 0 ? info_.serialNumber : 0; }

std::string TCustomHW::GetDisplayName(uint32_t flags) {
  std::string name = TCustomDevice::GetDisplayName(flags | kDisplayNoNumber);
  if ((flags & kDisplayNoNumber) == 0) {
    name += '(';
    name += std::to_string(GetSerialNumber());
    name += ')';
  }
  return name;
}

void TCustomHW::GetDriverVersion(std::array<uint8_t, 8>& version) { version.fill(0); }

void TCustomHW::GetFirmwareVersion(std::array<uint8_t, 8>& version) { version.fill(0); }

void TCustomHW::Hide() {
  const ComPtr<IInterface> hold(static_cast<IInstrument*>(this));
  TCustomDevice::Hide();
  std::vector<ComPtr<TCustomChannel>> channels = Channels();
  for (auto it = channels.rbegin(); it != channels.rend(); ++it) {
    if (const ComPtr<IHideNotify> hide = Query<IHideNotify>(*it)) hide->Hide();
  }
}

// ---------------------------------------------------------------------------------------------
// Channels

ComPtr<IChannel> TCustomHW::GetChannel(int32_t index) {
  return ComPtr<IChannel>(ChannelObject(index));
}

ComPtr<TCustomChannel> TCustomHW::ChannelObject(int32_t index) {
  const std::lock_guard lock(channelsMutex_);
  if (index < 0 || index >= static_cast<int32_t>(channels_.size())) return nullptr;
  return channels_[static_cast<size_t>(index)];
}

ComPtr<IInterface> TCustomHW::GetSourceByIndex(int32_t index) {
  return ComPtr<IInterface>(static_cast<IChannel*>(ChannelObject(index).Get()));
}

int32_t TCustomHW::IndexOfSource(IInterface* source) {
  const std::vector<ComPtr<TCustomChannel>> channels = Channels();
  for (size_t i = 0; i < channels.size(); ++i) {
    if (SameObject(static_cast<IChannel*>(channels[i].Get()), source))
      return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t TCustomHW::GetChannelCount() {
  const std::lock_guard lock(channelsMutex_);
  return static_cast<int32_t>(channels_.size());
}

std::vector<ComPtr<TCustomChannel>> TCustomHW::Channels() {
  const std::lock_guard lock(channelsMutex_);
  return channels_;
}

void TCustomHW::InsertChannel(TCustomChannel* channel, int32_t index) {
  int32_t position = 0;
  {
    const std::lock_guard lock(channelsMutex_);
    position = std::clamp(index, 0, static_cast<int32_t>(channels_.size()));
    channels_.insert(channels_.begin() + position, ComPtr<TCustomChannel>(channel));
    channel->index_ = position;  // before the others move: their listeners may move it further
  }
  RenumberFrom(position + 1);
}

void TCustomHW::RemoveChannel(TCustomChannel* channel) {
  int32_t position = -1;
  {
    const std::lock_guard lock(channelsMutex_);
    const auto found =
        std::find_if(channels_.begin(), channels_.end(),
                     [channel](const auto& entry) { return entry.Get() == channel; });
    if (found == channels_.end()) return;
    // The channel is being destroyed: its reference is dropped without releasing it again.
    found->Detach();
    position = static_cast<int32_t>(found - channels_.begin());
    channels_.erase(found);
  }
  RenumberFrom(position);
}

void TCustomHW::RenumberFrom(int32_t index) {
  // Each channel takes the place it has when its turn comes: a listener told of a move may insert
  // a channel meanwhile, which renumbers those behind it itself.
  for (int32_t i = index;; ++i) {
    const ComPtr<TCustomChannel> channel = ChannelObject(i);
    if (!channel) return;
    channel->SetIndex(i);
  }
}

void TCustomHW::BeginChannelUpdates() {
  for (const ComPtr<TCustomChannel>& channel : Channels()) channel->BeginUpdate(false);
}

void TCustomHW::EndChannelUpdates() {
  for (const ComPtr<TCustomChannel>& channel : Channels()) channel->EndUpdate();
}

void TCustomHW::ClearChannelsNotLoaded(const std::vector<bool>& loaded) {
  const std::vector<ComPtr<TCustomChannel>> channels = Channels();
  for (size_t i = 0; i < channels.size(); ++i) {
    if (i >= loaded.size() || !loaded[i]) channels[i]->ClearStoredData();
  }
}

void TCustomHW::GrowChannelArrays() {
  for (std::vector<int32_t>& words : channelWords_) {
    words.resize(static_cast<size_t>(GetChannelCount()) + 2);
  }
}

void TCustomHW::FitChannelArrays() {
  for (std::vector<int32_t>& words : channelWords_) {
    words.resize(static_cast<size_t>(GetChannelCount()) + 1);
  }
}

}  // namespace veltra
