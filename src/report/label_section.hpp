// The page's section on the labels of popisky.txt: the map in the colour of
// each neuron's majority label, its legend, and the purity per label.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/labels_file.hpp"
#include "report/html_text.hpp"
#include "report/png_image.hpp"
#include "som/map/label_map.hpp"

namespace som {

// The most labels with a colour of their own; the rest share one, "jine".
inline constexpr std::uint32_t max_label_colours = 20;

// The colour of a label (its place in sample_labels::names): the twenty
// most frequent have colours of their own, the others the grey of "jine".
rgb label_colour(std::uint32_t label);
// A small square in that colour, before a label's name.
std::string label_swatch(std::uint32_t label);

// The legend of the label colours: the labels that have a colour of their
// own, in natural order (common/natural_order.hpp), then "jine" where there are
// more labels.
std::string label_legend(const sample_labels& labels);

// The section (one picture with one pixel per neuron) for a map of
// `map_side` pixels on its longer side; `overlay` is drawn over the picture
// (the clusters' borders).
std::string label_section(const label_map& map, const sample_labels& labels,
                          std::uint32_t map_rows, std::uint32_t map_cols, double map_side,
                          const std::string& overlay = {});

}  // namespace som
