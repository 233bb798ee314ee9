// The lane search for AVX-512 (F): a tile is one vector.
#include "som/map/best_two_targets.hpp"

#if defined(SOM_X86_TARGETS)

#include <cfloat>
#include <cstddef>
#include <cstdint>

#include <immintrin.h>

// GCC 12 warns about the deliberately undefined vectors inside some AVX-512
// intrinsics (_mm512_undefined_pd).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#define SOM_TARGET_FLAGS SOM_TARGET_FLAGS_AVX512
#include "common/target_begin.hpp"

namespace som {

namespace {

struct ops {
  using vec = __m512d;
  static vec zero() { return _mm512_setzero_pd(); }
  static vec set1(double x) { return _mm512_set1_pd(x); }
  static vec load(const double* p) { return _mm512_load_pd(p); }
  static void store(double* p, vec a) { _mm512_store_pd(p, a); }
  static vec sub(vec a, vec b) { return _mm512_sub_pd(a, b); }
  static vec mul(vec a, vec b) { return _mm512_mul_pd(a, b); }
  static vec add(vec a, vec b) { return _mm512_add_pd(a, b); }
  static vec sqrt(vec a) { return _mm512_sqrt_pd(a); }
  static vec max(vec a, vec b) { return _mm512_max_pd(a, b); }
  static unsigned le(vec a, vec b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
  // d × d + s, rounded once.
  static vec square_add(vec d, vec s) { return _mm512_fmadd_pd(d, d, s); }
  static double root(double x) { return __builtin_sqrt(x); }
};

#include "som/map/best_two_lanes.hpp"

void search(const neuron_lanes& lanes, const double* samples, std::size_t count, lane_answer* out,
            double* scratch, std::uint32_t* alive) {
  search_samples<ops>(lanes, samples, count, out, scratch, alive);
}

}  // namespace

extern const lane_target lanes_avx512;
const lane_target lanes_avx512{target_id::avx512, &search};

}  // namespace som

#include "common/target_end.hpp"

#endif
