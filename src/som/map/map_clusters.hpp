// The map's neurons in a few regions: Ward's hierarchical clustering of their
// weights in which only clusters that touch on the grid (one step along a row
// or a column) may merge, so that every cluster is one connected region of
// the map. This is the second level of the two-level clustering of a
// self-organising map (Vesanto and Alhoniemi, 2000): the neurons stand for
// the samples, and their clusters for the data's.
//
// Every cluster starts as one neuron. Each step merges the two touching
// clusters whose merge adds the least to the sum of squared distances of
// the neurons' weights from their cluster's mean (Ward's criterion), until
// the asked number of clusters is left. Equal costs go to the pair whose
// first neurons come first in row-major order (the smaller first neuron of
// the two, then the other's): the result depends on the weights alone.
#pragma once

#include <cstdint>
#include <vector>

#include "som/map/map_storage.hpp"

namespace som {

// The cost of merging clusters a and b of `na` and `nb` neurons, given the
// means of their weights: na × nb / (na + nb) × |mean_a − mean_b|², the
// squared distance summed over the components in order, each operation one
// binary64 operation in the order written. A cost that is not a number (a
// weight that is not one) ranks after every number.
double merge_cost(const double* mean_a, std::uint32_t na, const double* mean_b, std::uint32_t nb,
                  std::uint32_t dimension);

// A cluster's mean: the sum of its neurons' weights / its neurons. The sum
// of a merged cluster is the sum of the two clusters' sums, component by
// component; a neuron's is its weights.

// Per neuron in row-major order, its cluster: 1 to `clusters`, numbered in
// the order of their first neurons in row-major order (the cluster of neuron
// (0, 0) is 1). `clusters` must lie between 1 and the neurons; the grid is in
// the plain layout (lanes = 1).
std::vector<std::uint32_t> map_clusters(const weight_grid& grid, std::uint32_t clusters);

}  // namespace som
