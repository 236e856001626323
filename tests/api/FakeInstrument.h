#pragma once
// An instrument made for the tests: channels, an instrument trigger and channel triggers whose
// settings keep their values in tables, with the typed accessors' encodings.

#include <array>
#include <string>
#include <vector>

#include "FakeSettings.h"
#include "hw/HWInterfaces.h"
#include "hw/TrigInterface.h"

namespace veltra::test {

class TFakeInstrumentSettings : public TFakeSettings, public IInstrumentSettings {
 public:
  using TFakeSettings::TFakeSettings;

  uint8_t GetMode() override;
  HResult SetMode(int8_t mode) override { return SetValue(HW_MODE, mode); }
  double GetSampleFrequency() override;
  HResult SetSampleFrequency(double hertz) override;
  double GetSampleFrequencies(int32_t index) override;
  int64_t GetSampleFrequencyCount() override { return Value(HW_SAMPLEFREQUENCYCOUNT); }
  int64_t GetDataSize() override { return Value(HW_DATASIZE); }
  HResult SetDataSize(int64_t samples) override { return SetValue(HW_DATASIZE, samples); }
  int64_t GetDataSizeMax() override { return Value(HW_DATASIZEMAX); }
  uint32_t GetResolutionModes() override { return 0; }
  int64_t GetResolutionMode() override { return Value(HW_RESOLUTIONMODE); }
  HResult SetResolutionMode(int8_t mode) override { return SetValue(HW_RESOLUTIONMODE, mode); }
  int64_t GetResolution() override { return Value(HW_RESOLUTION); }
  HResult SetResolution(uint32_t bits) override { return SetValue(HW_RESOLUTION, bits); }
  int64_t GetResolutions(int32_t index) override { return resolutions.at(static_cast<size_t>(index)); }
  int64_t GetResolutionCount() override { return static_cast<int64_t>(resolutions.size()); }
  uint8_t GetClockSource() override;
  HResult SetClockSource(int8_t source) override { return SetValue(HW_CLOCKSOURCE, source); }
  uint8_t GetSelector23() override { return 1; }
  HResult SetSelector23(int8_t selector) override { return SetValue(HW_SELECTOR23, selector); }

