// The page's section on the labels of popisky.txt: the map in the colour of
// each neuron's majority label, its legend, and the purity per label.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/labels_file.hpp"
#include "som/label_map.hpp"

namespace som {

// The most labels with a colour of their own; the rest share one, "jine".
inline constexpr std::uint32_t max_label_colours = 20;

// The section (one picture with one pixel per neuron) for a map of
// `map_side` pixels on its longer side.
std::string label_section(const label_map& map, const sample_labels& labels,
                          std::uint32_t map_rows, std::uint32_t map_cols, double map_side);

// A label as HTML text: & < > " and ' escaped.
std::string html_text(std::string_view text);

}  // namespace som
