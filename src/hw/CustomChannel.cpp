#include "hw/CustomChannel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "framework/Dialogs.h"
#include "framework/Strings.h"
#include "hw/CustomHW.h"
#include "hw/HWFiles.h"
#include "signals/SignalFiles.h"
#include "util/IFFHelper.h"
#include "util/NumberText.h"
#include "util/Routines.h"

namespace veltra {

namespace {

constexpr uint32_t kCouplingChanges = HW_COUPLING | HW_RANGE;
constexpr uint32_t kEverySetting = 0x7FFFFFFF;
constexpr uint64_t kAllSettings = ~uint64_t{0};
// A file never switches a channel on or off through its next settings.
constexpr uint64_t kLoadableNext = ~uint64_t{HW_ENABLE};

// The shared colour list of channels without a colour of their own.
constexpr int32_t kPoolColours[] = {0xFF00, 0xFFFF00, 0xFF8000, 0xFF, 0x80FF, 0x8000FF};

// Couplings by the span their samples cover: 0 the ordinary inputs (scaled by the probe gain),
// 1 couplings 4 and 8, 2 coupling 16 (0 ... range).
int CouplingClass(uint8_t coupling) {
  if (coupling == 4 || coupling == 8) return 1;
  if (coupling == 16) return 2;
  return 0;
}

std::string UnitOfCoupling(uint8_t coupling) {
  switch (coupling) {
    case 1:
    case 2:
      return LocalisedString(strings::kUnitVoltage);
    case 4:
    case 8:
      return LocalisedString(strings::kUnitCurrent);
    case 16:
      return LocalisedString(strings::kUnitResistance);
    default:
      return {};
  }
}

std::string GainCaption(double factor) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f x", factor);
  return text;
}

// A factor the samples can be scaled by and back: neither 0 (which would wipe them) nor infinite
// nor NaN (which never equals itself, so it would count as a change every time).
bool IsProbeGain(double gain) { return std::isfinite(gain) && gain != 0.0; }

// The decimal digits of n (n >= 0).
size_t DigitsOf(int32_t n) { return std::to_string(n).size(); }

}  // namespace

int32_t ChannelPoolColour(int32_t index) {
  constexpr int32_t kCount = static_cast<int32_t>(std::size(kPoolColours));
  return kPoolColours[index >= 0 ? index % kCount : 0];
}

// ---------------------------------------------------------------------------------------------
// Construction

TCustomChannel::TCustomChannel(TCustomHW* instrument, int32_t index)
    : instrument_(instrument),
      gainMenu_{LocalisedString(strings::kProbeGain)},
      customGain_{LocalisedString(strings::kCustomGain) + "...", kCustomGainTag} {
  if (!instrument) throw std::invalid_argument("A channel needs the instrument it belongs to.");
  // A channel belongs to its instrument: it can be neither deleted nor duplicated.
  PublishedItems().Remove("Delete");
  PublishedItems().Remove("Duplicate");
  SetOfferedActions((OfferedActions() | kOfferProbeGain) & ~(kOfferFixedSpan | kOfferSnappedSpan));
  SetParent(static_cast<IInstrument*>(instrument));
  instrument->InsertChannel(this, index);  // sets the index
  SetBitmapName("CHANNEL");
  SetName(LocalisedString(strings::kChannelName));
  SetShortName(LocalisedString(strings::kChannelShortName));
  SetNumber(index_ + 1);
  for (size_t i = 0; i < kGainFactors.size(); ++i) {
    gainActions_[i] = TAction{GainCaption(kGainFactors[i]), static_cast<int32_t>(i)};
  }
  SetGainActionsEnabled(false);
  CheckGainAction();
}

TCustomChannel::~TCustomChannel() {
  if (instrument_) instrument_->RemoveChannel(this);
}

void TCustomChannel::AfterConstruction() {
  CreateSettings();
  if (instrument_ && instrument_->DefaultsApplied()) Initialise();
  TCustomSource::AfterConstruction();
}

void TCustomChannel::CreateSettings() {
  IInterface* const owner = static_cast<IChannel*>(this);
  cur_ = MakeSettings<TChannelSettingsEx>(
      owner,
      {TSettingsSetValueMethod::Bind<&TCustomChannel::SetCurValue>(this),
       TSettingsGetValueMethod::Bind<&TCustomChannel::GetCurValue>(this),
       TSettingsInfoMethod::Bind<&TCustomChannel::GetCurInfo>(this)},
      kHWCachable, kHWCachableIndices);
  cur_->SetOnChangedCalled(TNotifyDWORD::Bind<&TCustomChannel::OnCurChanged>(this));
  next_ = MakeSettings<TChannelSettings>(
      owner,
      {TSettingsSetValueMethod::Bind<&TCustomChannel::SetNextValue>(this),
       TSettingsGetValueMethod::Bind<&TCustomChannel::GetNextValue>(this),
       TSettingsInfoMethod::Bind<&TCustomChannel::GetNextInfo>(this)},
      kHWCachable, kHWCachableIndices);
}

