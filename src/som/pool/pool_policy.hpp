// Whether a run of samples trains on the pool or on the calling thread
// alone. The results are the same either way; only the time differs, and on
// a busy machine the pool's per-sample meetings can wait for a thread that is
// not running. So, left to itself, the policy times runs of samples both ways
// and gives the long runs to whichever has lately been faster, trying the
// other again now and then on a short run, in case the machine's load has
// changed, with runs that double while it keeps winning. Tests can force
// either way.
#pragma once

#include <cstdint>

namespace som::pool {

enum class pool_mode { automatic, always_pool, always_alone };

// The threads that pay off for a grid of this size on this machine: 1 for
// small maps, where a meeting per sample costs more than it saves.
unsigned threads_that_pay(std::uint32_t map_rows, std::uint32_t map_cols, std::uint32_t dimension);

struct run_plan {
  bool pooled = false;
  bool probe = false;         // a short run that times the way not taken lately
  std::uint32_t warm_up = 0;  // samples run on the pool, untimed, before the run
  std::uint32_t length = 0;   // samples of the run, after the warm-up
};

class pool_policy {
 public:
  explicit pool_policy(pool_mode mode) : mode_(mode) {}

  // The next run, out of `remaining` samples (at least 1) of the epoch.
  run_plan next(std::uint32_t remaining);

  // What the run took, per sample (of its length, not its warm-up).
  void timed(const run_plan& plan, double seconds_per_sample);

  // The pool must be this much faster to get the long runs: its timings are
  // the noisier.
  static constexpr double pool_margin = 0.9;
  // Samples of a run that is not a probe.
  static constexpr std::uint32_t long_run = 4096;
  // The first probes' length; it doubles (up to long_run) while the probed
  // way keeps winning.
  static constexpr std::uint32_t shortest_probe = 64;
  // Runs between probes: 1, 2, 4 and 8 at first, in case one timing was
  // unlucky, then this many.
  static constexpr std::uint32_t longest_probe_gap = 16;
  // A sleeping worker takes a while to wake: the pool gets this many samples
  // before the clock starts, so that a timing is of the pool at work.
  static constexpr std::uint32_t warm_up_samples = 8;

 private:
  pool_mode mode_;
  double seconds_per_sample_[2] = {0.0, 0.0};  // alone, pooled; 0 until timed
  std::uint32_t runs_since_probe_ = 0;
  std::uint32_t probe_gap_ = 1;
  std::uint32_t probe_length_ = shortest_probe;
};

}  // namespace som::pool
