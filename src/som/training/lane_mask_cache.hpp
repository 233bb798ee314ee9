// For one thread on a small map: each winner's lane masks over the whole
// grid at the epoch's radius (bit l of a tile's byte: lane l is inside the
// radius), worked out by the kernel the first time the winner comes and
// reused after, and each neuron's position, which spares a division on the
// chain from one sample's winner to the next. The masks depend on the winner
// and the radius only, so they stay valid while the radius does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/owned_block.hpp"
#include "som/kernels/kernel.hpp"
#include "som/map/map_storage.hpp"

namespace som {

class lane_mask_cache {
 public:
  // Points `args` (a single thread's, over the whole grid) at the tables for
  // this grid and radius, emptied when the radius has changed; leaves them
  // null when the tables would be too large or cannot be allocated.
  void attach(const weight_grid& grid, double radius, kernels::epoch_args& args);

  // A byte per winner and tile pays while the table stays this small.
  static constexpr std::size_t largest_table = std::size_t{1} << 16;

 private:
  block_ptr<std::uint8_t> lane_masks_;
  block_ptr<std::uint8_t> known_;  // a winner's row of masks is filled
  block_ptr<grid_pos> positions_;
  std::size_t neurons_ = 0;
  std::size_t tiles_ = 0;
  std::uint32_t cols_ = 0;
  double radius_ = 0.0;
};

}  // namespace som
