#pragma once
// The trigger model: the trigger settings classes, the triggers that hold a Cur/Next pair of them,
// and TCustomTriggerHW, the instrument base that carries the instrument trigger.
//
// A trigger is owned by an instrument (pre-trigger part, time-out, hold-off, which sources take
// part) or by a channel (kind, level, hysteresis, pulse time; TCustomTriggerChannel in
// TrigChannel.h). Like all settings, the trigger settings forward every value to accessor slots
// of the instrument: SetCurTriggerValue, GetCurTriggerValue, SetNextTriggerValue and
// GetNextTriggerValue, with channel -1 for the instrument trigger and the channel's index for a
// channel trigger. A concrete instrument implements triggering by overriding those four slots;
// like the value accessors of TCustomHW they answer the accessor gate in the base.

#include <array>
#include <cstdint>
#include <vector>

#include "hw/CustomHW.h"
#include "hw/HWSettings.h"
#include "hw/TrigInterface.h"

namespace veltra {

// Trigger settings carry no index cache.
inline constexpr uint32_t kTRCachableIndices = 0;

class TInstrumentTriggerSettings : public TCachedSettings,
                                   public ITriggerSettings,
                                   public IInstrumentTriggerSettings {
 public:
  using TCachedSettings::TCachedSettings;

  bool GetUsed() override;
  double GetPreSamples() override;
  int64_t GetHoldOff() override;
  int64_t GetHoldOffMax() override;
  int32_t GetResolution() override;
  double GetTimeOut() override;
  int64_t GetSourceOR() override;
  int64_t GetSourceAND() override;
  int64_t GetSources() override;
  HResult SetPreSamples(double fraction) override;
  HResult SetHoldOff(int64_t holdOff) override;
  HResult SetResolution(int32_t resolution) override;
  HResult SetTimeOut(double seconds) override;
  HResult SetSourceOR(int64_t mask) override;
  HResult SetSourceAND(int64_t mask) override;
  HResult SetTriggerWord(int64_t word) override;
  int64_t GetTriggerWord() override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TChannelTriggerSettings : public TCachedSettings,
                                public ITriggerSettings,
                                public IChannelTriggerSettings {
 public:
  using TCachedSettings::TCachedSettings;

  bool GetUsed() override;
  int32_t GetResolution() override;
  uint32_t GetKind() override;
  uint32_t GetKinds() override;
  double GetLevel() override;
  double GetHysteresis() override;
  double GetPulseTime() override;
  HResult SetUsed(bool used) override;
  HResult SetResolution(int32_t resolution) override;
  HResult SetKind(uint32_t kind) override;
  HResult SetLevel(double fraction) override;
  HResult SetHysteresis(double fraction) override;
  HResult SetPulseTime(double seconds) override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

// The Cur settings of a channel trigger: its OnChangedCalled event tells the channel.
using TChannelTriggerSettingsEx = TWithChangedCalled<TChannelTriggerSettings>;

// A Cur/Next pair of trigger settings, owned by an instrument or a channel: its reference counting
// is the owner's, and the owner destroys it with itself.
class TTrigger : public TOwnInterfacedObject, public ITrigger {
 public:
  // A legacy loader of a channel or instrument adds this to its result when the trigger's block
  // was missing.
  static constexpr int32_t kTriggerBlockMissing = 0x8000000;

  // ICurNext
  ComPtr<ISettings> GetCur() override;
  ComPtr<ISettings> GetNext() override;
  ComPtr<ISettings> GetCurNext(int32_t index) override;  // 0 Cur, 1 Next, else null

  TCachedSettings& Cur() { return *cur_; }
  TCachedSettings& Next() { return *next_; }
  // Passes a change mask to Cur (index 0) or Next (index 1).
  void Changed(int32_t index, uint32_t mask);
  // Brackets both settings objects.
  void BeginUpdate();
  void EndUpdate();

  // Cur from "TRCU" (unless flags hold kFileNoData) and Next from "TRNE", children of `node`,
  // in one bracket. The raw trigger word is not loaded: writing it forces a trigger.
  void LoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags);
  void SaveToIFF(IIFFStream& iff, TIFFChunk* node);
  // The trigger's block of the legacy format: answers 1 when it was found and loaded, 0 when the
  // stream holds none (the stream is then where it was). Raises EStreamError for a block version
  // it cannot read.
  int32_t LoadFromStream(TStream& stream, uint32_t flags);

 protected:
  explicit TTrigger(IInterface* owner) : TOwnInterfacedObject(owner) {}
  // Derived classes own the two settings objects and hand them over in their constructor.
  void SetSettings(TCachedSettings& cur, TCachedSettings& next);
  bool GetInterface(const Guid& iid, void** object) override;

 private:
  TCachedSettings* cur_ = nullptr;
  TCachedSettings* next_ = nullptr;
};

class TInstrumentTrigger : public TTrigger, public IInstrumentTrigger {
 public:
  static constexpr Guid kClassID = Guid::Parse("{7E03DD74-44B1-4E6F-888B-F8430812E4E1}");

  TInstrumentTrigger(IInterface* owner, const TSettingsMethods& cur, const TSettingsMethods& next);

  Guid GetClassID() const override { return kClassID; }
  ComPtr<IInstrumentTriggerSettings> GetCurSettings() override;
  ComPtr<IInstrumentTriggerSettings> GetNextSettings() override;
  TInstrumentTriggerSettings& CurSettings() { return *cur_.Get(); }
  TInstrumentTriggerSettings& NextSettings() { return *next_.Get(); }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;

 private:
  Owned<TInstrumentTriggerSettings> cur_;
  Owned<TInstrumentTriggerSettings> next_;
};

class TChannelTrigger : public TTrigger, public IChannelTrigger {
 public:
  static constexpr Guid kClassID = Guid::Parse("{DC59178A-1EB8-49F0-9E21-C9571D63CFA1}");

  TChannelTrigger(IInterface* owner, const TSettingsMethods& cur, const TSettingsMethods& next);

  Guid GetClassID() const override { return kClassID; }
  ComPtr<IChannelTriggerSettings> GetCurSettings() override;
  ComPtr<IChannelTriggerSettings> GetNextSettings() override;
  TChannelTriggerSettingsEx& CurSettings() { return *cur_.Get(); }
  TChannelTriggerSettings& NextSettings() { return *next_.Get(); }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;

 private:
  Owned<TChannelTriggerSettingsEx> cur_;
  Owned<TChannelTriggerSettings> next_;
};

// An instrument with an instrument trigger; its ITrigger and IInstrumentTrigger are the trigger's.
class TCustomTriggerHW : public TCustomHW {
 public:
  // The settings methods of the instrument trigger: the trigger accessors with channel -1.
  virtual HResult SetCurInstrTrigger(uint32_t id, int64_t value);
  virtual HResult GetCurInstrTrigger(uint32_t id, int64_t& value);
  virtual HResult SetNextInstrTrigger(uint32_t id, int64_t value);
  virtual HResult GetNextInstrTrigger(uint32_t id, int64_t& value);
  // The trigger accessor slots; base: the accessor gate of TCustomHW.
  virtual HResult SetCurTriggerValue(uint32_t id, int32_t channel, int64_t value);
  virtual HResult GetCurTriggerValue(uint32_t id, int32_t channel, int64_t& value);
  virtual HResult SetNextTriggerValue(uint32_t id, int32_t channel, int64_t value);
  virtual HResult GetNextTriggerValue(uint32_t id, int32_t channel, int64_t& value);

  // The info words of trigger settings chunks; channel triggers add their channel number as the
  // channel settings do.
  int32_t GetCurTriggerInfo(int32_t index) { return GetTriggerSettingsInfo(index, 0); }
  int32_t GetNextTriggerInfo(int32_t index) { return GetTriggerSettingsInfo(index, 1); }

  TInstrumentTrigger& Trigger() { return *trigger_.Get(); }

  // With open count 1, on the Next trigger settings in one bracket: time-out 0.1 s, sources OR 1,
  // sources AND 0; then the instrument's defaults.
  void SetDefaults() override;
  // The start time marks the trigger moment: now - the part of the Cur record behind the trigger
  // (record length x (1 - Cur pre-samples)) at the Cur sample frequency.
  int32_t UpdateStartTime() override;
  // The trigger's block, then the instrument's; kTriggerBlockMissing is added without the former.
  int32_t LoadFromStream(TStream& stream, uint32_t flags) override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  // The trigger first, then the instrument settings.
  void CreateSettings() override;
  // The info word `index` of the Cur (which = 0) or Next (which = 1) trigger settings. Base: that
  // of the instrument settings.
  virtual int32_t GetTriggerSettingsInfo(int32_t index, int32_t which) {
    return GetSettingsInfo(index, which);
  }
  HResult DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags) override;
  void DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags) override;
  // Two more arrays of 32-bit words per channel, sized with those of TCustomHW.
  void GrowChannelArrays() override;
  void FitChannelArrays() override;
  std::vector<int32_t>& TriggerChannelWords(size_t which) { return triggerWords_.at(which); }

 private:
  Owned<TInstrumentTrigger> trigger_;
  std::array<std::vector<int32_t>, 2> triggerWords_{std::vector<int32_t>(1),
                                                    std::vector<int32_t>(1)};
};

}  // namespace veltra
