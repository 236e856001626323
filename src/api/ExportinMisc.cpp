// I2C transfers on an instrument's bus, the digital I/O and ohm functions this instrument family
// does not offer, the instrument configuration, and the data-ready callback and event.

#include "api/ExportFrame.h"
#include "couplers/I2CInterface.h"

using namespace veltra;
using namespace veltra::api;

namespace {

// The I2C host of open instrument `number` (1-based, in device-list order).
struct THostAccess {
  ComPtr<II2CHost> host;
  VeltraStatus status = STATUS_OK;
};

THostAccess Host(uint16_t number) {
  const std::vector<ComPtr<IInterface>> instruments = OpenInstrumentObjects();
  if (number == 0 || number > instruments.size()) return {nullptr, STATUS_INVALID_CHANNEL};
  auto host = Query<II2CHost>(instruments[number - 1u]);
  if (!host) return {nullptr, STATUS_NOT_SUPPORTED};
  return {std::move(host), STATUS_OK};
}

// The status of a host's result code.
VeltraStatus I2CStatus(HResult result) {
  switch (result) {
    case S_OK: return STATUS_OK;
    case I2C_E_TRANSFER: return STATUS_I2C_ERROR;
    case E_NOTIMPL: return STATUS_NOT_SUPPORTED;
    case E_POINTER: return STATUS_INVALID_VALUE;
    case E_FAIL: return STATUS_NOT_SUPPORTED;
    case I2C_E_HOST: return STATUS_I2C_HOST_ERROR;
    case E_ACCESSDENIED: return STATUS_I2C_INVALID_ADDRESS;
    case E_INVALIDARG: return STATUS_I2C_INVALID_ARGUMENT;
    default: return STATUS_NOT_SUPPORTED;
  }
}

// A transfer on host `number`: the host check, the buffer check, the host's result as a status.
template <class Operation>
VeltraStatus Transfer(uint16_t number, const uint8_t* bytes, uint32_t count, Operation operation) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const THostAccess access = Host(number);
    if (access.status != STATUS_OK) return access.status;
    if (!bytes && count > 0) return STATUS_INVALID_VALUE;
    return I2CStatus(operation(*access.host));
  });
}

constexpr uint16_t kMaxConfigChannels = 2;

}  // namespace

extern "C" {

VeltraStatus VELTRA_CALL I2CWriteCh(uint16_t host, uint32_t address, const uint8_t* bytes, uint32_t count) {
  return Transfer(host, bytes, count,
                  [&](II2CHost& h) { return h.Write(address, bytes, count, true); });
}

VeltraStatus VELTRA_CALL I2CWriteNoStopCh(uint16_t host, uint32_t address, const uint8_t* bytes, uint32_t count) {
  return Transfer(host, bytes, count,
                  [&](II2CHost& h) { return h.Write(address, bytes, count, false); });
}

VeltraStatus VELTRA_CALL I2CReadCh(uint16_t host, uint32_t address, uint8_t* bytes, uint32_t count) {
  return Transfer(host, bytes, count,
                  [&](II2CHost& h) { return h.Read(address, bytes, count, true); });
}

VeltraStatus VELTRA_CALL I2CReadNoStopCh(uint16_t host, uint32_t address, uint8_t* bytes, uint32_t count) {
  return Transfer(host, bytes, count,
                  [&](II2CHost& h) { return h.Read(address, bytes, count, false); });
}

VeltraStatus VELTRA_CALL I2CGetSpeedCh(uint16_t host, uint32_t* speed) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const THostAccess access = Host(host);
    if (access.status != STATUS_OK) return access.status;
    return Deliver(speed, access.host->GetSpeed());
  });
}

VeltraStatus VELTRA_CALL I2CSetSpeedCh(uint16_t host, uint32_t* speed) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const THostAccess access = Host(host);
    if (access.status != STATUS_OK) return access.status;
    if (!speed) return STATUS_INVALID_VALUE;
    access.host->SetSpeed(*speed);
    return Deliver(speed, access.host->GetSpeed());  // the speed the host chose
  });
}

VeltraStatus VELTRA_CALL I2CWrite(uint32_t address, const uint8_t* bytes, uint32_t count) { return I2CWriteCh(1, address, bytes, count); }
VeltraStatus VELTRA_CALL I2CWriteNoStop(uint32_t address, const uint8_t* bytes, uint32_t count) { return I2CWriteNoStopCh(1, address, bytes, count); }
VeltraStatus VELTRA_CALL I2CRead(uint32_t address, uint8_t* bytes, uint32_t count) { return I2CReadCh(1, address, bytes, count); }
VeltraStatus VELTRA_CALL I2CReadNoStop(uint32_t address, uint8_t* bytes, uint32_t count) { return I2CReadNoStopCh(1, address, bytes, count); }
VeltraStatus VELTRA_CALL I2CGetSpeed(uint32_t* speed) { return I2CGetSpeedCh(1, speed); }
VeltraStatus VELTRA_CALL I2CSetSpeed(uint32_t* speed) { return I2CSetSpeedCh(1, speed); }

VeltraStatus VELTRA_CALL SetDigitalOutputs(uint32_t /*outputs*/) { return STATUS_NOT_SUPPORTED; }
VeltraStatus VELTRA_CALL GetDigitalOutputs(uint32_t* /*outputs*/) { return STATUS_NOT_SUPPORTED; }
VeltraStatus VELTRA_CALL GetDigitalInputValues(uint32_t* /*inputs*/) { return STATUS_NOT_SUPPORTED; }
VeltraStatus VELTRA_CALL GetOneDigitalValue(uint16_t /*input*/, uint16_t* /*value*/) { return STATUS_NOT_SUPPORTED; }
VeltraStatus VELTRA_CALL SetupOhmMeasurements(uint32_t /*reserved*/) { return STATUS_NOT_SUPPORTED; }

VeltraStatus VELTRA_CALL GetOhmValues(double* ohm1, double* ohm2) {
  Preset(ohm1, 0.0);
  Preset(ohm2, 0.0);
  return STATUS_NOT_SUPPORTED;
}

VeltraStatus VELTRA_CALL SetInstrumentConfig(uint16_t config) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    auto instrument = GlobalInstrument();
    if (!instrument) return STATUS_NO_INSTRUMENT;
    if (instrument->GetChannelCount() > kMaxConfigChannels) return STATUS_NOT_SUPPORTED;
    auto generator = Query<IFunctionGenerator>(instrument);
    switch (config) {
      case 0:  // the instrument's generator in use
        if (generator) AddGenerator(generator);
        return STATUS_OK;
      case 1:  // two channels, no generator
      case 2:  // one channel, no generator
        if (generator) HideGenerator(generator.Get());
        Must(instrument->GetNextSettings()).SetValue(HW_CHANNELCOUNT, config == 1 ? 2 : 1);
        return STATUS_OK;
      default:
        return STATUS_INVALID_VALUE;
    }
  });
}

VeltraStatus VELTRA_CALL SetDataReadyCallback(VeltraDataReadyCallback callback) {
  return Guarded<VeltraStatus>(STATUS_OK, [&] {
    State().dataReadyCallback = callback;
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL SetDataReadyEvent(uint32_t event) {
  return Guarded<VeltraStatus>(STATUS_OK, [&] {
    State().dataReadyEvent = event;
    return STATUS_OK;
  });
}

}  // extern "C"
