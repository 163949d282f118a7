// The floating-point state the module computes in, set at every entry
// point the host calls (the callbacks, and the workers that its RunWorkers
// runs on its own threads), with the caller's state put back on the way out.
//
// A host process is not a clean program: graphics and audio libraries leave
// the x87 control word at single precision or rounding toward zero, and
// MXCSR with flush-to-zero and denormals-are-zero, on any of its threads.
// On 32-bit Windows the C run time's logarithm (the spectrum view) and its
// sine and cosine (FFTW's twiddle factors, made while planning) run on the
// x87 unit, and the module's own arithmetic and FFTW's codelets on SSE, so
// both units must be in the state the results are defined in. And the
// module's arithmetic raises MXCSR's sticky exception flags, which must not
// reach the caller.
//
// Only the 32-bit Windows module, the editor's, guards its state; elsewhere
// FpStateGuard does nothing.
#pragma once

#include <cstdint>

namespace devidoriv {

#if defined(_WIN32) && defined(__i386__)

class FpStateGuard {
 public:
  FpStateGuard() {
    const uint16_t x87 = kX87ControlWord;
    const uint32_t mxcsr = kMxcsr;
    __asm__ volatile(
        "fnstcw %0\n\t"
        "stmxcsr %1\n\t"
        "fldcw %2\n\t"
        "ldmxcsr %3"
        : "=m"(caller_x87_), "=m"(caller_mxcsr_)
        : "m"(x87), "m"(mxcsr)
        : "memory");
  }
  ~FpStateGuard() {
    __asm__ volatile(
        "fldcw %0\n\t"
        "ldmxcsr %1"
        :
        : "m"(caller_x87_), "m"(caller_mxcsr_)
        : "memory");
  }
  FpStateGuard(const FpStateGuard&) = delete;
  FpStateGuard& operator=(const FpStateGuard&) = delete;

 private:
  // The C run time's (msvcrt's) default control word: every exception
  // masked, 53-bit precision, round to nearest.
  static constexpr uint16_t kX87ControlWord = 0x027F;
  // Every exception masked and no flag raised, round to nearest, neither
  // flush-to-zero nor denormals-are-zero.
  static constexpr uint32_t kMxcsr = 0x1F80;

  uint16_t caller_x87_;
  uint32_t caller_mxcsr_;
};

#else

class FpStateGuard {
 public:
  FpStateGuard() {}
  FpStateGuard(const FpStateGuard&) = delete;
  FpStateGuard& operator=(const FpStateGuard&) = delete;
};

#endif

}  // namespace devidoriv

// The first statement of every function the host calls.
#define DEVIDORIV_HOST_ENTRY() const ::devidoriv::FpStateGuard devidoriv_fp_state_guard
