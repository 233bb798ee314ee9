// What the report measures on a trained map: the U-matrix, the hits of the
// assignments, and the quantization and topographic errors of the samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "som/map_storage.hpp"

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

struct best_two {
  grid_pos best;               // what find_bmu answers
  grid_pos second;             // the nearest of the other neurons
  double best_distance = 0.0;  // squared
  bool has_second = false;
};

// The best-matching unit and the second-best unit in one pass, each the first
// in row-major order among equal squared distances, as find_bmu chooses.
best_two find_best_two(const weight_grid& grid, const double* sample);

// True when the two positions are direct grid neighbours (one step along a row
// or a column): the 4-neighbourhood.
inline bool grid_neighbours(grid_pos a, grid_pos b) {
  const std::uint32_t dr = a.row > b.row ? a.row - b.row : b.row - a.row;
  const std::uint32_t dc = a.col > b.col ? a.col - b.col : b.col - a.col;
  return dr + dc == 1;
}

// True when the two positions touch, diagonally included (at most one step
// along a row and one along a column): the 8-neighbourhood.
inline bool grid_neighbours8(grid_pos a, grid_pos b) {
  const std::uint32_t dr = a.row > b.row ? a.row - b.row : b.row - a.row;
  const std::uint32_t dc = a.col > b.col ? a.col - b.col : b.col - a.col;
  return dr <= 1 && dc <= 1 && dr + dc != 0;
}

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

// Up to this many components the errors search a neuron_tree, above it a
// neuron_index (best_two_search.hpp).
inline constexpr std::uint32_t tree_search_dimensions = 16;

// The errors of every sample against the grid (plain layout). The units are
// those of find_best_two, found through a neuron_tree or a neuron_index.
map_errors measure_errors(const weight_grid& grid, const sample_matrix& samples);

}  // namespace som
