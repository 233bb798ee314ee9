// The kernel in plain C++ over the same tiles, for every processor. The
// shipped program trains with the plain loops where no vector kernel runs
// (they are faster there); this build keeps the kernel body tested on any
// machine and serves as the table's last resort.
#include <cmath>

#include "som/kernels/kernel_table.hpp"

namespace som::kernels {

namespace {

struct ops_portable {
  struct vec {
    double v[tile_lanes];
  };
  using mask = unsigned;
  struct pos {
    std::uint32_t row[tile_lanes];
    std::uint32_t col[tile_lanes];
  };
  static vec load(const double* p) {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = p[l];
    return r;
  }
  static void store(double* p, const vec& a) {
    for (std::uint32_t l = 0; l < tile_lanes; ++l) p[l] = a.v[l];
  }
  static vec set1(double x) {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = x;
    return r;
  }
  static vec diff(const vec& x, const vec& w) {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = x.v[l] - w.v[l];
    return r;
  }
  static vec sub(const vec& x, const vec& w) { return diff(x, w); }
  static vec mul(const vec& a, const vec& b) {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = a.v[l] * b.v[l];
    return r;
  }
  static vec add(const vec& a, const vec& b) {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = a.v[l] + b.v[l];
    return r;
  }
  static vec sqrt(const vec& a) {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = std::sqrt(a.v[l]);
    return r;
  }
  // a × b + c, here rounded twice (a library's fma may be emulated, slowly
  // or, on some, not exactly): only the blocked search's bounds use it, and
  // they hold either way.
  static vec mul_add(const vec& a, const vec& b, const vec& c) { return add(mul(a, b), c); }
  // The lanes' sum, ((l0 + l4) + (l2 + l6)) + ((l1 + l5) + (l3 + l7)).
  static double total(const vec& a) {
    static_assert(tile_lanes == 8, "a tree of eight lanes");
    const double* l = a.v;
    return ((l[0] + l[4]) + (l[2] + l[6])) + ((l[1] + l[5]) + (l[3] + l[7]));
  }
  static vec select(mask m, const vec& a, const vec& b) {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = (m >> l & 1u) != 0 ? a.v[l] : b.v[l];
    return r;
  }
  using lane_mask = mask;
  static lane_mask widen(const mask& m) { return m; }
  static void hold(lane_mask&) {}
  static vec add_where(const lane_mask& m, const vec& a, const vec& b) {
    return select(m, add(a, b), b);
  }
  static mask less(const vec& a, const vec& b) {
    mask m = 0;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) m |= (a.v[l] < b.v[l] ? 1u : 0u) << l;
    return m;
  }
  static mask less_equal(const vec& a, const vec& b) {
    mask m = 0;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) m |= (a.v[l] <= b.v[l] ? 1u : 0u) << l;
    return m;
  }
  static mask equal(const vec& a, const vec& b) {
    mask m = 0;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) m |= (a.v[l] == b.v[l] ? 1u : 0u) << l;
    return m;
  }
  static vec min(const vec& a, const vec& b) {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = b.v[l] < a.v[l] ? b.v[l] : a.v[l];
    return r;
  }
  static double hmin(const vec& a) {
    double m = a.v[0];
    for (std::uint32_t l = 1; l < tile_lanes; ++l) m = a.v[l] < m ? a.v[l] : m;
    return m;
  }
  static vec iota() {
    vec r;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) r.v[l] = static_cast<double>(l);
    return r;
  }
  static bool any(mask m) { return m != 0; }
  static bool all(mask m) { return m == 0xFFu; }
  static std::uint8_t to_bits(mask m) { return static_cast<std::uint8_t>(m); }
  static mask from_bits(std::uint8_t b) { return b; }
  static pos make_pos(const std::uint32_t* rows, const std::uint32_t* cols) {
    pos p;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) {
      p.row[l] = rows[l];
      p.col[l] = cols[l];
    }
    return p;
  }
  static pos lane_pos(std::uint32_t r, std::uint32_t c, std::uint32_t cols) {
    pos p;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) {
      const bool wraps = c + l >= cols;
      p.row[l] = wraps ? r + 1 : r;
      p.col[l] = wraps ? c + l - cols : c + l;
    }
    return p;
  }
  static void advance(pos& p, std::uint32_t step_row, std::uint32_t step_col,
                      std::uint32_t wrap_at) {
    for (std::uint32_t l = 0; l < tile_lanes; ++l) {
      if (p.col[l] >= wrap_at) {
        p.col[l] -= wrap_at;
        p.row[l] += step_row + 1;
      } else {
        p.col[l] += step_col;
        p.row[l] += step_row;
      }
    }
  }
  static mask in_radius(const pos& p, std::uint32_t bi, std::uint32_t bj, double radius) {
    mask m = 0;
    for (std::uint32_t l = 0; l < tile_lanes; ++l) {
      const std::uint32_t di = bi - p.row[l];
      const std::uint32_t dj = bj - p.col[l];
      const std::uint32_t g = di * di + dj * dj;
      m |= (radius > static_cast<double>(g) ? 1u : 0u) << l;
    }
    return m;
  }
};

#include "som/kernels/kernel_epochs.hpp"

std::uint32_t epoch(const epoch_args& args) { return run_epoch_any_dimension<ops_portable>(args); }

}  // namespace

extern const kernel_entry portable_kernel;
const kernel_entry portable_kernel{target_id::portable, &epoch, false};

}  // namespace som::kernels
