#pragma once
// TCustomHW: the abstract instrument.
//
// An instrument owns its Cur and Next settings, its channels, an information record, the
// calibration date and the start time of the last measurement. It is the one place where the
// settings of the instrument and of all its channels are read and written: every settings object
// of the instrument (channel -1) and of its channels (their index) forwards to the accessor slots
// SetCurValue, SetNextValue, GetCurValue and GetNextValue. A concrete instrument overrides those
// slots; it calls the base first and handles the identifier itself only when the base answered
// E_NOTIMPL, so a bad channel index or a dying object never reaches the hardware.
//
// Construction runs in two phases (MakeObject): the constructor sets up the record, names and
// lists; AfterConstruction then calls CreateSettings (where concrete instruments also create their
// channels), ApplyDefaults (SetDefaults, then Initialise of every channel) and finally the
// inherited step (bitmap, object number). A channel made later initialises itself.
//
// Channels insert themselves into the instrument's channel list when they are made (see
// TCustomChannel); the instrument holds a counted reference to each, and the channels hold none
// to the instrument. When the instrument goes, its channels are detached from it: a channel
// someone still holds answers E_ACCESSDENIED to every settings access from then on.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "hw/CustomDevice.h"
#include "hw/HWFiles.h"
#include "hw/HWInterfaces.h"
#include "hw/HWSettings.h"
#include "hw/InstrumentInfo.h"
#include "signals/SignalBaseInterfaces.h"

