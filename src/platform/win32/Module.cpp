#include "platform/win32/Module.h"

namespace veltra::platform::win32 {

HINSTANCE OwnModule() {
  static const HINSTANCE module = [] {
    HMODULE found = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&OwnModule), &found);
    return found;
  }();
  return module;
}

}  // namespace veltra::platform::win32
