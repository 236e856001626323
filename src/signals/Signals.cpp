#include "signals/Signals.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "framework/Dialogs.h"
#include "framework/Strings.h"
#include "signals/SignalFiles.h"

namespace veltra {

namespace {

constexpr const char* kItemDisconnectAll = "DisconnectAllSinks";
constexpr const char* kItemDisconnectDialog = "DisconnectSinksDialog";

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCustomSignal

TCustomSignal::TCustomSignal(IInterface* owner)
    : TVtObjectEx(owner), events_(static_cast<IInterface*>(this), ConnectionPoints()) {
  PublishedItems().Add({"Delete", kItemDelete, strings::kDelete});
  // No copy can be made at this level: a class that can duplicate itself enables the item.
  PublishedItems().Add({"Duplicate", kItemDuplicate, strings::kDuplicate, false});
}

void TCustomSignal::SetName(const std::string& name) {
  if (name == GetName()) return;
  TVtObjectEx::SetName(name);
  Changed(kChangeName);
}

void TCustomSignal::SetShortName(const std::string& shortName) {
  if (shortName == ShortNameField()) return;
  TVtObjectEx::SetShortName(shortName);
  Changed(kChangeName);
}

void TCustomSignal::BeginUpdate(bool announce) { events_.BeginUpdate(announce); }

void TCustomSignal::EndUpdate() { events_.EndUpdate(); }

void TCustomSignal::Changed(uint32_t mask) { events_.Changed(mask); }

HResult TCustomSignal::LoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) {
  if (!node) return E_POINTER;
  const TUpdateBracket bracket(*this);
  DoLoadFromIFF(iff, node, flags);
  return S_OK;
}

HResult TCustomSignal::SaveToIFF(IIFFStream& iff, TIFFChunk*& node, uint32_t& flags, bool create) {
  if (!node) return E_POINTER;
  if (create) node = iff.AddContainer(node, ID_RIFF, ContainerType());
  flags = SaveFlags(flags);
  DoSaveToIFF(iff, node, flags);
  return S_OK;
}

int32_t TCustomSignal::LoadFromLegacyStream(TStream& /*stream*/, uint32_t& /*flags*/) { return 0; }

bool TCustomSignal::GetInterface(const Guid& iid, void** object) {
  return Answer<ISignal>(this, iid, object) || Answer<ISignalParent>(this, iid, object) ||
         TVtObjectEx::GetInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// TCustomSource: sinks

TCustomSource::TCustomSource(IInterface* owner)
    : TCustomSignal(owner),
      unit_(LocalisedString(strings::kUnitVoltage)),
      fixedSpan_{"Fixed span"},
      snappedSpan_{"Snap span to round values"},
      colourModes_{TAction{"Default colour", 0, true, true}, TAction{"Automatic colour", 1},
                   TAction{"Own colour", 2}},
      editUnit_{LocalisedString(strings::kEditUnit)} {
  PublishedItems().Add({kItemDisconnectAll, kItemDisconnect, strings::kDisconnectAllSinks, false});
  PublishedItems().Add(
      {kItemDisconnectDialog, kItemDisconnect, strings::kDisconnectSinksDialog, false});
}

TCustomSource::~TCustomSource() = default;

void TCustomSource::Hide() {
  const ComPtr<IInterface> hold(static_cast<IInterface*>(this));
  TCustomSignal::Hide();
  DisconnectAllSinks();
  sinks_.Clear();  // those that refused to let go are dropped all the same
}

TChunkID TCustomSource::ContainerType() const { return ID_SOURCE; }

int32_t TCustomSource::ConnectSink(ISink* sink) {
  if (connecting_) return kConnectDone;
  if (!sink) return kConnectNoSink;
  connecting_ = true;
  struct TGuard {
    bool& flag;
    ~TGuard() { flag = false; }
  } guard{connecting_};
  if (!allowDuplicateSinks_ && sinks_.IndexOf(sink) >= 0) return kConnectDone;
  if (maxSinks_ > 0 && GetSinkCount() >= maxSinks_) return kConnectFull;
  if (!AcceptSink(sink)) return kConnectRefused;

  const ComPtr<ISink> hold(sink);
  const TUpdateBracket sourceBracket(*this);
  const TUpdateBracket sinkBracket(*sink);
  sinks_.Add(hold);
  int32_t answer;
  try {
    answer = sink->ConnectSource(this);
  } catch (...) {
    sinks_.RemoveAt(static_cast<size_t>(sinks_.LastIndexOf(sink)));
    throw;
  }
  if (answer != kConnectDone) {
    sinks_.RemoveAt(static_cast<size_t>(sinks_.LastIndexOf(sink)));
  } else {
    SinkConnected(sink);
  }
  return answer;
}

int32_t TCustomSource::DisconnectSink(ISink* sink) {
  const std::ptrdiff_t index = sink ? sinks_.LastIndexOf(sink) : -1;
  if (index < 0) return 1;
  // A sink that lets go of the source may hold its last reference.
  const ComPtr<IInterface> hold(static_cast<IInterface*>(this));
  const TUpdateBracket bracket(*this);
  const ComPtr<ISink> removed = sinks_.RemoveAt(static_cast<size_t>(index));
  const int32_t answer = removed->DisconnectSource(this);
  if (answer != 0) {
    sinks_.Insert(static_cast<size_t>(index), removed);
  } else {
    SinkDisconnected(removed.Get());
  }
  return answer;
}

void TCustomSource::DisconnectAllSinks() {
  const ComPtr<IInterface> hold(static_cast<IInterface*>(this));  // as in DisconnectSink
  while (const ComPtr<ISink> last = sinks_.Last()) {
    if (DisconnectSink(last.Get()) != 0) return;
  }
}

ComPtr<ISink> TCustomSource::GetSink(int32_t index) {
  return index < 0 ? nullptr : sinks_.Get(static_cast<size_t>(index));
}

void TCustomSource::DisconnectSinksDialog() {
  std::vector<ComPtr<ISink>> sinks;
  std::vector<TDialogChoice> choices;
  for (int32_t i = 0; i < GetSinkCount(); ++i) {
    ComPtr<ISink> sink = GetSink(i);
    const ComPtr<IVTObject> named = Query<IVTObject>(sink);
    choices.push_back({named ? named->GetDisplayName(kDisplayAlias) : std::string(), false});
    sinks.push_back(std::move(sink));
  }
  const std::string caption =
      LocalisedString(strings::kDisconnectSinksDialog) + " " + GetDisplayName(kDisplayAlias);
  if (!ShowSelectDialog(caption, choices)) return;
  for (size_t i = 0; i < sinks.size(); ++i) {
    if (choices[i].checked && sinks[i]) DisconnectSink(sinks[i].Get());
  }
}

void TCustomSource::SinkConnected(ISink* sink) {
  UpdateSinkItems();
  if (onSinkConnected_) onSinkConnected_(this, sink);
}

void TCustomSource::SinkDisconnected(ISink* sink) {
  UpdateSinkItems();
  if (onSinkDisconnected_) onSinkDisconnected_(this, sink);
}

bool TCustomSource::AcceptSink(ISink* /*sink*/) { return true; }

void TCustomSource::UpdateSinkItems() {
  const int32_t count = GetSinkCount();
  PublishedItems().SetEnabled(kItemDisconnectAll, count >= 1);
  PublishedItems().SetEnabled(kItemDisconnectDialog, count >= 2);
}

// ---------------------------------------------------------------------------------------------
// TCustomSource: samples

bool TCustomSource::SetDataType(uint32_t dataType) {
  if (GetSinkCount() > 0) return false;
  return buffer_.Reshape(dataType, static_cast<size_t>(count_));
}

int64_t TCustomSource::SetDataTypeFromVarType(uint16_t varType) {
  const int32_t sinks = GetSinkCount();
  if (sinks > 0) return sinks;
  SetDataType(VarTypeToDataType(varType));
  return GetDataType();
}

bool TCustomSource::SetCount(int64_t count) {
  if (count == count_) return true;
  if (count < 0 || static_cast<uint64_t>(count) > TSampleBuffer::kMaxBytes) return false;
  if (!buffer_.Reshape(buffer_.DataType(), static_cast<size_t>(count))) return false;
  count_ = count;
  Changed(kChangeCount);
  return true;
}

// ---------------------------------------------------------------------------------------------
// TCustomSource: span and unit

void TCustomSource::SetSpan(bool force, double low, double high) {
  if (!force && FixedSpan()) return;
  requested_ = {low, high};
  if (!spanUpdateLocked_) ApplyRequestedSpan();
}

void TCustomSource::ApplyRequestedSpan() {
  const TSpan span = SnappedSpan() ? SnapSpan(requested_) : requested_;
  if (!(span.high > span.low) || !std::isfinite(span.low) || !std::isfinite(span.high)) return;
  if (span == span_) return;
  span_ = span;
  Changed(kChangeSpan);
}

void TCustomSource::SetSpanUpdateLock(bool locked) {
  if (locked == spanUpdateLocked_) return;
  spanUpdateLocked_ = locked;
  if (!locked) ApplyRequestedSpan();
}

void TCustomSource::SetSnappedSpan(bool on) {
  if (on == SnappedSpan()) return;
  snappedSpan_.checked = on;
  if (!spanUpdateLocked_) ApplyRequestedSpan();
}

void TCustomSource::SetUnit(const std::string& unit, bool force) {
  if (!force && unitLocked_) return;
  if (unit == unit_) return;
  unit_ = unit;
  Changed(kChangeUnit);
}

void TCustomSource::EditUnit() {
  std::string text = unit_;
  if (!ShowTextDialog(LocalisedString(strings::kEditUnit), text)) return;
  unitLocked_ = !text.empty();
  SetUnit(text, true);
}

// ---------------------------------------------------------------------------------------------
// TCustomSource: sampling, time stamp and colour

void TCustomSource::SetSampleFrequency(double hertz) {
  Assign(sampleFrequency_, hertz, kChangeSampleFrequency);
}
void TCustomSource::SetFrequencyStep(double hertz) {
  Assign(frequencyStep_, hertz, kChangeFrequencyStep);
}
void TCustomSource::SetPreSamples(int64_t samples) {
  Assign(preSamples_, samples, kChangePreSamples);
}
void TCustomSource::SetStartValue(double value) { Assign(startValue_, value, kChangeStartValue); }
void TCustomSource::SetResolution(int32_t bits) { Assign(resolution_, bits, kChangeResolution); }

void TCustomSource::SetColour(int32_t colour) {
  if (colour == colour_) return;
  colour_ = colour;
  if (colour == kNoColour && colourMode_ != 1) SetColourMode(0);
  Changed(kChangeColour);
}

void TCustomSource::SetColourMode(uint32_t mode) {
  mode = std::min<uint32_t>(mode, 2);
  if (mode == colourMode_) return;
  colourMode_ = mode;
  for (TAction& action : colourModes_) action.checked = action.tag == static_cast<int32_t>(mode);
  if (mode == 0) SetColour(kNoColour);
}

void TCustomSource::Changed(uint32_t mask) {
  if ((mask & kChangeNewData) != 0 && !(loading_ && timeStamp_ != 0.0)) timeStamp_ = CurrentTime();
  TCustomSignal::Changed(mask);
}

// ---------------------------------------------------------------------------------------------
// TCustomSource: actions and interfaces

void TCustomSource::SetOfferedActions(uint32_t actions) {
  offeredActions_ = actions;
  fixedSpan_.enabled = (actions & kOfferFixedSpan) != 0;
  snappedSpan_.enabled = (actions & kOfferSnappedSpan) != 0;
}

bool TCustomSource::GetInterface(const Guid& iid, void** object) {
  return Answer<ISource>(this, iid, object) || TCustomSignal::GetInterface(iid, object);
}

}  // namespace veltra
