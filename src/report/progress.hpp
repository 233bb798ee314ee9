// How far a run in progress has got: the epochs its log holds against the
// epochs its schedule gives it.
//
// A run starts at the Krok of setup.txt and trains until the first epoch
// whose squared radius R is not above stop_radius, so the number of its
// epochs is known before it starts; the log holds one line per epoch done.
#pragma once

#include <cstdint>
#include <string>

#include "formats/training_log.hpp"
#include "formats/setup_file.hpp"

namespace som {

// The epochs of a run with this setup, from its first epoch (t = Krok + 1,
// wrapping after 4294967295 to 0) to the first whose R is not above
// stop_radius, both included; at most 2^32. 0 when R never falls that far
// (such a run is refused before it starts).
std::uint64_t epochs_in_run(const setup_params& setup);

struct run_progress {
  std::uint64_t done = 0;   // K: epochs in the log
  std::uint64_t total = 0;  // N: epochs of the whole run; 0 when it would never end
  // The log's Radius values are those of the setup's schedule (the first and
  // the last epoch are checked); false when setup.txt was changed after the
  // run started, so that `total` may not be this run's.
  bool log_fits_setup = true;
};

run_progress progress_of(const setup_params& setup, const training_log& log);

// Thousandths of the run done, rounded down (1000 only when done >= total).
std::uint64_t progress_per_mille(const run_progress& progress);

// "Epocha K z N (P %)", P with one decimal, rounded down; "Epocha K" when the
// total is unknown.
std::string progress_text(const run_progress& progress);

}  // namespace som
