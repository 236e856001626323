#pragma once
// The hardware vocabulary: property identifiers of instruments and channels (HW_), the control and
// connection-test identifiers, and the interfaces through which instruments, channels and their
// settings are reached, with their operations in slot order.
//
// A property identifier is a 32-bit code with exactly one bit set; its bit number is the index of
// its name in the family's name table and the slot of its cached value. Values are signed 64-bit
// integers in the fixed-point encodings of HWEncoding.h. Typed readers answer the converted value
// of 0 when the read fails, unless their comment says otherwise.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/CommonInterfaces.h"
#include "util/IFF.h"
#include "util/Streams.h"

namespace veltra {

// ---------------------------------------------------------------------------------------------
// Instrument and channel identifiers

inline constexpr uint32_t HW_SUPPORTSGET = 0x1;           // mask of readable identifiers
inline constexpr uint32_t HW_SUPPORTSSET = 0x2;           // mask of writable identifiers
inline constexpr uint32_t HW_CHANNELCOUNT = 0x4;
inline constexpr uint32_t HW_START = 0x8;                 // written 1 on Next to start
inline constexpr uint32_t HW_STOP = 0x10;                 // written on Cur to stop
inline constexpr uint32_t HW_MODE = 0x20;                 // transfer mode 1 or 2
inline constexpr uint32_t HW_ENABLE = 0x40;               // channel on: non-zero; written -1 / 0
inline constexpr uint32_t HW_COUPLING = 0x80;
inline constexpr uint32_t HW_RANGE = 0x100;               // volts full scale, 2^32 fixed point
inline constexpr uint32_t HW_RANGES = 0x200;              // range k of the list (parameter k)
inline constexpr uint32_t HW_RANGECOUNT = 0x400;
inline constexpr uint32_t HW_AUTORANGING = 0x800;
inline constexpr uint32_t HW_SAMPLEFREQUENCY = 0x1000;    // hertz, 2^24 fixed point
inline constexpr uint32_t HW_SAMPLEFREQUENCIES = 0x2000;  // frequency k of the list; 0 = maximum
inline constexpr uint32_t HW_SAMPLEFREQUENCYCOUNT = 0x4000;
inline constexpr uint32_t HW_DATASIZE = 0x8000;           // record length in samples
inline constexpr uint32_t HW_DATASIZEMAX = 0x10000;
inline constexpr uint32_t HW_RESOLUTION = 0x20000;        // bits
inline constexpr uint32_t HW_RESOLUTIONS = 0x40000;       // resolution k of the list
inline constexpr uint32_t HW_RESOLUTIONCOUNT = 0x80000;
inline constexpr uint32_t HW_CLOCKSOURCE = 0x100000;      // 1 external, 2 internal, 4
inline constexpr uint32_t HW_COUPLINGS = 0x200000;
inline constexpr uint32_t HW_RESOLUTIONMODE = 0x400000;   // parameter -1: mask of the modes
inline constexpr uint32_t HW_SELECTOR23 = 0x800000;       // three-way selector 1, 2 or 4 (no name)
inline constexpr uint32_t HW_MREADY = 0x80000000;         // change masks only: measurement ready

// Membership in the value cache and the index cache of instrument and channel settings.
inline constexpr uint32_t kHWCachable = 0x29DDE7;
inline constexpr uint32_t kHWCachableIndices = 0x21100;

// Names of the HW_ identifiers by bit number; entries 23-30 are empty.
extern const std::array<std::string_view, 32> HWNames;

// ---------------------------------------------------------------------------------------------
// Control identifiers (a family of their own, without names)

inline constexpr uint32_t kControlSupportsGet = 0x1;
inline constexpr uint32_t kControlSupportsSet = 0x2;
inline constexpr uint32_t kControlFrameInterval = 0x4;  // minimum ms between data frames
inline constexpr uint32_t kControl8 = 0x8;              // switch the driver defaults write 0
inline constexpr uint32_t kControlOpenCount = 0x10;     // clients that have the instrument open
inline constexpr uint32_t kControl32 = 0x20;            // switch the driver defaults write 1
inline constexpr uint32_t kControlLoading = 0x40;       // 1 while settings load from a file
inline constexpr uint32_t kControlCachable = 0x3F;      // all but the loading flag

// ---------------------------------------------------------------------------------------------
// Connection-test identifiers (instrument and channel objects of the connection test)

inline constexpr uint32_t kConTestSupportsGet = 0x1;
inline constexpr uint32_t kConTestSupportsSet = 0x2;
inline constexpr uint32_t kConTestSetting = 0x4;  // instrument: the test setting
inline constexpr uint32_t kConTestState = 0x8;    // channel: the connection state
inline constexpr uint32_t kConTestInstrumentCachable = 0x7;
inline constexpr uint32_t kConTestChannelCachable = 0xB;

// ---------------------------------------------------------------------------------------------
// Interfaces

struct IChannel;
struct IInstrumentSettings;
struct IChannelSettings;

// Base of IInstrument and IChannel: Cur and Next are their settings.
struct IScopeHW : virtual ICurNext {
  static constexpr Guid IID = Guid::Parse("{843A1852-BC10-4557-9285-112950010E62}");
};

// Base of the two typed settings interfaces.
struct IScopeHWSettings : virtual ISettings {
  static constexpr Guid IID = Guid::Parse("{942CEFFF-CECB-4AF5-86EA-75B6DEA8EE6B}");
};

struct IInstrument : IScopeHW {
  static constexpr Guid IID = Guid::Parse("{07E08CA4-567A-44D2-8A50-2135CB5E1FA9}");

