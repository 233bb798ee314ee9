// The contract of the vector kernels: one epoch over one thread's share of
// the tiles of a tiled weight grid, in one build per instruction set (the
// kernel table lists the builds).
//
// Every kernel computes exactly what train_epoch_plain computes: each lane
// sums its own neuron's squared differences in component order, the update is
// w = (x - w) * alpha + w on the lanes inside the radius, and the winner is the
// first neuron in row-major order with the strictly smallest distance.
#pragma once

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "common/targets.hpp"
#include "som/map/map_storage.hpp"
#include "som/map/rozdil.hpp"

namespace som::kernels {

// The neurons of one tile: the lanes of the weight grid that the kernels
// work on (each kernel checks that its vectors hold exactly this many).
inline constexpr std::uint32_t tile_lanes = 8;

// The pruned search checks its tiles after every 2 components up to this
// many, then after every 4: most tiles that lose do so within the first few.
inline constexpr std::uint32_t prune_early_checks = 8;

// How an epoch searches the winners (see epoch_input::search).
enum class epoch_search : std::uint8_t { fused, pruned, blocked };

// What a trainer is asked for: the search as its plan decides (see
// som/training/epoch_plan.hpp), or always one way (for tests and benchmarks;
// `blocked` where its bounds hold, see blocked_layout, and the pruned search
// elsewhere).
enum class search_mode { automatic, fused, pruned, blocked };

// The weights of an epoch with the blocked search (see kernel_blocked.hpp),
// which the trainer lays out before the epoch and reads back after it: the
// map cut into blocks of 2 × 2 neurons (fewer at the last row and column),
// each with a centre; every neuron's weights in `stride` doubles of their
// own, the components past `dimension` +0, block after block in row-major
// order of the blocks and each block's neurons in four slots, also in
// row-major order (see slot_of), so that a block's neurons lie side by side.
// Every array is aligned to a whole tile (64 bytes).
struct blocked_args {
  double* weights = nullptr;        // blocks × 4 slots × stride
  std::uint32_t stride = 0;         // dimension rounded up to tile_lanes
  const double* samples = nullptr;  // count × stride, padded with +0 as the weights
  const double* centres = nullptr;  // blocks × stride
  // The same centres in tiles of tile_lanes blocks, component by component
  // as the grid's tiles hold neurons (padded_blocks × stride; the padding
  // blocks' +0), for the table's fill.
  const double* centre_tiles = nullptr;
  std::uint32_t block_cols = 0;     // blocks in a row: map_cols / 2 rounded up
  std::uint32_t blocks = 0;
  std::uint32_t padded_blocks = 0;  // blocks rounded up to tile_lanes
  // Each neuron's and each block's bound from above on the distance to the
  // block's centre (the block's: the largest of its neurons'), which the
  // kernel works out at the start of the epoch and keeps in step with the
  // update; the padding blocks' are 0.
  double* neuron_reach = nullptr;  // blocks × 4 slots
  double* block_reach = nullptr;   // padded_blocks
  // For each sample, a bound from below on its distance to each block's
  // centre, padded_blocks per sample (the padding DBL_MAX); filled by the
  // kernel first where `fill_table` is set (new centres or new samples).
  double* table = nullptr;
  bool fill_table = false;
  // The blocks in runs of blocks_in_run (in block order): for each run the
  // largest of its blocks' bounds (kept in step as block_reach), and for
  // each sample the smallest of its bounds in the table over the run's
  // blocks, `runs` per sample (filled with the table), so that the search
  // passes over a run whose every block the triangle inequality drops.
  std::uint32_t runs = 0;
  double* run_reach = nullptr;  // runs
  double* run_table = nullptr;  // count × runs
  // 1 + 4 (dimension + 8) 2^-53 and 1 − 4 (dimension + 8) 2^-53 (both exact),
  // see distance_above and distance_below.
  double above = 1.0;
  double below = 1.0;
  // Neurons that the search measured with its screen and in full, for the
  // benchmarks.
  std::uint64_t screened = 0;
  std::uint64_t measured = 0;
};

// Blocks in a run of blocked_args (64: the search gathers a run's tests in
// one word).
inline constexpr std::uint32_t blocks_in_run = 64;

// The block of neuron (i, j), and the neuron's slot in blocked_args::weights.
inline std::uint32_t block_of(const blocked_args& b, std::uint32_t i, std::uint32_t j) {
  return (i / 2) * b.block_cols + j / 2;
}
inline std::size_t slot_of(const blocked_args& b, std::uint32_t i, std::uint32_t j) {
  return std::size_t{block_of(b, i, j)} * 4 + (i % 2) * 2 + j % 2;
}

// A thread's nearest neuron; `neuron` is no_neuron when no distance was below
// the largest finite double.
struct bmu_candidate {
  double distance;
  std::uint64_t neuron;
};
inline constexpr std::uint64_t no_neuron = ~std::uint64_t{0};

// The winner's tie rule, between the candidates of two threads (or of any
// two parts of the grid): the smaller distance, and of equal distances the
// neuron that comes first in row-major order.
inline bool nearer(const bmu_candidate& a, const bmu_candidate& b) {
  return a.distance < b.distance || (a.distance == b.distance && a.neuron < b.neuron);
}

// Hands a thread's candidate to the others and returns the one of all threads
// (the same in every thread): the nearest by the tie rule above.
using exchange_fn = bmu_candidate (*)(void* sync, unsigned thread, bmu_candidate mine);

// Offers the other threads a bound on the winner's distance for the sample
// that a thread is searching (the distance of one of its neurons to that
// sample, summed as the search sums it, or a bound another thread offered),
// and returns the smallest bound that any thread has offered for that
// sample so far.
using share_fn = double (*)(void* sync, unsigned thread, double bound);

// What the epoch gives, the same for every thread: the samples, the grid and
// the schedule's step.
struct epoch_input {
  const double* samples = nullptr;  // count rows of `dimension` doubles
  std::uint32_t count = 0;
  std::uint32_t dimension = 0;  // at least 1
  double* block = nullptr;      // the grid's tiles
  std::uint32_t map_rows = 0;   // at least 1
  std::uint32_t map_cols = 0;   // at least 1
  double learning_rate = 0.0;
  double radius = 0.0;
  bool updates = false;  // radius > 0: some neuron can be updated
  // Keep subnormal weights out of the arithmetic, with the same results
  // (kernels that can; see kernel_tiles.hpp). Only where the samples and the
  // rate allow it: see tame_is_exact.
  bool tame = false;
  // How the winners are searched: fused with the update of the previous
  // sample's neighbourhood, every distance in full; pruned, after the
  // update, starting from the sample's previous winner (`previous`) and
  // dropping a tile once none of its lanes can win; or blocked (one thread,
  // all the weights in `blocked`; `block` is not read).
  epoch_search search = epoch_search::fused;
  blocked_args* blocked = nullptr;
  bool whole_grid = false;      // squared distances may wrap: test every tile
  std::uint32_t reach = 0;      // otherwise rows farther than this are never updated
  std::uint32_t col_reach = 0;  // nor columns farther than this
  // Each sample's winner of the last epoch, read by every thread (any
  // value: one outside the grid or this thread's tiles only gives the
  // pruned search a looser start).
  const assignment* previous = nullptr;
  // For the pruned search: a permutation of the components, the order in
  // which it screens tiles (any permutation is exact; the most varied first
  // drops tiles soonest), and 1 + 4 × dimension × 2^-53, by which it widens
  // its bound to allow for the rounding of sums taken in another order
  // (docs/proofs/pruned-screen.md); the blocked search widens by it too.
  const std::uint32_t* order = nullptr;
  double prune_widening = 1.0;
};

// One thread's share of the epoch: its tiles and its part in the meetings.
struct thread_slice {
  std::size_t tile_begin = 0;
  std::size_t tile_end = 0;
  unsigned thread = 0;
  // Where set, this thread notes each sample's winner there and counts the
  // epoch's Rozdil (one thread of a pool only).
  assignment* assignments = nullptr;
  // Optional, for a thread of a pool: each sample's nearest neuron among
  // this thread's tiles, read as a start where the sample's previous winner
  // lies in another thread's tiles, and written anew (no_neuron when none).
  std::uint64_t* own_previous = nullptr;
  exchange_fn exchange = nullptr;  // null for a single thread
  share_fn share = nullptr;        // null for a single thread
  void* sync = nullptr;
};

// What may help the epoch but changes no result: tables the trainer keeps
// between epochs, and the benchmarks' counter.
struct epoch_extras {
  // Optional (both set or both null), where the radius allows no wrapping:
  // for each winner n, its row of lane masks (lane l inside: bit l) over
  // this thread's tiles at lane_masks[n × (tile_end − tile_begin)], valid
  // where masks_known[n] is not 0; the kernel fills rows as winners come.
  std::uint8_t* lane_masks = nullptr;
  std::uint8_t* masks_known = nullptr;
  const grid_pos* positions = nullptr;  // optional: each neuron's (row, col)
  // Optional: adds the components of tiles that the searches measured (a
  // tile's 8 lanes count once per component), for the benchmarks.
  std::uint64_t* searched = nullptr;
};

// An epoch's arguments as one thread takes them.
struct epoch_args {
  epoch_input epoch;
  thread_slice slice;
  epoch_extras extras;
};

// One epoch over the samples; returns the epoch's Rozdil (counted where
// `assignments` is set).
using epoch_fn = std::uint32_t (*)(const epoch_args& args);

}  // namespace som::kernels
