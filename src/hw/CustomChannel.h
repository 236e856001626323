#pragma once
// TCustomChannel: the abstract input channel of an instrument.
//
// A channel is a signal source (its samples, span, unit and files are TCustomSource's) and a
// hardware object with its own Cur and Next settings. It keeps no hardware state: its settings
// forward every read and write to the instrument's accessor slots with the channel's index. The
// current settings tell the channel of every change (SettingsChanged), which keeps the source's
// unit and value span in line with the coupling and range. The probe gain scales the span of the
// values the samples stand for, not the hardware settings.
//
// A channel is made with MakeObject<TMyChannel>(instrument, index), normally in the instrument's
// CreateSettings. The constructor inserts it into the instrument's channel list at `index`
// (clamped to the list; the channels behind it move up one index and are renumbered), and
// AfterConstruction creates its settings and, when the instrument has already applied its
// defaults, initialises it. The instrument holds the channel; the channel does not count the
// instrument.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/Actions.h"
#include "hw/HWInterfaces.h"
#include "hw/HWSettings.h"
#include "signals/Signals.h"

namespace veltra {

class TCustomHW;

// The source offers the probe-gain actions (a bit of TCustomSource::OfferedActions).
inline constexpr uint32_t kOfferProbeGain = 0x800;

class TCustomChannel : public TCustomSource, public IChannel, public IProbeGain {
 public:
  static constexpr Guid kClassID = Guid::Parse("{8175649D-47D6-450E-878D-E1752772559B}");
  // The factors of the gain actions.
  static constexpr std::array<double, 7> kGainFactors = {1, 10, 20, 100, 200, 1000, 10000};
  // The tag of the custom gain action.
  static constexpr int32_t kCustomGainTag = -1;

  // Raises std::invalid_argument without an instrument.
  TCustomChannel(TCustomHW* instrument, int32_t index);
  ~TCustomChannel() override;

  Guid GetClassID() const override { return kClassID; }

  // ICurNext, IChannel
  ComPtr<ISettings> GetCur() override;
  ComPtr<ISettings> GetNext() override;
  ComPtr<ISettings> GetCurNext(int32_t index) override;  // 0 Cur, 1 Next, else null
  ComPtr<IChannelSettings> GetCurSettings() override;
  ComPtr<IChannelSettings> GetNextSettings() override;
  ComPtr<IChannelSettings> GetSettings(int32_t index) override;
  uintptr_t GetBitmap() override { return TVTObject::GetBitmap(); }
  // Null once the instrument is gone.
  ComPtr<IInstrument> GetInstrument() override;
  int32_t GetIndex() override { return index_; }
  double GetGain() override { return gain_; }
  double PreviousGain() const { return previousGain_; }  // the gain before the last change
  // A gain equal to the current one changes nothing, nor does one that is 0, infinite or NaN;
  // otherwise the gain actions follow and the gain listeners are told. Negative gains invert.
  void SetGain(double gain) override;
  uint32_t GetInputKind() override { return inputKind_; }
  bool GetInputFlag() override { return inputFlag_; }
  // The channel's block of the legacy format (Cur, Next), then the source's; answers the class
  // levels loaded (0 without the channel's block). Raises EStreamError for a block version it
  // cannot read.
  int32_t LoadFromStream(TStream& stream, uint32_t flags) override;

  // IProbeGain: listeners are called with the channel, newest first; duplicates are allowed.
  void AddGainNotify(const TGainNotify& handler) override;
  void RemoveGainNotify(const TGainNotify& handler) override;

  // With more than 9 channels the number is zero-padded to the digits of the channel count
  // ("Channel03" of 12). Unless flags hold kDisplayNoInstrument, the instrument's display name
  // (with the same flags) and "." come first.
  std::string GetDisplayName(uint32_t flags) override;
  static constexpr uint32_t kDisplayNoInstrument = 8;

  // The update brackets of the source also bracket both settings objects.
  void BeginUpdate(bool announce) override;
  void EndUpdate() override;

  virtual void NotifyGainListeners();
  // Called for every change of the Cur settings: a change of coupling sets the unit (V for 1 and
  // 2, A for 4 and 8, ohm for 16, none else); a change of coupling or range sets the span.
  virtual void SettingsChanged(uint32_t mask);
  // The span of the samples' values from the Cur range R: 0 ... R for coupling 16, -R ... R for 4
  // and 8, and -|R x gain| ... |R x gain| else.
  virtual void UpdateValueSpan();
  // With open count 1, on Next in one bracket: the last (largest) range of the list when there is
  // one and it reads, auto-ranging on, coupling 1. Then SettingsChanged with every bit.
  virtual void Initialise();
  // Moves the channel to `index`: number index + 1, the pool's colour, a name change reported,
  // and the settings' caches dropped (a change of every setting), as they held the old place's.
  virtual void SetIndex(int32_t index);

