// The best and second-best units of the finder's lane search, with every
// build that runs on this machine, against the plain search through every
// neuron (find_best_two): the same units and the same distance, bit for
// bit, for every sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "som/map/best_two.hpp"
#include "som/map/best_two_targets.hpp"
#include "som/map/map_storage.hpp"
#include "som/training/train_map.hpp"
#include "support/map_values.hpp"

namespace {

using som_test::grid_holder;
using som_test::samples_of;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Small deterministic numbers: a linear congruential generator.
struct numbers {
  std::uint32_t state;
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 16777216.0;
  }
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>(next() * n) % n;
  }
};

std::string text(const som::best_two& b) {
  return "best (" + std::to_string(b.best.row) + ", " + std::to_string(b.best.col) + ") at " +
         std::to_string(b.best_distance) + ", second " +
         (b.has_second ? "(" + std::to_string(b.second.row) + ", " +
                             std::to_string(b.second.col) + ")"
                       : std::string("none"));
}

bool same(const som::best_two& a, const som::best_two& b) {
  return a.best.row == b.best.row && a.best.col == b.best.col && a.has_second == b.has_second &&
         a.second.row == b.second.row && a.second.col == b.second.col &&
         std::memcmp(&a.best_distance, &b.best_distance, sizeof(double)) == 0;
}

// Every build here, every way of grouping (or, when not `every_way`, the
// widest build's usual groups), one sample at a time and all at once (on
// one thread and on three), and the finder as the programs make it: each
// answer as find_best_two's.
void expect_plain_answers(const som::weight_grid& grid, std::vector<double> values,
                          bool every_way = true) {
  const som::sample_matrix samples = samples_of(values, grid.dimension);
  std::vector<som::best_two> plain(samples.count);
  for (std::uint32_t s = 0; s < samples.count; ++s)
    plain[s] = som::find_best_two(grid, samples.row(s));
  auto check = [&](const som::best_two_finder& finder, const std::string& way) {
    for (std::uint32_t s = 0; s < samples.count; ++s) {
      const som::best_two found = finder.find(samples.row(s));
      ASSERT_TRUE(same(found, plain[s]))
          << way << ", sample " << s << ": " << text(found) << " against " << text(plain[s]);
    }
    for (unsigned threads : {1u, 3u}) {
      std::vector<som::best_two> all(samples.count);
      finder.find_all(samples, all.data(), threads);
      for (std::uint32_t s = 0; s < samples.count; ++s)
        ASSERT_TRUE(same(all[s], plain[s])) << way << " on " << threads << " threads, sample " << s
                                            << ": " << text(all[s]) << " against "
                                            << text(plain[s]);
    }
  };
  check(som::best_two_finder(grid), "the finder");
  if (!every_way) {
    check(som::best_two_finder(grid, som::lane_target_here()), som::lane_target_here().name());
    return;
  }
  for (const som::lane_target* target : som::lane_targets()) {
    if (!som::runs_here(*target)) continue;
    for (std::uint32_t size : {0u, 1u, 5u, 100000u})
      check(som::best_two_finder(grid, *target, size),
            std::string(target->name()) + ", groups of " + std::to_string(size));
  }
}

std::vector<double> uniform(numbers& random, std::size_t count, double low, double high) {
  std::vector<double> v(count);
  for (double& x : v) x = low + (high - low) * random.next();
  return v;
}

TEST(BestTwoLanes, RandomMapsOfEveryShape) {
  numbers random{36};
  struct shape {
    std::uint32_t rows, cols;
  };
  for (std::uint32_t dim : {1u, 3u, 8u, 9u, 17u, 32u, 64u}) {
    for (shape s : {shape{1, 1}, shape{1, 9}, shape{7, 1}, shape{9, 11}, shape{20, 20}}) {
      SCOPED_TRACE(testing::Message() << s.rows << " x " << s.cols << ", dimension " << dim);
      const std::vector<double> weights = uniform(random, std::size_t{s.rows} * s.cols * dim, 0, 1);
      grid_holder map(s.rows, s.cols, dim, weights);
      std::vector<double> samples = uniform(random, 150 * dim, -0.2, 1.2);
      // Samples on neurons, and one far away.
      samples.insert(samples.end(), weights.begin(), weights.begin() + dim);
      samples.insert(samples.end(), weights.end() - dim, weights.end());
      for (std::uint32_t k = 0; k < dim; ++k) samples.push_back(1e6);
      expect_plain_answers(map.grid, samples);
    }
  }
}

