// Small services of the Windows build: the performance counter, the version query, registered
// window messages and the bitmap resources of the own module.

#include <windows.h>

#include "platform/Platform.h"
#include "platform/win32/Module.h"

namespace veltra::platform {

double HighResSeconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

uint32_t PlatformId() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  // Every system this build runs on answers the NT family; keep that answer should the query fail.
  return GetVersionExA(&info) ? info.dwPlatformId : VER_PLATFORM_WIN32_NT;
}

uint32_t RegisterMessage(const std::string& name) {
  return name.empty() ? 0 : RegisterWindowMessageA(name.c_str());
}

uintptr_t LoadBitmapResource(const std::string& name) {
  return reinterpret_cast<uintptr_t>(LoadBitmapA(win32::OwnModule(), name.c_str()));
}

void DeleteBitmap(uintptr_t bitmap) {
  if (bitmap != 0) {
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
}

}  // namespace veltra::platform
