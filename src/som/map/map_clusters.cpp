#include "som/map/map_clusters.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <queue>

namespace som {

namespace {

// A cluster is known by its first neuron in row-major order, which stays
// the first when it takes in another cluster (whose first neuron comes
// later).
struct cluster {
  std::uint32_t neurons = 1;
  std::uint32_t version = 0;  // changes with every merge it takes part in
  bool alive = true;
  std::vector<std::uint32_t> touching;  // the clusters beside it, ascending
};

// A merge as it was costed; outdated once either cluster has changed.
struct candidate {
  double cost;
  std::uint32_t first;   // the cluster whose first neuron comes first
  std::uint32_t second;  // the other
  std::uint32_t first_version;
  std::uint32_t second_version;
};

// Ranks the cheapest merge first, equal costs by the clusters' first
// neurons; a cost that is not a number after every number.
struct later {
  bool operator()(const candidate& a, const candidate& b) const {
    const double ca = std::isnan(a.cost) ? std::numeric_limits<double>::infinity() : a.cost;
    const double cb = std::isnan(b.cost) ? std::numeric_limits<double>::infinity() : b.cost;
    if (ca != cb) return ca > cb;
    if (std::isnan(a.cost) != std::isnan(b.cost)) return std::isnan(a.cost);
    if (a.first != b.first) return a.first > b.first;
    return a.second > b.second;
  }
};

void add_touching(std::vector<std::uint32_t>& list, std::uint32_t id) {
  const auto at = std::lower_bound(list.begin(), list.end(), id);
  if (at == list.end() || *at != id) list.insert(at, id);
}

void remove_touching(std::vector<std::uint32_t>& list, std::uint32_t id) {
  const auto at = std::lower_bound(list.begin(), list.end(), id);
  if (at != list.end() && *at == id) list.erase(at);
}

}  // namespace

double merge_cost(const double* mean_a, std::uint32_t na, const double* mean_b, std::uint32_t nb,
                  std::uint32_t dimension) {
  double squared = 0.0;
  for (std::uint32_t k = 0; k < dimension; ++k) {
    const double difference = mean_a[k] - mean_b[k];
    squared = squared + difference * difference;
  }
  const double a = static_cast<double>(na);
  const double b = static_cast<double>(nb);
  return a * b / (a + b) * squared;
}

std::vector<std::uint32_t> map_clusters(const weight_grid& grid, std::uint32_t clusters) {
  const std::size_t count = grid.neurons;
  const std::uint32_t cols = grid.map_cols;
  const std::uint32_t dim = grid.dimension;
  std::vector<cluster> parts(count);
  std::vector<double> sums(grid.block, grid.block + count * dim);
  std::vector<double> means = sums;
  // Which cluster took each neuron in (a neuron that is still the first of
  // its cluster points at itself).
  std::vector<std::uint32_t> taken_by(count);

  std::priority_queue<candidate, std::vector<candidate>, later> merges;
  auto offer = [&](std::uint32_t a, std::uint32_t b) {
    const std::uint32_t first = std::min(a, b);
    const std::uint32_t second = std::max(a, b);
    // Pointers by arithmetic, not by indexing: a map of dimension 0 has no
    // means at all.
    const double cost =
        merge_cost(means.data() + std::size_t{first} * dim, parts[first].neurons,
                   means.data() + std::size_t{second} * dim, parts[second].neurons, dim);
    merges.push({cost, first, second, parts[first].version, parts[second].version});
  };
  for (std::size_t n = 0; n < count; ++n) {
    const auto id = static_cast<std::uint32_t>(n);
    taken_by[n] = id;
    const std::uint32_t col = id % cols;
    // Ascending: above, left, right, below.
    if (n >= cols) parts[n].touching.push_back(id - cols);
    if (col > 0) parts[n].touching.push_back(id - 1);
    if (col + 1 < cols) parts[n].touching.push_back(id + 1);
    if (n + cols < count) parts[n].touching.push_back(id + cols);
    for (std::uint32_t other : parts[n].touching)
      if (other > id) offer(id, other);
  }

  for (std::size_t left = count; left > clusters && !merges.empty();) {
    const candidate best = merges.top();
    merges.pop();
    cluster& first = parts[best.first];
    cluster& second = parts[best.second];
    if (!first.alive || !second.alive || first.version != best.first_version ||
        second.version != best.second_version) {
      continue;
    }
    // The first takes the second in.
    for (std::uint32_t k = 0; k < dim; ++k) {
      double& sum = sums[std::size_t{best.first} * dim + k];
      sum = sum + sums[std::size_t{best.second} * dim + k];
    }
    first.neurons += second.neurons;
    const double size = static_cast<double>(first.neurons);
    for (std::uint32_t k = 0; k < dim; ++k) {
      means[std::size_t{best.first} * dim + k] = sums[std::size_t{best.first} * dim + k] / size;
    }
    second.alive = false;
    taken_by[best.second] = best.first;
    ++first.version;
    remove_touching(first.touching, best.second);
    for (std::uint32_t other : second.touching) {
      if (other == best.first) continue;
      remove_touching(parts[other].touching, best.second);
      add_touching(parts[other].touching, best.first);
      add_touching(first.touching, other);
    }
    second.touching.clear();
    second.touching.shrink_to_fit();
    for (std::uint32_t other : first.touching) offer(best.first, other);
    --left;
  }

  // A cluster is only ever taken in by one whose first neuron comes before
  // it: in row-major order, every neuron's taker is numbered before it.
  std::vector<std::uint32_t> out(count);
  std::uint32_t next = 0;
  for (std::size_t n = 0; n < count; ++n) out[n] = taken_by[n] == n ? ++next : out[taken_by[n]];
  return out;
}

}  // namespace som
