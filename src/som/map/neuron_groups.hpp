// The neurons of a trained map filed for the lane searches of
// best_two_lanes.hpp: in groups of neurons that lie near each other, each
// group with a centre and bounds on how far its neurons lie from it, and
// within a group in tiles of eight, component k of a tile's eight neurons in
// eight consecutive doubles, so that a vector register measures eight
// neurons at once.
//
// Of neurons with equal weights (the same bits) only the first two in
// row-major order are filed: the others have the same distance to every
// sample and come later, so they are never among the best two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "som/map/map_storage.hpp"

namespace som {

// The neurons of a tile.
inline constexpr std::uint32_t group_lanes = 8;

// The neuron of a lane that holds no neuron (its weights repeat another
// lane's, so that it never changes which tiles a search drops).
inline constexpr std::uint32_t no_neuron_here = 0xFFFFFFFFu;

// Weights and samples of magnitude up to this (and finite) keep every
// squared distance and every bound of best_two_lanes.hpp finite.
inline constexpr double largest_bounded_value = 0x1p480;

// What the searches read: plain pointers and counts (the per-instruction-set
// code uses nothing of the standard library). Every array of doubles that a
// vector loads is aligned to 64 bytes.
struct neuron_lanes {
  std::uint32_t dimension = 0;
  std::uint32_t map_cols = 0;
  std::uint32_t neurons = 0;  // of the map, filed or not
  std::uint32_t tiles = 0;
  std::uint32_t groups = 0;
  std::uint32_t centre_tiles = 0;  // groups / 8, rounded up
  // Every weight is finite and at most largest_bounded_value in magnitude:
  // the groups' bounds hold, and the tiles hold the components in `order`.
  // Otherwise the tiles hold them in their own order and every tile is
  // measured, each lane summing in component order as the plain search.
  bool bounded = false;
  const double* plain = nullptr;           // the grid's weights, row-major
  const std::uint32_t* order = nullptr;    // dimension: the tiles' components
  const double* weights = nullptr;         // tiles × dimension × 8
  const std::uint32_t* neurons_of = nullptr;  // tiles × 8: row-major numbers
  // Per tile: a bound from below on the distance of its lanes' weights to
  // their group's centre (the least of them), and one from above (the
  // largest). Within a group both grow from tile to tile.
  const double* near = nullptr;
  const double* far = nullptr;
  const std::uint32_t* first_tile = nullptr;  // groups + 1: group g's tiles
  const double* centres = nullptr;  // centre_tiles × dimension × 8, in `order`
  // Per group (centre_tiles × 8): the largest `far` of its tiles; -inf for
  // the lanes past the last group, which no search visits.
  const double* reach = nullptr;
  // The factors of the bounds: 1 + 4 (dimension + 8) 2^-53 and
  // 1 - 4 (dimension + 8) 2^-53.
  double above = 1.0;
  double below = 1.0;
};

// Doubles at an address that is a multiple of 64 bytes.
class aligned_doubles {
 public:
  void assign(std::size_t count, double value);
  double* data() { return at_; }
  const double* data() const { return at_; }

 private:
  std::vector<double> store_;
  double* at_ = nullptr;
};

class neuron_groups {
 public:
  // The grid in the plain layout, with at most no_neuron_here neurons,
  // which must stay as it is while this lives; its neurons in groups of
  // about `group_size`.
  neuron_groups(const weight_grid& grid, std::uint32_t group_size);
  neuron_groups(const neuron_groups&) = delete;
  neuron_groups& operator=(const neuron_groups&) = delete;

  const neuron_lanes& lanes() const { return lanes_; }

 private:
  neuron_lanes lanes_;
  aligned_doubles weights_, centres_, reach_;
  std::vector<std::uint32_t> order_, neurons_, first_tile_;
  std::vector<double> near_, far_;
};

// The group size that the finder files a map of `neurons` neurons in.
std::uint32_t default_group_size(std::size_t neurons);

}  // namespace som