// Maps of every kind a report or a mapping may meet: smooth, with many
// equal distances, all alike, strung out along a curve (a large map after
// its first epoch), spread at the bottom of the doubles, piles of equal
// neurons with some a rounding off their pile and zeros of both signs,
// distances that overflow.
TEST(BestTwoLanes, MapsOfEveryKind) {
  numbers random{2026};
  for (std::uint32_t dim : {1u, 2u, 3u, 7u, 20u}) {
    for (int layout = 0; layout < 8; ++layout) {
      SCOPED_TRACE(testing::Message() << "dimension " << dim << ", layout " << layout);
      const std::uint32_t rows = 23, cols = 17;
      std::vector<double> weights;
      for (std::uint32_t r = 0; r < rows; ++r) {
        for (std::uint32_t c = 0; c < cols; ++c) {
          for (std::uint32_t k = 0; k < dim; ++k) {
            double w = random.next();
            if (layout == 1) w = (k == 0 ? r / 22.0 : k == 1 ? c / 16.0 : 0.5) + w * 0.01;
            if (layout == 2) w = std::floor(w * 4.0);
            if (layout == 3) w = 0.25;
            if (layout == 4) w = std::pow((r * cols + c) / 390.0, 1.0 + k) + w * 1e-9;
            if (layout == 5) w = w * 1e-300;
            if (layout == 6) {
              const std::uint32_t pile = (r * 7 + c * 3) % 5;
              w = pile == 4 ? ((r + c) % 2 ? 0.0 : -0.0) : 0.125 * (pile + k);
              if ((r * cols + c) % 9 == 0) w = std::nextafter(w, 1.0);
            }
            if (layout == 7) w = w * 1e154;
            weights.push_back(w);
          }
        }
      }
      grid_holder map(rows, cols, dim, weights);
      std::vector<double> samples;
      for (int s = 0; s < 200; ++s) {
        for (std::uint32_t k = 0; k < dim; ++k) {
          double v = random.next() * 1.4 - 0.2;  // some outside the map's range
          if (layout == 2) v = std::floor(v * 4.0);
          if (layout == 5) v = v * 1e-300;
          if (layout == 6) v = std::floor(v * 8.0) * 0.125;  // on the piles, and between
          if (layout == 7) v = v * 1e154;
          samples.push_back(v);
        }
      }
      samples.insert(samples.end(), weights.begin(), weights.begin() + 5 * dim);
      for (std::uint32_t k = 0; k < dim; ++k) samples.push_back(1e6);
      expect_plain_answers(map.grid, samples);
    }
  }
}

// Clusters as a trained map sees them: the map trained by the real training
// loop (the kernels where they run), the samples from the same clusters.
TEST(BestTwoLanes, TrainedMaps) {
  numbers random{2026};
  for (std::uint32_t dim : {12u, 40u}) {
    SCOPED_TRACE(testing::Message() << "dimension " << dim);
    const std::vector<double> centres = uniform(random, 6 * dim, 0, 1);
    auto draw = [&](std::size_t count) {
      std::vector<double> v;
      for (std::size_t s = 0; s < count; ++s) {
        const std::uint32_t c = random.below(6);
        for (std::uint32_t k = 0; k < dim; ++k)
          v.push_back(centres[c * dim + k] + 0.08 * (random.next() - 0.5));
      }
      return v;
    };
    std::vector<double> training = draw(300);
    const som::training_engine engine = som::shipped_engine();
    som::owned_grid grid(som::alloc_weight_grid(12, 10, dim, som::grid_lanes(engine)));
    som::random_generator gen;
    som::seed_random(gen, 7);
    som::init_random_weights(*grid, gen);
    std::vector<som::assignment> assigned(300);
    som::assignment_table table{assigned.data(), 300};
    som::training_params params;
    params.radius_decay = 1;
    params.rate_decay = 10;
    params.stop_radius = 2;
    params.engine = engine;
    const som::epoch_sink quiet{[](void*, std::uint32_t, double) {}, nullptr};
    std::uint32_t krok = 0, rozdil = 0;
    som::train_map(quiet, params, samples_of(training, dim), *grid, table, krok, rozdil);
    std::vector<double> weights;
    for (std::size_t n = 0; n < grid->neurons; ++n)
      for (std::uint32_t k = 0; k < dim; ++k) weights.push_back(grid->at(n, k));
    grid_holder map(12, 10, dim, weights);
    std::vector<double> samples = draw(400);
    samples.insert(samples.end(), training.begin(), training.begin() + 50 * dim);
    expect_plain_answers(map.grid, samples);
  }
}

