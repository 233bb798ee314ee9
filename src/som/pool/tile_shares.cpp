#include "som/pool/tile_shares.hpp"

#include <cmath>

namespace som::pool {

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

void tile_shares::rebalance(const std::vector<std::size_t>& first,
                            const std::vector<std::uint64_t>& waited, std::uint64_t elapsed,
                            std::uint32_t samples) {
  if (samples < least_samples) return;
  const std::size_t threads = shares_.size();
  std::vector<double> speed(threads);
  double total = 0.0;
  for (std::size_t t = 0; t < threads; ++t) {
    if (waited[t] >= elapsed || first[t + 1] == first[t]) return;
    speed[t] =
        static_cast<double>(first[t + 1] - first[t]) / static_cast<double>(elapsed - waited[t]);
    total += speed[t];
  }
  for (std::size_t t = 0; t < threads; ++t) shares_[t] += 0.5 * (speed[t] / total - shares_[t]);
}

}  // namespace som::pool
