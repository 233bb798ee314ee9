#include "som/map/neuron_groups.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <utility>

#include "som/map/find_bmu.hpp"

namespace som {

namespace {

using group_list = std::vector<std::vector<std::uint32_t>>;

// The bounds on |y − z| from a computed squared distance of y and z that
// best_two_lanes.hpp proves, and computes lane by lane.
double distance_above(const neuron_lanes& lanes, double sum) {
  return std::sqrt(sum) * lanes.above + 0x1p-500;
}
double distance_below(const neuron_lanes& lanes, double sum) {
  const double e = std::sqrt(sum) * lanes.below - 0x1p-500;
  return e > 0.0 ? e : 0.0;
}

bool within_bounds(const double* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (!(std::abs(values[i]) <= largest_bounded_value)) return false;
  return true;
}

// Which neurons are filed: of neurons with equal weights (bit for bit), the
// first two in row-major order.
std::vector<char> filed_neurons(const weight_grid& grid) {
  const std::size_t n = grid.neurons;
  const std::size_t bytes = std::size_t{grid.dimension} * sizeof(double);
  std::vector<char> filed(n, 0);
  if (bytes == 0) {
    for (std::size_t i = 0; i < n && i < 2; ++i) filed[i] = 1;
    return filed;
  }
  auto weights = [&](std::uint32_t i) { return grid.block + std::size_t{i} * grid.dimension; };
  std::vector<std::uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const int c = std::memcmp(weights(a), weights(b), bytes);
    return c != 0 ? c < 0 : a < b;
  });
  for (std::size_t i = 0; i < n;) {
    std::size_t j = i + 1;
    while (j < n && std::memcmp(weights(order[i]), weights(order[j]), bytes) == 0) ++j;
    filed[order[i]] = 1;
    if (j - i >= 2) filed[order[i + 1]] = 1;
    i = j;
  }
  return filed;
}

// The filed neurons in groups of at most `size` that lie near each other:
// halved again and again at the median of the component in which they
// spread the most (a k-d split), so that every group is a small box
// whatever the map's shape (trained, folded, or random weights). Weights
// that are not finite (`bounded` false) are not compared: the groups are
// then runs of neurons in row-major order.
group_list split_groups(const weight_grid& grid, const std::vector<char>& filed,
                        std::size_t size, bool bounded) {
  const std::uint32_t dim = grid.dimension;
  std::vector<std::uint32_t> neurons;
  for (std::size_t i = 0; i < grid.neurons; ++i)
    if (filed[i]) neurons.push_back(static_cast<std::uint32_t>(i));
  group_list groups;
  if (neurons.empty()) return groups;
  if (!bounded) {
    for (std::size_t i = 0; i < neurons.size(); i += size)
      groups.emplace_back(neurons.begin() + static_cast<std::ptrdiff_t>(i),
                          neurons.begin() + static_cast<std::ptrdiff_t>(std::min(neurons.size(), i + size)));
    return groups;
  }
  auto weight = [&](std::uint32_t neuron, std::uint32_t k) {
    return grid.block[std::size_t{neuron} * dim + k];
  };
  struct range {
    std::size_t begin, end;
  };
  std::vector<range> pending = {{0, neurons.size()}};
  while (!pending.empty()) {
    const range r = pending.back();
    pending.pop_back();
    std::uint32_t widest = 0;
    double widest_spread = 0.0;
    for (std::uint32_t k = 0; k < dim && r.end - r.begin > size; ++k) {
      double low = weight(neurons[r.begin], k), high = low;
      for (std::size_t i = r.begin + 1; i < r.end; ++i) {
        low = std::min(low, weight(neurons[i], k));
        high = std::max(high, weight(neurons[i], k));
      }
      if (high - low > widest_spread) {
        widest_spread = high - low;
        widest = k;
      }
    }
    if (r.end - r.begin <= size || !(widest_spread > 0.0)) {
      groups.emplace_back(neurons.begin() + static_cast<std::ptrdiff_t>(r.begin),
                          neurons.begin() + static_cast<std::ptrdiff_t>(r.end));
      std::sort(groups.back().begin(), groups.back().end());
      continue;
    }
    const std::size_t middle = r.begin + (r.end - r.begin) / 2;
    const auto at = [&](std::size_t i) { return neurons.begin() + static_cast<std::ptrdiff_t>(i); };
    std::nth_element(at(r.begin), at(middle), at(r.end), [&](std::uint32_t a, std::uint32_t b) {
      const double wa = weight(a, widest), wb = weight(b, widest);
      return wa < wb || (wa == wb && a < b);
    });
    pending.push_back({middle, r.end});
    pending.push_back({r.begin, middle});
  }
  return groups;
}

