#pragma once
// x87 arithmetic in full 64-bit precision for the extent of a scope.
//
// `long double` arithmetic runs on the x87 unit, whose precision control the calling thread may
// have lowered (a Windows thread starts with 53-bit precision). Code whose results are defined in
// extended precision runs inside this guard, which sets 64-bit precision and rounding to nearest,
// and restores the caller's control word. The guarded work belongs in a function the compiler
// cannot pull in front of the guard (a call it does not inline).

#include <cstdint>

namespace veltra {

class ExtendedPrecision {
 public:
  ExtendedPrecision() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fnstcw %0" : "=m"(saved_) : : "memory");
    // Precision control (bits 8-9) 11 = 64-bit mantissa; rounding control (bits 10-11) 00.
    const uint16_t extended = static_cast<uint16_t>((saved_ & ~0x0F00u) | 0x0300u);
    __asm__ volatile("fldcw %0" : : "m"(extended) : "memory");
#endif
  }
  ~ExtendedPrecision() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fldcw %0" : : "m"(saved_) : "memory");
#endif
  }
  ExtendedPrecision(const ExtendedPrecision&) = delete;
  ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;

 private:
  uint16_t saved_ = 0;
};

}  // namespace veltra
