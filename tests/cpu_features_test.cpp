#include "common/cpu_features.hpp"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(CpuFeatures, LevelFollowsTheFeatures) {
  som::cpu_features f;
  EXPECT_EQ(som::best_cpu_level(f), som::cpu_level::baseline);
  f.avx = true;
  EXPECT_EQ(som::best_cpu_level(f), som::cpu_level::baseline);
  f.avx2 = true;
  EXPECT_EQ(som::best_cpu_level(f), som::cpu_level::avx2);
  f.avx512f = true;
  EXPECT_EQ(som::best_cpu_level(f), som::cpu_level::avx2) << "F alone is not enough";
  f.avx512dq = f.avx512bw = f.avx512vl = true;
  EXPECT_EQ(som::best_cpu_level(f), som::cpu_level::avx512);
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
  EXPECT_EQ(f.avx512bw, __builtin_cpu_supports("avx512bw") != 0);
  EXPECT_EQ(f.avx512vl, __builtin_cpu_supports("avx512vl") != 0);
  EXPECT_EQ(f.avx512dq, __builtin_cpu_supports("avx512dq") != 0);
#endif
  std::printf("detected: avx %d, avx2 %d, fma %d, avx512 f/dq/bw/vl %d%d%d%d, level %d\n", f.avx,
              f.avx2, f.fma, f.avx512f, f.avx512dq, f.avx512bw, f.avx512vl,
              static_cast<int>(som::best_cpu_level(f)));
}

}  // namespace
