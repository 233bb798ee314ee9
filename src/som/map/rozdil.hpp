// Rozdil, the epoch's count of how far the winners moved: the sum over the
// samples of the squared grid distance between a sample's winner of the last
// epoch and its winner now, in 32-bit unsigned arithmetic (the differences
// and the sum wrap, as they always have).
#pragma once

#include <cstdint>

#include "som/map/map_storage.hpp"

namespace som {

// Sample's share of Rozdil; `previous` then holds the new winner.
inline std::uint32_t note_winner(assignment& previous, grid_pos now) {
  const std::uint32_t di = previous.row - now.row;
  const std::uint32_t dj = previous.col - now.col;
  previous = now;
  return di * di + dj * dj;
}

}  // namespace som
