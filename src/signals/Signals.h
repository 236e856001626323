#pragma once
// TCustomSignal, the base of every object that carries a signal, and TCustomSource, a signal that
// produces samples. Every instrument channel is a TCustomSource.
//
// A source owns the samples of its last record (TSampleBuffer) with the attributes that give them a
// physical meaning: data type, count, value span, unit, sample frequency or frequency step,
// resolution, pre-samples, start value and time stamp. A derived class (a channel) sets the data
// type once, sets the count whenever the record length changes and writes the samples in place:
//
//   source.SetDataType(DT_ARRAY_DOUBLE);        // refused while sinks are connected
//   source.SetCount(n);                         // storage changes only when n does
//   std::span<double> samples = source.Samples<double>();
//   ... fill samples ...
//   source.Changed(kChangeNewData);             // stamps the record, tells the listeners
//
// Readers take the samples through ISource without a copy (SamplesOf<double>(source)).
//
// Changes are reported through the data-change events (framework/VTCOMEvents.h) with the change
// bits of SignalBaseInterfaces.h. Everything but the sink list (which locks) is used on the thread
// that owns the object model.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "framework/Actions.h"
#include "framework/InterfaceList.h"
#include "framework/Method.h"
#include "framework/VTCOMEvents.h"
#include "framework/VtObjectEx.h"
#include "signals/SampleBuffer.h"
#include "signals/SignalBaseInterfaces.h"
#include "signals/Spans.h"

namespace veltra {

// An update bracket of a signal or a sink (BeginUpdate without announcement), closed however the
// scope is left.
template <class T>
class TUpdateBracket {
 public:
  explicit TUpdateBracket(T& target) : target_(target) { target_.BeginUpdate(false); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;
  ~TUpdateBracket() { target_.EndUpdate(); }

 private:
  T& target_;
};

// Numbers of the published items.
inline constexpr int32_t kItemDelete = 200;
inline constexpr int32_t kItemDuplicate = 201;
inline constexpr int32_t kItemDisconnect = 400;  // both disconnect items

// Publishes "Delete" and "Duplicate" (kItemDelete, kItemDuplicate) at construction.
class TCustomSignal : public TVtObjectEx, public ISignal, public ISignalParent {
 public:
  static constexpr Guid kClassID = Guid::Parse("{97A51DD8-8F9F-480F-B55B-8727CAA58E6C}");
  // The author a new signal names.
  static constexpr const char* kDefaultAuthor = "Veltra probe library";

  explicit TCustomSignal(IInterface* owner = nullptr);

  Guid GetClassID() const override { return kClassID; }

  // ISignal
  void SetName(const std::string& name) override;
  void SetShortName(const std::string& shortName) override;
  std::string GetDescription() override { return description_; }
  void SetDescription(const std::string& description) override { description_ = description; }
  std::string GetAuthor() override { return author_; }
  void SetAuthor(const std::string& author) override { author_ = author; }
  void BeginUpdate(bool announce) override;
  void EndUpdate() override;
  void Changed(uint32_t mask) override;
  // A bracket around DoLoadFromIFF.
  HResult LoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) override;
  // Makes the container when asked, then DoSaveToIFF with the flags SaveFlags gives.
  HResult SaveToIFF(IIFFStream& iff, TIFFChunk*& node, uint32_t& flags, bool create) override;
  void Delete() override { Hide(); }

  // ISignalParent
  IInterface* GetParent() override { return parent_; }
  void SetParent(IInterface* parent) { parent_ = parent; }

  // The user's "Duplicate": a new signal like this one. The base makes none (its item is
  // disabled); a class that can copy itself overrides this and enables the item.
  virtual ComPtr<ISignal> Duplicate() { return nullptr; }

  // Reads the signal from the older block format (the block chain of util/Routines.h), searching
  // from the stream's position for the block of the class identifier: answers the number of class
  // levels read (0 here). `flags` in and out as for IFF.
  virtual int32_t LoadFromLegacyStream(TStream& stream, uint32_t& flags);

