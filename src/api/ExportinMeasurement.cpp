// Measurement: the blocking start, the non-blocking ADC_ family, and the readers of the record in
// volts or as raw codes, whole or one sample at a time. Readers use the Cur settings, those the
// last measurement was taken with.

#include <algorithm>
#include <span>

#include "api/ExportFrame.h"
#include "hw/TrigInterface.h"
#include "platform/Platform.h"
#include "signals/SignalBaseInterfaces.h"
#include "util/ConvertData.h"
#include "util/DataTypes.h"

using namespace veltra;
using namespace veltra::api;

namespace {

constexpr uint16_t kNeutralCode = 32768;     // raw code of the middle of the range
constexpr uint8_t kCouplingSpanZeroUp = 16;  // the input whose span is 0 ... range
constexpr uint32_t kPumpWaitMs = 50;  // longest sleep between two rounds of StartMeasurement

// The samples a channel holds from the last measurement.
struct TRecord {
  uint32_t dataType = 0;
  std::span<const uint16_t> codes;  // DT_ARRAY_UINT16
  std::span<const double> volts;    // DT_ARRAY_DOUBLE
  double rangeMin = 0.0;            // the source's range, for doubles turned into codes
  double rangeMax = 0.0;
};

// A channel's record is its signal source's sample array, read in place: the channel stays held
// while the record is read. A channel that is no source holds no record and reads neutral.
TRecord RecordOf(IChannel& channel) {
  const ComPtr<ISource> source = Query<ISource>(&channel);
  if (!source) return {};
  return {.dataType = source->GetDataType(),
          .codes = SamplesOf<uint16_t>(*source),
          .volts = SamplesOf<double>(*source),
          .rangeMin = source->GetSpanLow(),
          .rangeMax = source->GetSpanHigh()};
}

// What a reader needs of one channel: its Cur settings, the record length and the record.
struct TReadAccess {
  ComPtr<IChannel> channel = nullptr;
  uint64_t length = 0;  // samples of the record
  bool enabled = false;
  double range = 0.0;
  bool zeroUp = false;
  TRecord record = {};
  VeltraStatus status = STATUS_OK;
};

TReadAccess ReadAccess(uint16_t number) {
  auto instrument = GlobalInstrument();
  if (!instrument) return {.status = STATUS_NO_INSTRUMENT};
  TReadAccess access;
  access.channel = ChannelByNumber(*instrument, number);
  if (!access.channel) return {.status = STATUS_INVALID_CHANNEL};
  access.length =
      static_cast<uint32_t>(Must(instrument->GetCurSettings()).GetDataSize());  // low 32 bits
  IChannelSettings& cur = Must(access.channel->GetCurSettings());
  access.enabled = cur.GetEnabled() != 0;
  if (!access.enabled) return access;
  access.range = cur.GetRange();
  access.zeroUp = cur.GetCoupling() == kCouplingSpanZeroUp;
  access.record = RecordOf(*access.channel);
  // A record shorter than the settings say is read as far as it goes, neutral beyond.
  return access;
}

// The factor from a raw code to volts, rounded to a double before it is applied: 0 ... R for
// coupling 16, else -R ... R around the neutral code.
double VoltsPerCode(const TReadAccess& a) { return a.zeroUp ? a.range / 65536 : a.range / 32768; }

double VoltsOfCode(const TReadAccess& a, double factor, uint16_t code) {
  return a.zeroUp ? code * factor : (code - int32_t{kNeutralCode}) * factor;
}

// Sample `index` in volts.
double VoltsAt(const TReadAccess& a, uint64_t index) {
  if (!a.enabled) return 0.0;
  if (a.record.dataType == DT_ARRAY_UINT16 && index < a.record.codes.size()) {
    return VoltsOfCode(a, VoltsPerCode(a), a.record.codes[index]);
  }
  if (a.record.dataType == DT_ARRAY_DOUBLE && index < a.record.volts.size()) {
    return a.record.volts[index];
  }
  return 0.0;
}

uint16_t CodeAt(const TReadAccess& a, uint64_t index) {
  if (!a.enabled) return kNeutralCode;
  if (a.record.dataType == DT_ARRAY_UINT16 && index < a.record.codes.size()) {
    return a.record.codes[index];
  }
  uint16_t code = kNeutralCode;
  if (a.record.dataType == DT_ARRAY_DOUBLE && index < a.record.volts.size()) {
    ConvertData(&a.record.volts[index], &code, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, 1,
                a.record.rangeMin, a.record.rangeMax);
  }
  return code;
}

// The whole record in volts, as VoltsAt gives each sample, in one pass: doubles are copied as they
// are, which is what every read of a driver-backed channel does.
void FillVolts(const TReadAccess& a, double* out) {
  const auto length = static_cast<size_t>(a.length);
  size_t filled = 0;
  if (a.enabled && a.record.dataType == DT_ARRAY_DOUBLE) {
    filled = std::min(length, a.record.volts.size());
    std::copy_n(a.record.volts.data(), filled, out);
  } else if (a.enabled && a.record.dataType == DT_ARRAY_UINT16) {
    filled = std::min(length, a.record.codes.size());
    const double factor = VoltsPerCode(a);
    for (size_t i = 0; i < filled; ++i) out[i] = VoltsOfCode(a, factor, a.record.codes[i]);
  }
  std::fill(out + filled, out + length, 0.0);
}

// The whole record as raw codes, as CodeAt gives each sample, in one pass.
void FillCodes(const TReadAccess& a, uint16_t* out) {
  const auto length = static_cast<size_t>(a.length);
  size_t filled = 0;
  if (a.enabled && a.record.dataType == DT_ARRAY_UINT16) {
    filled = std::min(length, a.record.codes.size());
    std::copy_n(a.record.codes.data(), filled, out);
  } else if (a.enabled && a.record.dataType == DT_ARRAY_DOUBLE) {
    filled = std::min(length, a.record.volts.size());
    ConvertData(a.record.volts.data(), out, DT_ARRAY_DOUBLE, DT_ARRAY_UINT16, filled,
                a.record.rangeMin, a.record.rangeMax);
  }
  std::fill(out + filled, out + length, kNeutralCode);
}

template <class T>
VeltraStatus ReadAll(uint16_t channel, T* buffer, void (*fill)(const TReadAccess&, T*)) {
  const TReadAccess access = ReadAccess(channel);
  if (access.status != STATUS_OK) return access.status;
  if (!buffer && access.length > 0) return STATUS_INVALID_VALUE;
  if (access.length > 0) fill(access, buffer);
  return STATUS_OK;
}

template <class T, class At>
VeltraStatus ReadOne(uint16_t channel, uint32_t index, T* target, At at) {
  const TReadAccess access = ReadAccess(channel);
  if (access.status != STATUS_OK) return access.status;
  if (index >= access.length) return STATUS_INVALID_CHANNEL;
  return Deliver(target, at(access, index));
}

// The polling exports see a measurement complete without a message loop of the caller's: on the
// thread that owns the library's windows they first deliver what is pending for those windows
// (the instrument's news, a removal), so the ready report and the data-ready callback happen
// inside the poll. The application's own messages stay queued.
void DeliverLibraryMessages() { platform::PumpOwnMessages(); }

// Channel 1, then channel 2 unless channel 1 failed.
template <class Read>
VeltraStatus BothChannels(Read read) {
  const VeltraStatus first = read(1);
  return first != STATUS_OK ? first : read(2);
}

}  // namespace

