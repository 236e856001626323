#include "hw/CustomDevice.h"

namespace veltra {

TCustomDevice::TCustomDevice() : TVtObjectEx(nullptr) {}

}  // namespace veltra
