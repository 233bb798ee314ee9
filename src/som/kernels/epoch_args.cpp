#include "som/kernels/epoch_args.hpp"

#include <cmath>

namespace som::kernels {

epoch_args make_epoch_args(const sample_matrix& samples, weight_grid& grid, double learning_rate,
                           double radius) {
  epoch_args args;
  args.samples = samples.block;
  args.count = samples.count;
  args.dimension = grid.dimension;
  args.block = grid.block;
  args.map_rows = grid.map_rows;
  args.map_cols = grid.map_cols;
  args.tile_end = grid.tiles;
  args.learning_rate = learning_rate;
  args.radius = radius;
  args.updates = radius > 0.0;
  const std::uint64_t far_row = grid.map_rows - 1u;
  const std::uint64_t far_col = grid.map_cols - 1u;
  args.whole_grid = (far_row >= 65536 || far_col >= 65536 ||
                     far_row * far_row + far_col * far_col >= (std::uint64_t{1} << 32));
  if (args.updates && !args.whole_grid) {
    // The farthest row distance d that can still be updated: d² < R, since
    // every neuron of a row d away is at least d² away. Rows beyond are
    // never walked; the exact test per neuron stays in the kernel.
    const double root = std::floor(std::sqrt(radius));
    std::uint64_t d = root >= static_cast<double>(grid.map_rows)
                          ? grid.map_rows
                          : static_cast<std::uint64_t>(root) + 1u;
    while (d > 0 && !(static_cast<double>(d * d) < radius)) --d;
    args.reach = static_cast<std::uint32_t>(d);
  }
  return args;
}

}  // namespace som::kernels
