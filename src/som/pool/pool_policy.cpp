#include "som/pool/pool_policy.hpp"

#include <thread>

namespace som::pool {

unsigned threads_that_pay(std::uint32_t map_rows, std::uint32_t map_cols, std::uint32_t dimension) {
  // Below about this many weights a sample's work is too short to share
  // (measured on a 2-core AMD EPYC: 3000 weights per thread still gain).
  constexpr std::uint64_t least_weights = 4096;
  constexpr unsigned most_threads = 64;
  const std::uint64_t weights = std::uint64_t{map_rows} * map_cols * dimension;
  if (map_rows == 0 || map_cols == 0 || weights / map_rows / map_cols != dimension ||
      weights < least_weights) {
    return 1;
  }
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : (hardware > most_threads ? most_threads : hardware);
}

run_plan pool_policy::next(std::uint32_t remaining) {
  run_plan plan;
  if (mode_ != pool_mode::automatic) {
    plan.pooled = mode_ == pool_mode::always_pool;
    plan.length = remaining;
    return plan;
  }
  double& alone = seconds_per_sample_[0];
  double& pooled = seconds_per_sample_[1];
  if (pooled == 0.0 || alone == 0.0) {
    // The first runs time each way once, briefly: the pool first.
    plan.probe = true;
    plan.pooled = pooled == 0.0;
  } else {
    const bool pool_better = pooled < pool_margin * alone;
    plan.probe = runs_since_probe_ >= probe_gap_;
    plan.pooled = plan.probe ? !pool_better : pool_better;
    if (plan.probe)
      probe_gap_ = probe_gap_ < longest_probe_gap ? probe_gap_ * 2 : longest_probe_gap;
  }
  runs_since_probe_ = plan.probe ? 0 : runs_since_probe_ + 1;
  plan.length = plan.probe ? probe_length_ : long_run;
  if (plan.length > remaining) plan.length = remaining;
  if (plan.pooled && plan.length > warm_up_samples) {
    plan.warm_up = warm_up_samples;
    plan.length -= warm_up_samples;
  }
  return plan;
}

void pool_policy::timed(const run_plan& plan, double seconds_per_sample) {
  if (mode_ != pool_mode::automatic) return;
  const double other = seconds_per_sample_[plan.pooled ? 0 : 1];
  if (other != 0.0 && plan.probe) {
    // A probe: lengthen the next one while the probed way wins.
    probe_length_ = seconds_per_sample < other
                        ? (probe_length_ < long_run ? probe_length_ * 2 : long_run)
                        : shortest_probe;
  }
  seconds_per_sample_[plan.pooled ? 1 : 0] = seconds_per_sample;
}

}  // namespace som::pool
