// The best-matching-unit search: the neuron whose weights lie nearest to a
// sample, by squared Euclidean distance, the first in row-major order on ties.
#pragma once

#include <cstdint>

#include "som/map/map_storage.hpp"

namespace som {

// Sum over k in order of (sample[k] − weight[k])², each step rounded on its own.
inline double squared_distance(const double* sample, const double* weight,
                               std::uint32_t dimension) {
  double sum = 0.0;
  for (std::uint32_t k = 0; k < dimension; ++k) {
    const double difference = sample[k] - weight[k];
    sum = sum + difference * difference;
  }
  return sum;
}

// Searches a grid in the plain layout (lanes = 1). When no distance is below
// the largest finite double (an empty map, or only infinite or NaN
// distances), the answer is (0, 0).
grid_pos find_bmu(std::uint32_t map_rows, std::uint32_t map_cols, std::uint32_t dimension,
                  const double* sample, const weight_grid& grid);

}  // namespace som
