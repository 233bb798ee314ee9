#include "som/fast_epoch.hpp"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "common/cpu_features.hpp"
#include "som/fast_kernel.hpp"

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

namespace som {

namespace {

using kernel_fn = std::uint32_t (*)(const fast::epoch_args&);

#if defined(SOM_X86_KERNELS)
// The kernels are built with -mavx2 -mfma and -mavx512f -mavx2 -mfma.
const cpu_features& features() {
  static const cpu_features f = detect_cpu_features();
  return f;
}
#endif

kernel_fn kernel_for(kernel_path path) {
#if defined(SOM_X86_KERNELS)
  if (path == kernel_path::avx512) return fast::epoch_avx512;
  if (path == kernel_path::avx2) return fast::epoch_avx2;
#else
  (void)path;
#endif
  return fast::epoch_portable;
}

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_pause();
#endif
}

// A cheap count that rises steadily, for comparing short stretches of time
// measured on the same thread (only ratios of its differences are used).
inline std::uint64_t ticks() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_ia32_rdtsc();
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  return __rdtsc();
#else
  return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
}

// Spins a while, then yields and naps, until `ready()` holds. A meeting is
// normally over within the spin; the naps only serve a thread that the
// system has taken off its core. (No blocking wait on the atomic itself: a
// pool sleeping in the C++ library's atomic wait was seen to hang on Windows.)
template <class Ready>
void wait_until(Ready ready) {
  for (int i = 0; i < 4000; ++i) {
    if (ready()) return;
    cpu_relax();
  }
  for (int i = 0; i < 64; ++i) {
    if (ready()) return;
    std::this_thread::yield();
  }
  while (!ready()) std::this_thread::sleep_for(std::chrono::microseconds(50));
}

// Waits until the count has reached `round` (counts only grow, and wrap:
// compared by their difference).
void wait_until_reached(const std::atomic<std::uint32_t>& count, std::uint32_t round) {
  wait_until([&count, round] {
    return static_cast<std::int32_t>(count.load(std::memory_order_acquire) - round) >= 0;
  });
}

bool nearer(const fast::bmu_candidate& a, const fast::bmu_candidate& b) {
  return a.distance < b.distance || (a.distance == b.distance && a.neuron < b.neuron);
}

}  // namespace

bool kernel_path_available(kernel_path path) {
  switch (path) {
    case kernel_path::portable: return true;
#if defined(SOM_X86_KERNELS)
    case kernel_path::avx2: return features().avx2 && features().fma;
    case kernel_path::avx512: return features().avx512f && features().avx2 && features().fma;
#else
    default: return false;
#endif
  }
  return false;
}

kernel_path best_kernel_path() {
  if (kernel_path_available(kernel_path::avx512)) return kernel_path::avx512;
  if (kernel_path_available(kernel_path::avx2)) return kernel_path::avx2;
  return kernel_path::portable;
}

unsigned fast_thread_count(std::uint32_t map_rows, std::uint32_t map_cols,
                           std::uint32_t dimension) {
  // Below about this many weights a sample's work is too short to share
  // (measured on a 2-core AMD EPYC: 3000 weights per thread still gain).
  constexpr std::uint64_t threshold = 4096;
  const std::uint64_t weights = std::uint64_t{map_rows} * map_cols * dimension;
  if (map_rows == 0 || map_cols == 0 || weights / map_rows / map_cols != dimension ||
      weights < threshold) {
    return 1;
  }
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : (hardware > 64 ? 64 : hardware);
}

// The worker threads and their meeting points: one at the start and one at
// the end of each epoch, and one per sample where the threads pool their
// nearest neurons.
struct fast_pool {
  struct alignas(64) slot {
    // Written by its own thread only: at each meeting the candidate, then the
    // count of meetings reached, which the other threads wait for. One cache
    // line carries both, so a meeting costs one transfer per pair of threads.
    std::atomic<std::uint32_t> reached{0};
    fast::bmu_candidate candidate[2];  // by the parity of the meeting
    alignas(64) fast::epoch_args args;
    std::uint32_t rozdil = 0;
    std::uint64_t waited = 0;  // ticks spent waiting for the others in this run
  };

