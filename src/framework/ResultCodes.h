#pragma once
// Result codes of the object model: the 32-bit Windows result codes. Zero is success, a set top bit
// is failure. The exports turn them into the status codes of the public header.

#include <cstdint>

namespace veltra {

using HResult = int32_t;

constexpr HResult MakeHResult(uint32_t code) { return static_cast<HResult>(code); }

inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HResult E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HResult E_POINTER = MakeHResult(0x80004003);
inline constexpr HResult E_FAIL = MakeHResult(0x80004005);
inline constexpr HResult E_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HResult E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HResult E_INVALIDARG = MakeHResult(0x80070057);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
// Results of an I2C host (the host defines their meaning on the bus).
inline constexpr HResult I2C_E_HOST = MakeHResult(0x80040200);
inline constexpr HResult I2C_E_TRANSFER = MakeHResult(0x80040201);

constexpr bool Succeeded(HResult hr) { return hr >= 0; }
constexpr bool Failed(HResult hr) { return hr < 0; }

}  // namespace veltra
