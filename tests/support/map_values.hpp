// A test's values as the structures the code works on: a plain-layout
// weight grid holding weights in neuron order, and a sample matrix over
// samples held by the test.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "som/map/map_storage.hpp"

namespace som_test {

// A plain-layout grid (one lane) holding `weights` in neuron order.
struct grid_holder {
  som::owned_grid memory;
  som::weight_grid& grid = *memory;
  grid_holder(std::uint32_t rows, std::uint32_t cols, std::uint32_t dim,
              const std::vector<double>& weights)
      : memory(som::alloc_weight_grid(rows, cols, dim, 1)) {
    for (std::size_t i = 0; i < weights.size(); ++i) grid.block[i] = weights[i];
  }
};

// The samples of `values`, `dim` components each; the matrix points into
// `values`.
inline som::sample_matrix samples_of(std::vector<double>& values, std::uint32_t dim) {
  return som::sample_matrix{values.data(), static_cast<std::uint32_t>(values.size() / dim), dim};
}

// Bit for bit, -0 and every NaN's payload included.
inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Bit for bit, -0 included; any NaN matches any NaN, since which operand's
// NaN an addition passes on depends on the order in which the compiler
// gives it the operands (the weights file writes every NaN alike).
inline bool same_weight(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace som_test
