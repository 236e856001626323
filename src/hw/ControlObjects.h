#pragma once
// Control settings: the values that govern how the library drives an instrument rather than how
// it measures (the minimum interval between data frames, the open count, the loading flag and two
// switches of the driver). A concrete instrument owns one TControlSettings, wired to its own
// control accessors like any other settings object, with Cachable kControlCachable (the loading
// flag is never cached). The control identifiers are in HWInterfaces.h.
//
// The process-wide TControlDefaultSettings hold the one user-facing default, MaxFrameRate, from
// which an instrument's defaults derive the frame interval.

#include <cstdint>

#include "framework/Settings.h"
#include "hw/HWInterfaces.h"

namespace veltra {

struct IControlSettings : virtual ISettings {
  static constexpr Guid IID = Guid::Parse("{F286E90E-61B8-4553-B525-2880A5C55B4A}");

  // Readers answer 0 when the read fails; writers answer the SetValue result.
  virtual int64_t GetFrameInterval() = 0;  // milliseconds
  virtual int64_t GetControl8() = 0;
  virtual int64_t GetOpenCount() = 0;
  virtual int64_t GetControl32() = 0;
  virtual HResult SetLoading(uint32_t loading) = 0;  // 1 while settings load from a file
  virtual HResult SetFrameInterval(uint32_t milliseconds) = 0;
  virtual HResult SetControl8(uint32_t value) = 0;
  virtual HResult SetControl32(uint32_t value) = 0;
};

// Hands out an instrument's control settings.
struct IControlSettingsProvider : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{8109EA5F-46AC-4F50-BE8A-09B0ABDB2412}");

  virtual ComPtr<IControlSettings> GetControlSettings() = 0;
};

class TControlSettings : public TCachedSettings, public IControlSettings {
 public:
  using TCachedSettings::TCachedSettings;

  int64_t GetFrameInterval() override;
  int64_t GetControl8() override;
  int64_t GetOpenCount() override;
  int64_t GetControl32() override;
  HResult SetLoading(uint32_t loading) override;
  HResult SetFrameInterval(uint32_t milliseconds) override;
  HResult SetControl8(uint32_t value) override;
  HResult SetControl32(uint32_t value) override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

struct TControlDefaultSettings {
  static constexpr double kDefaultMaxFrameRate = 30.0;

  double MaxFrameRate = kDefaultMaxFrameRate;  // data frames per second at most
};

// The process-wide defaults.
TControlDefaultSettings& ControlDefaultSettings();

// The minimum interval between data frames, in milliseconds, for at most `maxFrameRate` frames
// per second: round(1000 / rate), so 30 gives 33. A rate that is not above 0 sets no limit (0);
// a rate too small for 32 bits gives the largest interval.
uint32_t FrameIntervalFromRate(double maxFrameRate);

}  // namespace veltra
