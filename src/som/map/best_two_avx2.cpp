// The lane search for AVX2 and FMA: a tile is two vectors of four lanes.
#include "som/map/best_two_targets.hpp"

#if defined(SOM_X86_TARGETS)

#include <cfloat>
#include <cstddef>
#include <cstdint>

#include <immintrin.h>

#define SOM_TARGET_FLAGS SOM_TARGET_FLAGS_AVX2
#include "common/target_begin.hpp"

namespace som {

namespace {

struct ops {
  struct vec {
    __m256d lo, hi;
  };
  static vec zero() { return {_mm256_setzero_pd(), _mm256_setzero_pd()}; }
  static vec set1(double x) { return {_mm256_set1_pd(x), _mm256_set1_pd(x)}; }
  static vec load(const double* p) { return {_mm256_load_pd(p), _mm256_load_pd(p + 4)}; }
  static void store(double* p, const vec& a) {
    _mm256_store_pd(p, a.lo);
    _mm256_store_pd(p + 4, a.hi);
  }
  static vec sub(const vec& a, const vec& b) {
    return {_mm256_sub_pd(a.lo, b.lo), _mm256_sub_pd(a.hi, b.hi)};
  }
  static vec mul(const vec& a, const vec& b) {
    return {_mm256_mul_pd(a.lo, b.lo), _mm256_mul_pd(a.hi, b.hi)};
  }
  static vec add(const vec& a, const vec& b) {
    return {_mm256_add_pd(a.lo, b.lo), _mm256_add_pd(a.hi, b.hi)};
  }
  static vec sqrt(const vec& a) { return {_mm256_sqrt_pd(a.lo), _mm256_sqrt_pd(a.hi)}; }
  static vec max(const vec& a, const vec& b) {
    return {_mm256_max_pd(a.lo, b.lo), _mm256_max_pd(a.hi, b.hi)};
  }
  static unsigned le(const vec& a, const vec& b) {
    const int lo = _mm256_movemask_pd(_mm256_cmp_pd(a.lo, b.lo, _CMP_LE_OQ));
    const int hi = _mm256_movemask_pd(_mm256_cmp_pd(a.hi, b.hi, _CMP_LE_OQ));
    return static_cast<unsigned>(lo | hi << 4);
  }
  // d × d + s, rounded once.
  static vec square_add(const vec& d, const vec& s) {
    return {_mm256_fmadd_pd(d.lo, d.lo, s.lo), _mm256_fmadd_pd(d.hi, d.hi, s.hi)};
  }
  static double root(double x) { return __builtin_sqrt(x); }
};

#include "som/map/best_two_lanes.hpp"

void search(const neuron_lanes& lanes, const double* samples, std::size_t count, lane_answer* out,
            double* scratch, std::uint32_t* alive) {
  search_samples<ops>(lanes, samples, count, out, scratch, alive);
}

}  // namespace

extern const lane_target lanes_avx2;
const lane_target lanes_avx2{target_id::avx2, &search};

}  // namespace som

#include "common/target_end.hpp"

#endif