void TCustomChannel::DetachFromInstrument() {
  instrument_ = nullptr;
  SetParent(nullptr);
  InstrumentGone();
}

void TCustomChannel::InstrumentGone() {
  if (cur_) cur_->Changed(~0u);
  if (next_) next_->Changed(~0u);
}

bool TCustomChannel::GetInterface(const Guid& iid, void** object) {
  return Answer<IChannel>(this, iid, object) || Answer<IScopeHW>(this, iid, object) ||
         Answer<ICurNext>(this, iid, object) || Answer<IProbeGain>(this, iid, object) ||
         TCustomSource::GetInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// Settings

ComPtr<ISettings> TCustomChannel::GetCur() { return ComPtr<ISettings>(cur_.Get()); }

ComPtr<ISettings> TCustomChannel::GetNext() { return ComPtr<ISettings>(next_.Get()); }

ComPtr<ISettings> TCustomChannel::GetCurNext(int32_t index) {
  return CurOrNext<ISettings>(index, cur_.Get(), next_.Get());
}

ComPtr<IChannelSettings> TCustomChannel::GetCurSettings() {
  return ComPtr<IChannelSettings>(cur_.Get());
}

ComPtr<IChannelSettings> TCustomChannel::GetNextSettings() {
  return ComPtr<IChannelSettings>(next_.Get());
}

ComPtr<IChannelSettings> TCustomChannel::GetSettings(int32_t index) {
  return CurOrNext<IChannelSettings>(index, cur_.Get(), next_.Get());
}

ComPtr<IInstrument> TCustomChannel::GetInstrument() {
  return instrument_ ? ComPtr<IInstrument>(instrument_) : nullptr;
}

int32_t TCustomChannel::ChannelInfoIndex(int32_t index) const {
  return index | ((index_ + 1) & 0xFF) << 16;
}

int32_t TCustomChannel::GetCurInfo(int32_t index) {
  return instrument_ ? instrument_->GetCurInfo(ChannelInfoIndex(index)) : 0;
}

int32_t TCustomChannel::GetNextInfo(int32_t index) {
  return instrument_ ? instrument_->GetNextInfo(ChannelInfoIndex(index)) : 0;
}

HResult TCustomChannel::GetCurValue(uint32_t id, int64_t& value) {
  return ReadThrough(instrument_, &TCustomHW::GetCurValue, id, value);
}

HResult TCustomChannel::SetCurValue(uint32_t id, int64_t value) {
  return WriteThrough(instrument_, &TCustomHW::SetCurValue, id, value);
}

HResult TCustomChannel::GetCurAuxValue(uint32_t id, int64_t& value) {
  return ReadThrough(instrument_, &TCustomHW::GetCurAuxValue, id, value);
}

HResult TCustomChannel::SetCurAuxValue(uint32_t id, int64_t value) {
  return WriteThrough(instrument_, &TCustomHW::SetCurAuxValue, id, value);
}

HResult TCustomChannel::GetNextValue(uint32_t id, int64_t& value) {
  return ReadThrough(instrument_, &TCustomHW::GetNextValue, id, value);
}

HResult TCustomChannel::SetNextValue(uint32_t id, int64_t value) {
  return WriteThrough(instrument_, &TCustomHW::SetNextValue, id, value);
}

HResult TCustomChannel::GetNextAuxValue(uint32_t id, int64_t& value) {
  return ReadThrough(instrument_, &TCustomHW::GetNextAuxValue, id, value);
}

HResult TCustomChannel::SetNextAuxValue(uint32_t id, int64_t value) {
  return WriteThrough(instrument_, &TCustomHW::SetNextAuxValue, id, value);
}

void TCustomChannel::BeginUpdate(bool announce) {
  if (cur_) cur_->BeginUpdate();  // the settings are there once AfterConstruction made them
  if (next_) next_->BeginUpdate();
  TCustomSource::BeginUpdate(announce);
}

void TCustomChannel::EndUpdate() {
  if (next_) next_->EndUpdate();
  if (cur_) cur_->EndUpdate();
  TCustomSource::EndUpdate();
}

// ---------------------------------------------------------------------------------------------
// Defaults and the source's view of the settings

void TCustomChannel::Initialise() {
  if (instrument_ && instrument_->GetOpenCount() == 1) {
    TChannelSettings& next = *next_.Get();
    next.BeginUpdate();
    const int64_t ranges = next.GetRangeCount();
    if (ranges > 0) {
      if (const auto largest = TryReadValue(next, HW_RANGES, ranges - 1)) {
        next.SetValue(HW_RANGE, *largest);
      }
    }
    next.SetAutoRanging(-1);
    next.SetCoupling(1);
    next.EndUpdate();
  }
  SettingsChanged(kEverySetting);
}

void TCustomChannel::SettingsChanged(uint32_t mask) {
  if ((mask & kCouplingChanges) == 0) return;
  TCustomSource::BeginUpdate(false);
  if ((mask & HW_COUPLING) != 0) SetUnit(UnitOfCoupling(cur_->GetCoupling()), false);
  UpdateValueSpan();
  TCustomSource::EndUpdate();
}

void TCustomChannel::UpdateValueSpan() {
  double range = cur_->GetRange();
  switch (CouplingClass(cur_->GetCoupling())) {
    case 2:
      SetSpan(false, 0.0, range);
      break;
    case 1:
      SetSpan(false, -range, range);
      break;
    default:
      range = std::abs(range * gain_);
      SetSpan(false, -range, range);
      break;
  }
}

void TCustomChannel::SetIndex(int32_t index) {
  if (index == index_) return;
  TCustomSource::BeginUpdate(false);
  index_ = index;
  SetNumber(index + 1);
  SetColour(kNoColour);
  Changed(kChangeName);
  // The settings now stand for another channel of the instrument: what they cached is not its.
  // (A channel moved while it is being made has none yet.)
  if (cur_) cur_->Changed(kEverySetting);
  if (next_) next_->Changed(kEverySetting);
  TCustomSource::EndUpdate();
}

int32_t TCustomChannel::GetColour() {
  const int32_t colour = TCustomSource::GetColour();
  return colour == kNoColour ? ChannelPoolColour(index_) : colour;
}

// ---------------------------------------------------------------------------------------------
// Probe gain

void TCustomChannel::SetGain(double gain) {
  if (gain == gain_ || !IsProbeGain(gain)) return;
  previousGain_ = gain_;
  gain_ = gain;
  CheckGainAction();
  NotifyGainListeners();
}

void TCustomChannel::CheckGainAction() {
  const auto found = std::find(kGainFactors.begin(), kGainFactors.end(), gain_);
  const auto checked = static_cast<int32_t>(found - kGainFactors.begin());
  for (TAction& action : gainActions_) action.checked = action.tag == checked;
  customGain_.checked = found == kGainFactors.end();
}

void TCustomChannel::NotifyGainListeners() {
  const std::vector<TGainNotify> listeners = gainListeners_;  // a listener may change the list
  IInterface* const self = static_cast<IChannel*>(this);
  for (auto it = listeners.rbegin(); it != listeners.rend(); ++it) (*it)(self);
}

void TCustomChannel::AddGainNotify(const TGainNotify& handler) {
  gainListeners_.push_back(handler);
}

void TCustomChannel::RemoveGainNotify(const TGainNotify& handler) {
  const auto found = std::find(gainListeners_.begin(), gainListeners_.end(), handler);
  if (found != gainListeners_.end()) gainListeners_.erase(found);
}

void TCustomChannel::SetGainActionsEnabled(bool enabled) {
  gainMenu_.enabled = enabled;
  for (TAction& action : gainActions_) action.enabled = enabled;
  customGain_.enabled = enabled;
}

void TCustomChannel::SelectGainAction(int32_t tag) {
  if (tag >= 0 && tag < static_cast<int32_t>(kGainFactors.size())) {
    SetGain(kGainFactors[static_cast<size_t>(tag)]);
    return;
  }
  if (tag != kCustomGainTag) return;
  std::string text = std::to_string(gain_);
  if (!ShowTextDialog(customGain_.caption, text)) return;
  try {
    SetGain(static_cast<double>(EvalFloat(text)));
  } catch (const std::exception&) {
    // Not a number: the gain stays as it was.
  }
}

// ---------------------------------------------------------------------------------------------
// Names

std::string TCustomChannel::GetDisplayName(uint32_t flags) {
  std::string name;
  const int32_t count = instrument_ ? instrument_->GetChannelCount() : 0;
  if (count > 9 && (flags & kDisplayNoNumber) == 0) {
    name = TCustomSource::GetDisplayName(flags | kDisplayNoNumber);
    const std::string number = std::to_string(GetNumber());
    name.append(DigitsOf(count) > number.size() ? DigitsOf(count) - number.size() : 0, '0');
    name += number;
  } else {
    name = TCustomSource::GetDisplayName(flags);
  }
  if ((flags & kDisplayNoInstrument) == 0 && instrument_) {
    name.insert(0, instrument_->GetDisplayName(flags) + ".");
  }
  return name;
}

// ---------------------------------------------------------------------------------------------
// Files

uint32_t TCustomChannel::LoadFromInstrumentFile(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  LoadFromIFF(iff, node, flags);
  return flags;
}

void TCustomChannel::SaveToInstrumentFile(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  SaveToIFF(iff, node, flags, false);
}

bool TCustomChannel::HasStoredData(IIFFStream& iff, TIFFChunk* node) {
  return FindChild(iff, node, ID_FORMAT) && FindChild(iff, node, ID_DATA);
}

void TCustomChannel::DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) {
  const double gain = TIFFHelper(iff, node).ReadDouble(kGainID, 1.0);
  SetGain(IsProbeGain(gain) ? gain : 1.0);  // a stored value that is no gain counts as none
  if ((flags & kFileNoData) == 0 && HasStoredData(iff, node)) {
    if (TIFFChunk* stored = FindChild(iff, node, ID_SETTINGS_CUR)) {
      cur_->LoadFromChunk(iff, stored, kAllSettings);
    }
  }
  if (TIFFChunk* stored = FindChild(iff, node, ID_SETTINGS_NEXT)) {
    next_->LoadFromChunk(iff, stored, kLoadableNext);
  }
  TCustomSource::DoLoadFromIFF(iff, node, flags);
}

