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

// Takes the folder's lock into `lock`. False after a message on the console
// when another run holds it, or "Soubor som_train.zamek se nepodarilo
// otevrit." when it cannot be opened.
bool take_run_lock(native_lock& lock, std::FILE* console);

// Whether a run holds the lock of the working folder now (som_report).
lock_state run_lock_state();

// For a reader of the saved map (som_report, som_map): takes the folder's
// lock shared into `lock`, so that no run can start, and so none can save,
// while the map is read; other readers may hold it at the same time. Says
// what it found: free when the lock is now held here; held when a run holds
// it (nothing is held here); no_file when there is no lock file and `create`
// is false, or none can be made (a folder no run can lock either);
// unknown when the file is there but cannot be opened or locked.
lock_state take_reader_lock(native_lock& lock, bool create);

// The lock of take_reader_lock, held for as long as this lives.
class reader_lock {
 public:
  explicit reader_lock(bool create) : state_(take_reader_lock(lock_, create)) {}
  ~reader_lock() { release_file_lock(lock_); }
  reader_lock(const reader_lock&) = delete;
  reader_lock& operator=(const reader_lock&) = delete;

  lock_state state() const { return state_; }

 private:
  native_lock lock_;
  lock_state state_;
};

}  // namespace som