  // The type of the container a signal is stored in ("SRC " for sources).
  virtual TChunkID ContainerType() const = 0;

  TCustomSourceEvents& Events() { return events_; }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;

  // Read and write the signal's chunks below `node`; overrides call the base first.
  virtual void DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags);
  virtual void DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags);
  // The flags the writer gets; a class adds kFileNoData when it has no samples worth keeping.
  virtual uint32_t SaveFlags(uint32_t flags) { return flags; }

 private:
  std::string description_;
  std::string author_ = kDefaultAuthor;
  IInterface* parent_ = nullptr;  // not counted
  TCustomSourceEvents events_;
};

// What the source offers besides its published methods (bits of TCustomSource::OfferedActions).
inline constexpr uint32_t kOfferFixedSpan = 0x1;
inline constexpr uint32_t kOfferSnappedSpan = 0x2;

// Publishes "DisconnectAllSinks" (enabled while a sink is connected) and "DisconnectSinksDialog"
// (enabled while two are) at construction, both kItemDisconnect.
class TCustomSource : public TCustomSignal, public ISource {
 public:
  // The defaults of a new source.
  static constexpr TSpan kDefaultSpan = {-200.0, 200.0};
  static constexpr double kDefaultSampleFrequency = 10000.0;
  static constexpr int32_t kDefaultResolution = 16;
  static constexpr int32_t kNoColour = -1;

  // Called with the source and the sink after a sink connected or disconnected.
  using TSinkEvent = Method<void(ISource* source, ISink* sink)>;

  explicit TCustomSource(IInterface* owner = nullptr);
  ~TCustomSource() override;

  // Disconnects every sink after the inherited hide: a source that goes away lets its sinks go.
  void Hide() override;

  TChunkID ContainerType() const override;

  // --- Sinks (ISource)
  int32_t ConnectSink(ISink* sink) override;
  int32_t DisconnectSink(ISink* sink) override;
  void DisconnectAllSinks() override;
  int32_t GetSinkCount() override { return static_cast<int32_t>(sinks_.Count()); }
  ComPtr<ISink> GetSink(int32_t index) override;
  // The user's "DisconnectSinksDialog": lists the sinks with check boxes; on OK the checked ones
  // are disconnected (see framework/Dialogs.h: without a hook nothing happens).
  void DisconnectSinksDialog();

  int32_t MaxSinks() const { return maxSinks_; }
  void SetMaxSinks(int32_t maximum) { maxSinks_ = maximum; }  // 0 = unlimited
  bool AllowsDuplicateSinks() const { return allowDuplicateSinks_; }
  void SetAllowDuplicateSinks(bool allow) { allowDuplicateSinks_ = allow; }
  void SetOnSinkConnected(TSinkEvent handler) { onSinkConnected_ = handler; }
  void SetOnSinkDisconnected(TSinkEvent handler) { onSinkDisconnected_ = handler; }

  // --- Samples
  uint32_t GetDataType() override { return buffer_.DataType(); }
  // A sample array code of util/DataTypes.h, or 0. Refused (false) while sinks are connected, and
  // for a code that is no sample array or a buffer that cannot be had.
  bool SetDataType(uint32_t dataType);
  // The data type as an OLE VARTYPE (util/DataTypes.h), and set from one: answers the number of
  // connected sinks when refused for them, else the data type in force afterwards (unchanged for a
  // VARTYPE that names no sample array).
  virtual uint16_t GetVarType() { return DataTypeToVarType(GetDataType()); }
  virtual int64_t SetDataTypeFromVarType(uint16_t varType);

  int64_t GetCount() override { return count_; }
  // Reports kChangeCount; the samples are then at the zero level. Refused (false) for a negative
  // count and one whose buffer would exceed TSampleBuffer::kMaxBytes or the memory at hand. A
  // derived class that limits its records overrides this and calls the base.
  virtual bool SetCount(int64_t count);