void TCustomChannel::DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) {
  TCustomSource::DoSaveToIFF(iff, node, flags);
  cur_->SaveToChunk(iff, node, true, ID_SETTINGS_CUR);
  next_->SaveToChunk(iff, node, true, ID_SETTINGS_NEXT);
  TIFFHelper(iff, node).WriteDoubleUnlessDefault(kGainID, gain_, 1.0);
}

uint32_t TCustomChannel::SaveFlags(uint32_t flags) {
  if (cur_->GetEnabled() == 0) flags |= kFileNoData;
  return TCustomSource::SaveFlags(flags);
}

void TCustomChannel::ClearStoredData() {
  if (GetCount() <= 0) return;
  FillZeroLevel();
  SetKeyCipherMask(0);
  Changed(kChangeNewData);
}

int32_t TCustomChannel::LoadFromStream(TStream& stream, uint32_t flags) {
  StreamBlockHeader header;
  const int64_t start = FindStreamBlock(stream, kClassID, header);
  if (start < 0) return 0;
  bool sourceToo = LoadsLevelBelow(flags);
  if (header.version == 0) {
    cur_->LoadFromStream(stream, static_cast<uint32_t>(kAllSettings));
  } else if (header.version == 1) {
    // The rest of the header, whose length comes first.
    const uint32_t length = ReadUInt32(stream);
    if (length > 4) stream.Seek(length - 4, SeekOrigin::Current);
    // Without current settings, or in the last block of the chain, the source's block is not
    // looked for.
    if ((flags & kFileNoData) != 0 || header.a == header.distance) {
      stream.Seek(kSettingsRecordSize, SeekOrigin::Current);
      sourceToo = false;
    } else {
      cur_->LoadFromStream(stream, static_cast<uint32_t>(kAllSettings));
    }
    next_->LoadFromStream(stream, static_cast<uint32_t>(kLoadableNext));
  } else {
    throw EStreamError(UnsupportedVersionText(ClassName()));
  }
  stream.SetPosition(start + header.distance);
  if (!sourceToo) return 1;
  uint32_t sourceFlags = FlagsForLevelBelow(flags);
  return 1 + TCustomSource::LoadFromLegacyStream(stream, sourceFlags);
}

// ---------------------------------------------------------------------------------------------
// Sinks

bool TCustomChannel::AcceptSink(ISink* sink) {
  if (!TCustomSource::AcceptSink(sink)) return false;
  return next_->GetEnabled() != 0 || (next_->GetSupportsSet() & HW_ENABLE) != 0;
}

}  // namespace veltra
