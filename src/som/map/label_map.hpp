// The training samples' labels (popisky.txt) on the map: each neuron's most
// frequent label among the samples vystup.txt assigns to it, how strongly it
// leads there, and per label how many of its samples sit on neurons it leads
// (the map's purity: a map that has learnt what the labels say keeps each
// label on neurons of its own). And the label that a new sample falling on
// each neuron is given, the same rule for som_report and som_map.
//
// Labels are numbers here: 0 for the label most frequent in the whole file,
// equal counts in the order of first appearance (formats/labels_file.hpp
// numbers them so).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "som/map/map_storage.hpp"

namespace som {

// A sample without a label; a neuron without a labelled sample.
inline constexpr std::uint32_t no_label = 0xFFFFFFFFu;

struct label_map {
  // Per neuron, row-major: the most frequent label of its labelled samples
  // (equal counts go to the label more frequent in the whole file, the lower
  // number), or no_label for a neuron without labelled samples.
  std::vector<std::uint32_t> majority;
  // That label's share of the neuron's labelled samples (0 without any).
  std::vector<double> share;
  // Per label: those of its samples on neurons where it is the majority.
  std::vector<std::uint32_t> on_majority;
  std::uint64_t labelled = 0;          // samples with a label
  std::uint64_t labelled_on_majority = 0;
};

// `of_sample` holds each sample's label (below `label_count`, or no_label),
// one per assignment; every assignment must lie inside the map.
label_map map_labels(std::uint32_t map_rows, std::uint32_t map_cols,
                     const assignment_table& assignments,
                     const std::vector<std::uint32_t>& of_sample, std::size_t label_count);

struct unit_label {
  std::uint32_t label = no_label;
  // The neuron has no labelled training sample: the label is that of the
  // nearest neuron that has one.
  bool borrowed = false;
  bool operator==(const unit_label&) const = default;
};

// Per neuron, row-major, the label of a new sample that falls on it: the
// neuron's majority label; for a neuron without labelled samples, the
// majority label of the nearest neuron with one in weight space, by
// find_bmu's rule with those neurons as the map (the squared Euclidean
// distance over the components in order, the first in row-major order among
// equal distances, none at a distance that is not below the largest double).
// no_label where there is no such neuron. The grid is in the plain layout.
std::vector<unit_label> unit_labels(const weight_grid& grid, const label_map& labels);

}  // namespace som
