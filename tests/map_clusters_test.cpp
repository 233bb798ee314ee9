// The map's clusters: Ward's merges of touching clusters, against a
// reference that tries every pair of clusters at every step, on small maps
// full of ties; every cluster one connected region of the map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "som/map/map_clusters.hpp"
#include "support/map_values.hpp"

namespace {

using som_test::grid_holder;

// The clustering done the slow way: every step looks at every pair of
// clusters, keeps those with two neurons side by side, and merges the
// cheapest, equal costs by the first neurons of the two (the smaller one's
// first, then the other's), a cost that is not a number after all others.
std::vector<std::uint32_t> reference_clusters(const std::vector<double>& weights, std::uint32_t rows,
                                              std::uint32_t cols, std::uint32_t dim,
                                              std::uint32_t wanted) {
  struct part {
    std::vector<std::uint32_t> members;  // ascending: members[0] is the first
    std::vector<double> sum;
  };
  std::vector<part> parts;
  for (std::uint32_t n = 0; n < rows * cols; ++n)
    parts.push_back({{n}, std::vector<double>(weights.begin() + n * dim, weights.begin() + (n + 1) * dim)});
  auto touch = [&](const part& a, const part& b) {
    for (std::uint32_t x : a.members)
      for (std::uint32_t y : b.members) {
        const std::uint32_t rx = x / cols, cx = x % cols, ry = y / cols, cy = y % cols;
        if ((rx == ry && (cx + 1 == cy || cy + 1 == cx)) || (cx == cy && (rx + 1 == ry || ry + 1 == rx)))
          return true;
      }
    return false;
  };
  auto cost = [&](const part& a, const part& b) {
    const double na = static_cast<double>(a.members.size());
    const double nb = static_cast<double>(b.members.size());
    double squared = 0.0;
    for (std::uint32_t k = 0; k < dim; ++k) {
      const double d = a.sum[k] / na - b.sum[k] / nb;
      squared = squared + d * d;
    }
    return na * nb / (na + nb) * squared;
  };
  while (parts.size() > wanted) {
    std::size_t best_a = 0, best_b = 0;
    double best = 0.0;
    bool found = false;
    for (std::size_t a = 0; a < parts.size(); ++a)
      for (std::size_t b = a + 1; b < parts.size(); ++b) {
        if (!touch(parts[a], parts[b])) continue;
        const double c = cost(parts[a], parts[b]);
        // Parts stay ordered by their first neurons, so (a, b) is already the
        // order of the tie rule.
        const bool better = !found || (std::isnan(best) && !std::isnan(c)) ||
                            (!std::isnan(best) && !std::isnan(c) && c < best);
        if (better) {
          best = c;
          best_a = a;
          best_b = b;
          found = true;
        }
      }
    if (!found) break;
    part& into = parts[best_a];
    for (std::uint32_t k = 0; k < dim; ++k) into.sum[k] = into.sum[k] + parts[best_b].sum[k];
    into.members.insert(into.members.end(), parts[best_b].members.begin(), parts[best_b].members.end());
    std::sort(into.members.begin(), into.members.end());
    parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(best_b));
  }
  std::vector<std::uint32_t> out(rows * cols, 0);
  for (std::size_t p = 0; p < parts.size(); ++p)
    for (std::uint32_t n : parts[p].members) out[n] = static_cast<std::uint32_t>(p + 1);
  return out;
}

// Every cluster number from 1 to `wanted` is one connected region, and the
// numbers come in the order of the clusters' first neurons.
void expect_regions(const std::vector<std::uint32_t>& clusters, std::uint32_t rows,
                    std::uint32_t cols, std::uint32_t wanted) {
  std::uint32_t seen = 0;
  std::vector<bool> reached(clusters.size(), false);
  for (std::uint32_t n = 0; n < clusters.size(); ++n) {
    if (reached[n]) continue;
    ASSERT_EQ(clusters[n], seen + 1) << "neuron " << n << " opens cluster " << clusters[n];
    ++seen;
    std::vector<std::uint32_t> stack = {n};
    reached[n] = true;
    while (!stack.empty()) {
      const std::uint32_t at = stack.back();
      stack.pop_back();
      const std::uint32_t r = at / cols, c = at % cols;
      for (std::uint32_t next : {r > 0 ? at - cols : at, c > 0 ? at - 1 : at,
                                 c + 1 < cols ? at + 1 : at, r + 1 < rows ? at + cols : at}) {
        if (!reached[next] && clusters[next] == clusters[n]) {
          reached[next] = true;
          stack.push_back(next);
        }
      }
    }
  }
  EXPECT_EQ(seen, wanted) << "a cluster in two pieces, or a wrong count";
}

TEST(MapClusters, AsTheReferenceMergesOnSmallMapsWithTies) {
  std::mt19937 random(36);
  for (int trial = 0; trial < 150; ++trial) {
    const std::uint32_t rows = 1 + random() % 6;
    const std::uint32_t cols = 1 + random() % 6;
    const std::uint32_t dim = random() % 4;  // 0: every cost is 0, the tie rule alone decides
    // Few distinct values: many equal costs; some trials with any double.
    const bool coarse = trial % 3 != 2;
    std::vector<double> weights(rows * cols * dim);
    for (double& w : weights)
      w = coarse ? static_cast<double>(random() % 3)
                 : std::uniform_real_distribution<double>(-1.0, 1.0)(random);
    if (trial % 10 == 9 && !weights.empty()) weights[random() % weights.size()] = std::nan("");
    const grid_holder grid(rows, cols, dim, weights);
    for (std::uint32_t wanted = 1; wanted <= rows * cols; ++wanted) {
      SCOPED_TRACE(testing::Message() << "trial " << trial << ", " << rows << " x " << cols
                                      << " of dimension " << dim << ", " << wanted << " clusters");
      const std::vector<std::uint32_t> clusters = som::map_clusters(grid.grid, wanted);
      ASSERT_EQ(clusters, reference_clusters(weights, rows, cols, dim, wanted));
      expect_regions(clusters, rows, cols, wanted);
    }
  }
}

TEST(MapClusters, TwoGroupsOfWeightsAreTwoRegions) {
  // A 6 x 8 map whose left half lies near 0 and right half near 10, with a
  // little spread: two clusters are the two halves, whatever the spread.
  std::mt19937 random(7);
  std::vector<double> weights;
  for (std::uint32_t r = 0; r < 6; ++r)
    for (std::uint32_t c = 0; c < 8; ++c)
      for (int k = 0; k < 2; ++k)
        weights.push_back((c < 4 ? 0.0 : 10.0) + std::uniform_real_distribution<double>(0.0, 1.0)(random));
  const grid_holder grid(6, 8, 2, weights);
  const std::vector<std::uint32_t> clusters = som::map_clusters(grid.grid, 2);
  for (std::uint32_t n = 0; n < 48; ++n) EXPECT_EQ(clusters[n], n % 8 < 4 ? 1u : 2u) << n;
}

TEST(MapClusters, AWeightThatIsNotANumberMergesLast) {
  // 1 x 5: the merges with the NaN neuron cost NaN and wait until no merge
  // that costs a number is left; then the tie rule takes the first pair.
  const grid_holder grid(1, 5, 1, {0.0, 0.1, std::nan(""), 0.2, 0.4});
  EXPECT_EQ(som::map_clusters(grid.grid, 3), (std::vector<std::uint32_t>{1, 1, 2, 3, 3}));
  EXPECT_EQ(som::map_clusters(grid.grid, 2), (std::vector<std::uint32_t>{1, 1, 1, 2, 2}));
}

}  // namespace
