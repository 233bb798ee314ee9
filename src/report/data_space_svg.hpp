// "Mapa v prostoru dat": the picture of a data_space_view.
//
// Three SVG paths, each a single element however large the map: the samples
// as round dots, the links of every neuron to its right and lower neighbour,
// and the neurons as round dots on top. Coordinates are whole quarters of a
// pixel written relative to the previous point, so that a neuron and its two
// links cost about a dozen bytes (a 200 x 200 map 0.6 to 1.1 MB in all).
#pragma once

#include <cstdint>
#include <string>

#include "formats/labels_file.hpp"
#include "report/data_space.hpp"

namespace som {

// A <figure> with the picture and a caption that says how the plane was
// chosen and which samples are drawn (of `sample_count`). With `labels`
// (popisky.txt, when present) the samples are drawn in their labels'
// colours, as on the map of the labels, with its legend: one path per
// colour, the most frequent label's first, so that the rarer ones stay in
// sight; samples of the labels beyond the twentieth in the grey of "jine",
// those without a label lighter; the neurons and their links then in black
// and grey.
std::string draw_data_space(const data_space_view& view, std::uint32_t map_rows,
                            std::uint32_t map_cols, std::uint32_t sample_count,
                            const sample_labels* labels = nullptr);

}  // namespace som
