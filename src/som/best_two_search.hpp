// The best and second-best units of many samples, found without measuring
// every neuron against every sample.
//
// The neurons are projected on a plane (two orthonormal directions) and
// filed into the cells of a rectangular grid laid over that plane. The
// distance between two vectors is never less than the distance between
// their projections, so a search that visits the cells in rings around a
// sample's own projection can skip every cell, and stop at every ring, that
// lies further away than the second-best unit found so far. The answers are
// exactly those of find_best_two: the distances are computed by the same
// function, ties go to the first neuron in row-major order, and the bounds
// leave room for the rounding of the projections. A map with a weight that is
// not finite, and a sample with such a component, are searched in full.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "som/best_two.hpp"
#include "som/map_storage.hpp"

namespace som {

struct neuron_index {
  std::array<std::vector<double>, 2> axes;  // orthonormal
  std::array<double, 2> low = {0.0, 0.0};   // the projections' lowest values
  std::array<double, 2> cell_size = {1.0, 1.0};
  std::array<std::uint32_t, 2> cells = {1, 1};
  std::array<double, 2> slack = {0.0, 0.0};  // room for the rounding of cell edges
  std::vector<std::uint32_t> cell_start;  // neurons of cell c: [cell_start[c], cell_start[c + 1])
  std::vector<std::uint32_t> neurons;     // ascending within each cell
  std::array<double, 2> key_error = {0.0,
                                     0.0};  // bounds on the rounding of any neuron's projections
  bool full_search = false;                 // a weight is not finite
};

// Files the neurons of the grid (plain layout) by their projections on
// `axes` (two orthonormal vectors of the grid's dimension), about three to
// a cell.
neuron_index index_neurons(const weight_grid& grid, const std::array<std::vector<double>, 2>& axes);

// What find_best_two(grid, sample) answers.
best_two find_best_two(const weight_grid& grid, const neuron_index& index, const double* sample);

}  // namespace som
