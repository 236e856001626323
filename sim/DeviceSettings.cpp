#include "sim/DeviceSettings.h"

#include <algorithm>
#include <bit>

#include "hw/HWInterfaces.h"
#include "hw/TrigInterface.h"
#include "sim/AcquisitionLists.h"

namespace veltra::sim {

namespace {

constexpr uint32_t kMaskIds = HW_SUPPORTSGET | HW_SUPPORTSSET;  // the same two in every family

constexpr uint32_t kInstrumentReadable = kMaskIds | HW_CHANNELCOUNT | HW_MODE | HW_SAMPLEFREQUENCY |
                                         HW_SAMPLEFREQUENCIES | HW_SAMPLEFREQUENCYCOUNT |
                                         HW_DATASIZE | HW_DATASIZEMAX | HW_RESOLUTION |
                                         HW_RESOLUTIONS | HW_RESOLUTIONCOUNT | HW_CLOCKSOURCE;
constexpr uint32_t kInstrumentWritable =
    HW_MODE | HW_SAMPLEFREQUENCY | HW_DATASIZE | HW_RESOLUTION | HW_CLOCKSOURCE;
constexpr uint32_t kChannelReadable = kMaskIds | HW_ENABLE | HW_COUPLING | HW_RANGE | HW_RANGES |
                                      HW_RANGECOUNT | HW_AUTORANGING | HW_SAMPLEFREQUENCY |
                                      HW_DATASIZE | HW_RESOLUTION | HW_RESOLUTIONS |
                                      HW_RESOLUTIONCOUNT | HW_COUPLINGS;
constexpr uint32_t kChannelWritable = HW_ENABLE | HW_COUPLING | HW_RANGE | HW_AUTORANGING;

constexpr uint32_t kTriggerWritable =
    TR_PRESAMPLES | TR_TIMEOUT | TR_SOURCEOR | TR_SOURCEAND | TR_HOLDOFF;
constexpr uint32_t kTriggerReadable =
    kMaskIds | kTriggerWritable | TR_USED | TR_SOURCES | TR_HOLDOFFMAX;
constexpr uint32_t kChannelTriggerWritable = TR_KIND | TR_LEVEL | TR_HYSTERESIS;
constexpr uint32_t kChannelTriggerReadable =
    kMaskIds | kChannelTriggerWritable | TR_USED | TR_KINDS;

constexpr uint32_t kControlWritable =
    kControlFrameInterval | kControl8 | kControl32 | kControlLoading;
constexpr uint32_t kControlReadable = kMaskIds | kControlWritable | kControlOpenCount;

constexpr int64_t kFractionOne = int64_t{1} << 52;
constexpr int64_t kForEver = -(int64_t{1} << 32);
constexpr int64_t kCouplingsMask = 0x3;  // couplings 1 (DC) and 2 (AC)
constexpr int64_t kKindsMask = 0xF;      // rising, falling, inside, outside

size_t BitOf(uint32_t id) { return static_cast<size_t>(std::countr_zero(id)); }

}  // namespace

NotificationKind KindOf(Family family) {
  switch (family) {
    case Family::kCurrent: return NotificationKind::kCurrent;
    case Family::kNext: return NotificationKind::kNext;
    case Family::kTriggerCurrent: return NotificationKind::kTriggerCurrent;
    case Family::kTriggerNext: return NotificationKind::kTriggerNext;
    default: return NotificationKind::kConnectionTest;
  }
}

std::optional<Family> FamilyOfSelector(uint32_t setBits) {
  switch (static_cast<SettingsSet>(setBits)) {
    case SettingsSet::kCurrent: return Family::kCurrent;
    case SettingsSet::kNext: return Family::kNext;
    case SettingsSet::kTriggerCurrent: return Family::kTriggerCurrent;
    case SettingsSet::kTriggerNext: return Family::kTriggerNext;
    case SettingsSet::kControl: return Family::kControl;
    case SettingsSet::kConnectionTest: return Family::kConnectionTest;
  }
  return std::nullopt;
}

ChangeMasks::ChangeMasks(uint32_t channelCount) : masks_((channelCount + 1) * kNotifiedFamilies) {}

void ChangeMasks::Merge(const ChangeMasks& other) {
  for (size_t i = 0; i < masks_.size() && i < other.masks_.size(); ++i)
    masks_[i] |= other.masks_[i];
}

void ChangeMasks::Remove(const ChangeMasks& other) {
  for (size_t i = 0; i < masks_.size() && i < other.masks_.size(); ++i)
    masks_[i] &= ~other.masks_[i];
}

bool ChangeMasks::Any(Family family) const {
  for (int32_t index = -1; index < static_cast<int32_t>(ChannelCount()); ++index) {
    if (Get(family, index) != 0) return true;
  }
  return false;
}

bool ChangeMasks::Empty() const {
  return std::all_of(masks_.begin(), masks_.end(), [](uint64_t m) { return m == 0; });
}

DeviceSettings::DeviceSettings(uint32_t channelCount, int64_t dataSizeMax, bool connectionTest)
    : channelCount_(channelCount),
      dataSizeMax_(dataSizeMax),
      connectionTest_(connectionTest),
      probeConnected_(channelCount, true) {
  current_.channels.resize(channelCount);
  current_.triggers.resize(channelCount);
  current_.dataSize = std::min<int64_t>(current_.dataSize, dataSizeMax);
  current_.timeOut = (int64_t{1} << 32) / 10;
  next_ = current_;
  control_[BitOf(kControl32)] = 1;
}

uint32_t DeviceSettings::Supported(Family family, int32_t index, uint32_t which) const {
  if (index < -1 || index >= static_cast<int32_t>(channelCount_) || which > 1) return 0;
  const bool instrument = index < 0;
  const bool readable = which == 0;
  switch (family) {
    case Family::kCurrent:
    case Family::kNext: {
      if (!instrument) return readable ? kChannelReadable : kChannelWritable;
      if (readable) return kInstrumentReadable;
      return kInstrumentWritable | (family == Family::kNext ? HW_START : HW_STOP);
    }
    case Family::kTriggerCurrent:
    case Family::kTriggerNext: {
      if (!instrument) return readable ? kChannelTriggerReadable : kChannelTriggerWritable;
      const uint32_t force = family == Family::kTriggerCurrent ? TR_TRIGGER : 0;
      return (readable ? kTriggerReadable : kTriggerWritable) | force;
    }
    case Family::kControl:
      if (!instrument) return 0;
      return readable ? kControlReadable : kControlWritable;
    case Family::kConnectionTest:
      if (!connectionTest_) return 0;
      if (instrument) return readable ? kMaskIds | kConTestSetting : kConTestSetting;
      return readable ? kMaskIds | kConTestState : 0;
  }
  return 0;
}

std::optional<int64_t> DeviceSettings::Get(Family family, uint32_t id, int32_t index,
                                           int64_t parameter) const {
  const uint32_t readable = Supported(family, index, 0);
  if (readable == 0 || std::popcount(id) != 1 || (id & readable) == 0) return std::nullopt;
  if (id == HW_SUPPORTSGET) return readable;
  if (id == HW_SUPPORTSSET) return Supported(family, index, 1);
  switch (family) {
    case Family::kCurrent: return GetHw(current_, id, index, parameter);
    case Family::kNext: return GetHw(next_, id, index, parameter);
    case Family::kTriggerCurrent: return GetTrigger(current_, true, id, index);
    case Family::kTriggerNext: return GetTrigger(next_, false, id, index);
    case Family::kControl: return GetControl(id, index);
    case Family::kConnectionTest: return GetConnectionTest(id, index);
  }
  return std::nullopt;
}

bool DeviceSettings::Set(Family family, uint32_t id, int32_t index, int64_t value) {
  // Actions are the device's: starting and stopping, forcing the trigger.
  uint32_t storable = Supported(family, index, 1);
  if (family == Family::kCurrent || family == Family::kNext) storable &= ~(HW_START | HW_STOP);
  if (family == Family::kTriggerCurrent) storable &= ~TR_TRIGGER;
  if (std::popcount(id) != 1 || (id & storable) == 0) return false;
  switch (family) {
    case Family::kCurrent:
    case Family::kTriggerCurrent: {
      const bool trigger = family == Family::kTriggerCurrent;
      AcquisitionState current = current_;
      AcquisitionState next = next_;
      const bool ok =
          trigger ? SetTrigger(current, id, index, value) && SetTrigger(next, id, index, value)
                  : SetHw(current, id, index, value) && SetHw(next, id, index, value);
      if (ok) {
        current_ = std::move(current);
        next_ = std::move(next);
      }
      return ok;
    }
    case Family::kNext: return SetHw(next_, id, index, value);
    case Family::kTriggerNext: return SetTrigger(next_, id, index, value);
    case Family::kControl: return SetControl(id, index, value);
    case Family::kConnectionTest: connectionTestSetting_ = value; return true;
  }
  return false;
}

std::optional<int64_t> DeviceSettings::GetHw(const AcquisitionState& state, uint32_t id,
                                             int32_t index, int64_t parameter) const {
  const auto listEntry = [parameter](auto list) -> std::optional<int64_t> {
    if (parameter < 0 || static_cast<uint64_t>(parameter) >= list.size()) return std::nullopt;
    return static_cast<int64_t>(list[static_cast<size_t>(parameter)]);
  };
  switch (id) {
    case HW_SAMPLEFREQUENCY: return state.sampleFrequency;
    case HW_DATASIZE: return state.dataSize;
    case HW_RESOLUTION: return state.resolution;
    case HW_RESOLUTIONS: return listEntry(Resolutions());
    case HW_RESOLUTIONCOUNT: return static_cast<int64_t>(Resolutions().size());
    default: break;
  }
  if (index < 0) {
    switch (id) {
      case HW_CHANNELCOUNT: return channelCount_;
      case HW_MODE: return state.streaming ? 1 : 0;
      case HW_SAMPLEFREQUENCIES: return listEntry(SampleFrequencies(state.resolution));
      case HW_SAMPLEFREQUENCYCOUNT:
        return static_cast<int64_t>(SampleFrequencies(state.resolution).size());
      case HW_DATASIZEMAX: return dataSizeMax_;
      case HW_CLOCKSOURCE: return state.externalClock ? 1 : 0;
      default: return std::nullopt;
    }
  }
  const AcquisitionState::Channel& channel = state.channels[static_cast<size_t>(index)];
  switch (id) {
    case HW_ENABLE: return channel.enabled ? -1 : 0;
    case HW_COUPLING: return channel.coupling;
    case HW_RANGE: return Ranges()[channel.range];
    case HW_RANGES: return listEntry(Ranges());
    case HW_RANGECOUNT: return static_cast<int64_t>(Ranges().size());
    case HW_AUTORANGING: return channel.autoRanging ? 1 : 0;
    case HW_COUPLINGS: return kCouplingsMask;
    default: return std::nullopt;
  }
}

bool DeviceSettings::SetHw(AcquisitionState& state, uint32_t id, int32_t index,
                           int64_t value) const {
  if (index < 0) {
    switch (id) {
      case HW_MODE:
        if (value != 0 && value != 1 && value != 2) return false;
        state.streaming = value == 1;
        return true;
      case HW_SAMPLEFREQUENCY:
        state.sampleFrequency = RoundSampleFrequency(state.resolution, value);
        return true;
      case HW_DATASIZE: state.dataSize = std::clamp<int64_t>(value, 1, dataSizeMax_); return true;
      case HW_RESOLUTION:
        // The frequency follows: the nearest one the new resolution allows.
        state.resolution = RoundResolution(value);
        state.sampleFrequency = RoundSampleFrequency(state.resolution, state.sampleFrequency);
        return true;
      case HW_CLOCKSOURCE:
        if (value != 0 && value != 1 && value != 2) return false;
        state.externalClock = value == 1;
        return true;
      default: return false;
    }
  }
  AcquisitionState::Channel& channel = state.channels[static_cast<size_t>(index)];
  switch (id) {
    case HW_ENABLE: channel.enabled = value != 0; return true;
    case HW_COUPLING:
      if (value != 1 && value != 2) return false;
      channel.coupling = value;
      return true;
    case HW_RANGE: channel.range = RoundRange(value); return true;
    case HW_AUTORANGING: channel.autoRanging = value != 0; return true;
    default: return false;
  }
}

uint64_t DeviceSettings::ChannelSources() const {
  return channelCount_ >= 58 ? kExternalSource - 1 : (uint64_t{1} << channelCount_) - 1;
}

std::optional<int64_t> DeviceSettings::GetTrigger(const AcquisitionState& state, bool current,
                                                  uint32_t id, int32_t index) const {
  const uint64_t used = state.sourceOr | state.sourceAnd;
  if (index >= 0) {
    const AcquisitionState::ChannelTrigger& trigger = state.triggers[static_cast<size_t>(index)];
    switch (id) {
      case TR_USED: return (used >> index) & 1;
      case TR_KIND: return trigger.kind;
      case TR_KINDS: return kKindsMask;
      case TR_LEVEL: return trigger.level;
      case TR_HYSTERESIS: return trigger.hysteresis;
      default: return std::nullopt;
    }
  }
  switch (id) {
    case TR_USED: return (used & ChannelSources()) != 0 ? 1 : 0;
    case TR_PRESAMPLES: return state.preSamples;
    case TR_TIMEOUT: return state.timeOut;
    case TR_SOURCEOR: return static_cast<int64_t>(state.sourceOr);
    case TR_SOURCEAND: return static_cast<int64_t>(state.sourceAnd);
    case TR_SOURCES: return static_cast<int64_t>(ChannelSources() | kExternalSource);
    case TR_HOLDOFF: return state.holdOff;
    case TR_HOLDOFFMAX: return kHoldOffMax;
    case TR_TRIGGER:
      if (current) return lastTriggered_ ? 1 : 0;
      return std::nullopt;
    default: return std::nullopt;
  }
}

bool DeviceSettings::SetTrigger(AcquisitionState& state, uint32_t id, int32_t index,
                                int64_t value) const {
  if (index >= 0) {
    AcquisitionState::ChannelTrigger& trigger = state.triggers[static_cast<size_t>(index)];
    switch (id) {
      case TR_KIND:
        if (value <= 0 || (value & kKindsMask) != value ||
            std::popcount(static_cast<uint64_t>(value)) != 1) {
          return false;
        }
        trigger.kind = value;
        return true;
      case TR_LEVEL: trigger.level = std::clamp<int64_t>(value, 0, kFractionOne); return true;
      case TR_HYSTERESIS:
        trigger.hysteresis = std::clamp<int64_t>(value, 0, kFractionOne);
        return true;
      default: return false;
    }
  }
  const auto sources = static_cast<uint64_t>(value);
  switch (id) {
    case TR_PRESAMPLES: state.preSamples = std::clamp<int64_t>(value, 0, kFractionOne); return true;
    case TR_TIMEOUT: state.timeOut = value < 0 ? kForEver : value; return true;
    case TR_SOURCEOR:
    case TR_SOURCEAND:
      if ((sources & ~(ChannelSources() | kExternalSource)) != 0) return false;
      (id == TR_SOURCEOR ? state.sourceOr : state.sourceAnd) = sources;
      return true;
    case TR_HOLDOFF: state.holdOff = std::clamp<int64_t>(value, 0, kHoldOffMax); return true;
    default: return false;
  }
}

std::optional<int64_t> DeviceSettings::GetControl(uint32_t id, int32_t /*index*/) const {
  if (id == kControlOpenCount) return openCount_;
  return control_[BitOf(id)];
}

bool DeviceSettings::SetControl(uint32_t id, int32_t /*index*/, int64_t value) {
  control_[BitOf(id)] = id == kControlFrameInterval ? std::max<int64_t>(value, 0) : value;
  return true;
}

std::optional<int64_t> DeviceSettings::GetConnectionTest(uint32_t id, int32_t index) const {
  if (index < 0) return connectionTestSetting_;
  if (id != kConTestState || !ConnectionTestOn()) return 0;
  return probeConnected_[static_cast<size_t>(index)] ? 1 : 2;
}

std::vector<int64_t> DeviceSettings::Snapshot() const {
  std::vector<int64_t> values;
  values.reserve(kNotifiedFamilies * (channelCount_ + 1) * 32);
  for (size_t f = 0; f < kNotifiedFamilies; ++f) {
    for (int32_t index = -1; index < static_cast<int32_t>(channelCount_); ++index) {
      for (size_t bit = 0; bit < 32; ++bit) {
        const uint32_t id = uint32_t{1} << bit;
        values.push_back(Get(static_cast<Family>(f), id, index, 0).value_or(0));
      }
    }
  }
  return values;
}

ChangeMasks DeviceSettings::Changes(const std::vector<int64_t>& before,
                                    const std::vector<int64_t>& after) const {
  ChangeMasks changes(channelCount_);
  size_t position = 0;
  for (size_t f = 0; f < kNotifiedFamilies; ++f) {
    for (int32_t index = -1; index < static_cast<int32_t>(channelCount_); ++index) {
      for (size_t bit = 0; bit < 32; ++bit, ++position) {
        if (before[position] != after[position]) {
          changes.Add(static_cast<Family>(f), index, uint64_t{1} << bit);
        }
      }
    }
  }
  return changes;
}

}  // namespace veltra::sim
