// What the fast trainer's searches did, for the benchmarks and tests: a
// trainer given a pointer to these adds to them; the shipped program gives
// none.
#pragma once

#include <cstdint>

namespace som {

struct trainer_counters {
  // Components of tiles that the searches measured (a tile's lanes count
  // once per component).
  std::uint64_t searched = 0;
  // Neurons that the blocked search screened, and measured in full.
  std::uint64_t screened = 0;
  std::uint64_t measured = 0;
  // Epochs that took the blocked search.
  std::uint32_t blocked_epochs = 0;
};

}  // namespace som
