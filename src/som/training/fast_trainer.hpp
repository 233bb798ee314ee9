// The shipped training epoch: the same results as train_epoch_plain, bit for
// bit, on a grid of tiles, with one kernel of the table and, for large maps,
// the tiles shared between the threads of a pool. Each epoch runs as its
// plan says (som/training/epoch_plan.hpp).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "som/kernels/kernel_table.hpp"
#include "som/map/map_storage.hpp"
#include "som/pool/pool_policy.hpp"
#include "som/pool/thread_pool.hpp"
#include "som/pool/tile_shares.hpp"
#include "som/training/blocked_layout.hpp"
#include "som/training/epoch_plan.hpp"
#include "som/training/lane_mask_cache.hpp"
#include "som/training/trainer_counters.hpp"

namespace som {

class fast_trainer {
 public:
  // Trains with `kernel` on up to `threads` threads (0 counts as 1), which
  // live as long as the trainer; `mode` decides, run by run of samples,
  // between the pool and the calling thread alone, and `search` how each
  // epoch searches the winners. Where `counters` is set, the trainer adds
  // what its searches did to them.
  fast_trainer(const kernels::kernel_entry& kernel, unsigned threads,
               pool::pool_mode mode = pool::pool_mode::automatic,
               kernels::search_mode search = kernels::search_mode::automatic,
               trainer_counters* counters = nullptr);

  // Epochs on one grid, one after another, as a run trains them:
  // consecutive epochs with the blocked search keep the weights in the
  // search's own layout, and the grid's tiles are written only when an
  // epoch of another kind needs them and when the session ends (the copies
  // in and out cost a late epoch about 8 %). While the session lives, the
  // grid changes only through it and is read only after it; the trainer
  // outlives it.
  class session {
   public:
    session(fast_trainer& trainer, weight_grid& grid) : trainer_(trainer), grid_(grid) {}
    // Brings the grid's tiles up to date.
    ~session();
    session(const session&) = delete;
    session& operator=(const session&) = delete;

    // One epoch, exactly as train_epoch_plain. Returns the epoch's Rozdil.
    std::uint32_t train_epoch(const sample_matrix& samples, assignment* assignments,
                              double learning_rate, double radius) {
      return trainer_.train_epoch(*this, samples, assignments, learning_rate, radius);
    }

   private:
    friend class fast_trainer;
    fast_trainer& trainer_;
    weight_grid& grid_;
  };

  // One epoch in a session of its own: the grid is up to date after it.
  std::uint32_t train_epoch(const sample_matrix& samples, weight_grid& grid,
                            assignment* assignments, double learning_rate, double radius) {
    session alone(*this, grid);
    return alone.train_epoch(samples, assignments, learning_rate, radius);
  }

  // Sets each pool thread's share of the tiles (for tests; see tile_shares).
  void set_shares(const std::vector<double>& shares) { shares_.set(shares); }

 private:
  std::uint32_t train_epoch(session& on, const sample_matrix& samples, assignment* assignments,
                            double learning_rate, double radius);
  std::uint32_t run_alone(const kernels::epoch_args& args, assignment* assignments);
  // The epoch with the blocked search; false where its layout refused the
  // epoch and nothing ran.
  bool run_blocked(session& on, const epoch_plan& plan, const sample_matrix& samples,
                   assignment* assignments, std::uint32_t& rozdil);
  std::uint32_t run_pooled(const kernels::epoch_args& args, assignment* assignments,
                           std::size_t tiles, std::uint32_t first);
  // Writes the weights that the blocked layout holds ahead of a session's
  // grid into its tiles (nothing to do where none are).
  void write_back();

  kernels::epoch_fn epoch_;
  kernels::search_mode search_;
  trainer_counters* counters_;
  std::unique_ptr<pool::thread_pool> pool_;  // with more than one thread
  pool::tile_shares shares_;
  pool::pool_policy policy_;
  lane_mask_cache masks_;
  std::vector<kernels::epoch_args> thread_args_;
  std::vector<std::size_t> tile_first_;
  std::vector<std::uint32_t> order_;  // the pruned search's order of components
  std::uint32_t epochs_since_order_ = 0;
  std::vector<std::uint64_t> waited_;
  blocked_layout blocked_;
  // The session whose grid's tiles are behind the weights that blocked_
  // holds (it clears this as it ends), or null.
  session* keeper_ = nullptr;
  std::vector<std::vector<std::uint64_t>> own_previous_;  // per pool thread, per sample
  std::vector<std::uint64_t> searched_per_thread_;
};

}  // namespace som
