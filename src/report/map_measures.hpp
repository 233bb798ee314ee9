// What the report measures on a trained map: the U-matrix, the hits of the
// assignments, and the quantization and topographic errors of the samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "som/map/best_two.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// For each neuron in row-major order, the mean Euclidean distance between its
// weights and those of its direct grid neighbours (above, left, right, below:
// up to four, summed in that order). A map of one neuron gives 0. The grid is
// in the plain layout (lanes = 1).
std::vector<double> u_matrix(const weight_grid& grid);

// How many assignments name each neuron, in row-major order. Every assignment
// must lie inside the grid.
std::vector<std::uint32_t> hit_counts(std::uint32_t map_rows, std::uint32_t map_cols,
                                      const assignment_table& assignments);

struct map_errors {
  // Mean Euclidean distance from each sample to its unit's weights (0 without samples).
  double quantization = 0.0;
  // Samples whose best and second-best units are not neighbours in the
  // 4-neighbourhood, and in the 8-neighbourhood.
  std::uint32_t topographic_count = 0;
  std::uint32_t topographic8_count = 0;
  // Those counts / samples (0 without samples or with a single neuron).
  double topographic = 0.0;
  double topographic8 = 0.0;
};

// The errors of every sample against the grid (plain layout). The units are
// those of find_best_two, found through a best_two_finder.
map_errors measure_errors(const weight_grid& grid, const sample_matrix& samples);

}  // namespace som
