// The best and second-best units of many samples through a k-d tree over the
// neurons' weights, for maps of few components.
//
// The grid index of best_two_search.hpp files the neurons by their
// projection on one plane; a map that lies folded or strung out across that
// plane (the early map of a large grid, after a first epoch with a radius
// over the whole map) crowds its neurons into few cells, and the search
// measures nearly all of them for every sample. The tree splits the neurons
// in their own space, along the component in which each group spreads the
// most, so that it always divides them, whatever shape the map has. A group
// is skipped when its bounding box lies further from the sample than the
// second-best unit found so far (a bound that holds with the rounding, see
// box_distance), and of neurons with equal weights only the first two in
// row-major order are measured, so the answers are exactly those of
// find_best_two: the distances are computed by the same function and ties go
// to the first neuron in row-major order.
#pragma once

#include <cstdint>
#include <vector>

#include "som/best_two.hpp"
#include "som/map_storage.hpp"

namespace som {

struct neuron_tree {
  struct node {
    std::uint32_t begin = 0, end = 0;  // its neurons: order[begin, end)
    std::uint32_t left = 0, right = 0;  // children; 0 for a leaf
  };
  std::uint32_t dimension = 0;
  std::vector<node> nodes;         // nodes[0] is the root
  std::vector<double> box;         // per node: dimension lows, then dimension highs
  std::vector<std::uint32_t> order;
  bool full_search = false;        // a weight is not finite, or no neuron
};

// The grid in the plain layout.
neuron_tree build_neuron_tree(const weight_grid& grid);

// What find_best_two(grid, sample) answers.
best_two find_best_two(const weight_grid& grid, const neuron_tree& tree, const double* sample);

}  // namespace som
