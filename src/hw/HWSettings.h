#pragma once
// The settings objects of instruments and channels: cached settings with the typed accessors of
// IInstrumentSettings and IChannelSettings. Readers convert the stored 64-bit values to natural
// units and answer the converted value of 0 when the read fails; writers answer the SetValue
// result.

#include <cstdint>
#include <optional>

#include "framework/Settings.h"
#include "hw/HWInterfaces.h"

namespace veltra {

// The three methods of its owner a settings object forwards to.
struct TSettingsMethods {
  TSettingsSetValueMethod set;
  TSettingsGetValueMethod get;
  TSettingsInfoMethod info;
};

// A settings object of class S owned by `owner`, forwarding to `methods`, with its cache masks.
template <class S>
Owned<S> MakeSettings(IInterface* owner, const TSettingsMethods& methods, uint32_t cachable,
                      uint32_t cachableIndices) {
  Owned<S> settings = MakeOwned<S>(owner, methods.set, methods.get, methods.info);
  settings->SetCachable(cachable);
  settings->SetCachableIndices(cachableIndices);
  return settings;
}

// The settings of index 0 (Cur) or 1 (Next) as interface I; null for any other index.
template <class I, class Cur, class Next>
ComPtr<I> CurOrNext(int32_t index, Cur* cur, Next* next) {
  if (index == 0) return ComPtr<I>(cur);
  if (index == 1) return ComPtr<I>(next);
  return nullptr;
}

// Called with the settings object and the mask of a change, before the change listeners run.
using TNotifyDWORD = Method<void(IInterface* sender, uint32_t value)>;

// Adds the OnChangedCalled event to a cached settings class: every non-empty mask passed to
// Changed reaches the event after the cache forgot those identifiers and before the listeners
// hear of it (or the update bracket collects it).
template <class Settings>
class TWithChangedCalled : public Settings {
 public:
  using Settings::Settings;

  const TNotifyDWORD& OnChangedCalled() const { return onChangedCalled_; }
  void SetOnChangedCalled(const TNotifyDWORD& handler) { onChangedCalled_ = handler; }

  void Changed(uint32_t mask) override {
    this->DropCached(mask);
    if (onChangedCalled_ && mask != 0) onChangedCalled_(static_cast<ISettings*>(this), mask);
    TCustomSettings::Changed(mask);
  }

 private:
  TNotifyDWORD onChangedCalled_;
};

class TInstrumentSettings : public TCachedSettings, public IInstrumentSettings {
 public:
  using TCachedSettings::TCachedSettings;

  uint8_t GetMode() override;
  HResult SetMode(int8_t mode) override;
  double GetSampleFrequency() override;
  HResult SetSampleFrequency(double hertz) override;
  double GetSampleFrequencies(int32_t index) override;
  int64_t GetSampleFrequencyCount() override;
  int64_t GetDataSize() override;
  HResult SetDataSize(int64_t samples) override;
  int64_t GetDataSizeMax() override;
  uint32_t GetResolutionModes() override;
  int64_t GetResolutionMode() override;
  HResult SetResolutionMode(int8_t mode) override;
  int64_t GetResolution() override;
  HResult SetResolution(uint32_t bits) override;
  int64_t GetResolutions(int32_t index) override;
  int64_t GetResolutionCount() override;
  uint8_t GetClockSource() override;
  HResult SetClockSource(int8_t source) override;
  uint8_t GetSelector23() override;
  HResult SetSelector23(int8_t selector) override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TChannelSettings : public TCachedSettings, public IChannelSettings {
 public:
  using TCachedSettings::TCachedSettings;

  int64_t GetEnabled() override;
  HResult SetEnabled(int32_t enabled) override;
  uint8_t GetCoupling() override;
  HResult SetCoupling(int8_t coupling) override;
  double GetRange() override;
  HResult SetRange(double volts) override;
  double GetRanges(int32_t index) override;
  int64_t GetRangeCount() override;
  int64_t GetAutoRanging() override;
  int64_t GetResolution() override;
  int64_t GetResolutions(int32_t index) override;
  int64_t GetResolutionCount() override;
  HResult SetAutoRanging(int32_t on) override;
  double GetSampleFrequency() override;
  int64_t GetDataSize() override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

// The Cur settings of a channel: its OnChangedCalled event runs the channel's reaction to every
// change of the current settings.
using TChannelSettingsEx = TWithChangedCalled<TChannelSettings>;

// The value of `id` read with `parameter` (a list index, -1 for the index-cached value); 0 when
// the read fails.
int64_t ReadValue(ISettings& settings, uint32_t id, int64_t parameter = 0);
// The same, nothing when the read fails.
std::optional<int64_t> TryReadValue(ISettings& settings, uint32_t id, int64_t parameter = 0);

}  // namespace veltra
