#include "report/run_phase.hpp"

#include <filesystem>
#include <string>
#include <system_error>

#include "report/progress.hpp"
#include "state/run_lock.hpp"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace som {

namespace {

// The time and size of a file, every file's from the same clock. Windows
// keeps a copy of both in the folder, which lags while another process still
// writes the file: for such a file (`being_written`) they are asked through
// a handle of its own, opened with every kind of sharing, so that the writer
// is never in the way; the others are read from the folder without opening
// them (som_train must be able to rename its new files over them).
file_stamp stamp_of(const char* name, bool being_written) {
  file_stamp stamp;
#ifdef _WIN32
  const std::wstring wide = std::filesystem::path(name).wstring();
  FILETIME written{};
  DWORD size_high = 0;
  DWORD size_low = 0;
  if (being_written) {
    const HANDLE file = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return stamp;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!ok) return stamp;
    written = info.ftLastWriteTime;
    size_high = info.nFileSizeHigh;
    size_low = info.nFileSizeLow;
  } else {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &info)) return stamp;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return stamp;
    written = info.ftLastWriteTime;
    size_high = info.nFileSizeHigh;
    size_low = info.nFileSizeLow;
  }
  stamp.present = true;
  stamp.time = static_cast<std::int64_t>((std::uint64_t{written.dwHighDateTime} << 32) |
                                         written.dwLowDateTime);
  stamp.size = (std::uintmax_t{size_high} << 32) | size_low;
  return stamp;
#else
  (void)being_written;
  std::error_code error;
  const auto time = std::filesystem::last_write_time(name, error);
  if (error) return stamp;
  const std::uintmax_t size = std::filesystem::file_size(name, error);
  if (error) return stamp;
  stamp.present = true;
  stamp.time = static_cast<std::int64_t>(time.time_since_epoch().count());
  stamp.size = size;
  return stamp;
#endif
}

}  // namespace

folder_stamp stamp_folder() {
  folder_stamp stamp;
  // The lock and the record first: a save that starts after this look
  // changes the times below, and so the next look.
  stamp.lock = run_lock_state();
  stamp.save_record = find_file(save_record_file_name) != file_presence::absent;
  stamp.log = stamp_of(training_log_file_name, true);
  for (std::size_t i = 0; i < saved_map_file_names.size(); ++i)
    stamp.map[i] = stamp_of(saved_map_file_names[i], false);
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
