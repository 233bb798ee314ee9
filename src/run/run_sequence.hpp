// One training run: parameters, samples, starting map, training, results.
#pragma once

#include "som/training/train_map.hpp"

namespace som {

// Performs one run in the working directory and returns the exit status.
int run_sequence();

// The same run with the given engine (the reference build trains with the
// plain loops); every engine writes the same files.
int run_sequence(const training_engine& engine);

}  // namespace som
