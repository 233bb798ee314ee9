// The order in which the pruned search screens the components.
#pragma once

#include <cstdint>

#include "som/map/map_storage.hpp"

namespace som::kernels {

// Puts the components in `order` (dimension entries) by how much the
// neurons differ in them, the most first: the variance of the component over
// the grid (one that is not a number counts as none), ties in component
// order. Any order gives the same results; this one lets the pruned search
// drop tiles soonest.
void order_components(const weight_grid& grid, std::uint32_t* order);

}  // namespace som::kernels
