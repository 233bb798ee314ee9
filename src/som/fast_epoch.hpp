// The shipped training epoch: the same results as train_epoch_plain, on a
// grid of 8-lane tiles, with the widest vector instructions that the machine
// offers and, for large maps, the neurons split between threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "som/map_storage.hpp"

namespace som {

// The tile width of the fast epoch's grid.
inline constexpr std::uint32_t fast_grid_lanes = 8;

enum class kernel_path { portable, avx2, avx512 };

// Whether this build has the path and this machine (and its system) runs it.
bool kernel_path_available(kernel_path path);

// The widest available path.
kernel_path best_kernel_path();

// The threads that pay off for a grid of this size on this machine: 1 for
// small maps, where a synchronisation per sample costs more than it saves.
unsigned fast_thread_count(std::uint32_t map_rows, std::uint32_t map_cols, std::uint32_t dimension);

struct fast_pool;

// Splits `tiles` between threads in proportion to `shares` (which sum to 1):
// thread t takes [first[t], first[t + 1]), at least one tile each while there
// are as many tiles as threads.
void split_tiles(const std::vector<double>& shares, std::size_t tiles,
                 std::vector<std::size_t>& first);

// Runs epochs with one kernel path on up to `threads` threads; the threads
// live as long as the trainer and wait between epochs. With more than one,
// the trainer times runs of samples and gives each to the pool or to the
// calling thread alone, whichever has lately been faster (on a busy machine
// the pool's per-sample meetings can wait for a thread that is not running).
// The results are the same either way.
class fast_trainer {
 public:
  // `always_pool` runs every epoch on the pool (for tests).
  fast_trainer(kernel_path path, unsigned threads, bool always_pool = false);
  ~fast_trainer();
  fast_trainer(const fast_trainer&) = delete;
  fast_trainer& operator=(const fast_trainer&) = delete;

  // One epoch, exactly as train_epoch_plain, on a grid with fast_grid_lanes
  // lanes. Returns the epoch's Rozdil.
  std::uint32_t train_epoch(const sample_matrix& samples, weight_grid& grid,
                            assignment* assignments, double learning_rate, double radius);

  // Sets each pool thread's share of the tiles (one per thread, summing to
  // 1), until runs of samples measure the threads again (for tests).
  void set_shares(const std::vector<double>& shares);

 private:
  void rebalance(const std::vector<std::size_t>& first, std::uint64_t elapsed);
  bool prepare_lane_masks(const weight_grid& grid, double radius);

  kernel_path path_;
  unsigned threads_;
  bool always_pool_;
  // The part of the grid's tiles that each pool thread takes: equal at first,
  // then in proportion to the speed each thread has shown (the cores of a
  // shared machine are seldom equally fast, and a meeting waits for the
  // slowest).
  std::vector<double> shares_;
  double seconds_per_sample_[2] = {0.0, 0.0};  // alone, pooled; 0 until timed
  std::uint32_t runs_since_probe_ = 0;
  std::uint32_t probe_gap_ = 1;  // runs between probes
  std::uint32_t probe_length_ = 64;
  std::unique_ptr<fast_pool> pool_;
  // For one thread on a small map: each winner's lane masks over the whole
  // grid at masks_radius_, worked out once per winner (masks_known_), and
  // the neurons' positions.
  std::unique_ptr<std::uint8_t[]> lane_masks_;
  std::unique_ptr<std::uint8_t[]> masks_known_;
  std::unique_ptr<grid_pos[]> positions_;  // each neuron's (row, col)
  std::size_t masks_neurons_ = 0;
  std::size_t masks_tiles_ = 0;
  std::uint32_t masks_cols_ = 0;
  double masks_radius_ = 0.0;
};

}  // namespace som
