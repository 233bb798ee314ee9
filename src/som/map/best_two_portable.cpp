// The lane search in portable C++: a tile is eight doubles that the
// compiler may put in whatever vectors the baseline has.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "som/map/best_two_targets.hpp"

namespace som {

namespace {

struct ops {
  struct vec {
    double v[group_lanes];
  };
  template <class F>
  static vec each(F f) {
    vec r;
    for (std::uint32_t l = 0; l < group_lanes; ++l) r.v[l] = f(l);
    return r;
  }
  static vec zero() {
    return each([](std::uint32_t) { return 0.0; });
  }
  static vec set1(double x) {
    return each([x](std::uint32_t) { return x; });
  }
  static vec load(const double* p) {
    return each([p](std::uint32_t l) { return p[l]; });
  }
  static void store(double* p, const vec& a) {
    for (std::uint32_t l = 0; l < group_lanes; ++l) p[l] = a.v[l];
  }
  static vec sub(const vec& a, const vec& b) {
    return each([&](std::uint32_t l) { return a.v[l] - b.v[l]; });
  }
  static vec mul(const vec& a, const vec& b) {
    return each([&](std::uint32_t l) { return a.v[l] * b.v[l]; });
  }
  static vec add(const vec& a, const vec& b) {
    return each([&](std::uint32_t l) { return a.v[l] + b.v[l]; });
  }
  static vec sqrt(const vec& a) {
    return each([&](std::uint32_t l) { return std::sqrt(a.v[l]); });
  }
  static vec max(const vec& a, const vec& b) {
    return each([&](std::uint32_t l) { return a.v[l] > b.v[l] ? a.v[l] : b.v[l]; });
  }
  static unsigned le(const vec& a, const vec& b) {
    unsigned m = 0;
    for (std::uint32_t l = 0; l < group_lanes; ++l) m |= (a.v[l] <= b.v[l] ? 1u : 0u) << l;
    return m;
  }
  static vec square_add(const vec& d, const vec& s) { return add(s, mul(d, d)); }
  static double root(double x) { return std::sqrt(x); }
};

#include "som/map/best_two_lanes.hpp"

void search(const neuron_lanes& lanes, const double* samples, std::size_t count, lane_answer* out,
            double* scratch, std::uint32_t* alive) {
  search_samples<ops>(lanes, samples, count, out, scratch, alive);
}

}  // namespace

extern const lane_target lanes_portable;
const lane_target lanes_portable{target_id::portable, &search};

}  // namespace som
