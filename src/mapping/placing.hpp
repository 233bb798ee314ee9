// Where each new sample falls on the trained map: its best-matching and
// second-best neurons by the training's own rule, the distance, the label
// and the cluster of its neuron; the rows of zarazeni.txt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/placement_file.hpp"
#include "mapping/new_samples.hpp"
#include "mapping/trained_map.hpp"

namespace som {

// A label that zarazeni.txt cannot hold (a tab or a CR in it would split or
// end its line), among the map's labels and the samples' true labels, as a
// refusal ending in a line end; nothing when there is none.
std::string unwritable_label(const trained_map& map, const new_samples& input);

// One row per sample, in input order. The best-matching neuron is
// find_bmu's, bit for bit: the squared Euclidean distance over the
// components in order, the first in row-major order on ties (through a
// best_two_finder, which answers as the plain search does). The label
// columns are there where the map has popisky.txt, the cluster column where
// `clusters` (per neuron, from som/map/map_clusters.hpp) is not empty, the true
// labels where the input has them.
placement_table place_samples(const trained_map& map, const new_samples& input,
                              const std::vector<std::uint32_t>& clusters);

// Writes the table to zarazeni.txt in the working folder, through a
// temporary file renamed over it, so that an earlier zarazeni.txt is either
// kept whole or replaced whole. Returns the failure's message, ending in a
// line end, or nothing.
std::string save_placements(const placement_table& table);

}  // namespace som
