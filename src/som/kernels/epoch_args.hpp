// The arguments of one epoch for the kernels, as one thread alone would take
// them (all tiles); the trainer narrows them per thread.
#pragma once

#include "som/kernels/kernel.hpp"
#include "som/kernels/subnormals.hpp"
#include "som/map_storage.hpp"

namespace som::kernels {

// For a grid with weights (block not null) in tiles of tile_lanes lanes.
// `previous` holds each sample's winner of the last epoch. A pruned epoch
// still needs its `order` (see order_components). `subnormals` decides
// epoch_input::tame: by default, where this processor slows down for
// subnormals and some weight is one (and where that is exact).
epoch_args make_epoch_args(const sample_matrix& samples, weight_grid& grid,
                           const assignment* previous, double learning_rate, double radius,
                           search_mode mode, subnormal_mode subnormals = subnormal_mode::automatic);

// Puts the components in `order` (dimension entries) by how much the
// neurons differ in them, the most first: the variance of the component over
// the grid (one that is not a number counts as none), ties in component
// order. Any order gives the same results; this one lets the pruned search
// drop tiles soonest.
void order_components(const weight_grid& grid, std::uint32_t* order);

// Whether an epoch at this radius searches with the pruned search: where the
// dimension leaves a check before the last component and the rows that an
// update can reach hold at most a quarter of the grid's neurons.
bool prunes(const weight_grid& grid, double radius);

}  // namespace som::kernels
