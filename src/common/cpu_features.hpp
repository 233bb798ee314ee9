// Which vector instruction sets this processor has and the operating system
// lets a program use: the instructions must be there (CPUID) and the system
// must save and restore their registers on a thread switch (XCR0, read with
// XGETBV), or else using them faults. The same on Windows and POSIX, with
// GCC, Clang and MSVC; on other processors every answer is false.
#pragma once

namespace som {

struct cpu_features {
  bool avx = false;
  bool avx2 = false;
  bool fma = false;
  bool avx512f = false;
};

// Asks the processor and the operating system (cheap, but not free: call
// once and keep the answer).
cpu_features detect_cpu_features();

// Whether `have` offers everything that `needs` asks for.
constexpr bool has_features(const cpu_features& have, const cpu_features& needs) {
  return (have.avx || !needs.avx) && (have.avx2 || !needs.avx2) && (have.fma || !needs.fma) &&
         (have.avx512f || !needs.avx512f);
}

}  // namespace som
