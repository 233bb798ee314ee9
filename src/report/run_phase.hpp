// Whether the working folder holds a finished run or one still training.
//
// A run holds the folder's lock (som_train.zamek) from before it reads
// data.txt to its end, so where there is a lock file, the lock alone tells.
// Folders without one (of an older som_train) are judged by the file times:
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

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/file_names.hpp"
#include "common/platform.hpp"
#include "formats/setup_file.hpp"

namespace som {

// The log and the files of the saved map: any change to the run's files
// changes it. Also whether a run holds the folder's lock, and whether the
// record of a save (ukladani.txt) is there: a save in progress, or one that
// was cut off.
struct folder_stamp {
  file_stamp log;
  std::array<file_stamp, 3> map;  // in the order of saved_map_file_names
  lock_state lock = lock_state::no_file;
  bool save_record = false;
  bool operator==(const folder_stamp&) const = default;
};

// Looks at the run's files in the working folder (their times and sizes
// only; the files of the saved map are never opened, so that som_train can
// always rename its new files over them), and at the lock.
folder_stamp stamp_folder();
// The same where the lock's state is known (the reader holds it, or has
// found it held).
folder_stamp stamp_folder(lock_state lock);

struct folder_times {
  bool log_present = false;
  // The files of the saved map that are not there, in the order they are saved.
  std::vector<std::string> missing_map_files;
  enum class order { older, same, newer };
  // The log against the oldest file of the saved map (when none is missing).
  order log_against_map = order::older;
};

folder_times times_of(const folder_stamp& stamp);

// Decides from the times and, where they are equal, from the content: the
// epochs in the log, the setup, and the Krok of konecne_parametry.txt.
bool run_in_progress(const folder_times& times, std::uint64_t logged_epochs,
                     const setup_params& setup, std::uint32_t saved_Krok);

// Where the folder has a lock file, a run is in progress exactly while it
// holds the lock (a run that stopped before it saved a map is shown as one in
// progress, having no other map to show); otherwise run_in_progress decides.
bool run_in_progress(lock_state lock, const folder_times& times, std::uint64_t logged_epochs,
                     const setup_params& setup, std::uint32_t saved_Krok);

// The record of a save is there and no run holds the lock: the save was cut
// off, and the saved map's files may be a mix of the old and the new ones
// until som_train has finished the save.
inline bool save_interrupted(const folder_stamp& stamp) {
  return stamp.save_record && stamp.lock != lock_state::held;
}

}  // namespace som
