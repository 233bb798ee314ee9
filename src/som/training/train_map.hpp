// The training loop: epochs of the online Kohonen rule with a hard-edged
// neighbourhood, until the squared radius falls to `stop_radius`.
#pragma once

#include <cstdint>

#include "som/kernels/kernel_table.hpp"
#include "som/map/map_storage.hpp"
#include "som/pool/pool_policy.hpp"
#include "som/training/trainer_counters.hpp"

namespace som {

// How the epochs are computed. Every engine gives the same results, bit for
// bit; the plain loops are the reference the others are tested against.
struct training_engine {
  // The kernel that trains a tiled grid, or null for the plain loops.
  const kernels::kernel_entry* kernel = nullptr;
  // The kernel's threads: 0 takes as many as pay off for the map's size.
  unsigned threads = 0;
  pool::pool_mode pool = pool::pool_mode::automatic;
  kernels::search_mode search = kernels::search_mode::automatic;
};

// The shipped program's engine: the widest kernel that runs here, or the
// plain loops where only the portable kernel would (they are faster).
training_engine shipped_engine();

// The plain loops.
training_engine plain_engine();

// The tile width of the weight grid that the engine trains on.
std::uint32_t grid_lanes(const training_engine& engine);

struct training_params {
  std::uint32_t radius_decay = 0;
  std::uint32_t rate_decay = 0;
  std::uint32_t stop_radius = 0;
  training_engine engine;
  // Optional, for the benchmarks: what a kernel's searches did is added
  // there.
  trainer_counters* counters = nullptr;
};

// Gets each epoch's Rozdil and squared radius as soon as the epoch ends, in
// order (the run writes them to the training log).
struct epoch_sink {
  void (*record)(void* context, std::uint32_t Rozdil, double Radius) = nullptr;
  void* context = nullptr;
};

// Trains until R ≤ stop_radius, handing each epoch to `epochs`. The sizes
// travel with the structures; a grid in the plain layout (lanes = 1) trains
// with the plain loops whatever the engine.
void train_map(const epoch_sink& epochs, const training_params& params,
               const sample_matrix& samples, weight_grid& grid, assignment_table& assignments,
               std::uint32_t& Krok, std::uint32_t& Rozdil);

}  // namespace som
