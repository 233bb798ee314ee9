// The shipped training epoch: the same results as train_epoch_plain, bit for
// bit, on a grid of tiles, with one kernel of the table and, for large maps,
// the tiles shared between the threads of a pool.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "som/blocked_layout.hpp"
#include "som/kernels/kernel_table.hpp"
#include "som/lane_mask_cache.hpp"
#include "som/map_storage.hpp"
#include "som/pool/pool_policy.hpp"
#include "som/pool/thread_pool.hpp"
#include "som/pool/tile_shares.hpp"

namespace som {

class fast_trainer {
 public:
  // Trains with `kernel` on up to `threads` threads (0 counts as 1), which
  // live as long as the trainer; `mode` decides, run by run of samples,
  // between the pool and the calling thread alone, and `search` how each
  // epoch searches the winners.
  fast_trainer(const kernels::kernel_entry& kernel, unsigned threads,
               pool::pool_mode mode = pool::pool_mode::automatic,
               kernels::search_mode search = kernels::search_mode::automatic);

  // One epoch, exactly as train_epoch_plain, on a grid with tile_lanes
  // lanes. Returns the epoch's Rozdil.
  std::uint32_t train_epoch(const sample_matrix& samples, weight_grid& grid,
                            assignment* assignments, double learning_rate, double radius);

  // Where set (train_map sets it), consecutive epochs with the blocked
  // search keep the weights in the search's own layout, and the grid's
  // tiles are written only when an epoch of another kind needs them or at
  // write_back(): the copies in and out cost a late epoch about 8 %. The
  // grid must then not change between epochs but through this trainer, and
  // write_back() must come before the grid is read.
  void keep_weights(bool keep) { keep_weights_ = keep; }
  // Brings the grid of the last epoch up to date (nothing to do where it
  // is).
  void write_back();

  // Sets each pool thread's share of the tiles (for tests; see tile_shares).
  void set_shares(const std::vector<double>& shares) { shares_.set(shares); }

  // Components of tiles that the searches have measured so far (a tile's
  // lanes count once per component), for the benchmarks and tests.
  std::uint64_t searched() const { return searched_; }

  // Neurons that the blocked search screened and measured in full so far.
  std::uint64_t screened() const { return screened_; }
  std::uint64_t measured() const { return measured_; }
  // Epochs that took the blocked search.
  std::uint32_t blocked_epochs() const { return blocked_epochs_; }

 private:
  std::uint32_t run_alone(const kernels::epoch_args& args, assignment* assignments);
  // The epoch with the blocked search, where it is wanted and can run;
  // false where it did not run.
  bool run_blocked(const sample_matrix& samples, weight_grid& grid, kernels::epoch_args& args,
                   assignment* assignments, std::uint32_t& rozdil);
  std::uint32_t run_pooled(const kernels::epoch_args& args, assignment* assignments,
                           std::size_t tiles, std::uint32_t first);

  kernels::epoch_fn epoch_;
  kernels::search_mode search_;
  std::unique_ptr<pool::thread_pool> pool_;  // with more than one thread
  pool::tile_shares shares_;
  pool::pool_policy policy_;
  lane_mask_cache masks_;
  std::vector<kernels::epoch_args> thread_args_;
  std::vector<std::size_t> tile_first_;
  std::vector<std::uint32_t> order_;  // the pruned search's order of components
  std::uint32_t epochs_since_order_ = 0;
  std::vector<std::uint64_t> waited_;
  std::uint64_t searched_ = 0;
  blocked_layout blocked_;
  bool keep_weights_ = false;
  weight_grid* behind_ = nullptr;  // the grid whose weights blocked_ holds
  std::uint64_t screened_ = 0;
  std::uint64_t measured_ = 0;
  std::uint32_t blocked_epochs_ = 0;
  std::vector<std::vector<std::uint64_t>> own_previous_;  // per pool thread, per sample
  std::vector<std::uint64_t> searched_per_thread_;
};

}  // namespace som
