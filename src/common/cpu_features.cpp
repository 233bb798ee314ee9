#include "common/cpu_features.hpp"

#include <cstdint>

#if defined(_M_X64) || defined(_M_IX86) || defined(__x86_64__) || defined(__i386__)
#define SOM_X86 1
#if defined(_MSC_VER) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace som {

#ifdef SOM_X86

namespace {

struct cpuid_regs {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

cpuid_regs cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  cpuid_regs r;
#if defined(_MSC_VER) && !defined(__clang__)
  int regs[4];
  __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
  r.eax = static_cast<std::uint32_t>(regs[0]);
  r.ebx = static_cast<std::uint32_t>(regs[1]);
  r.ecx = static_cast<std::uint32_t>(regs[2]);
  r.edx = static_cast<std::uint32_t>(regs[3]);
#else
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid_count(leaf, subleaf, a, b, c, d);
  r.eax = a;
  r.ebx = b;
  r.ecx = c;
  r.edx = d;
#endif
  return r;
}

// XCR0: the register states that the operating system saves and restores.
std::uint64_t read_xcr0() {
#if defined(_MSC_VER) && !defined(__clang__)
  return _xgetbv(0);
#else
  std::uint32_t low = 0, high = 0;
  // The instruction itself, so that no -mxsave is needed to build this file.
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (static_cast<std::uint64_t>(high) << 32) | low;
#endif
}

constexpr bool bit(std::uint32_t value, int n) { return ((value >> n) & 1u) != 0; }

}  // namespace

cpu_features detect_cpu_features() {
  cpu_features f;
  const std::uint32_t max_leaf = cpuid(0, 0).eax;
  if (max_leaf < 1) return f;
  const cpuid_regs leaf1 = cpuid(1, 0);
  const bool osxsave = bit(leaf1.ecx, 27);
  if (!osxsave || !bit(leaf1.ecx, 28)) return f;  // no AVX, or no XGETBV to ask with
  const std::uint64_t xcr0 = read_xcr0();
  const bool ymm_saved = (xcr0 & 0x6u) == 0x6u;    // SSE and AVX state
  const bool zmm_saved = (xcr0 & 0xE6u) == 0xE6u;  // and opmask, ZMM0-15 high, ZMM16-31
  if (!ymm_saved) return f;
  f.avx = true;
  f.fma = bit(leaf1.ecx, 12);
  if (max_leaf < 7) return f;
  const cpuid_regs leaf7 = cpuid(7, 0);
  f.avx2 = bit(leaf7.ebx, 5);
  f.avx512f = zmm_saved && bit(leaf7.ebx, 16);
  return f;
}

#else

cpu_features detect_cpu_features() { return cpu_features{}; }

#endif

}  // namespace som