  unsigned threads = 1;
  kernel_fn kernel = nullptr;
  std::unique_ptr<slot[]> slots;
  std::vector<std::thread> workers;
  // The start and the end of each run of samples; between runs the workers
  // sleep on `wake`.
  std::mutex lock;
  std::condition_variable wake;
  std::condition_variable done;
  std::uint64_t generation = 0;  // runs started, under `lock`
  unsigned finished = 0;         // workers done with this run, under `lock`
  bool stopping = false;         // under `lock`

  static fast::bmu_candidate exchange(void* sync, unsigned thread, fast::bmu_candidate mine) {
    fast_pool& pool = *static_cast<fast_pool*>(sync);
    slot& own = pool.slots[thread];
    const std::uint32_t round = own.reached.load(std::memory_order_relaxed) + 1u;
    const unsigned parity = round & 1u;
    own.candidate[parity] = mine;
    own.reached.store(round, std::memory_order_release);
    for (unsigned t = 0; t < pool.threads; ++t) {
      if (t == thread) continue;
      const std::atomic<std::uint32_t>& other = pool.slots[t].reached;
      if (static_cast<std::int32_t>(other.load(std::memory_order_acquire) - round) >= 0) continue;
      // Only a thread that has to wait reads the clock: it has time to spare.
      const std::uint64_t from = ticks();
      wait_until_reached(other, round);
      own.waited += ticks() - from;
    }
    // A thread writes this parity again only two meetings later, after every
    // thread has reached the next one, so it is stable while read here.
    fast::bmu_candidate best = pool.slots[0].candidate[parity];
    for (unsigned t = 1; t < pool.threads; ++t) {
      if (nearer(pool.slots[t].candidate[parity], best)) best = pool.slots[t].candidate[parity];
    }
    return best;
  }

  void work(unsigned thread) {
    std::uint64_t seen = 0;
    while (true) {
      {
        std::unique_lock<std::mutex> hold(lock);
        wake.wait(hold, [&] { return stopping || generation != seen; });
        if (stopping) return;
        seen = generation;
      }
      slots[thread].rozdil = kernel(slots[thread].args);
      {
        std::lock_guard<std::mutex> hold(lock);
        ++finished;
      }
      done.notify_one();
    }
  }

  void start(unsigned count) {
    threads = count;
    slots = std::make_unique<slot[]>(count);
    for (unsigned t = 1; t < count; ++t) workers.emplace_back([this, t] { work(t); });
  }

  std::uint32_t run_epoch() {
    {
      std::lock_guard<std::mutex> hold(lock);
      finished = 0;
      ++generation;
    }
    wake.notify_all();
    const std::uint32_t rozdil = kernel(slots[0].args);
    std::unique_lock<std::mutex> hold(lock);
    done.wait(hold, [&] { return finished == threads - 1; });
    return rozdil;
  }

  ~fast_pool() {
    if (workers.empty()) return;
    {
      std::lock_guard<std::mutex> hold(lock);
      stopping = true;
    }
    wake.notify_all();
    for (std::thread& w : workers) w.join();
  }
};

fast_trainer::fast_trainer(kernel_path path, unsigned threads, bool always_pool)
    : path_(kernel_path_available(path) ? path : kernel_path::portable),
      threads_(threads == 0 ? 1 : threads),
      always_pool_(always_pool),
      pool_(std::make_unique<fast_pool>()) {
  pool_->kernel = kernel_for(path_);
  pool_->start(threads_);
  shares_.assign(threads_, 1.0 / threads_);
}

void split_tiles(const std::vector<double>& shares, std::size_t tiles,
                 std::vector<std::size_t>& first) {
  const std::size_t threads = shares.size();
  first.assign(threads + 1, tiles);
  first[0] = 0;
  double sum = 0.0;
  for (std::size_t t = 1; t < threads; ++t) {
    sum += shares[t - 1];
    std::size_t end = static_cast<std::size_t>(std::llround(sum * static_cast<double>(tiles)));
    const std::size_t least = first[t - 1] + (tiles >= threads ? 1 : 0);
    const std::size_t most = tiles >= threads ? tiles - (threads - t) : tiles;
    if (end < least) end = least;
    if (end > most) end = most;
    first[t] = end;
  }
}

// A table of a byte per winner and tile pays while it stays small; past this
// size the masks are worked out for every sample.
constexpr std::size_t lane_mask_table_limit = std::size_t{1} << 16;

