#pragma once
// The trigger vocabulary: trigger identifiers (TR_) and the interfaces of triggers and their
// settings, with their operations in slot order. A trigger is a Cur/Next pair of trigger settings,
// owned by an instrument (sources, pre-samples, time-out, hold-off) or a channel (kind, level,
// hysteresis, pulse time).

#include <array>
#include <cstdint>
#include <string_view>

#include "framework/CommonInterfaces.h"

namespace veltra {

inline constexpr uint32_t TR_SUPPORTSGET = 0x1;
inline constexpr uint32_t TR_SUPPORTSSET = 0x2;
inline constexpr uint32_t TR_USED = 0x4;           // non-zero = in use; written 1 / 0
inline constexpr uint32_t TR_PRESAMPLES = 0x8;     // fraction 0-1, 2^52 fixed point
inline constexpr uint32_t TR_RESOLUTION = 0x10;
inline constexpr uint32_t TR_TIMEOUT = 0x20;       // seconds, 2^32 fixed point; -1 = for ever
inline constexpr uint32_t TR_SOURCEOR = 0x40;      // mask of sources combined with OR
inline constexpr uint32_t TR_SOURCEAND = 0x80;     // mask of sources combined with AND
inline constexpr uint32_t TR_SOURCES = 0x100;      // mask of available sources
inline constexpr uint32_t TR_KIND = 0x200;
inline constexpr uint32_t TR_KINDS = 0x400;
inline constexpr uint32_t TR_LEVEL = 0x800;        // fraction 0-1 of the range, 2^52
inline constexpr uint32_t TR_HYSTERESIS = 0x1000;  // fraction 0-1 of the range, 2^52
inline constexpr uint32_t TR_TRIGGER = 0x2000;     // raw trigger word, never cached
inline constexpr uint32_t TR_HOLDOFF = 0x4000;
inline constexpr uint32_t TR_HOLDOFFMAX = 0x8000;
inline constexpr uint32_t TR_PULSETIME = 0x10000;  // seconds, 2^40 fixed point

// Every trigger settings object caches all identifiers except TR_TRIGGER.
inline constexpr uint32_t kTRCachable = 0x1DFFF;

// Names of the TR_ identifiers by bit number (16 entries: TR_PULSETIME has none).
extern const std::array<std::string_view, 16> TRNames;

struct IInstrumentTriggerSettings;
struct IChannelTriggerSettings;

struct ITrigger : virtual ICurNext {
  static constexpr Guid IID = Guid::Parse("{CE265ACB-CDDF-42FC-8E78-FBA7C981E9DF}");
};

struct ITriggerSettings : virtual ISettings {
  static constexpr Guid IID = Guid::Parse("{CCFA13F7-9313-4FC2-8439-DC280D828B8F}");
};

struct IInstrumentTrigger : virtual ICurNext {
  static constexpr Guid IID = Guid::Parse("{F14FE6A8-D138-419F-859A-298A3493E325}");

  virtual ComPtr<IInstrumentTriggerSettings> GetCurSettings() = 0;
  virtual ComPtr<IInstrumentTriggerSettings> GetNextSettings() = 0;
};

struct IChannelTrigger : virtual ICurNext {
  static constexpr Guid IID = Guid::Parse("{3D43D05D-6A21-4FD8-9BA6-87239693561D}");

  virtual ComPtr<IChannelTriggerSettings> GetCurSettings() = 0;
  virtual ComPtr<IChannelTriggerSettings> GetNextSettings() = 0;
};

// Typed access to instrument trigger settings; writers answer the SetValue result.
struct IInstrumentTriggerSettings : virtual ISettings {
  static constexpr Guid IID = Guid::Parse("{C208D3B4-40E5-4740-B9C9-810E41631226}");

  virtual bool GetUsed() = 0;
  virtual double GetPreSamples() = 0;  // fraction 0-1
  virtual int64_t GetHoldOff() = 0;
  virtual int64_t GetHoldOffMax() = 0;
  virtual int32_t GetResolution() = 0;
  virtual double GetTimeOut() = 0;  // seconds
  virtual int64_t GetSourceOR() = 0;
  virtual int64_t GetSourceAND() = 0;
  virtual int64_t GetSources() = 0;
  virtual HResult SetPreSamples(double fraction) = 0;  // clamped to 0-1
  virtual HResult SetHoldOff(int64_t holdOff) = 0;
  virtual HResult SetResolution(int32_t resolution) = 0;
  virtual HResult SetTimeOut(double seconds) = 0;
  virtual HResult SetSourceOR(int64_t mask) = 0;
  virtual HResult SetSourceAND(int64_t mask) = 0;
  virtual HResult SetTriggerWord(int64_t word) = 0;
  virtual int64_t GetTriggerWord() = 0;
};

struct IChannelTriggerSettings : virtual ISettings {
  static constexpr Guid IID = Guid::Parse("{D9D33EF8-B75D-41B5-9DFF-A382F1EBAB33}");

  virtual bool GetUsed() = 0;
  virtual int32_t GetResolution() = 0;
  virtual uint32_t GetKind() = 0;
  virtual uint32_t GetKinds() = 0;
  virtual double GetLevel() = 0;       // fraction 0-1 of the range
  virtual double GetHysteresis() = 0;  // fraction 0-1 of the range
  virtual double GetPulseTime() = 0;   // seconds
  virtual HResult SetUsed(bool used) = 0;
  virtual HResult SetResolution(int32_t resolution) = 0;
  virtual HResult SetKind(uint32_t kind) = 0;
  virtual HResult SetLevel(double fraction) = 0;       // clamped to 0-1
  virtual HResult SetHysteresis(double fraction) = 0;  // clamped to 0-1
  virtual HResult SetPulseTime(double seconds) = 0;
};

}  // namespace veltra