  // The info words of the settings chunk header: the instrument's, with the channel number
  // ((index + 1) AND 255) shl 16 added to `index`.
  virtual int32_t GetCurInfo(int32_t index);
  virtual int32_t GetNextInfo(int32_t index);
  // The settings methods: the instrument's accessor slots with the channel's index. Once the
  // instrument is gone they answer E_ACCESSDENIED (readers with value 0).
  virtual HResult GetCurValue(uint32_t id, int64_t& value);
  virtual HResult SetCurValue(uint32_t id, int64_t value);
  virtual HResult GetNextValue(uint32_t id, int64_t& value);
  virtual HResult SetNextValue(uint32_t id, int64_t value);
  virtual HResult GetCurAuxValue(uint32_t id, int64_t& value);
  virtual HResult SetCurAuxValue(uint32_t id, int64_t value);
  virtual HResult GetNextAuxValue(uint32_t id, int64_t& value);
  virtual HResult SetNextAuxValue(uint32_t id, int64_t value);
  // True when `node` holds stored samples ("FMT " and "DATA").
  virtual bool HasStoredData(IIFFStream& iff, TIFFChunk* node);

  // The colour set for the channel, or the pool's colour for its index when none is.
  int32_t GetColour() override;

  // The instrument's loaders: the channel from its "SRC " container (answers the flags the
  // source read returns: kFileNoData without samples), and back.
  uint32_t LoadFromInstrumentFile(IIFFStream& iff, TIFFChunk* node, uint32_t flags);
  void SaveToInstrumentFile(IIFFStream& iff, TIFFChunk* node, uint32_t flags);
  // Samples at the zero level, no key cipher, and new data reported, for a channel the file
  // brought nothing for. Nothing happens to a channel without samples.
  void ClearStoredData();

  // --- Gain actions: the menu action, one action per factor (tag: the index into kGainFactors)
  // and the custom one (tag kCustomGainTag). The action of the current gain is checked.
  const TAction& GainMenuAction() const { return gainMenu_; }
  const std::array<TAction, kGainFactors.size()>& GainActions() const { return gainActions_; }
  const TAction& CustomGainAction() const { return customGain_; }
  void SetGainActionsEnabled(bool enabled);
  // The user picked the action with `tag`: a factor, or (custom) a gain entered in a text dialog.
  void SelectGainAction(int32_t tag);

  TChannelSettingsEx& CurSettings() { return *cur_.Get(); }
  TChannelSettings& NextSettings() { return *next_.Get(); }
  // Null once the instrument is gone.
  TCustomHW* Instrument() const { return instrument_; }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  void AfterConstruction() override;
  // Creates Cur (with OnChangedCalled bound to SettingsChanged) and Next.
  virtual void CreateSettings();

  // Gain, Cur (unless flags hold kFileNoData, and only with stored samples) and Next (all but
  // HW_ENABLE) from the container, then the source's chunks.
  void DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) override;
  // The source's chunks, then "SACU", "SANE" and "GAIN".
  void DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) override;
  // A channel that is switched off stores no samples.
  uint32_t SaveFlags(uint32_t flags) override;
  // A sink may connect while the channel is on in Next, or can be switched on there.
  bool AcceptSink(ISink* sink) override;

  void SetInputKind(uint32_t kind, bool flag) {
    inputKind_ = kind;
    inputFlag_ = flag;
  }
  // The instrument has gone: what the settings held came from it, so their caches are dropped
  // (reported as a change of everything). Classes with further settings drop theirs too.
  virtual void InstrumentGone();
  // (index + 1) AND 255 in bits 16 to 23: how the instrument tells a channel's settings apart.
  int32_t ChannelInfoIndex(int32_t index) const;
  // A settings method through an accessor slot of `hw` (this channel's instrument, as the class
  // of the slot) with the channel's index; E_ACCESSDENIED (readers with value 0) without it.
  template <class HW>
  HResult ReadThrough(HW* hw, HResult (HW::*get)(uint32_t, int32_t, int64_t&), uint32_t id,
                      int64_t& value) {
    if (hw) return (hw->*get)(id, index_, value);
    value = 0;
    return E_ACCESSDENIED;
  }
  template <class HW>
  HResult WriteThrough(HW* hw, HResult (HW::*set)(uint32_t, int32_t, int64_t), uint32_t id,
                       int64_t value) {
    return hw ? (hw->*set)(id, index_, value) : E_ACCESSDENIED;
  }

 private:
  friend class TCustomHW;
  // The instrument is going: from now on the channel answers without it.
  void DetachFromInstrument();
  void OnCurChanged(IInterface* /*sender*/, uint32_t mask) { SettingsChanged(mask); }
  void CheckGainAction();

  TCustomHW* instrument_;  // not counted; null once the instrument is gone
  int32_t index_ = 0;
  uint32_t inputKind_ = 0;
  bool inputFlag_ = false;
  Owned<TChannelSettingsEx> cur_;
  Owned<TChannelSettings> next_;
  double gain_ = 1.0;
  double previousGain_ = 1.0;
  TAction gainMenu_;
  std::array<TAction, kGainFactors.size()> gainActions_;
  TAction customGain_;
  std::vector<TGainNotify> gainListeners_;
};

// The display colour of channel `index` when it has none of its own: the shared colour list
// "$FF00;$FFFF00;$FF8000;$FF;$80FF;$8000FF", round robin.
int32_t ChannelPoolColour(int32_t index);

}  // namespace veltra
