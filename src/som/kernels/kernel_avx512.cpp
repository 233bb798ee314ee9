// The kernel for AVX-512 (F), with AVX2 and FMA: a tile is one vector of 8
// lanes.
#include "som/kernels/kernel_table.hpp"

#if defined(SOM_X86_TARGETS)

#include <immintrin.h>

// GCC 12 warns about the deliberately undefined upper halves inside some
// AVX-512 intrinsics (_mm512_undefined_pd).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define SOM_TARGET_FLAGS SOM_TARGET_FLAGS_AVX512
#include "common/target_begin.hpp"

namespace som::kernels {

namespace {

#include "som/kernels/lane_positions_x86.hpp"

struct ops_avx512 {
  using vec = __m512d;
  static_assert(sizeof(vec) == tile_lanes * sizeof(double), "a tile is one vector");
  using mask = __mmask8;
  using pos = lane_positions;
  static vec load(const double* p) { return _mm512_load_pd(p); }
  static void store(double* p, vec a) { _mm512_store_pd(p, a); }
  static vec set1(double x) { return _mm512_set1_pd(x); }
  // -(1 × w) + x rounds exactly like x − w.
  static vec diff(vec x, vec w) { return _mm512_fnmadd_pd(_mm512_set1_pd(1.0), w, x); }
  static vec sub(vec a, vec b) { return _mm512_sub_pd(a, b); }
  static vec mul(vec a, vec b) { return _mm512_mul_pd(a, b); }
  static vec add(vec a, vec b) { return _mm512_add_pd(a, b); }
  static vec sqrt(vec a) { return _mm512_sqrt_pd(a); }
  // a × b + c, rounded once.
  static vec mul_add(vec a, vec b, vec c) { return _mm512_fmadd_pd(a, b, c); }
  // The lanes' sum, ((l0 + l4) + (l2 + l6)) + ((l1 + l5) + (l3 + l7)).
  static double total(vec a) {
    const __m256d four = _mm256_add_pd(_mm512_castpd512_pd256(a), _mm512_extractf64x4_pd(a, 1));
    const __m128d two = _mm_add_pd(_mm256_castpd256_pd128(four), _mm256_extractf128_pd(four, 1));
    return _mm_cvtsd_f64(_mm_add_sd(two, _mm_unpackhi_pd(two, two)));
  }
  static vec select(mask m, vec a, vec b) { return _mm512_mask_blend_pd(m, b, a); }
  // A lane mask for long loops, which hold it in a mask register throughout.
  struct lane_mask {
    __mmask8 bits;
  };
  static lane_mask widen(mask m) { return {m}; }
  // Pins a long loop's mask to a mask register on every step: GCC would
  // otherwise keep it in memory and reload it through a general register
  // before each use, two extra instructions per vector.
  static void hold(lane_mask& m) {
#if defined(__GNUC__) && !defined(__clang__)
    asm("" : "+Yk"(m.bits));
#else
    (void)m;
#endif
  }
  static vec add_where(const lane_mask& m, vec a, vec b) { return add_where(m.bits, a, b); }
  static vec add_where(mask m, vec a, vec b) { return _mm512_mask_add_pd(b, m, a, b); }
  static mask less(vec a, vec b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static mask less_equal(vec a, vec b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
  static mask equal(vec a, vec b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
  static vec min(vec a, vec b) { return _mm512_min_pd(a, b); }
  static double hmin(vec a) {
    __m256d m4 = _mm256_min_pd(_mm512_castpd512_pd256(a), _mm512_extractf64x4_pd(a, 1));
    __m128d m2 = _mm_min_pd(_mm256_castpd256_pd128(m4), _mm256_extractf128_pd(m4, 1));
    return _mm_cvtsd_f64(_mm_min_sd(m2, _mm_unpackhi_pd(m2, m2)));
  }
  static vec iota() { return _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7); }
  static bool any(mask m) { return m != 0; }
  static bool all(mask m) { return m == 0xFF; }
  static std::uint8_t to_bits(mask m) { return m; }
  static mask from_bits(std::uint8_t b) { return b; }
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
    return _mm512_cmp_pd_mask(_mm512_set1_pd(radius), _mm512_maskz_cvtepu32_pd(0xFF, g),
                              _CMP_GT_OQ);
  }
};

#include "som/kernels/kernel_epochs.hpp"

std::uint32_t epoch(const epoch_args& args);

}  // namespace

// The build without subnormal operands (args.epoch.tame) exists for AVX2 only. The
// processors that slow down on subnormals most (Intel's) are the ones with
// AVX-512, so such an epoch runs the AVX2 build, which every processor that
// runs this one has (its needs are a subset of these): the grid's tiles and
// the caches are the same for both, and both give the plain loops' results.
extern const kernel_entry avx2_kernel;

namespace {

std::uint32_t epoch(const epoch_args& args) {
  if (args.epoch.tame) return avx2_kernel.epoch(args);
  return run_epoch<ops_avx512>(args);
}

}  // namespace

extern const kernel_entry avx512_kernel;
const kernel_entry avx512_kernel{target_id::avx512, &epoch, true};

}  // namespace som::kernels

#include "common/target_end.hpp"

#endif