// The mean of each group's neurons.
std::vector<double> means_of(const weight_grid& grid, const group_list& groups) {
  const std::uint32_t dim = grid.dimension;
  std::vector<double> centres(groups.size() * dim, 0.0);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (std::uint32_t k = 0; k < dim; ++k) {
      double sum = 0.0;
      for (std::uint32_t neuron : groups[g]) sum = sum + grid.block[std::size_t{neuron} * dim + k];
      centres[g * dim + k] = sum / static_cast<double>(groups[g].size());
    }
  }
  return centres;
}

// A few rounds of k-means from the split, each neuron to the nearest mean,
// which rounds a group's box into a tighter ball (the bounds of its neurons'
// distances then prune more); left out where they would take long.
void tighten(const weight_grid& grid, group_list& groups) {
  const double work = static_cast<double>(grid.neurons) * static_cast<double>(groups.size()) *
                      std::max(1u, grid.dimension);
  const int rounds = static_cast<int>(std::clamp(3e8 / std::max(work, 1.0), 0.0, 10.0));
  const std::uint32_t dim = grid.dimension;
  for (int round = 0; round < rounds && groups.size() > 1; ++round) {
    const std::vector<double> centres = means_of(grid, groups);
    group_list next(groups.size());
    bool moved = false;
    for (std::size_t g = 0; g < groups.size(); ++g) {
      for (std::uint32_t neuron : groups[g]) {
        const double* w = grid.block + std::size_t{neuron} * dim;
        std::size_t nearest = g;
        double best = squared_distance(w, centres.data() + g * dim, dim);
        for (std::size_t h = 0; h < groups.size(); ++h) {
          const double d = squared_distance(w, centres.data() + h * dim, dim);
          if (d < best) {
            best = d;
            nearest = h;
          }
        }
        moved = moved || nearest != g;
        next[nearest].push_back(neuron);
      }
    }
    for (std::vector<std::uint32_t>& g : next) std::sort(g.begin(), g.end());
    std::erase_if(next, [](const std::vector<std::uint32_t>& g) { return g.empty(); });
    groups = std::move(next);
    if (!moved) break;
  }
}

// The components by the neurons' variance in them, the largest first (a
// screen that adds them in this order rules neurons out soonest).
std::vector<std::uint32_t> by_variance(const weight_grid& grid) {
  const std::uint32_t dim = grid.dimension;
  std::vector<double> mean(dim, 0.0), spread(dim, 0.0);
  const double count = static_cast<double>(std::max<std::size_t>(grid.neurons, 1));
  for (std::size_t i = 0; i < grid.neurons; ++i)
    for (std::uint32_t k = 0; k < dim; ++k) mean[k] += grid.block[i * dim + k] / count;
  for (std::size_t i = 0; i < grid.neurons; ++i) {
    for (std::uint32_t k = 0; k < dim; ++k) {
      const double d = grid.block[i * dim + k] - mean[k];
      spread[k] += d * d;
    }
  }
  std::vector<std::uint32_t> order(dim);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return spread[a] > spread[b]; });
  return order;
}

}  // namespace

void aligned_doubles::assign(std::size_t count, double value) {
  constexpr std::size_t line = 64 / sizeof(double);
  store_.assign(count + line, value);
  const auto address = reinterpret_cast<std::uintptr_t>(store_.data());
  at_ = store_.data() + (line - address / sizeof(double) % line) % line;
}

std::uint32_t default_group_size(std::size_t neurons) {
  // About 25 groups (on trained maps of 400 and 1600 neurons, of 64 and 32
  // components, the fastest), and at most about 2 √neurons in a group.
  const double count = static_cast<double>(neurons);
  return static_cast<std::uint32_t>(
      std::clamp(std::min(count / 25.0, 2.0 * std::sqrt(count)), 8.0, 65536.0));
}

