// Reading the files of a training run from its folder, with the run's own
// readers, and checking that they fit each other: the files of a finished
// run, or of one that is still training (see run_phase.hpp).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/final_parameters.hpp"
#include "formats/setup_file.hpp"
#include "formats/training_log.hpp"
#include "report/run_phase.hpp"
#include "som/map/map_storage.hpp"
#include "state/map_reading.hpp"

namespace som {

struct run_state {
  setup_params setup;
  owned_samples samples;
  training_log log;
  // False while the run is training: the log is still growing, and the saved
  // map below is the previous one (of an earlier run, or none).
  bool finished = true;
  // The record of a save is there and no run holds the lock: the save was
  // cut off, and only the log is read (has_map is false).
  bool save_interrupted = false;
  // The saved map: vahy.bin, vystup.txt and konecne_parametry.txt. Always
  // there when the run is finished; while it trains, there when all three
  // files are and fit the setup, otherwise `map_note` says why not.
  bool has_map = true;
  std::string map_note;
  owned_grid grid;  // plain layout, lanes = 1
  owned_assignments assignments;
  final_parameters saved;  // konecne_parametry.txt
};

// The bytes of the saved map's files (in the order of saved_map_file_names)
// and their times and sizes when they were read. A watch keeps them from one
// page to the next, so that it opens the files again only once they have
// changed.
struct saved_map_bytes {
  bool read = false;
  std::array<file_stamp, 3> stamp;
  bool ok = false;      // all three were read
  std::string message;  // otherwise, why not
  std::array<std::string, 3> bytes;
};

enum class load_result {
  loaded,       // `run` holds a finished run or one in progress
  not_started,  // neither a log nor a saved map: no run has begun training here
  failed,       // a message has been printed
};

// Reads setup.txt (quietly), data.txt, trenovani.txt and, where they are
// there, vahy.bin, vystup.txt and konecne_parametry.txt (through `map`) from
// the working folder. A finished run needs all of them to fit each other; a
// run in progress is read from its log's complete lines. While a run saves
// its map, or after a save that was cut off, the saved map is not read (its
// files may be a mix of two maps). On failure `message` says why, as a line
// for the console. What was allocated goes with `run`.
load_result load_run(run_state& run, std::string& message, saved_map_bytes& map);

// Frees the samples and the map before `run` goes (once the page is made).
void free_run(run_state& run);

}  // namespace som