  std::span<const std::byte> GetSampleBytes() override { return buffer_.Bytes(); }
  std::span<std::byte> SampleBytes() { return buffer_.Bytes(); }
  // The samples as T, writable in place; empty when the data type is not the array of T.
  template <class T>
  std::span<T> Samples() {
    return buffer_.As<T>();
  }
  const TSampleBuffer& Buffer() const { return buffer_; }
  void FillZeroLevel() { buffer_.FillZeroLevel(); }

  // --- Value span: the samples stand for values from low to high
  double GetSpanLow() override { return span_.low; }
  double GetSpanHigh() override { return span_.high; }
  TSpan Span() const { return span_; }
  // Asks for the span (low, high); ignored while the fixed span is on, unless forced. The request
  // is remembered and, unless span updates are locked, applied: snapped to round values when the
  // snapped span is on (Spans.h), taken when high > low, both finite, and it differs from the
  // current span (kChangeSpan).
  virtual void SetSpan(bool force, double low, double high);
  TSpan RequestedSpan() const { return requested_; }
  // While locked, requests are only remembered; unlocking applies the last one.
  void SetSpanUpdateLock(bool locked);
  bool SpanUpdateLocked() const { return spanUpdateLocked_; }

  bool FixedSpan() const { return fixedSpan_.checked; }
  void SetFixedSpan(bool on) { fixedSpan_.checked = on; }
  bool SnappedSpan() const { return snappedSpan_.checked; }
  // A change re-applies the requested span: snapped when on, as requested when off.
  void SetSnappedSpan(bool on);
  void ToggleFixedSpan() { SetFixedSpan(!FixedSpan()); }
  void ToggleSnappedSpan() { SetSnappedSpan(!SnappedSpan()); }

  // --- Unit
  std::string GetUnit() override { return unit_; }
  // Changes the unit (kChangeUnit) when forced, or when it is not locked; an equal text changes
  // nothing.
  virtual void SetUnit(const std::string& unit, bool force);
  bool UnitLocked() const { return unitLocked_; }
  void SetUnitLocked(bool locked) { unitLocked_ = locked; }
  // The user's unit edit: a text dialog with the current unit; on OK the unit is locked when the
  // text is not empty (unlocked when it is) and set with force.
  void EditUnit();

  // --- Sampling
  int32_t GetDomain() override { return domain_; }
  void SetDomain(int32_t domain) { domain_ = domain; }
  double GetSampleFrequency() override { return sampleFrequency_; }
  virtual void SetSampleFrequency(double hertz);  // kChangeSampleFrequency
  double GetFrequencyStep() override { return frequencyStep_; }
  void SetFrequencyStep(double hertz);  // kChangeFrequencyStep
  int64_t GetPreSamples() override { return preSamples_; }
  void SetPreSamples(int64_t samples);  // kChangePreSamples
  double GetStartValue() override { return startValue_; }
  void SetStartValue(double value);  // kChangeStartValue
  int32_t GetResolution() override { return resolution_; }
  void SetResolution(int32_t bits);  // kChangeResolution
  virtual int32_t GetDadiValue() { return dadiValue_; }
  void SetDadiValue(int32_t value) { dadiValue_ = value; }

  // --- Time stamp: set to CurrentTime whenever kChangeNewData is reported (while a file is read,
  // only when the file brought none)
  double GetTimeStamp() override { return timeStamp_; }
  void SetTimeStamp(double stamp) { timeStamp_ = stamp; }
  // The time a new record is stamped with; the base has no clock (0.0).
  virtual double CurrentTime() { return 0.0; }

