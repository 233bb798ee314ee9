// Recovery after a crash (the save's steps are in state/state_save.hpp):
// the next run calls recover_state before it reads the map. A record that
// cannot be read whole means nothing was replaced yet: the temporary files
// are removed. So does a record that names any file but the three that the
// save would replace now (the names, links followed): the recovery touches
// no file but those and their .tmp and .predchozi. Otherwise
// konecne_parametry.txt decides: holding the recorded new content, the
// remaining new files are moved into place; not, the previous ones are
// moved back. Either way the record goes last, so recovery cut short is
// simply done again. Since konecne_parametry.txt changes at the very moment
// the save takes effect, its first line always gives the Krok to continue
// from, even after a crash.
#pragma once

#include "common/failure.hpp"

namespace som {

// Completes or undoes a save that an earlier run left unfinished, and
// removes its leftovers. Returns open_failed of the file it could not put
// right when the files cannot be brought to one whole set (how reading the
// record failed, when it cannot be read); none when they are.
failure recover_state();

}  // namespace som
