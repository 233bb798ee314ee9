#include "som/kernels/epoch_args.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace som::kernels {

namespace {

// Rows (or columns) farther from the winner than the result are never
// updated: the farthest distance d along the grid's side of `size` neurons
// with d² < R (every neuron of a row d away is at least d² away), or `size`
// when every one is in reach; the exact test per neuron stays in the
// kernel.
std::uint32_t reach_within(std::uint32_t size, double radius) {
  const double root = std::floor(std::sqrt(radius));
  std::uint64_t d =
      root >= static_cast<double>(size) ? size : static_cast<std::uint64_t>(root) + 1u;
  while (d > 0 && !(static_cast<double>(d * d) < radius)) --d;
  return static_cast<std::uint32_t>(d);
}

// Squared grid distances may wrap modulo 2^32 on grids this large: every
// tile is then tested.
bool distances_wrap(const weight_grid& grid) {
  const std::uint64_t far_row = grid.map_rows - 1u;
  const std::uint64_t far_col = grid.map_cols - 1u;
  return far_row >= 65536 || far_col >= 65536 ||
         far_row * far_row + far_col * far_col >= (std::uint64_t{1} << 32);
}

}  // namespace

void order_components(const weight_grid& grid, std::uint32_t* order) {
  const std::uint32_t dimension = grid.dimension;
  std::vector<double> sum(dimension, 0.0);
  std::vector<double> squares(dimension, 0.0);
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      const double w = grid.block[grid.offset(n, k)];
      sum[k] += w;
      squares[k] += w * w;
    }
  }
  std::vector<double> spread(dimension, 0.0);
  const double count = static_cast<double>(grid.neurons);
  for (std::uint32_t k = 0; k < dimension && grid.neurons != 0; ++k) {
    const double mean = sum[k] / count;
    const double variance = squares[k] / count - mean * mean;
    spread[k] = variance == variance ? variance : 0.0;
  }
  for (std::uint32_t k = 0; k < dimension; ++k) order[k] = k;
  std::stable_sort(order, order + dimension,
                   [&](std::uint32_t a, std::uint32_t b) { return spread[a] > spread[b]; });
}

bool prunes(const weight_grid& grid, double radius) {
  // The share of the grid that an update may reach, at most.
  constexpr std::uint64_t largest_share_denominator = 4;
  if (grid.dimension <= prune_early_checks || distances_wrap(grid)) return false;
  if (!(radius > 0.0)) return true;
  const std::uint64_t rows = 2 * std::uint64_t{reach_within(grid.map_rows, radius)} + 1;
  return rows * grid.map_cols * largest_share_denominator <= grid.neurons;
}

epoch_args make_epoch_args(const sample_matrix& samples, weight_grid& grid,
                           const assignment* previous, double learning_rate, double radius,
                           search_mode mode, subnormal_mode subnormals) {
  epoch_args args;
  args.epoch.samples = samples.block;
  args.epoch.count = samples.count;
  args.epoch.dimension = grid.dimension;
  args.epoch.block = grid.block;
  args.epoch.map_rows = grid.map_rows;
  args.epoch.map_cols = grid.map_cols;
  args.slice.tile_end = grid.tiles;
  args.epoch.learning_rate = learning_rate;
  args.epoch.radius = radius;
  args.epoch.updates = radius > 0.0;
  args.epoch.whole_grid = distances_wrap(grid);
  if (args.epoch.updates && !args.epoch.whole_grid) {
    args.epoch.reach = reach_within(grid.map_rows, radius);
    args.epoch.col_reach = reach_within(grid.map_cols, radius);
  }
  // The blocked search falls back on the pruned one where it cannot run.
  args.epoch.pruned = mode == search_mode::pruned || mode == search_mode::blocked ||
                      (mode == search_mode::automatic && prunes(grid, radius));
  args.epoch.previous = previous;
  // The cheap tests first: on most processors the weights are never looked at.
  args.epoch.tame =
      subnormals != subnormal_mode::plain &&
      (subnormals == subnormal_mode::tame || (subnormals_slow() && has_subnormal(grid))) &&
      tame_is_exact(samples, learning_rate);
  if (args.epoch.pruned) {
    // 1 + 4 × dimension × 2^-53, exact in a double for any 32-bit dimension.
    args.epoch.prune_widening = 1.0 + static_cast<double>(grid.dimension) * 0x1p-51;
  }
  return args;
}

}  // namespace som::kernels
