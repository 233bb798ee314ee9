// The arguments of one epoch for the kernels, as one thread alone would take
// them (all tiles); the trainer narrows them per thread.
#pragma once

#include "som/kernels/kernel.hpp"
#include "som/map_storage.hpp"

namespace som::kernels {

// For a grid with weights (block not null) in tiles of tile_lanes lanes.
// `previous` holds each sample's winner of the last epoch; `order`, with room
// for dimension entries, gets the order in which the pruned search screens
// the components.
epoch_args make_epoch_args(const sample_matrix& samples, weight_grid& grid,
                           const assignment* previous, double learning_rate, double radius,
                           search_mode mode, std::uint32_t* order);

// Whether an epoch at this radius searches with the pruned search: where the
// dimension leaves a check before the last component and the rows that an
// update can reach hold at most a quarter of the grid's neurons.
bool prunes(const weight_grid& grid, double radius);

}  // namespace som::kernels
