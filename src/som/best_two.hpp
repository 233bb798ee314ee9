// A sample's best-matching unit and its second-best unit: what the report's
// errors and the mapping of new samples need of a trained map.
#pragma once

#include <cstdint>
#include <memory>

#include "som/map_storage.hpp"

namespace som {

struct best_two {
  grid_pos best;               // what find_bmu answers
  grid_pos second;             // the nearest of the other neurons
  double best_distance = 0.0;  // squared
  bool has_second = false;
};

// The best-matching unit and the second-best unit in one pass over every
// neuron, each the first in row-major order among equal squared distances,
// as find_bmu chooses: the reference of every faster search.
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

// Up to this many components the finder searches a neuron_tree, above it a
// neuron_index (best_two_search.hpp).
inline constexpr std::uint32_t tree_search_dimensions = 16;

// The best two units of many samples against one grid (plain layout),
// exactly as find_best_two answers, without measuring every neuron: the
// neurons are filed once, in a k-d tree for few components (which divides
// any map), otherwise by their place in their own principal plane, where
// they spread the most (a tree's boxes prune little there).
class best_two_finder {
 public:
  explicit best_two_finder(const weight_grid& grid);
  ~best_two_finder();
  best_two_finder(const best_two_finder&) = delete;
  best_two_finder& operator=(const best_two_finder&) = delete;

  best_two find(const double* sample) const;

 private:
  struct filed;
  const weight_grid& grid_;
  std::unique_ptr<filed> filed_;
};

}  // namespace som
