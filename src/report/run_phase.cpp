#include "report/run_phase.hpp"

#include <string>

#include "report/progress.hpp"
#include "state/run_lock.hpp"

namespace som {

folder_stamp stamp_folder() { return stamp_folder(run_lock_state()); }

folder_stamp stamp_folder(lock_state lock) {
  folder_stamp stamp;
  // The lock and the record first: a save that starts after this look
  // changes the times below, and so the next look.
  stamp.lock = lock;
  stamp.save_record = find_file(save_record_file_name) != file_presence::absent;
  stamp.log = stamp_file(training_log_file_name, true);
  for (std::size_t i = 0; i < saved_map_file_names.size(); ++i)
    stamp.map[i] = stamp_file(saved_map_file_names[i], false);
  return stamp;
}

folder_times times_of(const folder_stamp& stamp) {
  folder_times out;
  out.log_present = stamp.log.present;
  bool any = false;
  std::int64_t oldest = 0;
  for (std::size_t i = 0; i < stamp.map.size(); ++i) {
    if (!stamp.map[i].present) {
      out.missing_map_files.push_back(saved_map_file_names[i]);
    } else if (!any || stamp.map[i].time < oldest) {
      oldest = stamp.map[i].time;
      any = true;
    }
  }
  if (out.log_present && out.missing_map_files.empty()) {
    const std::int64_t log = stamp.log.time;
    out.log_against_map = log < oldest    ? folder_times::order::older
                          : log == oldest ? folder_times::order::same
                                          : folder_times::order::newer;
  }
  return out;
}

bool run_in_progress(const folder_times& times, std::uint64_t logged_epochs,
                     const setup_params& setup, std::uint32_t saved_Krok) {
  if (!times.missing_map_files.empty()) return true;
  switch (times.log_against_map) {
    case folder_times::order::older: return false;
    case folder_times::order::newer: return true;
    case folder_times::order::same: break;
  }
  const bool all_epochs = logged_epochs == epochs_in_run(setup);
  const bool saved_at_end = saved_Krok == static_cast<std::uint32_t>(setup.Krok + logged_epochs);
  return !(all_epochs && saved_at_end);
}

bool run_in_progress(lock_state lock, const folder_times& times, std::uint64_t logged_epochs,
                     const setup_params& setup, std::uint32_t saved_Krok) {
  switch (lock) {
    case lock_state::held: return true;
    case lock_state::free: return !times.missing_map_files.empty();
    case lock_state::no_file:
    case lock_state::unknown: break;
  }
  return run_in_progress(times, logged_epochs, setup, saved_Krok);
}

}  // namespace som
