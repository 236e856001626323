#include "driver/DriverTriggerChannel.h"

#include <algorithm>
#include <cmath>

#include "driver/DriverSamples.h"
#include "driver/DriverTriggerHW.h"
#include "util/DataTypes.h"

namespace veltra {

namespace {

// Every Cur identifier, without HW_MREADY: sizes a record, fetches none.
constexpr uint32_t kAllButReady = 0x7FFFFFFF;

// The coupling class of a coupling: 0 for voltage inputs, whose span scales with the gain.
bool ScalesWithGain(uint8_t coupling) { return coupling != 4 && coupling != 8 && coupling != 16; }

}  // namespace

void MakeDriverTriggerChannel(TDriverTriggerHW& instrument, int32_t index) {
  MakeObject<TDriverTriggerChannel>(&instrument, index);
}

TDriverTriggerChannel::TDriverTriggerChannel(TDriverTriggerHW* instrument, int32_t index)
    : TCustomTriggerChannel(instrument, index) {
  SetDataType(DT_ARRAY_DOUBLE);
  if (instrument->OffersConnectionTest(index)) {
    conTest_ = MakeSettings<TConTestChan>(
        static_cast<IChannel*>(this),
        {TSettingsSetValueMethod::Bind<&TDriverTriggerChannel::SetConTest>(this),
         TSettingsGetValueMethod::Bind<&TDriverTriggerChannel::GetConTest>(this),
         TSettingsInfoMethod::Bind<&TDriverTriggerChannel::GetConTestInfo>(this)},
        kConTestChannelCachable, 0);
  }
  const uint32_t type = instrument->GetInstrumentType();
  if (type == 16 || type == 18 || (type == 17 && index == 2)) {
    SetBitmapName("CHANNEL_BAN");
    SetInputKind(1, true);
  }
  SetGainActionsEnabled(true);
}

TDriverTriggerHW* TDriverTriggerChannel::DriverInstrument() const {
  // Made only by a TDriverTriggerHW (MakeDriverTriggerChannel).
  return static_cast<TDriverTriggerHW*>(Instrument());
}

bool TDriverTriggerChannel::GetInterface(const Guid& iid, void** object) {
  if (iid == IChannelConnectionTest::IID) {
    if (!conTest_) return false;
    *object = static_cast<IChannelConnectionTest*>(conTest_.Get());
    return true;
  }
  return TCustomTriggerChannel::GetInterface(iid, object);
}

HResult TDriverTriggerChannel::SetConTest(uint32_t id, int64_t value) {
  TDriverTriggerHW* instrument = DriverInstrument();
  return instrument ? instrument->SetConTestValue(id, GetIndex(), value) : E_ACCESSDENIED;
}

HResult TDriverTriggerChannel::GetConTest(uint32_t id, int64_t& value) {
  if (TDriverTriggerHW* instrument = DriverInstrument()) {
    return instrument->GetConTestValue(id, GetIndex(), value);
  }
  value = 0;
  return E_ACCESSDENIED;
}

int32_t TDriverTriggerChannel::GetConTestInfo(int32_t index) {
  TDriverTriggerHW* instrument = DriverInstrument();
  return instrument ? instrument->GetConTestInfo(ChannelInfoIndex(index)) : 0;
}

void TDriverTriggerChannel::Initialise() {
  TCustomTriggerChannel::Initialise();
  MeasurementReady(kAllButReady, 0);
}

void TDriverTriggerChannel::NotifyGainListeners() {
  const double ratio = GetGain() / PreviousGain();
  if (ScalesWithGain(CurSettings().GetCoupling()) && std::isfinite(ratio)) {
    for (double& sample : Samples<double>()) sample *= ratio;
    const TUpdateBracket<TCustomSource> bracket(*this);
    Changed(kChangeNewData);
    UpdateValueSpan();
  }
  TCustomTriggerChannel::NotifyGainListeners();
}

bool TDriverTriggerChannel::MeasurementReady(uint32_t mask, uint32_t measurement) {
  TDriverTriggerHW* instrument = DriverInstrument();
  if (instrument == nullptr) return false;
  bool stop = false;
  uint32_t changes = 0;
  TChannelSettingsEx& cur = CurSettings();
  cur.BeginUpdate();
  {
    const TUpdateBracket<TCustomSource> bracket(*this);
    cur.Changed(mask);
    if ((mask & HW_SAMPLEFREQUENCY) != 0) changes |= kChangeSampleFrequency;
    if ((mask & HW_DATASIZE) != 0) {
      SetCount(cur.GetDataSize());
      changes |= kChangeCount;
    }
    if ((mask & HW_STOP) != 0) changes |= kChangeRunEnded;
    if ((mask & HW_MREADY) != 0) {
      changes |= kChangeNewData;
      SetStartValue(0.0);
      const bool nextStreams = instrument->NextSettings().GetMode() == 1;
      if ((mask & HW_START) == 0 && nextStreams) changes |= kChangeMoreToCome;
      if (instrument->CurSettings().GetMode() != 1) changes |= kChangeRunEnded;
      if (!FetchSamples(*instrument, measurement) && nextStreams) stop = true;
    }
    if (stop) changes &= ~kChangeNewData;
    Changed(changes);
  }
  cur.EndUpdate();
  return stop;
}

bool TDriverTriggerChannel::FetchSamples(TDriverTriggerHW& instrument, uint32_t measurement) {
  TChannelSettingsEx& cur = CurSettings();
  const double fullScale = cur.GetRange() * GetGain();
  const uint32_t codeType = DriverCodeType(cur.GetResolution());
  const auto dataId = static_cast<uint32_t>(GetIndex());
  const std::byte* buffer = instrument.AcquireDataBuffer(measurement, dataId);
  if (buffer == nullptr) return false;
  // The buffer holds the Cur record length: never read past it, also when the count lags behind.
  const std::span<double> samples = Samples<double>();
  const auto length = static_cast<size_t>(std::max<int64_t>(cur.GetDataSize(), 0));
  CodesToVolts(buffer, codeType, fullScale, samples.first(std::min(samples.size(), length)));
  instrument.ReleaseDataBuffer(buffer, dataId);
  return true;
}

void TDriverTriggerChannel::NextSettingsChanged(uint32_t mask) { NextSettings().Changed(mask); }

void TDriverTriggerChannel::TriggerChanged(int32_t curOrNext, uint32_t mask) {
  Trigger().Changed(curOrNext, mask);
}

void TDriverTriggerChannel::ConnectionTestChanged(uint32_t mask) {
  if (conTest_) conTest_->Changed(mask);
}

}  // namespace veltra
