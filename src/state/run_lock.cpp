#include "state/run_lock.hpp"

#include <chrono>
#include <thread>

#include "common/file_names.hpp"
#include "common/messages.hpp"

namespace som {

namespace {

// som_report looks at the lock by taking a shared lock for an instant (the
// system has no other way to ask on Windows): a lock found held is tried
// again for a little while before the run gives up.
constexpr int lock_tries = 20;
constexpr auto between_tries = std::chrono::milliseconds(10);

}  // namespace

bool take_run_lock(native_lock& lock, std::FILE* console) {
  for (int attempt = 1;; ++attempt) {
    switch (take_file_lock(run_lock_file_name, lock)) {
      case lock_result::taken: return true;
      case lock_result::failed:
        print(console, open_failed_message(run_lock_file_name));
        return false;
      case lock_result::held_elsewhere: break;
    }
    if (attempt == lock_tries) {
      print_line(console, run_elsewhere_text);
      return false;
    }
    std::this_thread::sleep_for(between_tries);
  }
}

lock_result try_run_lock(native_lock& lock) {
  for (int attempt = 1;; ++attempt) {
    const lock_result result = take_file_lock(run_lock_file_name, lock);
    if (result != lock_result::held_elsewhere || attempt == lock_tries) return result;
    std::this_thread::sleep_for(between_tries);
  }
}

lock_state run_lock_state() { return look_at_file_lock(run_lock_file_name); }

}  // namespace som