// Equal distances everywhere: neurons copied (one pile of forty), weights
// and samples on a coarse lattice, zeros of both signs, samples on neurons.
TEST(BestTwoLanes, Ties) {
  numbers random{7};
  for (std::uint32_t dim : {2u, 16u, 33u}) {
    SCOPED_TRACE(testing::Message() << "dimension " << dim);
    const std::uint32_t rows = 11, cols = 13;
    std::vector<double> weights(std::size_t{rows} * cols * dim);
    for (double& w : weights) w = std::floor(random.next() * 3.0) * 0.5;
    for (std::uint32_t n = 0; n < rows * cols; ++n) {
      // Copies of earlier neurons, and a pile of copies of neuron 3.
      const std::uint32_t from = n >= 60 && n < 100 ? 3 : n % 7 == 6 ? random.below(n) : n;
      for (std::uint32_t k = 0; k < dim; ++k) weights[n * dim + k] = weights[from * dim + k];
      if (n % 11 == 5) weights[n * dim] = (n % 2 == 0 ? 0.0 : -0.0);
    }
    grid_holder map(rows, cols, dim, weights);
    std::vector<double> samples;
    for (int s = 0; s < 200; ++s)
      for (std::uint32_t k = 0; k < dim; ++k) samples.push_back(std::floor(random.next() * 5.0) * 0.25);
    for (std::uint32_t n : {0u, 3u, 61u, 99u, 142u})
      samples.insert(samples.end(), weights.begin() + n * dim, weights.begin() + (n + 1) * dim);
    for (std::uint32_t k = 0; k < dim; ++k) samples.push_back(k % 2 == 0 ? -0.0 : 0.0);
    expect_plain_answers(map.grid, samples);
  }
}

// A few neurons that differ only in the order of the same components, the
// others far away: from a sample of equal components their distances are
// the same sum of squares taken in other orders, so which is nearest is
// decided by the rounding alone (the searches add the terms in other orders
// before they measure, and must allow for it).
TEST(BestTwoLanes, NeighboursApartByARounding) {
  numbers random{48};
  for (std::uint32_t dim : {6u, 24u, 70u}) {
    SCOPED_TRACE(testing::Message() << "dimension " << dim);
    const std::vector<double> base = uniform(random, dim, 0.1, 0.9);
    const std::uint32_t rows = 10, cols = 12;
    std::vector<double> weights = uniform(random, std::size_t{rows} * cols * dim, 5.0, 9.0);
    for (std::uint32_t n = 0; n < rows * cols; n += 1 + random.below(30)) {
      std::vector<double> w = base;
      for (std::uint32_t k = dim - 1; k > 0; --k) std::swap(w[k], w[random.below(k + 1)]);
      std::copy(w.begin(), w.end(), weights.begin() + n * dim);
    }
    grid_holder map(rows, cols, dim, weights);
    std::vector<double> samples;
    for (int s = 0; s < 300; ++s) {
      const double c = random.next() * 1.2 - 0.1;
      for (std::uint32_t k = 0; k < dim; ++k) samples.push_back(c);
    }
    expect_plain_answers(map.grid, samples);
  }
}

// Many neurons at exactly the same distance (every sign pattern of ±1, the
// sample at 0): more near-winners than the search keeps as candidates.
TEST(BestTwoLanes, MoreEqualNeighboursThanCandidates) {
  const std::uint32_t dim = 8, neurons = 256;
  std::vector<double> weights;
  for (std::uint32_t n = 0; n < neurons; ++n)
    for (std::uint32_t k = 0; k < dim; ++k) weights.push_back((n >> k & 1u) != 0 ? 1.0 : -1.0);
  grid_holder map(16, 16, dim, weights);
  std::vector<double> samples(dim, 0.0);
  for (std::uint32_t k = 0; k < dim; ++k) samples.push_back(k == 3 ? 1e-9 : 0.0);
  for (std::uint32_t k = 0; k < dim; ++k) samples.push_back(k == 5 ? -0x1p-30 : 0x1p-60);
  expect_plain_answers(map.grid, samples);
}

