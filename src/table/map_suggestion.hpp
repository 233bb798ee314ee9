// The setup suggested for a new map of the data:
//
// - the number of neurons by the SOM Toolbox's rule, M = ceil(5 N^0.54321)
//   for N samples; the sides in the ratio r = sqrt(l1 / l2) of the two
//   largest principal variances of the scaled data (r = 1 when l1 is 0, when
//   there is one component, or when l2 M < l1), map_cols = min(M,
//   round(sqrt(M / r))), map_rows = round(M / map_cols) (the longer side);
// - stop_radius 1, Krok 0, seed 0;
// - radius_decay the smallest whole number (at least 1) whose schedule has
//   at least 500 sample steps per neuron (epochs × N >= 500 M, Kohonen's
//   rule of thumb for the number of steps);
// - rate_decay the smallest whole number (at least 1) whose learning rate in
//   the last epoch, 1 / (T / rate_decay + 1), is at least 0.02.
#pragma once

#include <cstdint>

#include "formats/setup_file.hpp"

namespace som {

struct map_suggestion {
  setup_params setup;
  std::uint32_t neurons_wanted = 0;  // M
  double side_ratio = 1.0;           // r
  std::uint64_t epochs = 0;          // T, from Krok 0
  std::uint64_t sample_steps = 0;    // T × N
  double last_rate = 1.0;            // the learning rate of the last epoch
};

// For `samples` samples of `dimension` components, whose two largest
// principal variances are `first` and `second` (0 and 0 when unknown).
map_suggestion suggest_map(std::uint32_t samples, std::uint32_t dimension, double first,
                           double second);

}  // namespace som
