// setup.txt as the tests write it, and the echo of it that every run prints
// first: the eight entries in order, each with its name as the comment.
#pragma once

#include <cstdint>
#include <string>

#include "support/program_runner.hpp"

namespace som_test {

struct setup_values {
  std::uint32_t map_rows = 2, map_cols = 2, dimension = 2, radius_decay = 1, rate_decay = 1,
                stop_radius = 2, Krok = 0, seed = 7;
};

namespace setup_detail {

inline constexpr const char* names[] = {
    "map_rows",   "map_cols",    "dimension", "radius_decay",
    "rate_decay", "stop_radius", "Krok",      "Seed for random number generator"};

inline std::string lines(const setup_values& v, const char* before) {
  const std::uint32_t values[] = {v.map_rows,   v.map_cols,    v.dimension, v.radius_decay,
                                  v.rate_decay, v.stop_radius, v.Krok,      v.seed};
  std::string out;
  for (int i = 0; i < 8; ++i) out += before + std::to_string(values[i]) + "\t" + names[i] + "\n";
  return host_lines(out);
}

}  // namespace setup_detail

// A map of rows × cols neurons that trains one epoch per run: both decays 1
// (S = 2 × rows × cols, R = S / (t + 1)) and stop_radius rows × cols. A test
// names its map once, `constexpr one_epoch_map one_epoch{4, 4, 3, 5};`, and
// takes the setup of each run from it: `one_epoch(Krok)`.
struct one_epoch_map {
  std::uint32_t rows, cols, dimension, seed;

  constexpr setup_values operator()(std::uint32_t Krok) const {
    return {.map_rows = rows,
            .map_cols = cols,
            .dimension = dimension,
            .radius_decay = 1,
            .rate_decay = 1,
            .stop_radius = rows * cols,
            .Krok = Krok,
            .seed = seed};
  }
};

// The file, with the host's line ends.
inline std::string setup_text(const setup_values& v) { return setup_detail::lines(v, ""); }

// The eight lines "Precteno <value>\t<name>" that a run prints of it, with
// the host's line ends.
inline std::string echo_text(const setup_values& v) { return setup_detail::lines(v, "Precteno "); }

}  // namespace som_test
