// The labels of popisky.txt on the map: each neuron's most frequent label
// among the samples vystup.txt assigns to it, how strongly it leads there,
// and per label how many of its samples sit on neurons it leads (the map's
// purity: a map that has learnt what the labels say keeps each label on
// neurons of its own).
#pragma once

#include <cstdint>
#include <vector>

#include "formats/labels_file.hpp"
#include "som/map/map_storage.hpp"

namespace som {

struct label_map {
  // Per neuron, row-major: the most frequent label of its labelled samples
  // (equal counts go to the label more frequent in the whole file), or
  // no_label for a neuron without labelled samples.
  std::vector<std::uint32_t> majority;
  // That label's share of the neuron's labelled samples (0 without any).
  std::vector<double> share;
  // Per label (in the order of sample_labels::names): its samples, and
  // those of them on neurons where it is the majority.
  std::vector<std::uint32_t> on_majority;
  std::uint64_t labelled = 0;          // samples with a label
  std::uint64_t labelled_on_majority = 0;
};

// Every assignment must lie inside the map; labels.of_sample has one entry
// per assignment.
label_map map_labels(std::uint32_t map_rows, std::uint32_t map_cols,
                     const assignment_table& assignments, const sample_labels& labels);

}  // namespace som
