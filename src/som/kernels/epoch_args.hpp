// The arguments of one epoch for the kernels, as one thread alone would take
// them (all tiles); the trainer narrows them per thread.
#pragma once

#include "som/kernels/kernel.hpp"
#include "som/map_storage.hpp"

namespace som::kernels {

// For a grid with weights (block not null) in tiles of tile_lanes lanes.
epoch_args make_epoch_args(const sample_matrix& samples, weight_grid& grid, double learning_rate,
                           double radius);

}  // namespace som::kernels
