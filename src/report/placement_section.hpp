// zarazeni.txt on the page: where som_map placed new samples, as a hit map
// beside the training's, with how well they fit and, where the mapping had
// true labels, how many took the right one.
#pragma once

#include <cstdint>
#include <string>

#include "formats/placement_file.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// The section for a table read from zarazeni.txt; `training` are the
// assignments of vystup.txt. A table that does not fit the map (a neuron
// outside it: a mapping onto an earlier map) gets a note instead of the
// pictures.
std::string placement_section(const placement_table& table, const assignment_table& training,
                              std::uint32_t rows, std::uint32_t cols, double map_side);

// The section for a zarazeni.txt that cannot be read, or has a line that is
// not its format (`bad_line`, from 1; 0 when the file could not be read).
std::string unreadable_placements_section(std::uint64_t bad_line);

}  // namespace som
