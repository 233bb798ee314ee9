// The kernel for AVX2 and FMA: a tile is two vectors of 4 lanes.
#include "som/kernels/kernel_table.hpp"

#if defined(SOM_X86_TARGETS)

#include <immintrin.h>

#define SOM_TARGET_FLAGS SOM_TARGET_FLAGS_AVX2
#include "common/target_begin.hpp"

namespace som::kernels {

namespace {

#include "som/kernels/lane_positions_x86.hpp"

struct ops_avx2 {
  struct vec {
    __m256d lo, hi;
  };
  static_assert(sizeof(vec) == tile_lanes * sizeof(double), "a tile is two vectors");
  using mask = vec;
  using pos = lane_positions;
  static vec load(const double* p) { return {_mm256_load_pd(p), _mm256_load_pd(p + 4)}; }
  static void store(double* p, const vec& a) {
    _mm256_store_pd(p, a.lo);
    _mm256_store_pd(p + 4, a.hi);
  }
  static vec set1(double x) { return {_mm256_set1_pd(x), _mm256_set1_pd(x)}; }
  // -(1 × w) + x rounds exactly like x − w.
  static vec diff(const vec& x, const vec& w) {
    const __m256d one = _mm256_set1_pd(1.0);
    return {_mm256_fnmadd_pd(one, w.lo, x.lo), _mm256_fnmadd_pd(one, w.hi, x.hi)};
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
  // a × b + c, rounded once.
  static vec mul_add(const vec& a, const vec& b, const vec& c) {
    return {_mm256_fmadd_pd(a.lo, b.lo, c.lo), _mm256_fmadd_pd(a.hi, b.hi, c.hi)};
  }
  // The lanes' sum, ((l0 + l4) + (l2 + l6)) + ((l1 + l5) + (l3 + l7)).
  static double total(const vec& a) {
    const __m256d four = _mm256_add_pd(a.lo, a.hi);
    const __m128d two = _mm_add_pd(_mm256_castpd256_pd128(four), _mm256_extractf128_pd(four, 1));
    return _mm_cvtsd_f64(_mm_add_sd(two, _mm_unpackhi_pd(two, two)));
  }
  static vec select(const mask& m, const vec& a, const vec& b) {
    return {_mm256_blendv_pd(b.lo, a.lo, m.lo), _mm256_blendv_pd(b.hi, a.hi, m.hi)};
  }
  using lane_mask = mask;
  static lane_mask widen(const mask& m) { return m; }
  static void hold(lane_mask&) {}
  static vec add_where(const lane_mask& m, const vec& a, const vec& b) {
    return select(m, add(a, b), b);
  }
  static mask less(const vec& a, const vec& b) {
    return {_mm256_cmp_pd(a.lo, b.lo, _CMP_LT_OQ), _mm256_cmp_pd(a.hi, b.hi, _CMP_LT_OQ)};
  }
  static mask less_equal(const vec& a, const vec& b) {
    return {_mm256_cmp_pd(a.lo, b.lo, _CMP_LE_OQ), _mm256_cmp_pd(a.hi, b.hi, _CMP_LE_OQ)};
  }
  static mask equal(const vec& a, const vec& b) {
    return {_mm256_cmp_pd(a.lo, b.lo, _CMP_EQ_OQ), _mm256_cmp_pd(a.hi, b.hi, _CMP_EQ_OQ)};
  }
  static vec min(const vec& a, const vec& b) {
    return {_mm256_min_pd(a.lo, b.lo), _mm256_min_pd(a.hi, b.hi)};
  }
  static double hmin(const vec& a) {
    const __m256d m4 = _mm256_min_pd(a.lo, a.hi);
    const __m128d m2 = _mm_min_pd(_mm256_castpd256_pd128(m4), _mm256_extractf128_pd(m4, 1));
    return _mm_cvtsd_f64(_mm_min_sd(m2, _mm_unpackhi_pd(m2, m2)));
  }
  // Subnormal weights out of the arithmetic (see kernel_tiles.hpp): integer
  // operations on the bits, which never take a slow path.
  static __m256i tiny4(__m256d w) {
    const __m256i exponent = _mm256_set1_epi64x(0x7FF0000000000000);
    return _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_castpd_si256(w), exponent),
                              _mm256_setzero_si256());
  }
  static mask tiny(const vec& w) {
    return {_mm256_castsi256_pd(tiny4(w.lo)), _mm256_castsi256_pd(tiny4(w.hi))};
  }
  static vec tame(const vec& w) {
    return {_mm256_andnot_pd(_mm256_castsi256_pd(tiny4(w.lo)), w.lo),
            _mm256_andnot_pd(_mm256_castsi256_pd(tiny4(w.hi)), w.hi)};
  }
  static __m256d decay_tiny4(__m256d w, __m256d alpha) {
    const __m256i bits = _mm256_castpd_si256(w);
    const __m256i two52_bits = _mm256_set1_epi64x(0x4330000000000000);
    const __m256d two52 = _mm256_set1_pd(0x1p52);
    const __m256i sign = _mm256_and_si256(bits, _mm256_set1_epi64x(INT64_MIN));
    const __m256i m = _mm256_and_si256(bits, _mm256_set1_epi64x(0x000FFFFFFFFFFFFF));
    // m exactly, then 2^52 + round_half_even(m × alpha) in one rounding.
    const __m256d md = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(m, two52_bits)), two52);
    const __m256d rounded = _mm256_fmadd_pd(md, alpha, two52);
    const __m256i r = _mm256_sub_epi64(_mm256_castpd_si256(rounded), two52_bits);
    const __m256i left = _mm256_sub_epi64(m, r);
    const __m256i gone = _mm256_cmpeq_epi64(left, _mm256_setzero_si256());
    return _mm256_castsi256_pd(_mm256_andnot_si256(gone, _mm256_or_si256(left, sign)));
  }
  static vec decay_tiny(const vec& w, const vec& alpha) {
    return {decay_tiny4(w.lo, alpha.lo), decay_tiny4(w.hi, alpha.hi)};
  }
  static vec iota() { return {_mm256_setr_pd(0, 1, 2, 3), _mm256_setr_pd(4, 5, 6, 7)}; }
  static bool any(const mask& m) { return _mm256_movemask_pd(_mm256_or_pd(m.lo, m.hi)) != 0; }
  static bool all(const mask& m) { return _mm256_movemask_pd(_mm256_and_pd(m.lo, m.hi)) == 0xF; }
  static std::uint8_t to_bits(const mask& m) {
    return static_cast<std::uint8_t>(_mm256_movemask_pd(m.lo) | _mm256_movemask_pd(m.hi) << 4);
  }
  static mask from_bits(std::uint8_t b) {
    const __m256i bits = _mm256_set1_epi64x(b);
    const __m256i lo = _mm256_setr_epi64x(1, 2, 4, 8);
    const __m256i hi = _mm256_setr_epi64x(16, 32, 64, 128);
    return {_mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(bits, lo), lo)),
            _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(bits, hi), hi))};
  }
  static pos make_pos(const std::uint32_t* rows, const std::uint32_t* cols) {
    return make_lane_positions(rows, cols);
  }
  static pos lane_pos(std::uint32_t r, std::uint32_t c, std::uint32_t cols) {
    return first_lane_positions(r, c, cols);
  }
  static void advance(pos& p, std::uint32_t step_row, std::uint32_t step_col,
                      std::uint32_t wrap_at) {
    advance_lane_positions(p, step_row, step_col, wrap_at);
  }
  static mask in_radius(const pos& p, std::uint32_t bi, std::uint32_t bj, double radius) {
    const __m256i g = squared_grid_distances(p, bi, bj);
    // Unsigned to double: g − 2^31 as a signed value, then 2^31 added back
    // (both exact).
    const __m256i biased = _mm256_xor_si256(g, _mm256_set1_epi32(static_cast<int>(0x80000000u)));
    const __m256d offset = _mm256_set1_pd(2147483648.0);
    const __m256d lo = _mm256_add_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(biased)), offset);
    const __m256d hi =
        _mm256_add_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(biased, 1)), offset);
    const __m256d r = _mm256_set1_pd(radius);
    return {_mm256_cmp_pd(r, lo, _CMP_GT_OQ), _mm256_cmp_pd(r, hi, _CMP_GT_OQ)};
  }
};

#include "som/kernels/kernel_epochs.hpp"

std::uint32_t epoch(const epoch_args& args) { return run_epoch<ops_avx2>(args); }

}  // namespace

extern const kernel_entry avx2_kernel;
const kernel_entry avx2_kernel{target_id::avx2, &epoch, true};

}  // namespace som::kernels

#include "common/target_end.hpp"

#endif