  std::vector<int64_t> resolutions;
  std::vector<double> frequencies;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TFakeChannelSettings : public TFakeSettings, public IChannelSettings {
 public:
  using TFakeSettings::TFakeSettings;

  int64_t GetEnabled() override { return Value(HW_ENABLE); }
  HResult SetEnabled(int32_t enabled) override { return SetValue(HW_ENABLE, enabled); }
  uint8_t GetCoupling() override;
  HResult SetCoupling(int8_t coupling) override { return SetValue(HW_COUPLING, coupling); }
  double GetRange() override;
  HResult SetRange(double volts) override;
  double GetRanges(int32_t index) override { return ranges.at(static_cast<size_t>(index)); }
  int64_t GetRangeCount() override { return static_cast<int64_t>(ranges.size()); }
  int64_t GetAutoRanging() override { return Value(HW_AUTORANGING); }
  int64_t GetResolution() override { return Value(HW_RESOLUTION); }
  int64_t GetResolutions(int32_t) override { return 0; }
  int64_t GetResolutionCount() override { return 0; }
  HResult SetAutoRanging(int32_t on) override { return SetValue(HW_AUTORANGING, on); }
  double GetSampleFrequency() override { return 0; }
  int64_t GetDataSize() override { return Value(HW_DATASIZE); }

  std::vector<double> ranges;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TFakeInstrumentTriggerSettings : public TFakeSettings, public IInstrumentTriggerSettings {
 public:
  using TFakeSettings::TFakeSettings;

  bool GetUsed() override { return Value(TR_USED) != 0; }
  double GetPreSamples() override;
  int64_t GetHoldOff() override { return Value(TR_HOLDOFF); }
  int64_t GetHoldOffMax() override { return Value(TR_HOLDOFFMAX); }
  int32_t GetResolution() override { return static_cast<int32_t>(Value(TR_RESOLUTION)); }
  double GetTimeOut() override;
  int64_t GetSourceOR() override { return Value(TR_SOURCEOR); }
  int64_t GetSourceAND() override { return Value(TR_SOURCEAND); }
  int64_t GetSources() override { return Value(TR_SOURCES); }
  HResult SetPreSamples(double fraction) override;
  HResult SetHoldOff(int64_t holdOff) override { return SetValue(TR_HOLDOFF, holdOff); }
  HResult SetResolution(int32_t resolution) override { return SetValue(TR_RESOLUTION, resolution); }
  HResult SetTimeOut(double seconds) override;
  HResult SetSourceOR(int64_t mask) override { return SetValue(TR_SOURCEOR, mask); }
  HResult SetSourceAND(int64_t mask) override { return SetValue(TR_SOURCEAND, mask); }
  HResult SetTriggerWord(int64_t word) override { return SetValue(TR_TRIGGER, word); }
  int64_t GetTriggerWord() override { return Value(TR_TRIGGER); }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TFakeChannelTriggerSettings : public TFakeSettings, public IChannelTriggerSettings {
 public:
  using TFakeSettings::TFakeSettings;

  bool GetUsed() override { return Value(TR_USED) != 0; }
  int32_t GetResolution() override { return static_cast<int32_t>(Value(TR_RESOLUTION)); }
  uint32_t GetKind() override { return static_cast<uint32_t>(Value(TR_KIND)); }
  uint32_t GetKinds() override { return static_cast<uint32_t>(Value(TR_KINDS)); }
  double GetLevel() override;
  double GetHysteresis() override;
  double GetPulseTime() override { return 0; }
  HResult SetUsed(bool used) override { return SetValue(TR_USED, used ? 1 : 0); }
  HResult SetResolution(int32_t resolution) override { return SetValue(TR_RESOLUTION, resolution); }
  HResult SetKind(uint32_t kind) override { return SetValue(TR_KIND, kind); }
  HResult SetLevel(double fraction) override;
  HResult SetHysteresis(double fraction) override;
  HResult SetPulseTime(double) override { return E_NOTIMPL; }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

// The Cur/Next pair of the instrument's trigger, owned by the instrument.
class TFakeInstrumentTrigger : public TOwnInterfacedObject, public ITrigger, public IInstrumentTrigger {
 public:
  explicit TFakeInstrumentTrigger(IInterface* owner);

  ComPtr<ISettings> GetCur() override { return ComPtr<ISettings>(cur.Get()); }
  ComPtr<ISettings> GetNext() override { return ComPtr<ISettings>(next.Get()); }
  ComPtr<ISettings> GetCurNext(int32_t index) override { return index == 0 ? GetCur() : GetNext(); }
  ComPtr<IInstrumentTriggerSettings> GetCurSettings() override;
  ComPtr<IInstrumentTriggerSettings> GetNextSettings() override;

  Owned<TFakeInstrumentTriggerSettings> cur;
  Owned<TFakeInstrumentTriggerSettings> next;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TFakeChannelTrigger : public TOwnInterfacedObject, public ITrigger, public IChannelTrigger {
 public:
  explicit TFakeChannelTrigger(IInterface* owner);

  ComPtr<ISettings> GetCur() override { return ComPtr<ISettings>(cur.Get()); }
  ComPtr<ISettings> GetNext() override { return ComPtr<ISettings>(next.Get()); }
  ComPtr<ISettings> GetCurNext(int32_t index) override { return index == 0 ? GetCur() : GetNext(); }
  ComPtr<IChannelTriggerSettings> GetCurSettings() override;
  ComPtr<IChannelTriggerSettings> GetNextSettings() override;

  Owned<TFakeChannelTriggerSettings> cur;
  Owned<TFakeChannelTriggerSettings> next;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TFakeInstrument;

class TFakeChannel : public TOwnInterfacedObject, public IChannel {
 public:
  TFakeChannel(TFakeInstrument* instrument, int32_t index, bool withTrigger);

  ComPtr<ISettings> GetCur() override { return ComPtr<ISettings>(cur.Get()); }
  ComPtr<ISettings> GetNext() override { return ComPtr<ISettings>(next.Get()); }
  ComPtr<ISettings> GetCurNext(int32_t index) override { return index == 0 ? GetCur() : GetNext(); }
  ComPtr<IChannelSettings> GetCurSettings() override { return ComPtr<IChannelSettings>(cur.Get()); }
  ComPtr<IChannelSettings> GetNextSettings() override { return ComPtr<IChannelSettings>(next.Get()); }
  ComPtr<IChannelSettings> GetSettings(int32_t index) override;
  uintptr_t GetBitmap() override { return 0; }
  ComPtr<IInstrument> GetInstrument() override;
  int32_t GetIndex() override { return index_; }
  double GetGain() override { return 1.0; }
  void SetGain(double) override {}
  uint32_t GetInputKind() override { return 0; }
  bool GetInputFlag() override { return false; }
  HResult LoadFromStream(TStream&, uint32_t) override { return E_NOTIMPL; }

  Owned<TFakeChannelSettings> cur;
  Owned<TFakeChannelSettings> next;
  Owned<TFakeChannelTrigger> trigger;  // empty for a channel without trigger

 protected:
  bool GetInterface(const Guid& iid, void** object) override;

 private:
  TFakeInstrument* instrument_;
  int32_t index_;
};

// A free-standing instrument with the hide protocol; `channels` channels, the first
// `triggerChannels` of them with a channel trigger; an instrument trigger unless told otherwise.
class TFakeInstrument : public TInterfacedHideObject, public IInstrument {
 public:
  TFakeInstrument(int32_t channels, int32_t triggerChannels, bool withTrigger = true);
  ~TFakeInstrument() override;

  ComPtr<ISettings> GetCur() override { return ComPtr<ISettings>(cur.Get()); }
  ComPtr<ISettings> GetNext() override { return ComPtr<ISettings>(next.Get()); }
  ComPtr<ISettings> GetCurNext(int32_t index) override { return index == 0 ? GetCur() : GetNext(); }
  uintptr_t GetBitmap() override { return 0; }
  uint32_t GetInstrumentType() override { return 0; }
  uint32_t GetSubID() override { return 0; }
  std::string GetDisplayName(uint32_t) override { return "Instr"; }
  uint32_t GetSerialNumber() override { return serial; }
  double GetCalibrationDate() override { return calibrationDate; }
  void GetDriverVersion(std::array<uint8_t, 8>& version) override { version = {}; }
  void GetFirmwareVersion(std::array<uint8_t, 8>& version) override { version = {}; }
  ComPtr<IChannel> GetChannel(int32_t index) override;
  int32_t GetChannelCount() override { return static_cast<int32_t>(channels.size()); }
  int32_t GetSourceCount() override { return GetChannelCount(); }
  ComPtr<IInstrumentSettings> GetCurSettings() override { return ComPtr<IInstrumentSettings>(cur.Get()); }
  ComPtr<IInstrumentSettings> GetNextSettings() override { return ComPtr<IInstrumentSettings>(next.Get()); }
  ComPtr<IInstrumentSettings> GetSettings(int32_t index) override;
  HResult Start(int64_t value) override;
  HResult Stop(int64_t value) override;
  HResult LoadFromStream(TStream&, uint32_t) override { return E_NOTIMPL; }
  HResult LoadFromIFF(IIFFStream&, TIFFChunk*, uint32_t) override { return E_NOTIMPL; }
  HResult SaveToIFF(IIFFStream&, TIFFChunk*&, uint32_t, bool&) override { return E_NOTIMPL; }

  uint32_t serial = 27001;
  double calibrationDate = 0.0;
  bool finishOnStart = true;  // Start reports the measurement ready at once
  std::vector<int64_t> starts;
  std::vector<int64_t> stops;
  Owned<TFakeInstrumentSettings> cur;
  Owned<TFakeInstrumentSettings> next;
  Owned<TFakeInstrumentTrigger> trigger;
  std::vector<Owned<TFakeChannel>> channels;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

}  // namespace veltra::test