  // --- Colour
  int32_t GetColour() override { return colour_; }
  // An equal colour changes nothing; otherwise kChangeColour. kNoColour also returns the colour
  // mode to 0, unless it is 1.
  void SetColour(int32_t colour) override;
  uint32_t GetColourMode() const { return colourMode_; }
  // Modes 0, 1 and 2 (larger values count as 2); checks the mode's action; mode 0 has no colour.
  virtual void SetColourMode(uint32_t mode);

  // --- Keyed sample data: the bits of the key ciphers (util/IFFData.h) the samples are stored
  // with; 0 stores them plainly.
  virtual uint32_t GetKeyCipherMask() { return keyCipherMask_; }
  void SetKeyCipherMask(uint32_t mask) { keyCipherMask_ = mask; }

  // --- Persistence
  void Changed(uint32_t mask) override;
  int32_t LoadFromLegacyStream(TStream& stream, uint32_t& flags) override;
  bool Loading() const { return loading_; }

  // --- Actions
  uint32_t OfferedActions() const { return offeredActions_; }
  // Which of the span actions the source offers; derived classes keep their own bits here too.
  void SetOfferedActions(uint32_t actions);
  const TAction& FixedSpanAction() const { return fixedSpan_; }
  const TAction& SnappedSpanAction() const { return snappedSpan_; }
  const TAction& ColourModeAction(uint32_t mode) const { return colourModes_.at(mode); }
  const TAction& EditUnitAction() const { return editUnit_; }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  void DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) override;
  void DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) override;

  // After a sink connected or disconnected: the disconnect items follow the sink count, then the
  // optional event.
  virtual void SinkConnected(ISink* sink);
  virtual void SinkDisconnected(ISink* sink);
  // Whether `sink` may connect at all (the base accepts every sink).
  virtual bool AcceptSink(ISink* sink);

 private:
  // Stores a new value of an attribute and reports `bit`; an equal value changes nothing.
  template <class T>
  void Assign(T& field, T value, uint32_t bit) {
    if (value == field) return;
    field = value;
    Changed(bit);
  }
  void UpdateSinkItems();
  void ApplyRequestedSpan();
  // The parts of the file reader and writer (SignalFiles.cpp).
  void ReadSpanStates(IIFFStream& iff, TIFFChunk* node);
  bool ReadSamples(IIFFStream& iff, TIFFChunk* node);
  bool WriteSamples(IIFFStream& iff, TIFFChunk* node);
  void ReadLegacyBlock(TStream& stream, uint32_t& flags);
  bool ReadLegacySamples(TStream& stream, uint32_t storedType, int64_t storedCount);

  // Sinks
  TInterfaceList<ISink> sinks_;
  int32_t maxSinks_ = 0;
  bool connecting_ = false;  // a ConnectSink is under way
  bool allowDuplicateSinks_ = true;
  TSinkEvent onSinkConnected_;
  TSinkEvent onSinkDisconnected_;

  // Samples and their meaning
  TSampleBuffer buffer_;
  int64_t count_ = 0;
  TSpan span_ = kDefaultSpan;
  TSpan requested_ = kDefaultSpan;
  bool spanUpdateLocked_ = false;
  std::string unit_;
  bool unitLocked_ = false;
  int32_t domain_ = kDomainTime;
  int32_t dadiValue_ = 0;
  int64_t preSamples_ = 0;
  double startValue_ = 0.0;
  double sampleFrequency_ = kDefaultSampleFrequency;
  double frequencyStep_ = 0.0;
  int32_t resolution_ = kDefaultResolution;
  double timeStamp_ = 0.0;
  int32_t colour_ = kNoColour;
  uint32_t colourMode_ = 0;
  uint32_t keyCipherMask_ = 0;
  bool loading_ = false;

  // Actions
  uint32_t offeredActions_ = kOfferFixedSpan | kOfferSnappedSpan;
  TAction fixedSpan_;
  TAction snappedSpan_;
  std::array<TAction, 3> colourModes_;
  TAction editUnit_;
};

}  // namespace veltra
