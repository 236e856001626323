#pragma once
// The module (DLL or program) that the platform layer is linked into: its window class and its
// bitmap resources belong to it.

#include <windows.h>

namespace veltra::platform::win32 {

HINSTANCE OwnModule();

}  // namespace veltra::platform::win32
