// What som_map tells the user once zarazeni.txt is written: how many samples
// it placed, how well they fit the map, and with true labels how well the
// map labelled them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/placement_file.hpp"
#include "formats/placement_summary.hpp"

namespace som {

// A confusion matrix with more labels than this is not printed (it would
// not fit a console); zarazeni.txt holds it all.
inline constexpr std::size_t largest_printed_matrix = 30;

// The lines for the console, each ending in a line end. `input` is the file
// the samples came from, `map_rows` × `map_cols` the map's size, `clusters`
// how many clusters the neurons were put in (0 when none were asked for).
std::string placing_report(const placement_table& table, const placement_summary& summary,
                           const std::string& input, std::uint32_t map_rows,
                           std::uint32_t map_cols, std::uint32_t clusters);

}  // namespace som
