// One epoch of training: every sample in order, its best-matching unit, the
// neighbourhood update and the change of its assignment.
#pragma once

#include <cstdint>

#include "som/map/map_storage.hpp"

namespace som {

// One epoch's pass over all samples with the plain loops, on a grid in the
// plain layout (lanes = 1). Returns the epoch's Rozdil.
std::uint32_t train_epoch_plain(const sample_matrix& samples, weight_grid& grid,
                                assignment* assignments, double learning_rate, double radius);

}  // namespace som
