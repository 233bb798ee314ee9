// Reading the saved map at the start of a run: vahy.bin, and with it the
// assignments of vystup.txt; without a vahy.bin, random starting weights.
#pragma once

#include <cstdint>
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
// record. `continued`, when given, says whether the map came from the files.
std::string load_saved_map(weight_grid& grid, assignment_table& assignments, random_generator& gen,
                           std::FILE* console, bool* continued = nullptr);

// After a saved map was loaded: "Pozor: ulozena mapa skoncila na Kroku %u,
// setup.txt zacina na Kroku %u." as a line when konecne_parametry.txt (saved
// with the map, as one set) begins with a Krok other than `setup_Krok`;
// nothing when they agree, or the file is not there or does not begin with
// a number. Such a run may be meant (training part of a schedule again), so
// it is a warning, not a refusal.
std::string saved_Krok_warning(std::uint32_t setup_Krok);

}  // namespace som
