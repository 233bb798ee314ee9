// The build's floating-point flags reach the code: a multiply-add written
// a*b+c is two roundings, never contracted into one fused multiply-add, even
// in a function that may use FMA instructions. (The flags are the project's,
// set for every file alike; GCC contracts only when optimizing, so a release
// build is where this test bites.)
#include <gtest/gtest.h>

#include <cmath>

namespace {

// a*b is 1 + 2^-26 + 2^-54 exactly: rounded to a double it loses the 2^-54,
// and adding c then gives 0; a fused multiply-add keeps the 2^-54.
constexpr double a = 1.0 + 0x1p-27;
constexpr double b = 1.0 + 0x1p-27;
constexpr double c = -(1.0 + 0x1p-26);
constexpr double two_roundings = 0.0;
constexpr double one_rounding = 0x1p-54;

// Read at run time: nothing can be computed by the compiler.
volatile double va = a;
volatile double vb = b;
volatile double vc = c;

#if (defined(__x86_64__) || defined(__i386__)) && !defined(_MSC_VER)
// GCC and Clang on x86: this function may use FMA instructions whatever the
// rest of the build targets; it runs only where the processor has them.
#define SOM_MAY_USE_FMA __attribute__((target("fma")))
bool fma_instructions() { return __builtin_cpu_supports("fma"); }
const char* const no_fma = "this processor has no FMA instructions";
SOM_MAY_USE_FMA double fused() { return __builtin_fma(va, vb, vc); }
#elif defined(_M_X64) || defined(_M_IX86)
// MSVC uses FMA instructions only in a build for AVX2 (/arch:AVX2).
#define SOM_MAY_USE_FMA
#if defined(__AVX2__)
bool fma_instructions() { return true; }
#else
bool fma_instructions() { return false; }
#endif
const char* const no_fma = "built without /arch:AVX2: the compiler emits no FMA instructions";
double fused() { return std::fma(va, vb, vc); }
#else
// Other processors (AArch64, POWER, ...) have FMA instructions in their base
// set.
#define SOM_MAY_USE_FMA
bool fma_instructions() { return true; }
const char* const no_fma = "";
double fused() { return std::fma(va, vb, vc); }
#endif

SOM_MAY_USE_FMA double multiply_add() { return va * vb + vc; }

TEST(ExactnessFlags, MultiplyAddIsRoundedTwice) {
  if (!fma_instructions()) GTEST_SKIP() << no_fma;
  ASSERT_EQ(fused(), one_rounding) << "the case no longer tells one rounding from two";
  EXPECT_EQ(multiply_add(), two_roundings)
      << "a*b+c was contracted into a fused multiply-add: the build lacks -ffp-contract=off "
         "(/fp:precise on MSVC)";
}

}  // namespace
