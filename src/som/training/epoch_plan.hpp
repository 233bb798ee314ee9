// How one epoch of the fast trainer runs, decided in one place from what
// the trainer knows (the map, the samples, the schedule's step, what it was
// asked for, its threads), and carried out by the trainer: which search
// finds the winners, whether subnormal weights are kept out of the
// arithmetic, on how many threads, and which rows an update can reach.
// Every plan gives the plain loops' results, bit for bit; the plan decides
// only how fast.
#pragma once

#include <cstdint>

#include "som/kernels/kernel.hpp"
#include "som/kernels/subnormals.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// What the plan is made from.
struct epoch_facts {
  const sample_matrix& samples;
  const weight_grid& grid;  // with weights, in tiles of tile_lanes lanes
  double learning_rate = 0.0;
  double radius = 0.0;
  kernels::search_mode search = kernels::search_mode::automatic;
  // By default, subnormal weights are kept apart where this processor slows
  // down for them and some weight is one (and where that is exact).
  kernels::subnormal_mode subnormals = kernels::subnormal_mode::automatic;
  unsigned threads = 1;  // the trainer's pool (1: none)
};

struct epoch_plan {
  // Fused or pruned. With `blocked`, the epoch first takes the blocked
  // search, on the calling thread alone, wherever its layout takes the
  // epoch's values (and memory allows); where it does not, `search`
  // (pruned) runs as planned.
  kernels::epoch_search search = kernels::epoch_search::fused;
  bool blocked = false;
  bool tame = false;  // subnormal weights out of the arithmetic
  double learning_rate = 0.0;
  double radius = 0.0;
  bool updates = false;         // radius > 0: some neuron can be updated
  bool whole_grid = false;      // squared distances may wrap: test every tile
  std::uint32_t reach = 0;      // otherwise rows farther than this are never updated
  std::uint32_t col_reach = 0;  // nor columns farther than this
  // The fused or pruned epoch's threads: with more than one, the pool's
  // policy gives each run of samples to the pool or to the calling thread.
  unsigned threads = 1;
  // Runs on the calling thread alone keep each winner's lane masks.
  bool lane_masks = false;
};

epoch_plan plan_epoch(const epoch_facts& facts);

// The kernels' arguments for the plan's fused or pruned epoch, as one
// thread alone takes them (all tiles; the trainer narrows them per thread).
// `previous` holds each sample's winner of the last epoch. A pruned epoch
// still needs its `order` (see kernels/component_order.hpp).
kernels::epoch_args epoch_args_for(const epoch_plan& plan, const sample_matrix& samples,
                                   weight_grid& grid, const assignment* previous);

}  // namespace som
