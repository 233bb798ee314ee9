// Reading the saved map at the start of a run: vahy.bin, and with it the
// assignments of vystup.txt; without a vahy.bin, random starting weights.
#pragma once

#include <cstdio>
#include <string>

#include "common/random.hpp"
#include "som/map_storage.hpp"

namespace som {

// Fills the grid from vahy.bin and then the assignments from vystup.txt.
// When there is no vahy.bin, says so on the console, fills the grid with
// random weights and leaves the assignments at zero. Returns the message of
// a failure, or nothing: a vahy.bin that is there but cannot be opened, one
// short, long or unreadable, a vystup.txt that cannot be read or lacks a
// record.
std::string load_saved_map(weight_grid& grid, assignment_table& assignments, random_generator& gen,
                           std::FILE* console);

}  // namespace som
