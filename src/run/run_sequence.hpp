// One training run: parameters, samples, starting map, training, results.
#pragma once

namespace som {

inline constexpr const char* training_log_file_name = "trenovani.txt";

// Performs one run in the working directory and returns the exit status.
int run_sequence();

}  // namespace som
