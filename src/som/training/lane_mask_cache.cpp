#include "som/training/lane_mask_cache.hpp"

#include <cstring>

namespace som {

void lane_mask_cache::attach(const weight_grid& grid, double radius, kernels::epoch_args& args) {
  const std::size_t neurons = grid.neurons;
  const std::size_t tiles = grid.tiles;
  if (neurons == 0 || tiles > largest_table / neurons) return;
  if (neurons != neurons_ || tiles != tiles_ || grid.map_cols != cols_) {
    lane_masks_ = acquire_array<std::uint8_t>(neurons * tiles);
    known_ = acquire_array<std::uint8_t>(neurons);
    positions_ = acquire_array<grid_pos>(neurons);
    if (lane_masks_ == nullptr || known_ == nullptr || positions_ == nullptr) {
      lane_masks_.reset();
      known_.reset();
      positions_.reset();
      neurons_ = 0;
      return;
    }
    for (std::size_t n = 0; n < neurons; ++n) {
      positions_[n] = grid_pos{static_cast<std::uint32_t>(n / grid.map_cols),
                               static_cast<std::uint32_t>(n % grid.map_cols)};
    }
    neurons_ = neurons;
    tiles_ = tiles;
    cols_ = grid.map_cols;
    std::memset(known_.get(), 0, neurons);
    radius_ = radius;
  }
  if (!(radius == radius_)) {
    std::memset(known_.get(), 0, neurons);
    radius_ = radius;
  }
  args.extras.lane_masks = lane_masks_.get();
  args.extras.masks_known = known_.get();
  args.extras.positions = positions_.get();
}

}  // namespace som
