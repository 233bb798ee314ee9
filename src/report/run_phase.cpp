#include "report/run_phase.hpp"

#include <filesystem>
#include <system_error>

#include "common/file_names.hpp"
#include "report/progress.hpp"

namespace som {

namespace {

// The time a file was last written; false when it is not there (or cannot
// be looked at, which comes to the same for the report).
bool last_written(const char* name, std::filesystem::file_time_type& time) {
  std::error_code error;
  time = std::filesystem::last_write_time(name, error);
  return !error;
}

}  // namespace

folder_times look_at_folder() {
  folder_times out;
  std::filesystem::file_time_type log_time;
  out.log_present = last_written(training_log_file_name, log_time);
  bool any = false;
  std::filesystem::file_time_type oldest;
  for (const char* name : {assignments_file_name, final_parameters_file_name, weights_file_name}) {
    std::filesystem::file_time_type time;
    if (!last_written(name, time)) {
      out.missing_map_files.push_back(name);
    } else if (!any || time < oldest) {
      oldest = time;
      any = true;
    }
  }
  if (out.log_present && out.missing_map_files.empty()) {
    out.log_against_map = log_time < oldest    ? time_order::older
                          : log_time == oldest ? time_order::same
                                               : time_order::newer;
  }
  return out;
}

namespace {

file_stamp stamp_of(const char* name) {
  file_stamp stamp;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(name, error);
  if (!error && last_written(name, stamp.time)) stamp.size = size;
  return stamp;
}

}  // namespace

folder_stamp stamp_folder() {
  folder_stamp stamp;
  stamp.log = stamp_of(training_log_file_name);
  for (const char* name : {assignments_file_name, final_parameters_file_name, weights_file_name})
    stamp.map.push_back(stamp_of(name));
  return stamp;
}

bool run_in_progress(const folder_times& times, std::uint64_t logged_epochs,
                     const setup_params& setup, std::uint32_t saved_Krok) {
  if (!times.missing_map_files.empty()) return true;
  switch (times.log_against_map) {
    case time_order::older: return false;
    case time_order::newer: return true;
    case time_order::same: break;
  }
  const bool all_epochs = logged_epochs == epochs_in_run(setup);
  const bool saved_at_end = saved_Krok == static_cast<std::uint32_t>(setup.Krok + logged_epochs);
  return !(all_epochs && saved_at_end);
}

}  // namespace som
