#include "som/kernels/subnormals.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>

namespace som::kernels {

namespace {

constexpr std::uint64_t magnitude_bits = 0x7FFFFFFFFFFFFFFFu;
constexpr std::uint64_t exponent_bits = 0x7FF0000000000000u;
constexpr std::uint64_t infinity_bits = 0x7FF0000000000000u;
constexpr double least_safe = 0x1p-968;  // see kernel_tiles.hpp

std::uint64_t bits_of(double x) {
  std::uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

double of_bits(std::uint64_t b) {
  double x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

// The operands of the probe, read from memory so that no chain is folded.
volatile double probe_start[2] = {0x1p-1060, 0x1p-60};  // subnormal, normal
volatile double probe_factor = 1.0;
volatile double probe_sink = 0.0;

// Seconds for a chain of dependent multiplications from `start`.
double chain_seconds(double start) {
  constexpr int steps = 4096;
  const double factor = probe_factor;
  double v = start;
  const auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < steps; ++i) v = v * factor;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
  probe_sink = v;
  return took.count();
}

bool measure_slow() {
  // The fastest of a few tries each, in turn: a busy machine only makes
  // tries slower.
  double subnormal = 1e300;
  double normal = 1e300;
  for (int attempt = 0; attempt < 5; ++attempt) {
    subnormal = std::min(subnormal, chain_seconds(probe_start[0]));
    normal = std::min(normal, chain_seconds(probe_start[1]));
  }
  // An assist costs tens of times a multiplication; 3 times leaves room for
  // the clock's own cost.
  return subnormal > 3.0 * normal;
}

}  // namespace

bool tame_is_exact(const sample_matrix& samples, double learning_rate) {
  if (!(learning_rate >= 0.0 && learning_rate <= 1.0)) return false;
  const std::uint64_t least_safe_bits = bits_of(least_safe);
  std::uint64_t least = infinity_bits;  // the smallest finite nonzero |x| so far
  const std::size_t values = std::size_t{samples.count} * samples.dimension;
  for (std::size_t i = 0; i < values; ++i) {
    const std::uint64_t b = bits_of(samples.block[i]) & magnitude_bits;
    if (b == 0 || b >= infinity_bits) continue;
    if (b < least_safe_bits) return false;
    least = std::min(least, b);
  }
  // Rounding is monotonic: the smallest |x| gives the smallest |x| × rate.
  return least == infinity_bits || of_bits(least) * learning_rate >= least_safe;
}

bool has_subnormal(const weight_grid& grid) {
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < grid.dimension; ++k) {
      const std::uint64_t b = bits_of(grid.at(n, k)) & magnitude_bits;
      if (b != 0 && (b & exponent_bits) == 0) return true;
    }
  }
  return false;
}

bool subnormals_slow() {
  static const bool slow = measure_slow();
  return slow;
}

}  // namespace som::kernels