bool fast_trainer::prepare_lane_masks(const weight_grid& grid, double radius) {
  const std::size_t neurons = grid.neurons;
  const std::size_t tiles = grid.tiles;
  if (neurons == 0 || tiles > lane_mask_table_limit / neurons) return false;
  if (neurons != masks_neurons_ || tiles != masks_tiles_ || grid.map_cols != masks_cols_) {
    lane_masks_.reset(new (std::nothrow) std::uint8_t[neurons * tiles]);
    masks_known_.reset(new (std::nothrow) std::uint8_t[neurons]);
    positions_.reset(new (std::nothrow) grid_pos[neurons]);
    if (lane_masks_ == nullptr || masks_known_ == nullptr || positions_ == nullptr) {
      lane_masks_.reset();
      masks_known_.reset();
      positions_.reset();
      masks_neurons_ = 0;
      return false;
    }
    for (std::size_t n = 0; n < neurons; ++n) {
      positions_[n] = grid_pos{static_cast<std::uint32_t>(n / grid.map_cols),
                               static_cast<std::uint32_t>(n % grid.map_cols)};
    }
    masks_neurons_ = neurons;
    masks_tiles_ = tiles;
    masks_cols_ = grid.map_cols;
    std::memset(masks_known_.get(), 0, neurons);
    masks_radius_ = radius;
  }
  if (!(radius == masks_radius_)) {
    std::memset(masks_known_.get(), 0, neurons);
    masks_radius_ = radius;
  }
  return true;
}

void fast_trainer::set_shares(const std::vector<double>& shares) {
  if (shares.size() == shares_.size()) shares_ = shares;
}

// After a pooled run of `elapsed` ticks: each thread's speed is its tiles
// over the time it was not waiting; the shares move halfway towards the
// speeds' proportions (halfway, so that one noisy run cannot swing them).
void fast_trainer::rebalance(const std::vector<std::size_t>& first, std::uint64_t elapsed) {
  const unsigned threads = threads_;
  std::vector<double> speed(threads);
  double total = 0.0;
  for (unsigned t = 0; t < threads; ++t) {
    const std::uint64_t waited = pool_->slots[t].waited;
    if (waited >= elapsed || first[t + 1] == first[t]) return;
    speed[t] = static_cast<double>(first[t + 1] - first[t]) / static_cast<double>(elapsed - waited);
    total += speed[t];
  }
  for (unsigned t = 0; t < threads; ++t) shares_[t] += 0.5 * (speed[t] / total - shares_[t]);
}

fast_trainer::~fast_trainer() = default;

