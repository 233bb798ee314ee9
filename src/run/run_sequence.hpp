// One training run: parameters, samples, starting map, training, results.
#pragma once

namespace som {

// Performs one run in the working directory and returns the exit status.
int run_sequence();

}  // namespace som
