#include "som/training/fast_trainer.hpp"

#include <chrono>
#include <new>

#include "som/kernels/component_order.hpp"
#include "som/map/rozdil.hpp"
#include "som/pool/spin_wait.hpp"
#include "som/training/pool_exchange.hpp"

namespace som {

fast_trainer::session::~session() {
  if (trainer_.keeper_ == this) trainer_.write_back();
}

fast_trainer::fast_trainer(const kernels::kernel_entry& kernel, unsigned threads,
                           pool::pool_mode mode, kernels::search_mode search,
                           trainer_counters* counters)
    : epoch_(kernel.epoch),
      search_(search),
      counters_(counters),
      shares_(threads == 0 ? 1 : threads),
      policy_(mode) {
  if (threads > 1) pool_ = std::make_unique<pool::thread_pool>(threads);
  // A pool that could not start its threads is no pool.
  if (pool_ != nullptr && pool_->threads() == 1) pool_.reset();
}

std::uint32_t fast_trainer::run_alone(const kernels::epoch_args& args, assignment* assignments) {
  kernels::epoch_args run = args;
  run.slice.assignments = assignments;
  run.extras.searched = counters_ != nullptr ? &counters_->searched : nullptr;
  return epoch_(run);
}

bool fast_trainer::run_blocked(session& on, const epoch_plan& plan, const sample_matrix& samples,
                               assignment* assignments, std::uint32_t& rozdil) {
  kernels::blocked_args* blocked = blocked_.load(samples, on.grid_, keeper_ == &on);
  if (blocked == nullptr) return false;
  kernels::epoch_args args = epoch_args_for(plan, samples, on.grid_, assignments);
  args.epoch.search = kernels::epoch_search::blocked;
  args.epoch.blocked = blocked;
  rozdil = run_alone(args, assignments);
  blocked_.keep();
  keeper_ = &on;
  if (counters_ != nullptr) {
    counters_->screened += blocked->screened;
    counters_->measured += blocked->measured;
    ++counters_->blocked_epochs;
  }
  return true;
}

void fast_trainer::write_back() {
  if (keeper_ == nullptr) return;
  blocked_.store(keeper_->grid_);
  keeper_ = nullptr;
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
    if (args.epoch.search == kernels::epoch_search::pruned)
      mine.own_previous = own_previous_[t].data() + first;
  }
  if (counters_ != nullptr) {
    searched_per_thread_.assign(threads, 0);
    for (unsigned t = 0; t < threads; ++t) {
      thread_args_[t].extras.searched = &searched_per_thread_[t];
    }
  }
  std::uint32_t rozdil = 0;
  const std::uint64_t start = pool::ticks();
  team.run([&](unsigned t) {
    const std::uint32_t counted = epoch_(thread_args_[t]);
    if (t == 0) rozdil = counted;
  });
  if (counters_ != nullptr) {
    for (const std::uint64_t n : searched_per_thread_) counters_->searched += n;
  }
  const std::uint64_t elapsed = pool::ticks() - start;
  waited_.resize(threads);
  for (unsigned t = 0; t < threads; ++t) waited_[t] = team.waited(t);
  shares_.rebalance(tile_first_, waited_, elapsed, args.epoch.count);
  return rozdil;
}

std::uint32_t fast_trainer::train_epoch(session& on, const sample_matrix& samples,
                                        assignment* assignments, double learning_rate,
                                        double radius) {
  if (keeper_ != &on) write_back();
  weight_grid& grid = on.grid_;
  if (grid.block == nullptr) {
    // No weights to compare (an empty map or dimension 0): every search
    // answers (0, 0) and there is nothing to update.
    std::uint32_t rozdil = 0;
    for (std::uint32_t s = 0; s < samples.count; ++s) {
      rozdil += note_winner(assignments[s], grid_pos{0, 0});
    }
    return rozdil;
  }
  const epoch_plan plan = plan_epoch({.samples = samples,
                                      .grid = grid,
                                      .learning_rate = learning_rate,
                                      .radius = radius,
                                      .search = search_,
                                      .threads = pool_ != nullptr ? pool_->threads() : 1});
  std::uint32_t blocked_rozdil = 0;
  if (plan.blocked && run_blocked(on, plan, samples, assignments, blocked_rozdil)) {
    return blocked_rozdil;
  }
  write_back();
  const bool pruned = plan.search == kernels::epoch_search::pruned;
  kernels::epoch_args args = epoch_args_for(plan, samples, grid, assignments);
  if (pruned) {
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
  if (plan.lane_masks) masks_.attach(grid, radius, alone);
  if (plan.threads == 1) return run_alone(alone, assignments);
  if (pruned) {
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
    const pool::run_plan next = policy_.next(samples.count - first);
    if (next.warm_up != 0) {
      rozdil += run(first, next.warm_up, true);
      first += next.warm_up;
    }
    const auto start = std::chrono::steady_clock::now();
    rozdil += run(first, next.length, next.pooled);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    policy_.timed(next, took.count() / next.length);
    first += next.length;
  }
  return rozdil;
}

}  // namespace som
