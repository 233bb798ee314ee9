// Whether the working folder holds a finished run or one still training.
//
// som_train rewrites trenovani.txt from its start and flushes a line after
// every epoch; only after the last epoch does it write the saved map
// (vystup.txt, konecne_parametry.txt and vahy.bin, each complete in a
// temporary file before it is renamed into place). So the log is newer than
// the saved map, or the map is missing, exactly while a run is training.
//
// File times have a resolution of their own (a few milliseconds on Linux,
// two seconds on FAT): the log's last line and the saved map of a short run
// can share a time stamp, and so can a new run's first lines and the
// previous run's map. Equal times are therefore decided by the content: the
// run is finished when its log holds all the epochs its setup gives, and the
// saved map's Krok is the one those epochs end at.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "run/setup_file.hpp"

namespace som {

enum class time_order { older, same, newer };

struct folder_times {
  bool log_present = false;
  // The files of the saved map that are not there, in the order they are saved.
  std::vector<std::string> missing_map_files;
  // The log against the oldest file of the saved map (when none is missing).
  time_order log_against_map = time_order::older;
};

// Looks at the files of the working folder (their times only).
folder_times look_at_folder();

// The time and size of a file (time and size 0 when it is not there).
struct file_stamp {
  std::filesystem::file_time_type time{};
  std::uintmax_t size = 0;
  bool operator==(const file_stamp&) const = default;
};

// The log and the files of the saved map: any change to the run's files
// changes it.
struct folder_stamp {
  file_stamp log;
  std::vector<file_stamp> map;
  bool operator==(const folder_stamp&) const = default;
};

folder_stamp stamp_folder();

// Decides from the times and, where they are equal, from the content: the
// epochs in the log, the setup, and the Krok of konecne_parametry.txt.
bool run_in_progress(const folder_times& times, std::uint64_t logged_epochs,
                     const setup_params& setup, std::uint32_t saved_Krok);

}  // namespace som
