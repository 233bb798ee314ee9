// One run per folder. Two runs in one folder would share the names of the
// save's own files (<file>.tmp, <file>.predchozi, ukladani.txt), and one
// run's recovery would take the other's save in progress for an interrupted
// one: either way a saved map could be lost. So a run locks
// som_train.zamek before it reads data.txt and holds the lock to its end;
// the system releases it when the process ends, however it ends.
//
// The lock is the file that has the name: a lock file that someone removes
// while a run holds it ("a stale lock") would let the next run make a new
// one and lock that. So the run also locks the folder itself where the
// system can (take_folder_lock), and before its save it checks that the
// name still leads to the file it locked, locking the file at the name when
// it does not.
#pragma once

#include "common/failure.hpp"
#include "common/platform.hpp"

namespace som {

// What a run holds, and a reader: the lock file's lock and the folder's.
struct run_lock {
  native_lock file;
  native_lock folder;
};

// Takes the folder's lock into `lock`, trying again for a little while when
// it is held (som_report's look holds it for an instant): taken, held by
// another process all that time, or failed (the file cannot be opened).
lock_result try_run_lock(run_lock& lock);

// Takes the folder's lock into `lock`. Returns run_elsewhere when another
// run holds it, open_failed of som_train.zamek when it cannot be opened,
// none when taken.
failure take_run_lock(run_lock& lock);

// Makes sure that the lock held is on the file that has the lock's name now:
// when that file was removed or replaced, the file at the name is locked
// instead (made anew when missing). Returns run_lock_lost when another run
// holds that one, open_failed of som_train.zamek when it cannot be opened,
// none when the lock is held.
failure keep_run_lock(run_lock& lock);

// Whether a run holds the lock of the working folder now (som_report).
lock_state run_lock_state();

// For a reader of the saved map (som_report, som_map): takes the folder's
// lock shared, the lock file's and the folder's own, so that no run can
// start, and so none can save, while the map is read; other readers may
// hold it at the same time. Says what it found: free when the lock is now
// held here; held when a run holds it (nothing is held here), also a run
// whose lock file was removed; no_file when there is no lock file and
// `create` is false, or none can be made (a folder no run can lock either;
// the folder's lock is still held where the system has one); unknown when
// the file is there but cannot be opened or locked.
lock_state take_reader_lock(run_lock& lock, bool create);

// The lock of take_reader_lock, held for as long as this lives.
class reader_lock {
 public:
  explicit reader_lock(bool create) : state_(take_reader_lock(lock_, create)) {}
  ~reader_lock() {
    release_file_lock(lock_.file);
    release_file_lock(lock_.folder);
  }
  reader_lock(const reader_lock&) = delete;
  reader_lock& operator=(const reader_lock&) = delete;

  lock_state state() const { return state_; }

 private:
  run_lock lock_;
  lock_state state_;
};

}  // namespace som
