#include "state/run_lock.hpp"

#include <chrono>
#include <thread>

#include "common/file_names.hpp"

namespace som {

namespace {

// som_report looks at the lock by taking a shared lock for an instant (the
// system has no other way to ask on Windows): a lock found held is tried
// again for a little while before the run gives up.
constexpr int lock_tries = 20;
constexpr auto between_tries = std::chrono::milliseconds(10);

// `take` tried until it gives something other than held_elsewhere, or for
// the last time.
template <typename Take>
lock_result with_retries(Take&& take) {
  for (int attempt = 1;; ++attempt) {
    const lock_result result = take();
    if (result != lock_result::held_elsewhere || attempt == lock_tries) return result;
    std::this_thread::sleep_for(between_tries);
  }
}

// The file's lock, then the folder's; nothing held unless both are taken.
lock_result take_both(run_lock& lock) {
  lock_result result = take_file_lock(run_lock_file_name, lock.file);
  if (result != lock_result::taken) return result;
  result = take_folder_lock(folder_of(run_lock_file_name), lock.folder);
  if (result != lock_result::taken) release_file_lock(lock.file);
  return result;
}

// A lock's result as a failure; `elsewhere` says what another run's lock
// means to the caller.
failure failure_of(lock_result result, failure_kind elsewhere) {
  switch (result) {
    case lock_result::taken: return {};
    case lock_result::held_elsewhere: return failure::of(elsewhere);
    case lock_result::failed: break;
  }
  return failure::of(failure_kind::open_failed, run_lock_file_name);
}

}  // namespace

lock_result try_run_lock(run_lock& lock) { return with_retries([&] { return take_both(lock); }); }

failure take_run_lock(run_lock& lock) {
  return failure_of(try_run_lock(lock), failure_kind::run_elsewhere);
}

failure keep_run_lock(run_lock& lock) {
  if (lock_is_at(lock.file, run_lock_file_name)) return {};
  native_lock at_name;
  const lock_result result =
      with_retries([&] { return take_file_lock(run_lock_file_name, at_name); });
  if (result == lock_result::taken) {
    release_file_lock(lock.file);
    lock.file = at_name;
  }
  return failure_of(result, failure_kind::run_lock_lost);
}

lock_state run_lock_state() {
  const lock_state file = look_at_file_lock(run_lock_file_name);
  if (file == lock_state::held) return file;
  // A run whose lock file was removed still holds the folder.
  return look_at_folder_lock(folder_of(run_lock_file_name)) == lock_state::held ? lock_state::held
                                                                                : file;
}

namespace {

// The lock file's part of a reader's lock.
lock_state take_reader_file_lock(native_lock& lock, bool create) {
  if (!create && find_file(run_lock_file_name) == file_presence::absent) return lock_state::no_file;
  switch (take_file_lock(run_lock_file_name, lock, lock_mode::shared)) {
    case lock_result::taken: return lock_state::free;
    case lock_result::held_elsewhere: return lock_state::held;
    case lock_result::failed: break;
  }
  return find_file(run_lock_file_name) == file_presence::absent ? lock_state::no_file
                                                                : lock_state::unknown;
}

}  // namespace

lock_state take_reader_lock(run_lock& lock, bool create) {
  const lock_state file = take_reader_file_lock(lock.file, create);
  if (file == lock_state::held) return file;
  // A run whose lock file was removed still holds the folder; where the
  // folder cannot be locked, the file's lock is all there is.
  if (take_folder_lock(folder_of(run_lock_file_name), lock.folder, lock_mode::shared) ==
      lock_result::held_elsewhere) {
    release_file_lock(lock.file);
    return lock_state::held;
  }
  return file;
}

}  // namespace som
