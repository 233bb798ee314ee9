// A sample's best-matching unit and its second-best unit: what the report's
// errors and the mapping of new samples need of a trained map.
#pragma once

#include <cstdint>
#include <memory>

#include "som/map/map_storage.hpp"

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

struct lane_target;

// The best two units of many samples against one grid (plain layout),
// exactly as find_best_two answers, without measuring every neuron: the
// neurons are filed once in groups that lie near each other (neuron_groups),
// each with a centre that bounds its neurons' distances, and searched eight
// neurons to a vector with the widest instruction set that runs here
// (best_two_lanes.hpp). The grid must stay as it is while the finder lives.
class best_two_finder {
 public:
  explicit best_two_finder(const weight_grid& grid);
  // With one build of the lane search and groups of about `group_size`
  // neurons (0: the default), for the tests and the benchmark.
  best_two_finder(const weight_grid& grid, const lane_target& target,
                  std::uint32_t group_size = 0);
  ~best_two_finder();
  best_two_finder(const best_two_finder&) = delete;
  best_two_finder& operator=(const best_two_finder&) = delete;

  best_two find(const double* sample) const;

  // The units of every sample, out[s] for samples.row(s), on up to
  // `threads` threads (0: one per core). The answers do not depend on the
  // threads.
  void find_all(const sample_matrix& samples, best_two* out, unsigned threads = 0) const;

 private:
  struct filed;
  void find_rows(const double* samples, std::size_t count, best_two* out) const;
  const weight_grid& grid_;
  std::unique_ptr<filed> filed_;
};

}  // namespace som
