#include "common/cpu_features.hpp"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(CpuFeatures, NeedsAreMetOnlyWhenEveryOneIsThere) {
  som::cpu_features have;
  const som::cpu_features nothing;
  som::cpu_features wide;
  wide.avx = wide.avx2 = wide.fma = wide.avx512f = true;
  EXPECT_TRUE(som::has_features(have, nothing));
  EXPECT_FALSE(som::has_features(have, wide));
  have.avx = have.avx2 = have.fma = true;
  EXPECT_FALSE(som::has_features(have, wide)) << "AVX-512 missing";
  have.avx512f = true;
  EXPECT_TRUE(som::has_features(have, wide));
  have.fma = false;
  EXPECT_FALSE(som::has_features(have, wide)) << "FMA missing";
}

// The compiler's own detection (which also asks the operating system) must
// agree, on Linux and on Windows alike.
TEST(CpuFeatures, AgreesWithTheCompilersDetection) {
  const som::cpu_features f = som::detect_cpu_features();
  EXPECT_TRUE(f.avx || !f.avx2) << "AVX2 without AVX";
  EXPECT_TRUE(f.avx || !f.avx512f) << "AVX-512 without AVX";
#if defined(__GNUC__) && !defined(_MSC_VER) && (defined(__x86_64__) || defined(__i386__))
  __builtin_cpu_init();
  EXPECT_EQ(f.avx, __builtin_cpu_supports("avx") != 0);
  EXPECT_EQ(f.avx2, __builtin_cpu_supports("avx2") != 0);
  EXPECT_EQ(f.fma, f.avx && __builtin_cpu_supports("fma") != 0);
  EXPECT_EQ(f.avx512f, __builtin_cpu_supports("avx512f") != 0);
#endif
  std::printf("detected: avx %d, avx2 %d, fma %d, avx512f %d\n", f.avx, f.avx2, f.fma, f.avx512f);
}

}  // namespace
