// Measures whether this processor takes a slow path (a microcode assist) for
// subnormal doubles, operation by operation: subtract, add, multiply, fused
// multiply-add, compare and convert, each as a scalar (SSE2) and as a 4-lane
// AVX2 instruction, first with normal inputs and results, then with a
// subnormal input or a subnormal result. Every case runs the same loop of
// 8 independent instructions per step, so the figures are throughputs; an
// assist shows as a case many times slower than its normal twin.
//
// Each figure is the fastest of 5 tries, the four ways of a case in turn.
//
// usage: som_subnormal_bench [MILLIONS]   (instructions per try, default 20)
#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/targets.hpp"

// The timed code is AVX2 and FMA code, lambdas included; main, which checks
// that the processor has them, is not. (GCC warns that the lambdas'
// function-pointer forms pass vectors in another way than code without AVX
// would; none of them is called that way.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
#define SOM_TARGET_FLAGS SOM_TARGET_FLAGS_AVX2
#include "common/target_begin.hpp"

namespace {

constexpr int chains = 8;

// Keeps a value in a register and makes the compiler forget what it holds:
// no case can be folded, hoisted or dropped.
#define SOM_OPAQUE(v) asm volatile("" : "+x"(v))

// One try, in ns per instruction.
template <class V, class Op>
__attribute__((always_inline)) inline double time_case(long steps, V a, V b, Op op) {
  {
    V i0 = a, i1 = a, i2 = a, i3 = a, i4 = a, i5 = a, i6 = a, i7 = a;
    V o0, o1, o2, o3, o4, o5, o6, o7;
    const auto start = std::chrono::steady_clock::now();
    for (long s = 0; s < steps; ++s) {
#define SOM_STEP(n) \
  SOM_OPAQUE(i##n); \
  o##n = op(i##n, b); \
  SOM_OPAQUE(o##n);
      SOM_STEP(0) SOM_STEP(1) SOM_STEP(2) SOM_STEP(3)
      SOM_STEP(4) SOM_STEP(5) SOM_STEP(6) SOM_STEP(7)
#undef SOM_STEP
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return seconds * 1e9 / (static_cast<double>(steps) * chains);
  }
}

struct operands {
  double a, b;
};

// The cases: a name, the normal operands, the subnormal ones.
struct pair_case {
  const char* name;
  operands normal;
  operands subnormal;
};

constexpr double tiny = 0x1p-1060;   // subnormal
constexpr double small = 0x1p-1000;  // normal, with a subnormal product by 2^-60

const pair_case sub_cases[] = {
    {"sub  1 - w, w subnormal (result normal)", {1.0, 0x1p-60}, {1.0, tiny}},
    {"sub  0 - w, w subnormal (result subnormal)", {0.0, 0x1p-60}, {0.0, tiny}},
};
const pair_case add_cases[] = {
    {"add  1 + w, w subnormal (result normal)", {1.0, 0x1p-60}, {1.0, tiny}},
    {"add  w + w, w subnormal (result subnormal)", {0x1p-60, 0x1p-60}, {tiny, tiny}},
};
const pair_case mul_cases[] = {
    {"mul  w * 0.9, w subnormal", {0x1p-60, 0.9}, {tiny, 0.9}},
    {"mul  w * w, w subnormal (result 0)", {0x1p-60, 0x1p-60}, {tiny, tiny}},
    {"mul  normal * normal, result subnormal", {small, 0x1p-20}, {small, 0x1p-60}},
};
const pair_case fma_cases[] = {
    {"fnmadd -(1 * w) + 0, w subnormal", {0.0, 0x1p-60}, {0.0, tiny}},
    {"fmadd w * 0.9 + 1, w subnormal", {1.0, 0x1p-60}, {1.0, tiny}},
};
const pair_case cmp_cases[] = {
    {"cmplt w < 1, w subnormal", {1.0, 0x1p-60}, {1.0, tiny}},
};
const pair_case cvt_cases[] = {
    {"cvt  double -> float, w subnormal (result 0)", {0.0, 0x1p-60}, {0.0, tiny}},
    {"cvt  double -> float, result subnormal", {0.0, 0x1p-60}, {0.0, 0x1p-140}},
    {"cvt  double -> int32 (truncating), w subnormal", {0.0, 0.5}, {0.0, tiny}},
};

enum class op_kind { sub, add, mul, fnmadd, fmadd, cmplt, cvt_float, cvt_int };

double run_scalar(op_kind k, long steps, operands o) {
  const __m128d a = _mm_set_sd(o.a);
  const __m128d b = _mm_set_sd(o.b);
  switch (k) {
    case op_kind::sub:
      return time_case(steps, a, b, [](__m128d x, __m128d y) { return _mm_sub_sd(x, y); });
    case op_kind::add:
      return time_case(steps, b, a, [](__m128d x, __m128d y) { return _mm_add_sd(x, y); });
    case op_kind::mul:
      return time_case(steps, a, b, [](__m128d x, __m128d y) { return _mm_mul_sd(x, y); });
    case op_kind::fnmadd:
      return time_case(steps, b, a, [](__m128d w, __m128d x) {
        return _mm_fnmadd_sd(_mm_set_sd(1.0), w, x);
      });
    case op_kind::fmadd:
      return time_case(steps, b, a, [](__m128d w, __m128d x) {
        return _mm_fmadd_sd(w, _mm_set_sd(0.9), x);
      });
    case op_kind::cmplt:
      return time_case(steps, b, a, [](__m128d w, __m128d x) { return _mm_cmplt_sd(w, x); });
    case op_kind::cvt_float:
      return time_case(steps, b, a, [](__m128d w, __m128d) {
        return _mm_castps_pd(_mm_cvtsd_ss(_mm_setzero_ps(), w));
      });
    case op_kind::cvt_int:
      return time_case(steps, b, a, [](__m128d w, __m128d) {
        return _mm_castsi128_pd(_mm_cvttpd_epi32(w));
      });
  }
  return 0;
}

double run_vector(op_kind k, long steps, operands o) {
  const __m256d a = _mm256_set1_pd(o.a);
  const __m256d b = _mm256_set1_pd(o.b);
  switch (k) {
    case op_kind::sub:
      return time_case(steps, a, b, [](__m256d x, __m256d y) { return _mm256_sub_pd(x, y); });
    case op_kind::add:
      return time_case(steps, b, a, [](__m256d x, __m256d y) { return _mm256_add_pd(x, y); });
    case op_kind::mul:
      return time_case(steps, a, b, [](__m256d x, __m256d y) { return _mm256_mul_pd(x, y); });
    case op_kind::fnmadd:
      return time_case(steps, b, a, [](__m256d w, __m256d x) {
        return _mm256_fnmadd_pd(_mm256_set1_pd(1.0), w, x);
      });
    case op_kind::fmadd:
      return time_case(steps, b, a, [](__m256d w, __m256d x) {
        return _mm256_fmadd_pd(w, _mm256_set1_pd(0.9), x);
      });
    case op_kind::cmplt:
      return time_case(steps, b, a, [](__m256d w, __m256d x) {
        return _mm256_cmp_pd(w, x, _CMP_LT_OQ);
      });
    case op_kind::cvt_float:
      return time_case(steps, b, a, [](__m256d w, __m256d) {
        return _mm256_castps_pd(_mm256_castps128_ps256(_mm256_cvtpd_ps(w)));
      });
    case op_kind::cvt_int:
      return time_case(steps, b, a, [](__m256d w, __m256d) {
        return _mm256_castsi256_pd(_mm256_castsi128_si256(_mm256_cvttpd_epi32(w)));
      });
  }
  return 0;
}

// The fastest of 5 tries of each of the four ways, taken in turn (the
// machine is shared: the fastest try is the least disturbed one).
void report(const char* name, op_kind k, long steps, const pair_case& c) {
  double sn = 1e300, ss = 1e300, vn = 1e300, vs = 1e300;
  for (int attempt = 0; attempt < 5; ++attempt) {
    sn = std::min(sn, run_scalar(k, steps, c.normal));
    ss = std::min(ss, run_scalar(k, steps, c.subnormal));
    vn = std::min(vn, run_vector(k, steps, c.normal));
    vs = std::min(vs, run_vector(k, steps, c.subnormal));
  }
  std::printf("%-48s scalar %6.3f / %7.3f ns (%5.1fx)   vector %6.3f / %7.3f ns (%5.1fx)\n",
              name != nullptr ? name : c.name, sn, ss, ss / sn, vn, vs, vs / vn);
}

}  // namespace

#include "common/target_end.hpp"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

int main(int argc, char** argv) {
  if (!som::runs_here(som::target_id::avx2)) {
    std::printf("this processor has no AVX2 and FMA\n");
    return 1;
  }
  const long millions = argc > 1 ? std::atol(argv[1]) : 20;
  const long steps = millions * 1000000 / chains;
  std::printf("ns per instruction, normal operands / subnormal ones (ratio)\n");
  for (const pair_case& c : sub_cases) report(nullptr, op_kind::sub, steps, c);
  for (const pair_case& c : add_cases) report(nullptr, op_kind::add, steps, c);
  for (const pair_case& c : mul_cases) report(nullptr, op_kind::mul, steps, c);
  report(nullptr, op_kind::fnmadd, steps, fma_cases[0]);
  report(nullptr, op_kind::fmadd, steps, fma_cases[1]);
  for (const pair_case& c : cmp_cases) report(nullptr, op_kind::cmplt, steps, c);
  report(nullptr, op_kind::cvt_float, steps, cvt_cases[0]);
  report(nullptr, op_kind::cvt_float, steps, cvt_cases[1]);
  report(nullptr, op_kind::cvt_int, steps, cvt_cases[2]);
  return 0;
}