namespace veltra {

class TCustomChannel;

// Its channels are the instrument's numbered sources (INumberedSources), so each stores its index
// in files.
class TCustomHW : public TCustomDevice,
                  public IInstrument,
                  public IInstrumentTiming,
                  public INumberedSources {
 public:
  static constexpr Guid kClassID = kDefaultInfoId;
  static constexpr int64_t kDefaultRecordLength = 5000;

  TCustomHW();
  ~TCustomHW() override;

  Guid GetClassID() const override { return kClassID; }

  // ICurNext
  ComPtr<ISettings> GetCur() override;
  ComPtr<ISettings> GetNext() override;
  ComPtr<ISettings> GetCurNext(int32_t index) override;  // 0 Cur, 1 Next, else null

  // IInstrument
  uintptr_t GetBitmap() override { return TVTObject::GetBitmap(); }
  uint32_t GetInstrumentType() override { return info_.typeCode; }
  uint32_t GetSubID() override { return info_.subId; }
  // The inherited composition without number, then "(serial number)" unless flags hold
  // kDisplayNoNumber: "Instrument(27001)".
  std::string GetDisplayName(uint32_t flags) override;
  // The serial number of the record; 0 while the record's status word is set.
  uint32_t GetSerialNumber() override;
  double GetCalibrationDate() override { return calibrationDate_; }
  void GetDriverVersion(std::array<uint8_t, 8>& version) override;    // base: zeros
  void GetFirmwareVersion(std::array<uint8_t, 8>& version) override;  // base: zeros
  ComPtr<IChannel> GetChannel(int32_t index) override;                // null out of range
  int32_t GetChannelCount() override;
  int32_t GetSourceCount() override { return GetChannelCount(); }  // also INumberedSources
  ComPtr<IInstrumentSettings> GetCurSettings() override;
  ComPtr<IInstrumentSettings> GetNextSettings() override;
  ComPtr<IInstrumentSettings> GetSettings(int32_t index) override;
  HResult Start(int64_t value) override;
  HResult Stop(int64_t value) override;
  // Legacy block format; answers the class levels loaded (0 when the instrument's block is
  // missing). Raises EStreamError for a block version it cannot read.
  int32_t LoadFromStream(TStream& stream, uint32_t flags) override;
  // One update bracket around the whole load: Cur, Next and every channel, so listeners hear of
  // a file once per settings object. Answers S_OK.
  HResult LoadFromIFF(IIFFStream& iff, TIFFChunk* chunk, uint32_t flags) override;
  HResult SaveToIFF(IIFFStream& iff, TIFFChunk*& chunk, uint32_t flags, bool& create) override;

  // IVTObject: the number is the serial number rule.
  int32_t GetNumber() override { return static_cast<int32_t>(GetSerialNumber()); }
  // The inherited hide, then every channel is hidden, last first.
  void Hide() override;

  // INumberedSources: the channels.
  ComPtr<IInterface> GetSourceByIndex(int32_t index) override;
  int32_t IndexOfSource(IInterface* source) override;

  // IInstrumentTiming
  double GetStartTime() override { return startTime_; }
  void SetStartTime(double startTime) override { startTime_ = startTime; }

  // Defaults: SetDefaults, then Initialise of every channel in index order.
  virtual void ApplyDefaults();
  bool DefaultsApplied() const { return defaultsApplied_; }
  // With open count 1, on Next in one bracket: the largest sample frequency (entry 0 of the
  // list) when the list is not empty and that entry reads, and the record length 5000.
  virtual void SetDefaults();
  // Start time := now - (Cur record length / Cur sample frequency) seconds. Answers 0.
  virtual int32_t UpdateStartTime();
  // Clients that have the instrument open; 1 means this client opened it first and may apply
  // defaults. Base: 1.
  virtual int64_t GetOpenCount() { return 1; }
  virtual void GetInfoRecord(DeviceInfoRecord& record) { record = info_; }

  // The info words of the settings chunk header (index 0 and 1); channels add their number
  // ((index + 1) AND 255) shl 16 to the index.
  virtual int32_t GetCurInfo(int32_t index) { return GetSettingsInfo(index, 0); }
  virtual int32_t GetNextInfo(int32_t index) { return GetSettingsInfo(index, 1); }

  // The accessor slots of the instrument (channel -1) and its channels (their index). Base: the
  // accessor gate, E_NOTIMPL for a valid channel of a live object, E_INVALIDARG for a channel
  // outside -1 ... count - 1, E_ACCESSDENIED once destruction began; readers answer 0 on both
  // errors.
  virtual HResult SetCurValue(uint32_t id, int32_t channel, int64_t value);
  virtual HResult SetNextValue(uint32_t id, int32_t channel, int64_t value);
  virtual HResult GetCurValue(uint32_t id, int32_t channel, int64_t& value);
  virtual HResult GetNextValue(uint32_t id, int32_t channel, int64_t& value);
  // A second set of per-channel accessors for settings objects of derived classes; the same gate.
  virtual HResult SetCurAuxValue(uint32_t id, int32_t channel, int64_t value);
  virtual HResult SetNextAuxValue(uint32_t id, int32_t channel, int64_t value);
  virtual HResult GetCurAuxValue(uint32_t id, int32_t channel, int64_t& value);
  virtual HResult GetNextAuxValue(uint32_t id, int32_t channel, int64_t& value);

  // The channels as objects (null out of range), for derived classes and the channels.
  ComPtr<TCustomChannel> ChannelObject(int32_t index);
  std::vector<ComPtr<TCustomChannel>> Channels();

  TInstrumentSettings& CurSettings() { return *cur_.Get(); }
  TInstrumentSettings& NextSettings() { return *next_.Get(); }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  void AfterConstruction() override;
  // The inherited step (hide), then the channels are let go.
  void BeforeDestruction() override;

  // Creates Cur and Next; concrete instruments extend it and create their channels here.
  virtual void CreateSettings();
  // The info word `index` of Cur (which = 0) or Next (which = 1). Base: 0.
  virtual int32_t GetSettingsInfo(int32_t index, int32_t which);
  // Writes the instrument's chunks below `node`, then its channels as "SRC " containers.
  virtual void DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags);
  virtual HResult DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags);
  // Two arrays of 32-bit words per channel for derived classes' bookkeeping: one entry after
  // construction; GrowChannelArrays sizes them to channel count + 2, FitChannelArrays to + 1.
  virtual void GrowChannelArrays();
  virtual void FitChannelArrays();
  std::vector<int32_t>& ChannelWords(size_t which) { return channelWords_.at(which); }

  // The gate of the accessor slots: E_NOTIMPL when the access may go ahead. ReadGate also
  // zeroes the value when it may not.
  HResult AccessGate(int32_t channel) const;
  HResult ReadGate(int32_t channel, int64_t& value) const;

  // Start time := now - the duration of `samples` at the Cur sample frequency (none without one).
  void SetStartTimeBefore(double samples);

  DeviceInfoRecord& InfoRecord() { return info_; }
  void SetCalibrationDate(double date) { calibrationDate_ = date; }

  // The channels' begin-update and end-update steps, in index order.
  void BeginChannelUpdates();
  void EndChannelUpdates();
  // Zero-level samples, no data marker and a new-data report on every channel that holds data
  // and is not in `loaded` (one flag per channel).
  void ClearChannelsNotLoaded(const std::vector<bool>& loaded);

 private:
  friend class TCustomChannel;

  // The channel list, kept by the channels: a new channel takes place `index` (clamped to the
  // list), which becomes its index; the ones behind it move up. Removal moves them down again.
  void InsertChannel(TCustomChannel* channel, int32_t index);
  void RemoveChannel(TCustomChannel* channel);
  void RenumberFrom(int32_t index);

  // The settings methods of the instrument itself: the accessor slots with channel -1.
  HResult SetCurOfInstrument(uint32_t id, int64_t value) { return SetCurValue(id, -1, value); }
  HResult SetNextOfInstrument(uint32_t id, int64_t value) { return SetNextValue(id, -1, value); }
  HResult GetCurOfInstrument(uint32_t id, int64_t& value) { return GetCurValue(id, -1, value); }
  HResult GetNextOfInstrument(uint32_t id, int64_t& value) { return GetNextValue(id, -1, value); }

  void EndLoadUpdates();
  void SaveChannels(IIFFStream& iff, TIFFChunk* node, uint32_t flags);
  // Loads every "SRC " container of `node` into the channel its "OUT#" names; answers whether a
  // channel's samples came from the file.
  bool LoadChannels(IIFFStream& iff, TIFFChunk* node, uint32_t flags);
  void LoadChannelsFromStream(TStream& stream, int64_t storedCount, uint32_t flags);

  bool defaultsApplied_ = false;
  std::array<std::vector<int32_t>, 2> channelWords_;
  Owned<TInstrumentSettings> cur_;
  Owned<TInstrumentSettings> next_;
  mutable std::mutex channelsMutex_;  // guards each operation on channels_
  std::vector<ComPtr<TCustomChannel>> channels_;
  DeviceInfoRecord info_;
  double calibrationDate_ = 0.0;
  double startTime_ = 0.0;
};

}  // namespace veltra
