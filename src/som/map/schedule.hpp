// The schedule of the training loop: learning rate and squared neighbourhood
// radius as functions of the step counter.
#pragma once

#include <cstdint>

namespace som {

// The learning rate α and the squared neighbourhood radius R of one epoch.
struct epoch_schedule {
  double learning_rate;
  double radius;
};

// S = map_rows² + map_cols², in wrapping 32-bit arithmetic, as a double.
double squared_map_size(std::uint32_t map_rows, std::uint32_t map_cols);

// α and R for the epoch whose advanced step counter is t. When t and a decay
// are both 0, t / decay is taken as 0 (α = 1, R = S) instead of NaN.
epoch_schedule schedule_at(std::uint32_t t, double radius_decay, double rate_decay,
                           double squared_size);

// False when R stays above `stop_radius` for every step counter, so that
// training would never end. R never rises with t (every step of its formula
// is monotone), so it is enough to look at the largest t.
bool training_can_end(std::uint32_t map_rows, std::uint32_t map_cols, std::uint32_t radius_decay,
                      std::uint32_t stop_radius);

// The epochs of a run from step counter Krok (its first epoch has t = Krok
// + 1, wrapping after 4294967295 to 0) to the first whose R is not above
// stop_radius, both included; at most 2^32. 0 when R never falls that far.
std::uint64_t epochs_in_run(std::uint32_t map_rows, std::uint32_t map_cols,
                            std::uint32_t radius_decay, std::uint32_t stop_radius,
                            std::uint32_t Krok);

}  // namespace som
