#include "som/fast_trainer.hpp"

#include <chrono>
#include <new>

#include "som/kernels/epoch_args.hpp"
#include "som/pool/spin_wait.hpp"
#include "som/pool_exchange.hpp"
#include "som/rozdil.hpp"

namespace som {

fast_trainer::fast_trainer(const kernels::kernel_entry& kernel, unsigned threads,
                           pool::pool_mode mode, kernels::search_mode search)
    : epoch_(kernel.epoch), search_(search), shares_(threads == 0 ? 1 : threads), policy_(mode) {
  if (threads > 1) pool_ = std::make_unique<pool::thread_pool>(threads);
  // A pool that could not start its threads is no pool.
  if (pool_ != nullptr && pool_->threads() == 1) pool_.reset();
}

std::uint32_t fast_trainer::run_alone(const kernels::epoch_args& args, assignment* assignments) {
  kernels::epoch_args run = args;
  run.slice.assignments = assignments;
  run.extras.searched = &searched_;
  return epoch_(run);
}

bool fast_trainer::run_blocked(const sample_matrix& samples, weight_grid& grid,
                               kernels::epoch_args& args, assignment* assignments,
                               std::uint32_t& rozdil) {
  // By itself where the pruned search would run (measured faster on one
  // thread than the pruned search on two, from dimension 2 to 64: see
  // docs/performance.md), but not where subnormal weights are kept out of
  // the arithmetic (the blocked epoch has no such build).
  const bool wanted =
      search_ == kernels::search_mode::blocked ||
      (search_ == kernels::search_mode::automatic && args.epoch.pruned && !args.epoch.tame);
  if (!wanted || args.epoch.whole_grid ||
      !blocked_layout::suits(grid, samples.count, args.epoch.learning_rate)) {
    return false;
  }
  kernels::blocked_args* blocked = blocked_.load(samples, grid, behind_ == &grid);
  if (blocked == nullptr) return false;
  args.epoch.blocked = blocked;
  rozdil = run_alone(args, assignments);
  if (keep_weights_) {
    blocked_.keep();
    behind_ = &grid;
  } else {
    blocked_.store(grid);
  }
  screened_ += blocked->screened;
  measured_ += blocked->measured;
  ++blocked_epochs_;
  return true;
}

void fast_trainer::write_back() {
  if (behind_ == nullptr) return;
  blocked_.store(*behind_);
  behind_ = nullptr;
}

std::uint32_t fast_trainer::run_pooled(const kernels::epoch_args& args, assignment* assignments,
                                       std::size_t tiles, std::uint32_t first) {
  pool::thread_pool& team = *pool_;
  const unsigned threads = team.threads();
  shares_.split(tiles, tile_first_);
  thread_args_.assign(threads, args);
  for (unsigned t = 0; t < threads; ++t) {
    kernels::thread_slice& mine = thread_args_[t].slice;
    mine.tile_begin = tile_first_[t];
    mine.tile_end = tile_first_[t + 1];
    mine.thread = t;
    // Only thread 0 writes the assignments and counts Rozdil.
    mine.assignments = t == 0 ? assignments : nullptr;
    mine.exchange = &exchange_on_pool;
    mine.share = &share_on_pool;
    mine.sync = &team;
    if (args.epoch.pruned) mine.own_previous = own_previous_[t].data() + first;
  }
  searched_per_thread_.assign(threads, 0);
  for (unsigned t = 0; t < threads; ++t) {
    thread_args_[t].extras.searched = &searched_per_thread_[t];
  }
  std::uint32_t rozdil = 0;
  const std::uint64_t start = pool::ticks();
  team.run([&](unsigned t) {
    const std::uint32_t counted = epoch_(thread_args_[t]);
    if (t == 0) rozdil = counted;
  });
  for (const std::uint64_t n : searched_per_thread_) searched_ += n;
  const std::uint64_t elapsed = pool::ticks() - start;
  waited_.resize(threads);
  for (unsigned t = 0; t < threads; ++t) waited_[t] = team.waited(t);
  shares_.rebalance(tile_first_, waited_, elapsed, args.epoch.count);
  return rozdil;
}

std::uint32_t fast_trainer::train_epoch(const sample_matrix& samples, weight_grid& grid,
                                        assignment* assignments, double learning_rate,
                                        double radius) {
  if (behind_ != &grid) write_back();
  if (grid.block == nullptr) {
    // No weights to compare (an empty map or dimension 0): every search
    // answers (0, 0) and there is nothing to update.
    std::uint32_t rozdil = 0;
    for (std::uint32_t s = 0; s < samples.count; ++s) {
      rozdil += note_winner(assignments[s], grid_pos{0, 0});
    }
    return rozdil;
  }
  kernels::epoch_args args =
      kernels::make_epoch_args(samples, grid, assignments, learning_rate, radius, search_);
  std::uint32_t blocked_rozdil = 0;
  if (run_blocked(samples, grid, args, assignments, blocked_rozdil)) return blocked_rozdil;
  write_back();
  if (args.epoch.pruned) {
    // The map changes little from epoch to epoch: its order of components
    // is worked out again every few pruned epochs only.
    constexpr std::uint32_t order_lasts = 16;
    if (order_.size() != grid.dimension || epochs_since_order_ >= order_lasts) {
      order_.resize(grid.dimension);
      kernels::order_components(grid, order_.data());
      epochs_since_order_ = 0;
    }
    ++epochs_since_order_;
    args.epoch.order = order_.data();
  }
  // One thread walks the whole grid: it may keep the winners' lane masks.
  kernels::epoch_args alone = args;
  if (args.epoch.updates && !args.epoch.whole_grid) masks_.attach(grid, radius, alone);
  if (pool_ == nullptr) return run_alone(alone, assignments);
  if (args.epoch.pruned) {
    // Each thread's nearest neurons, for the pruned search's start where a
    // sample's last winner lies in another thread's tiles.
    // threads × samples × 8 bytes: where they cannot be had, this thread
    // trains alone from here on, with the same results.
    try {
      own_previous_.resize(pool_->threads());
      for (std::vector<std::uint64_t>& own : own_previous_) {
        own.resize(samples.count, kernels::no_neuron);
      }
    } catch (const std::bad_alloc&) {
      own_previous_.clear();
      own_previous_.shrink_to_fit();
      pool_.reset();
      return run_alone(alone, assignments);
    }
  }

  // The epoch runs in runs of consecutive samples (the order of samples and
  // so every result stay the same), each on the pool or on this thread alone.
  const std::uint32_t dimension = grid.dimension;
  auto run = [&](std::uint32_t first, std::uint32_t length, bool pooled) {
    kernels::epoch_args part = pooled ? args : alone;
    part.epoch.samples = samples.block + std::size_t{first} * dimension;
    part.epoch.previous = assignments + first;
    part.epoch.count = length;
    return pooled ? run_pooled(part, assignments + first, grid.tiles, first)
                  : run_alone(part, assignments + first);
  };
  std::uint32_t rozdil = 0;
  for (std::uint32_t first = 0; first < samples.count;) {
    const pool::run_plan plan = policy_.next(samples.count - first);
    if (plan.warm_up != 0) {
      rozdil += run(first, plan.warm_up, true);
      first += plan.warm_up;
    }
    const auto start = std::chrono::steady_clock::now();
    rozdil += run(first, plan.length, plan.pooled);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    policy_.timed(plan, took.count() / plan.length);
    first += plan.length;
  }
  return rozdil;
}

}  // namespace som