// Weights or sample values that are not finite, or so large that distances
// overflow, and values at the edge of what the bounds allow.
TEST(BestTwoLanes, ValuesThatAreNotFiniteOrHuge) {
  numbers random{99};
  const std::uint32_t dim = 20, rows = 6, cols = 7;
  const double edge = 0x1p480;
  for (int kind = 0; kind < 6; ++kind) {
    SCOPED_TRACE(testing::Message() << "kind " << kind);
    std::vector<double> weights = uniform(random, std::size_t{rows} * cols * dim, -1, 1);
    if (kind == 1) weights[5 * dim + 3] = nan;
    if (kind == 2) weights[9 * dim] = inf, weights[30 * dim + 1] = -inf;
    if (kind == 3) weights[17 * dim + 2] = 0x1p481;  // beyond the bounds
    if (kind == 4) {
      for (std::size_t i = 0; i < weights.size(); i += 3) weights[i] *= 1e200;  // overflow
    }
    if (kind == 5) {
      for (std::size_t i = 0; i < weights.size(); i += 7) weights[i] = weights[i] < 0 ? -edge : edge;
    }
    grid_holder map(rows, cols, dim, weights);
    std::vector<double> samples = uniform(random, 60 * dim, -1.5, 1.5);
    const double odd[] = {nan, inf, -inf, 0x1p481, -0x1p481, edge, -edge, 1e300};
    for (double value : odd) {
      std::vector<double> sample = uniform(random, dim, -1, 1);
      sample[random.below(dim)] = value;
      samples.insert(samples.end(), sample.begin(), sample.end());
    }
    samples.insert(samples.end(), weights.begin() + 17 * dim, weights.begin() + 18 * dim);
    expect_plain_answers(map.grid, samples);
  }
}

// Weights and samples in the subnormal range, where squares underflow.
TEST(BestTwoLanes, Subnormals) {
  numbers random{5};
  const std::uint32_t dim = 24;
  std::vector<double> weights = uniform(random, 9 * 8 * dim, 0, 1);
  for (std::size_t i = 0; i < weights.size(); ++i)
    weights[i] = i % 5 == 0 ? 0.0 : weights[i] * (i % 2 == 0 ? 1e-310 : 1e-160);
  grid_holder map(9, 8, dim, weights);
  std::vector<double> samples = uniform(random, 100 * dim, 0, 1);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = i % 3 == 0 ? 0.0 : samples[i] * (i % 4 == 0 ? 4e-324 : 1e-158);
  expect_plain_answers(map.grid, samples);
}

TEST(BestTwoLanes, EmptyAndTinyMaps) {
  // No neuron: no unit, the largest double as the distance.
  grid_holder empty(0, 5, 30, {});
  expect_plain_answers(empty.grid, std::vector<double>(60, 0.5));
  // One neuron: no second unit.
  grid_holder one(1, 1, 30, std::vector<double>(30, 0.25));
  expect_plain_answers(one.grid, std::vector<double>(90, 0.5));
  // No component: every distance 0, the first two neurons win.
  grid_holder flat(3, 4, 0, {});
  const som::best_two_finder finder(flat.grid);
  const double none = 0.0;
  const som::best_two two = finder.find(&none);
  EXPECT_TRUE(same(two, som::find_best_two(flat.grid, &none)));
  EXPECT_EQ(two.second.col, 1u);
  for (const som::lane_target* target : som::lane_targets()) {
    if (!som::runs_here(*target)) continue;
    EXPECT_TRUE(same(som::best_two_finder(flat.grid, *target).find(&none), two)) << target->name();
  }
}

// Enough samples that every thread takes several runs of them.
TEST(BestTwoLanes, ManySamplesOnThreads) {
  numbers random{11};
  const std::uint32_t dim = 36;
  grid_holder map(15, 15, dim, uniform(random, 225 * dim, 0, 1));
  expect_plain_answers(map.grid, uniform(random, 4000 * dim, 0, 1), false);
}

}  // namespace
