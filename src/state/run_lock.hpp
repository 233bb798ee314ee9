// One run per folder. Two runs in one folder would share the names of the
// save's own files (<file>.tmp, <file>.predchozi, ukladani.txt), and one
// run's recovery would take the other's save in progress for an interrupted
// one: either way a saved map could be lost. So a run locks
// som_train.zamek before it reads data.txt and holds the lock to its end;
// the system releases it when the process ends, however it ends.
#pragma once

#include <cstdio>

#include "common/platform.hpp"

namespace som {

inline constexpr const char* run_elsewhere_text =
    "Ve slozce uz bezi jiny beh som_train, trenovani se neprovede.";

// Takes the folder's lock into `lock`, trying again for a little while when
// it is held (som_report's look holds it for an instant): taken, held by
// another process all that time, or failed (the file cannot be opened).
lock_result try_run_lock(native_lock& lock);

// Takes the folder's lock into `lock`. False after a message on the console
// when another run holds it, or "Soubor som_train.zamek se nepodarilo
// otevrit." when it cannot be opened.
bool take_run_lock(native_lock& lock, std::FILE* console);

// Whether a run holds the lock of the working folder now (som_report).
lock_state run_lock_state();

}  // namespace som
