/* Opens the instrument through the public C interface, says how that went, and closes it. */
#include <stdio.h>

#include "veltra/veltra.h"

static const char* StatusText(VeltraStatus status) {
  switch (status) {
    case STATUS_OK: return "OK";
    case STATUS_NO_INSTRUMENT: return "no instrument found";
    case STATUS_NOT_INITIALIZED: return "not initialized";
    case STATUS_NOT_SUPPORTED: return "not supported";
    case STATUS_NO_GENERATOR: return "no generator";
    case STATUS_INVALID_CHANNEL: return "invalid channel";
    case STATUS_INVALID_VALUE: return "invalid value";
    case STATUS_I2C_ERROR: return "I2C error";
    case STATUS_I2C_INVALID_ADDRESS: return "I2C invalid address";
    case STATUS_I2C_INVALID_ARGUMENT: return "I2C invalid argument";
    case STATUS_I2C_HOST_ERROR: return "I2C host error";
    default: return "unknown status";
  }
}

int main(void) {
  const VeltraStatus status = InitInstrument(0);
  printf("InitInstrument: %u (%s)\n", (unsigned)status, StatusText(status));
  if (status == STATUS_OK) {
    uint32_t serial = 0;
    uint16_t channels = 0;
    GetSerialNumber(&serial);
    GetNrChannels(&channels);
    printf("serial number %u, %u channel(s), up to %.0f Hz, record length up to %u samples\n",
           (unsigned)serial, (unsigned)channels, GetMaxSampleFrequencyF(),
           (unsigned)GetMaxRecordLength());
  }
  ExitInstrument();
  return 0;
}
