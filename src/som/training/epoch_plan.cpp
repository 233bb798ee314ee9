#include "som/training/epoch_plan.hpp"

#include <cmath>

#include "som/training/blocked_layout.hpp"

namespace som {

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

// Whether an epoch at this radius searches with the pruned search, unless
// asked otherwise: where the dimension leaves a check before the last
// component and the rows that an update can reach hold at most a quarter of
// the grid's neurons.
bool prunes(const weight_grid& grid, double radius) {
  // The share of the grid that an update may reach, at most.
  constexpr std::uint64_t largest_share_denominator = 4;
  if (grid.dimension <= kernels::prune_early_checks || distances_wrap(grid)) return false;
  if (!(radius > 0.0)) return true;
  const std::uint64_t rows = 2 * std::uint64_t{reach_within(grid.map_rows, radius)} + 1;
  return rows * grid.map_cols * largest_share_denominator <= grid.neurons;
}

}  // namespace

epoch_plan plan_epoch(const epoch_facts& facts) {
  using kernels::search_mode;
  using kernels::subnormal_mode;
  const weight_grid& grid = facts.grid;
  epoch_plan plan;
  plan.learning_rate = facts.learning_rate;
  plan.radius = facts.radius;
  plan.updates = facts.radius > 0.0;
  plan.whole_grid = distances_wrap(grid);
  if (plan.updates && !plan.whole_grid) {
    plan.reach = reach_within(grid.map_rows, facts.radius);
    plan.col_reach = reach_within(grid.map_cols, facts.radius);
  }
  // The blocked search falls back on the pruned one where it cannot run.
  const bool pruned = facts.search == search_mode::pruned || facts.search == search_mode::blocked ||
                      (facts.search == search_mode::automatic && prunes(grid, facts.radius));
  plan.search = pruned ? kernels::epoch_search::pruned : kernels::epoch_search::fused;
  // The cheap tests first: on most processors the weights are never looked at.
  plan.tame = facts.subnormals != subnormal_mode::plain &&
              (facts.subnormals == subnormal_mode::tame ||
               (kernels::subnormals_slow() && kernels::has_subnormal(grid))) &&
              kernels::tame_is_exact(facts.samples, facts.learning_rate);
  // The blocked search by itself where the pruned search would run
  // (measured faster on one thread than the pruned search on two, from
  // dimension 2 to 64: see docs/performance.md), but not where subnormal
  // weights are kept out of the arithmetic (it has no such build).
  const bool wanted = facts.search == search_mode::blocked ||
                      (facts.search == search_mode::automatic && pruned && !plan.tame);
  plan.blocked = wanted && !plan.whole_grid &&
                 blocked_layout::suits(grid, facts.samples.count, facts.learning_rate);
  plan.threads = facts.threads == 0 ? 1 : facts.threads;
  plan.lane_masks = plan.updates && !plan.whole_grid;
  return plan;
}

kernels::epoch_args epoch_args_for(const epoch_plan& plan, const sample_matrix& samples,
                                   weight_grid& grid, const assignment* previous) {
  kernels::epoch_args args;
  args.epoch.samples = samples.block;
  args.epoch.count = samples.count;
  args.epoch.dimension = grid.dimension;
  args.epoch.block = grid.block;
  args.epoch.map_rows = grid.map_rows;
  args.epoch.map_cols = grid.map_cols;
  args.slice.tile_end = grid.tiles;
  args.epoch.learning_rate = plan.learning_rate;
  args.epoch.radius = plan.radius;
  args.epoch.updates = plan.updates;
  args.epoch.whole_grid = plan.whole_grid;
  args.epoch.reach = plan.reach;
  args.epoch.col_reach = plan.col_reach;
  args.epoch.search = plan.search;
  args.epoch.previous = previous;
  args.epoch.tame = plan.tame;
  if (plan.search == kernels::epoch_search::pruned) {
    // 1 + 4 × dimension × 2^-53, exact in a double for any 32-bit dimension.
    args.epoch.prune_widening = 1.0 + static_cast<double>(grid.dimension) * 0x1p-51;
  }
  return args;
}

}  // namespace som