  virtual uintptr_t GetBitmap() = 0;
  virtual uint32_t GetInstrumentType() = 0;  // word at byte 28 of the information record
  virtual uint32_t GetSubID() = 0;           // word at byte 32 of the information record
  virtual std::string GetDisplayName(uint32_t flags) = 0;
  virtual uint32_t GetSerialNumber() = 0;
  virtual double GetCalibrationDate() = 0;  // days since 1899-12-30; 0.0 = none
  virtual void GetDriverVersion(std::array<uint8_t, 8>& version) = 0;
  virtual void GetFirmwareVersion(std::array<uint8_t, 8>& version) = 0;
  virtual ComPtr<IChannel> GetChannel(int32_t index) = 0;  // zero-based; null when out of range
  virtual int32_t GetChannelCount() = 0;
  virtual int32_t GetSourceCount() = 0;
  virtual ComPtr<IInstrumentSettings> GetCurSettings() = 0;
  virtual ComPtr<IInstrumentSettings> GetNextSettings() = 0;
  virtual ComPtr<IInstrumentSettings> GetSettings(int32_t index) = 0;  // 0 = Cur, 1 = Next
  virtual HResult Start(int64_t value) = 0;  // HW_START := value on Next
  virtual HResult Stop(int64_t value) = 0;   // HW_STOP := value on Cur
  // Legacy block format; answers the number of class levels loaded.
  virtual int32_t LoadFromStream(TStream& stream, uint32_t flags) = 0;
  virtual HResult LoadFromIFF(IIFFStream& iff, TIFFChunk* chunk, uint32_t flags) = 0;
  // Writes under `chunk`; with `create` set, first a new container there, which becomes `chunk`.
  virtual HResult SaveToIFF(IIFFStream& iff, TIFFChunk*& chunk, uint32_t flags, bool& create) = 0;
};

struct IChannel : IScopeHW {
  static constexpr Guid IID = Guid::Parse("{1B268DE2-E633-4B35-8634-882F2DE56C44}");

