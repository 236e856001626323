// Channel inputs: sensitivity (input range), auto-ranging, coupling, the list of ranges, and the
// DC level this instrument does not offer. All of them act on the channel's Next settings.

#include <cmath>

#include "api/ExportFrame.h"

using namespace veltra;
using namespace veltra::api;

namespace {

constexpr size_t kListEntries = 20;  // entries of the caller's range array

// The Next settings of channel `number`, or the status that stops the export.
struct TChannelNext {
  ComPtr<IChannelSettings> next;
  VeltraStatus status = STATUS_OK;
};

TChannelNext ChannelNext(uint8_t number) {
  auto instrument = GlobalInstrument();
  if (!instrument) return {nullptr, STATUS_NO_INSTRUMENT};
  auto channel = ChannelByNumber(*instrument, number);
  if (!channel) return {nullptr, STATUS_INVALID_CHANNEL};
  return {channel->GetNextSettings(), STATUS_OK};
}

}  // namespace

extern "C" {

VeltraStatus VELTRA_CALL GetSensitivity(uint8_t channel, double* volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const TChannelNext ch = ChannelNext(channel);
    if (ch.status != STATUS_OK) return ch.status;
    return Deliver(volts, Must(ch.next).GetRange());
  });
}

VeltraStatus VELTRA_CALL SetSensitivity(uint8_t channel, double* volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const TChannelNext ch = ChannelNext(channel);
    if (ch.status != STATUS_OK) return ch.status;
    if (!volts || !std::isfinite(*volts)) return STATUS_INVALID_VALUE;
    IChannelSettings& next = Must(ch.next);
    next.SetRange(*volts);
    return Deliver(volts, next.GetRange());  // the range the instrument chose
  });
}

VeltraStatus VELTRA_CALL GetAutoRanging(uint8_t channel, uint8_t* on) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const TChannelNext ch = ChannelNext(channel);
    if (ch.status != STATUS_OK) return ch.status;
    return Deliver(on, static_cast<uint8_t>(Must(ch.next).GetAutoRanging()));
  });
}

VeltraStatus VELTRA_CALL SetAutoRanging(uint8_t channel, uint8_t on) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const TChannelNext ch = ChannelNext(channel);
    if (ch.status != STATUS_OK) return ch.status;
    Must(ch.next).SetAutoRanging(on != 0 ? 1 : 0);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetCoupling(uint8_t channel, uint8_t* coupling) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const TChannelNext ch = ChannelNext(channel);
    if (ch.status != STATUS_OK) return ch.status;
    return Deliver(coupling, Must(ch.next).GetCoupling());
  });
}

VeltraStatus VELTRA_CALL SetCoupling(uint8_t channel, uint8_t coupling) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const TChannelNext ch = ChannelNext(channel);
    if (ch.status != STATUS_OK) return ch.status;
    const HResult result = Must(ch.next).SetValue(HW_COUPLING, coupling);
    if (result == S_OK) return STATUS_OK;
    return result == E_NOTIMPL ? STATUS_NOT_SUPPORTED : STATUS_INVALID_VALUE;
  });
}

VeltraStatus VELTRA_CALL GetAvailableSensitivities(double* volts) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    if (volts) std::fill_n(volts, kListEntries, 0.0);
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    IChannelSettings& next = Must(Must(instrument->GetChannel(0)).GetNextSettings());
    if (!volts) return STATUS_INVALID_VALUE;
    const int64_t count = next.GetRangeCount();
    // Largest first: the instrument lists its ranges in ascending order.
    for (int64_t i = 0; i < std::min<int64_t>(count, kListEntries); ++i) {
      volts[i] = next.GetRanges(static_cast<int32_t>(count - 1 - i));
    }
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetDcLevel(uint8_t /*channel*/, double* /*volts*/) {
  return STATUS_NOT_SUPPORTED;
}

VeltraStatus VELTRA_CALL SetDcLevel(uint8_t /*channel*/, double /*volts*/) {
  return STATUS_NOT_SUPPORTED;
}

}  // extern "C"
