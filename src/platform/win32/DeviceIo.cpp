// Device files of the system: the driver's device opened as a file, and its control calls.

#include <windows.h>

#include "platform/PlatformInternal.h"

namespace veltra::platform::detail {

uintptr_t OpenSystemDevice(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<uintptr_t>(file);
}

bool SystemIoControl(uintptr_t handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* returned) {
  DWORD written = 0;
  const BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, const_cast<void*>(in),
                                  inSize, out, outSize, &written, nullptr);
  if (returned != nullptr) {
    *returned = ok ? written : 0;
  }
  return ok != FALSE;
}

void CloseSystemDevice(uintptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

}  // namespace veltra::platform::detail