  virtual ComPtr<IChannelSettings> GetCurSettings() = 0;
  virtual ComPtr<IChannelSettings> GetNextSettings() = 0;
  virtual ComPtr<IChannelSettings> GetSettings(int32_t index) = 0;  // 0 = Cur, 1 = Next
  virtual uintptr_t GetBitmap() = 0;
  virtual ComPtr<IInstrument> GetInstrument() = 0;
  virtual int32_t GetIndex() = 0;  // zero-based
  virtual double GetGain() = 0;    // probe gain factor
  virtual void SetGain(double gain) = 0;  // 0, infinity and NaN are no gain and change nothing
  virtual uint32_t GetInputKind() = 0;  // 0 ordinary input, 1 the other input kind
  virtual bool GetInputFlag() = 0;      // true together with input kind 1
  // Legacy block format; answers the number of class levels loaded.
  virtual int32_t LoadFromStream(TStream& stream, uint32_t flags) = 0;
};

// Typed access to instrument settings. Readers pass parameter 0 unless stated; writers answer the
// SetValue result.
struct IInstrumentSettings : IScopeHWSettings {
  static constexpr Guid IID = Guid::Parse("{1260D829-75A9-47F3-877B-CD6C85A5C9C6}");

  virtual uint8_t GetMode() = 0;  // 1 for a stored 1, else 2
  virtual HResult SetMode(int8_t mode) = 0;
  virtual double GetSampleFrequency() = 0;
  virtual HResult SetSampleFrequency(double hertz) = 0;
  virtual double GetSampleFrequencies(int32_t index) = 0;
  virtual int64_t GetSampleFrequencyCount() = 0;
  virtual int64_t GetDataSize() = 0;
  virtual HResult SetDataSize(int64_t samples) = 0;
  virtual int64_t GetDataSizeMax() = 0;
  virtual uint32_t GetResolutionModes() = 0;  // set of modes 1-4: bit m for mode m
  virtual int64_t GetResolutionMode() = 0;
  virtual HResult SetResolutionMode(int8_t mode) = 0;
  virtual int64_t GetResolution() = 0;
  virtual HResult SetResolution(uint32_t bits) = 0;
  virtual int64_t GetResolutions(int32_t index) = 0;
  virtual int64_t GetResolutionCount() = 0;
  virtual uint8_t GetClockSource() = 0;  // 1, 4, else 2
  virtual HResult SetClockSource(int8_t source) = 0;
  virtual uint8_t GetSelector23() = 0;  // 2, 4, else 1
  virtual HResult SetSelector23(int8_t selector) = 0;
};

struct IChannelSettings : IScopeHWSettings {
  static constexpr Guid IID = Guid::Parse("{4AD9BEEA-E905-4D3A-B388-E4E1D47E59F9}");

  virtual int64_t GetEnabled() = 0;  // non-zero = on
  virtual HResult SetEnabled(int32_t enabled) = 0;
  virtual uint8_t GetCoupling() = 0;  // 1-16; 2 for anything else and when the read fails
  virtual HResult SetCoupling(int8_t coupling) = 0;
  virtual double GetRange() = 0;  // volts, rounded to 1e-9
  virtual HResult SetRange(double volts) = 0;
  virtual double GetRanges(int32_t index) = 0;
  virtual int64_t GetRangeCount() = 0;
  virtual int64_t GetAutoRanging() = 0;
  virtual int64_t GetResolution() = 0;
  virtual int64_t GetResolutions(int32_t index) = 0;
  virtual int64_t GetResolutionCount() = 0;
  virtual HResult SetAutoRanging(int32_t on) = 0;
  virtual double GetSampleFrequency() = 0;
  virtual int64_t GetDataSize() = 0;
};

// Read and write the start time of the last measurement (days since 1899-12-30, local time).
struct IInstrumentTiming : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{E75DFD97-472C-41C7-A758-427B8B7EB970}");

  virtual double GetStartTime() = 0;
  virtual void SetStartTime(double startTime) = 0;
};

// Notified with the channel when its probe gain changes.
using TGainNotify = Method<void(IInterface* sender)>;

struct IProbeGain : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{93B4E8E9-95A9-4DE8-B1F7-B5647BF9D0CB}");

  virtual double GetGain() = 0;
  virtual void SetGain(double gain) = 0;  // as IChannel::SetGain
  virtual void AddGainNotify(const TGainNotify& handler) = 0;
  virtual void RemoveGainNotify(const TGainNotify& handler) = 0;
};

// The identity of an instrument made of several instruments; its operations belong to the combined
// instrument itself.
struct ICombinedInstrument : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{3E901B7C-FC52-4E4C-BF2B-1BEFA29FD808}");
};

}  // namespace veltra