extern "C" {

VeltraStatus VELTRA_CALL StartMeasurement(void) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    TLibraryState& state = State();
    state.measurementReady = false;
    instrument->Start(1);
    instrument = nullptr;  // the wait must see the instrument go
    // The ready report arrives through this thread's messages; block on the queue between rounds.
    while (!state.measurementReady && state.instrument) {
      platform::PumpMessages();
      if (!state.measurementReady && state.instrument) platform::WaitMessage(kPumpWaitMs);
    }
    return state.instrument ? STATUS_OK : STATUS_NO_INSTRUMENT;
  });
}

VeltraStatus VELTRA_CALL GetMeasurementCh(uint16_t channel, double* volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return ReadAll(channel, volts, FillVolts); });
}

VeltraStatus VELTRA_CALL GetMeasurement(double* channel1, double* channel2) {
  return BothChannels([&](uint16_t n) { return GetMeasurementCh(n, n == 1 ? channel1 : channel2); });
}

VeltraStatus VELTRA_CALL GetOneMeasurementCh(uint16_t channel, uint32_t index, double* volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return ReadOne(channel, index, volts, VoltsAt); });
}

VeltraStatus VELTRA_CALL GetOneMeasurement(uint32_t index, double* channel1, double* channel2) {
  return BothChannels(
      [&](uint16_t n) { return GetOneMeasurementCh(n, index, n == 1 ? channel1 : channel2); });
}

