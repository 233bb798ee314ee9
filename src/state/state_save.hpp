// Saving the map: vystup.txt, konecne_parametry.txt and vahy.bin replace the
// previous three together or not at all, whether the save fails or the
// process dies (or the power goes) at any instant.
//
// The save, step by step (each "sync" forces data or names to disk):
//  1. Each name is checked in order as opening it for writing would be (a
//     link is followed to its target), and its temporary file, <target>.tmp,
//     is created beside the target, new (whatever had that name is
//     removed). The first failure ends the save (open_failed of its name)
//     and nothing else is touched.
//  2. The three new files are written and synced; then their folders.
//  3. The record ukladani.txt (formats/save_record.hpp) is written and synced,
//     with its folder.
//  4. vystup.txt and vahy.bin are renamed to <target>.predchozi (then their
//     folders synced), and their new files renamed into place.
//  5. The new konecne_parametry.txt is renamed into place: from this moment
//     the new files are the saved map. The folders are synced.
//  6. The .predchozi files and the record are removed.
// A failure in steps 4 and 5 (or the sync after them) puts the previous
// files back, removes the temporary files and the record, and returns the
// failing step's failure. After a crash the next run's recovery
// (state/state_recovery.hpp) finishes or undoes the save.
#pragma once

#include <cstdint>

#include "common/failure.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// Saves the three state files of a finished run. On failure returns what
// failed (open_failed or close_failed of a file, or write_failed for the
// values of vahy.bin), with the previous files in place; none when saved.
failure save_state(const assignment_table& assignments, std::uint32_t Krok, std::uint32_t seed,
                   std::uint32_t Rozdil, const weight_grid& grid);

}  // namespace som
