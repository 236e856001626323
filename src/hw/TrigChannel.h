#pragma once
// TCustomTriggerChannel: a channel of a TCustomTriggerHW with a channel trigger (kind, level,
// hysteresis, pulse time). The trigger's settings forward to the instrument's trigger accessor
// slots with the channel's index; its ITrigger and IChannelTrigger are the channel's.

#include <cstdint>

#include "hw/CustomChannel.h"
#include "hw/TrigHW.h"

namespace veltra {

class TCustomTriggerChannel : public TCustomChannel {
 public:
  TCustomTriggerChannel(TCustomTriggerHW* instrument, int32_t index)
      : TCustomChannel(instrument, index) {}

  // Called for every change of the Cur trigger settings: a change of TR_PRESAMPLES is a change of
  // the source's pre-samples.
  virtual void TriggerSettingsChanged(uint32_t mask);
  // The trigger settings methods: the instrument's trigger accessors with the channel's index;
  // E_ACCESSDENIED (readers with value 0) once the instrument is gone.
  virtual HResult SetCurTriggerValue(uint32_t id, int64_t value);
  virtual HResult GetCurTriggerValue(uint32_t id, int64_t& value);
  virtual HResult SetNextTriggerValue(uint32_t id, int64_t value);
  virtual HResult GetNextTriggerValue(uint32_t id, int64_t& value);

  // The samples before the trigger: the record length times the Cur trigger's pre-trigger part.
  int64_t GetPreSamples() override;

  // A moved channel's trigger settings, too, forget what they cached under the old index.
  void SetIndex(int32_t index) override;
  // The channel's brackets also bracket the trigger's settings.
  void BeginUpdate(bool announce) override;
  void EndUpdate() override;
  // The trigger's block, then the channel's; kTriggerBlockMissing is added without the former.
  int32_t LoadFromStream(TStream& stream, uint32_t flags) override;

  TChannelTrigger& Trigger() { return *trigger_.Get(); }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  // The trigger first, then the channel's own settings.
  void CreateSettings() override;
  // The trigger's chunks after the channel's.
  void DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) override;
  void DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) override;
  void InstrumentGone() override;

 private:
  TCustomTriggerHW* TriggerInstrument() const;
  void OnTriggerCurChanged(IInterface* /*sender*/, uint32_t mask) { TriggerSettingsChanged(mask); }
  int32_t GetCurTriggerInfo(int32_t index);
  int32_t GetNextTriggerInfo(int32_t index);

  Owned<TChannelTrigger> trigger_;
};

}  // namespace veltra
