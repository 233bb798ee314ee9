// Reading the files that a finished training run leaves in its folder, with
// the run's own readers, and checking that they fit each other.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/byte_reader.hpp"
#include "run/setup_file.hpp"
#include "som/map_storage.hpp"

namespace som {

inline constexpr const char* training_log_name = "trenovani.txt";
inline constexpr const char* final_parameters_name = "konecne_parametry.txt";

// trenovani.txt: Rozdil and Radius of each epoch of the last run. A Radius
// that is not a number ("nan", "inf") is kept as NaN.
struct training_log {
  std::vector<std::uint32_t> Rozdil;
  std::vector<double> Radius;
};

// konecne_parametry.txt.
struct final_parameters {
  std::uint32_t Krok = 0;
  std::uint32_t seed = 0;
  std::uint32_t Rozdil = 0;
};

struct run_state {
  setup_params setup;
  sample_matrix samples;
  weight_grid grid;  // plain layout, lanes = 1
  assignment_table assignments;
  training_log log;
  final_parameters final;
};

// Reads the log after its header line. Returns false with a message (ending
// in a newline) when a line does not hold an epoch.
bool read_training_log(byte_reader& reader, training_log& log, std::string& message);

// Reads setup.txt (quietly), data.txt, vahy.bin, vystup.txt, trenovani.txt
// and konecne_parametry.txt from the working folder. On failure prints the
// message on the console and returns false; what was allocated is released
// by free_run in either case.
bool load_run(run_state& run, std::FILE* console);

void free_run(run_state& run);

}  // namespace som
