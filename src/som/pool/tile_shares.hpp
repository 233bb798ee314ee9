// How the tiles of the grid are shared between the threads of a pool: at
// first equally, then in proportion to the speed each thread has shown (the
// cores of a shared machine are seldom equally fast, and every meeting waits
// for the slowest).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace som::pool {

// Splits `tiles` between threads in proportion to `shares` (which sum to 1):
// thread t takes [first[t], first[t + 1]), at least one tile each while there
// are as many tiles as threads.
void split_tiles(const std::vector<double>& shares, std::size_t tiles,
                 std::vector<std::size_t>& first);

class tile_shares {
 public:
  explicit tile_shares(unsigned threads) : shares_(threads, 1.0 / threads) {}

  // Each thread's range of the grid's tiles.
  void split(std::size_t tiles, std::vector<std::size_t>& first) const {
    split_tiles(shares_, tiles, first);
  }

  // After a run of `samples` samples that took `elapsed` ticks, in which
  // thread t waited waited[t] ticks at the meetings: each thread's speed is
  // its tiles over the time it was not waiting, and the shares move halfway
  // towards the speeds' proportions (halfway, so that one noisy run cannot
  // swing them). Short runs say too little and change nothing.
  void rebalance(const std::vector<std::size_t>& first, const std::vector<std::uint64_t>& waited,
                 std::uint64_t elapsed, std::uint32_t samples);

  // Sets the shares (one per thread, summing to 1) until the next rebalance.
  void set(const std::vector<double>& shares) {
    if (shares.size() == shares_.size()) shares_ = shares;
  }
  const std::vector<double>& shares() const { return shares_; }

  // The shortest run that rebalances.
  static constexpr std::uint32_t least_samples = 64;

 private:
  std::vector<double> shares_;
};

}  // namespace som::pool
