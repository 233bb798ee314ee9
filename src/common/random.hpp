// The run's pseudo-random generator: the linear congruential generator of the
// Windows C runtime, kept in our own code so that a recorded seed gives the
// same sequence (and so the same starting map) on every platform.
#pragma once

#include <cstdint>

namespace som {

struct random_generator {
  std::uint32_t state = 1;
};

inline void seed_random(random_generator& gen, std::uint32_t seed) { gen.state = seed; }

// Returns the next draw, an integer from 0 to 32767.
inline std::uint32_t draw_random(random_generator& gen) {
  gen.state = gen.state * 214013u + 2531011u;
  return (gen.state >> 16) & 0x7FFFu;
}

}  // namespace som
