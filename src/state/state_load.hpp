// Reading the saved map at the start of a run: vahy.bin, and with it the
// assignments of vystup.txt; without a vahy.bin, random starting weights.
#pragma once

#include <cstdint>
#include <optional>

#include "common/failure.hpp"
#include "common/random.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// Where the starting map came from: the saved files, or random weights for
// want of a vahy.bin.
enum class map_origin { saved, random };

// Fills the grid from vahy.bin and then the assignments from vystup.txt.
// When there is no vahy.bin, fills the grid with random weights, leaves the
// assignments at zero and sets `origin` to random (the run says so). Returns
// a failure: a vahy.bin that is there but cannot be opened, one short, long
// or unreadable, a vystup.txt that cannot be read or lacks a record; none
// when the map is there to train.
failure load_saved_map(weight_grid& grid, assignment_table& assignments, random_generator& gen,
                       map_origin& origin);

// After a saved map was loaded: the Krok that konecne_parametry.txt (saved
// with the map, as one set) begins with, when it is other than `setup_Krok`;
// nothing when they agree, or the file is not there or does not begin with
// a number. Such a run may be meant (training part of a schedule again), so
// the run warns rather than refuses.
std::optional<std::uint32_t> saved_Krok_if_other(std::uint32_t setup_Krok);

}  // namespace som
