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
  bool avx512dq = false;
  bool avx512bw = false;
  bool avx512vl = false;
};

// Asks the processor and the operating system (cheap, but not free: call
// once and keep the answer).
cpu_features detect_cpu_features();

// The widest kernel family that can run here.
enum class cpu_level { baseline, avx2, avx512 };

// AVX-512 needs F, DQ, BW and VL together; AVX2 needs AVX as well.
cpu_level best_cpu_level(const cpu_features& features);

}  // namespace som