std::uint32_t fast_trainer::train_epoch(const sample_matrix& samples, weight_grid& grid,
                                        assignment* assignments, double learning_rate,
                                        double radius) {
  if (grid.block == nullptr) {
    // No weights to compare (an empty map or dimension 0): every search
    // answers (0, 0) and there is nothing to update.
    std::uint32_t rozdil = 0;
    for (std::uint32_t s = 0; s < samples.count; ++s) {
      assignment& previous = assignments[s];
      rozdil += previous.row * previous.row + previous.col * previous.col;
      previous = grid_pos{0, 0};
    }
    return rozdil;
  }

  fast::epoch_args args;
  args.samples = samples.block;
  args.count = samples.count;
  args.dimension = grid.dimension;
  args.block = grid.block;
  args.map_rows = grid.map_rows;
  args.map_cols = grid.map_cols;
  args.learning_rate = learning_rate;
  args.radius = radius;
  args.updates = radius > 0.0;
  const std::uint64_t far_row = grid.map_rows - 1u;
  const std::uint64_t far_col = grid.map_cols - 1u;
  args.whole_grid = (far_row >= 65536 || far_col >= 65536 ||
                     far_row * far_row + far_col * far_col >= (std::uint64_t{1} << 32));
  if (args.updates && !args.whole_grid) {
    // The farthest row distance d that can still be updated: d² < R, since
    // every neuron of a row d away is at least d² away. Rows beyond are
    // never walked; the exact test per neuron stays in the kernel.
    const double root = std::floor(std::sqrt(radius));
    std::uint64_t d = root >= static_cast<double>(grid.map_rows)
                          ? grid.map_rows
                          : static_cast<std::uint64_t>(root) + 1u;
    while (d > 0 && !(static_cast<double>(d * d) < radius)) --d;
    args.reach = static_cast<std::uint32_t>(d);
  }

  // One thread walks the whole grid: it may keep the winners' lane masks.
  fast::epoch_args alone = args;
  alone.tile_end = grid.tiles;
  if (args.updates && !args.whole_grid && prepare_lane_masks(grid, radius)) {
    alone.lane_masks = lane_masks_.get();
    alone.masks_known = masks_known_.get();
    alone.positions = positions_.get();
  }

  const std::uint32_t dimension = grid.dimension;
  fast_pool& pool = *pool_;
  std::vector<std::size_t> tile_first;
  // Samples [first, first + length) on the pool or on this thread alone.
  auto run_samples = [&](std::uint32_t first, std::uint32_t length, bool pooled) {
    fast::epoch_args run = pooled ? args : alone;
    run.samples = samples.block + std::size_t{first} * dimension;
    run.count = length;
    if (!pooled) {
      run.assignments = assignments + first;
      return pool.kernel(run);
    }
    const unsigned threads = pool.threads;
    split_tiles(shares_, grid.tiles, tile_first);
    for (unsigned t = 0; t < threads; ++t) {
      fast::epoch_args& mine = pool.slots[t].args;
      mine = run;
      mine.tile_begin = tile_first[t];
      mine.tile_end = tile_first[t + 1];
      mine.thread = t;
      mine.assignments = t == 0 ? assignments + first : nullptr;
      mine.exchange = &fast_pool::exchange;
      mine.sync = &pool;
      pool.slots[t].waited = 0;
    }
    const std::uint64_t start = ticks();
    const std::uint32_t pooled_rozdil = pool.run_epoch();
    // Short runs say too little about the threads' speeds.
    if (length >= 64) rebalance(tile_first, ticks() - start);
    return pooled_rozdil;
  };
  std::uint32_t rozdil = 0;
  if (pool.threads == 1) {
    return run_samples(0, samples.count, false);
  }

  // The epoch runs in runs of consecutive samples (the order of samples and
  // so every result stay the same), each on the pool or on this thread
  // alone. The faster way, per sample as timed lately, gets long runs; the
  // other is tried again now and then on a short run, in case the machine's
  // load has changed, with runs that double while it keeps winning.
  constexpr std::uint32_t warm_up = 8;
  std::uint32_t first = 0;
  while (first < samples.count) {
    bool pooled;
    bool probe = false;
    std::uint32_t length;
    if (always_pool_) {
      pooled = true;
      length = samples.count - first;
    } else {
      if (seconds_per_sample_[1] == 0.0 || seconds_per_sample_[0] == 0.0) {
        // The first runs time each way once, briefly: the pool first.
        probe = true;
        pooled = seconds_per_sample_[1] == 0.0;
      } else {
        // The pool must win clearly: its timings are the noisier.
        const bool pool_better = seconds_per_sample_[1] < 0.9 * seconds_per_sample_[0];
        probe = runs_since_probe_ >= probe_gap_;
        pooled = probe ? !pool_better : pool_better;
      }
      length = probe ? probe_length_ : 4096;
      runs_since_probe_ = probe ? 0 : runs_since_probe_ + 1;
      // The first probes come soon, in case one timing was unlucky; then
      // every 16 runs.
      if (probe && seconds_per_sample_[0] != 0.0 && seconds_per_sample_[1] != 0.0) {
        probe_gap_ = probe_gap_ < 16 ? probe_gap_ * 2 : 16;
      }
      if (length > samples.count - first) length = samples.count - first;
    }
    if (pooled && length > warm_up && !always_pool_) {
      // A sleeping worker takes a while to wake: give the pool a few samples
      // before the clock starts, so that the timing is of the pool at work.
      rozdil += run_samples(first, warm_up, true);
      first += warm_up;
      length -= warm_up;
    }
    const auto start = std::chrono::steady_clock::now();
    rozdil += run_samples(first, length, pooled);
    const double per_sample =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / length;
    const double other = seconds_per_sample_[pooled ? 0 : 1];
    if (other != 0.0 && probe) {
      // A probe: lengthen the next one while the probed way wins.
      probe_length_ = per_sample < other ? (probe_length_ < 4096 ? probe_length_ * 2 : 4096) : 64;
    }
    seconds_per_sample_[pooled ? 1 : 0] = per_sample;
    first += length;
  }
  return rozdil;
}

}  // namespace som