VeltraStatus VELTRA_CALL GetMeasurementRawCh(uint16_t channel, uint16_t* codes) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return ReadAll(channel, codes, FillCodes); });
}

VeltraStatus VELTRA_CALL GetMeasurementRaw(uint16_t* channel1, uint16_t* channel2) {
  return BothChannels(
      [&](uint16_t n) { return GetMeasurementRawCh(n, n == 1 ? channel1 : channel2); });
}

VeltraStatus VELTRA_CALL GetOneMeasurementRawCh(uint16_t channel, uint32_t index, uint16_t* code) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED,
                               [&] { return ReadOne(channel, index, code, CodeAt); });
}

VeltraStatus VELTRA_CALL GetOneMeasurementRaw(uint32_t index, uint16_t* channel1, uint16_t* channel2) {
  return BothChannels(
      [&](uint16_t n) { return GetOneMeasurementRawCh(n, index, n == 1 ? channel1 : channel2); });
}

VeltraStatus VELTRA_CALL ADC_Start(void) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NOT_INITIALIZED;
    TLibraryState& state = State();
    state.adcRunning = true;
    state.measurementReady = false;
    // Transfer mode 1 starts with -1, every other mode with 1.
    instrument->Start(Must(instrument->GetNextSettings()).GetMode() == 1 ? -1 : 1);
    return STATUS_OK;
  });
}

uint16_t VELTRA_CALL ADC_Running(void) {
  return Guarded<uint16_t>(0, [] {
    DeliverLibraryMessages();
    const TLibraryState& state = State();
    return state.instrument && state.adcRunning && !state.measurementReady ? 1 : 0;
  });
}

VeltraStatus VELTRA_CALL ADC_Abort(void) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    instrument->Stop(0);
    State().adcRunning = false;
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL ADC_ForceTrig(void) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [] {
    auto trigger = Query<ITrigger>(GlobalInstrument());
    if (!trigger) return STATUS_NO_INSTRUMENT;
    return Must(trigger->GetCur()).SetValue(TR_TRIGGER, 0) == S_OK ? STATUS_OK
                                                                  : STATUS_NOT_SUPPORTED;
  });
}

uint16_t VELTRA_CALL ADC_Triggered(void) {
  return Guarded<uint16_t>(0, [] {
    DeliverLibraryMessages();
    auto trigger = Query<ITrigger>(GlobalInstrument());
    if (!trigger) return 0;
    int64_t word = 0;
    return Must(trigger->GetCur()).GetValue(TR_TRIGGER, word) == S_OK && word != 0 ? 1 : 0;
  });
}

uint16_t VELTRA_CALL ADC_Ready(void) {
  return Guarded<uint16_t>(0, [] {
    DeliverLibraryMessages();
    return State().measurementReady ? 1 : 0;
  });
}

VeltraStatus VELTRA_CALL ADC_GetData(uint16_t* channel1, uint16_t* channel2) {
  return GetMeasurementRaw(channel1, channel2);
}

VeltraStatus VELTRA_CALL ADC_GetDataCh(uint16_t channel, uint16_t* codes) {
  return GetMeasurementRawCh(channel, codes);
}

VeltraStatus VELTRA_CALL ADC_GetDataVolt(double* channel1, double* channel2) {
  return GetMeasurement(channel1, channel2);
}

VeltraStatus VELTRA_CALL ADC_GetDataVoltCh(uint16_t channel, double* volts) {
  return GetMeasurementCh(channel, volts);
}

}  // extern "C"
