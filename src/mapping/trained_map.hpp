// The trained map that som_map places new samples on, read from the working
// folder without changing it: never a file of the saved map, never a map in
// the middle of a save.
#pragma once

#include <string>
#include <vector>

#include "formats/labels_file.hpp"
#include "formats/setup_file.hpp"
#include "som/map/label_map.hpp"
#include "som/map/map_storage.hpp"
#include "state/map_reading.hpp"
#include "state/run_lock.hpp"

namespace som {

// Checks the folder's lock (taken shared by the caller, the lock file made
// when it is missing, as som_train makes it) before the map is read: a run
// that holds it may save a new map at any moment, and a save record with no
// run means the saved files may be a mix of two maps. Returns the refusal,
// ending in a line end, or nothing.
std::string check_map_at_rest(const reader_lock& lock);

struct trained_map {
  setup_params setup;
  owned_grid grid;  // plain layout
  // popisky.txt, where it is there, with each neuron's label for a new
  // sample (from the assignments of vystup.txt).
  sample_labels labels;
  std::vector<unit_label> neuron_labels;
  // sloupce.txt, where it is there: new samples then come as tables.
  data_columns columns;
};

// Reads setup.txt and vahy.bin (exactly the sizes' length) and, where
// popisky.txt is there, data.txt's samples (counted, and checked as som_train
// checks them), vystup.txt (one record per sample, inside the map) and
// popisky.txt (one line per sample), and sloupce.txt where it is there
// (one line per component), with the refusals of som_report.
// Returns the refusal, ending in a line end, or nothing.
std::string read_trained_map(trained_map& map);

}  // namespace som