neuron_groups::neuron_groups(const weight_grid& grid, std::uint32_t group_size) {
  const std::uint32_t dim = grid.dimension;
  const std::size_t n = grid.neurons;
  lanes_.dimension = dim;
  lanes_.map_cols = grid.map_cols;
  lanes_.neurons = static_cast<std::uint32_t>(n);
  lanes_.plain = grid.block;
  // Exact: (dim + 8) × 2^-51 has at most 33 significant bits above 2^-51.
  lanes_.above = 1.0 + (static_cast<double>(dim) + 8.0) * 0x1p-51;
  lanes_.below = 1.0 - (static_cast<double>(dim) + 8.0) * 0x1p-51;
  const bool bounded = within_bounds(grid.block, n * dim);
  lanes_.bounded = bounded;

  group_list groups =
      split_groups(grid, filed_neurons(grid), std::max<std::size_t>(1, group_size), bounded);
  if (bounded) {
    tighten(grid, groups);
    order_ = by_variance(grid);
  } else {
    order_.resize(dim);
    std::iota(order_.begin(), order_.end(), 0u);
  }

  // Each group's neurons by their distance to its centre, the nearest
  // first (where the map is bounded; the order does not matter otherwise).
  const std::vector<double> centres = means_of(grid, groups);
  std::vector<std::vector<double>> to_centre(groups.size());
  std::size_t tiles = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    std::vector<std::uint32_t>& members = groups[g];
    if (bounded) {
      std::vector<std::pair<double, std::uint32_t>> by_distance;
      for (std::uint32_t neuron : members)
        by_distance.emplace_back(squared_distance(grid.block + std::size_t{neuron} * dim,
                                                  centres.data() + g * dim, dim),
                                 neuron);
      std::sort(by_distance.begin(), by_distance.end());
      for (std::size_t i = 0; i < members.size(); ++i) {
        members[i] = by_distance[i].second;
        to_centre[g].push_back(by_distance[i].first);
      }
    }
    tiles += (members.size() + group_lanes - 1) / group_lanes;
  }

  // The tiles, group after group; a tile's unused lanes repeat its last
  // neuron.
  lanes_.groups = static_cast<std::uint32_t>(groups.size());
  lanes_.tiles = static_cast<std::uint32_t>(tiles);
  lanes_.centre_tiles = static_cast<std::uint32_t>((groups.size() + group_lanes - 1) / group_lanes);
  weights_.assign(tiles * dim * group_lanes, 0.0);
  neurons_.assign(tiles * group_lanes, no_neuron_here);
  near_.assign(tiles, 0.0);
  far_.assign(tiles, 0.0);
  first_tile_.assign(groups.size() + 1, 0);
  const std::size_t padded_groups = std::size_t{lanes_.centre_tiles} * group_lanes;
  centres_.assign(padded_groups * dim, 0.0);
  reach_.assign(padded_groups, -std::numeric_limits<double>::infinity());
  std::size_t t = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const std::vector<std::uint32_t>& members = groups[g];
    first_tile_[g] = static_cast<std::uint32_t>(t);
    for (std::size_t i = 0; i < members.size(); i += group_lanes, ++t) {
      const std::size_t last = std::min(members.size(), i + group_lanes) - 1;
      for (std::uint32_t l = 0; l < group_lanes; ++l) {
        const std::size_t member = std::min<std::size_t>(i + l, last);
        if (i + l <= last) neurons_[t * group_lanes + l] = members[member];
        const double* w = grid.block + std::size_t{members[member]} * dim;
        for (std::uint32_t k = 0; k < dim; ++k)
          weights_.data()[(t * dim + k) * group_lanes + l] = w[order_[k]];
      }
      if (bounded) {
        near_[t] = distance_below(lanes_, to_centre[g][i]);
        far_[t] = distance_above(lanes_, to_centre[g][last]);
      }
    }
    if (bounded) reach_.data()[g] = far_[t - 1];
  }
  first_tile_[groups.size()] = static_cast<std::uint32_t>(t);
  for (std::size_t g = 0; g < padded_groups; ++g) {
    const double* centre = centres.data() + std::min(g, groups.size() - 1) * dim;
    for (std::uint32_t k = 0; k < dim; ++k)
      centres_.data()[((g / group_lanes) * dim + k) * group_lanes + g % group_lanes] =
          centre[order_[k]];
  }

  lanes_.order = order_.data();
  lanes_.weights = weights_.data();
  lanes_.neurons_of = neurons_.data();
  lanes_.near = near_.data();
  lanes_.far = far_.data();
  lanes_.first_tile = first_tile_.data();
  lanes_.centres = centres_.data();
  lanes_.reach = reach_.data();
}

}  // namespace som
