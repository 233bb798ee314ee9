// Subnormal weights: the kernels' epoch that keeps them out of its arithmetic
// (epoch_input::tame) against the plain epoch, bit for bit, on maps whose
// weights are or become subnormal, with the samples and rates at the edges
// of the conditions under which it is exact; and the test of those
// conditions itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "som/kernels/component_order.hpp"
#include "som/kernels/kernel_table.hpp"
#include "som/kernels/subnormals.hpp"
#include "som/map/map_storage.hpp"
#include "som/map/train_epoch_plain.hpp"
#include "som/training/epoch_plan.hpp"
#include "support/map_values.hpp"

namespace {

using som::kernels::search_mode;
using som::kernels::subnormal_mode;
using som_test::same_weight;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double least_safe = 0x1p-968;
const double below_safe = std::nextafter(least_safe, 0.0);
const double above_safe = std::nextafter(least_safe, 1.0);

bool exact_for(std::vector<double> values, double rate) {
  som::sample_matrix samples{values.data(), static_cast<std::uint32_t>(values.size()), 1};
  return som::kernels::tame_is_exact(samples, rate);
}

TEST(TameIsExact, OnlyForSamplesAndRatesThatKeepEveryResult) {
  struct row {
    const char* what;
    std::vector<double> samples;
    double rate;
    bool exact;
  };
  const row rows[] = {
      {"zeros and ordinary values", {0.0, -0.0, 0.5, 1.0, -3.0}, 0.5, true},
      {"no samples", {}, 0.5, true},
      {"infinities and NaN", {inf, -inf, nan, 0.25}, 1.0, true},
      {"the smallest safe size, rate 1", {least_safe, -least_safe}, 1.0, true},
      {"just below it", {0.5, below_safe}, 1.0, false},
      {"a normal value far below it", {0x1p-1000}, 1.0, false},
      {"a subnormal sample", {0x1p-1060}, 1.0, false},
      {"|x| × rate just below the limit", {least_safe * 2}, 0.4999999999999999, false},
      {"|x| × rate at the limit", {least_safe * 2}, 0.5, true},
      {"just above the limit, rate 1", {above_safe}, 1.0, true},
      {"rate 0 with a nonzero sample", {0.5}, 0.0, false},
      {"rate 0, only zeros and infinities", {0.0, inf, nan}, 0.0, true},
      {"rate above 1", {0.5}, 1.5, false},
      {"rate NaN", {0.0}, nan, false},
      {"rate negative", {0.0}, -0.25, false},
  };
  for (const row& r : rows) EXPECT_EQ(exact_for(r.samples, r.rate), r.exact) << r.what;
}

TEST(HasSubnormal, SeesOneSubnormalWeightAnywhere) {
  som::owned_grid grid_memory = som::alloc_weight_grid(3, 5, 4, som::kernels::tile_lanes);
  som::weight_grid& grid = *grid_memory;
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < grid.dimension; ++k)
      grid.at(n, k) = n % 2 != 0 ? -0.0 : 0x1p-1022;
  }
  EXPECT_FALSE(som::kernels::has_subnormal(grid));
  grid.at(14, 3) = -0x1p-1074;
  EXPECT_TRUE(som::kernels::has_subnormal(grid));
}

struct sparse_case {
  std::uint32_t rows, cols, dimension, count;
  std::vector<double> samples;
  std::vector<double> weights;  // neuron order
};

// A weight near the bottom of the range: subnormals with small and large
// significands of either sign, zeros, the smallest normals, normals whose
// squares are subnormal, and now and then an ordinary value, NaN or an
// infinity.
double tiny_weight(std::mt19937_64& gen) {
  std::uniform_int_distribution<int> kind(0, 11);
  std::uniform_int_distribution<std::uint64_t> big(1, (std::uint64_t{1} << 52) - 1);
  std::uniform_int_distribution<std::uint64_t> small(1, 40);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const bool negative = (gen() & 1) != 0;
  double w = 0.0;
  switch (kind(gen)) {
    case 0: w = static_cast<double>(small(gen)) * 0x1p-1074; break;
    case 1:
    case 2:
    case 3: w = static_cast<double>(big(gen)) * 0x1p-1074; break;
    case 4: w = 0.0; break;
    case 5: w = 0x1p-1022 * (1.0 + unit(gen) * unit(gen) * 0.5 + 0.5); break;
    case 6:
      w = std::ldexp(0.75 + unit(gen) * 0.25, -512 - static_cast<int>(small(gen) * 12));
      break;
    case 7: w = unit(gen); break;
    case 8: w = (gen() % 4 == 0) ? nan : (gen() % 2 == 0 ? inf : 0x1p-1074); break;
    default: w = static_cast<double>(big(gen) >> (gen() % 48)) * 0x1p-1074; break;
  }
  return negative ? -w : w;
}

// Sparse samples: most components exactly ±0, the others ordinary values or
// at `edge` and just above it (the smallest size the rates allow), with
// infinities and NaN where `specials`.
sparse_case make_sparse(std::mt19937_64& gen, std::uint32_t rows, std::uint32_t cols,
                        std::uint32_t dimension, std::uint32_t count, bool specials, double edge) {
  sparse_case c{rows, cols, dimension, count, {}, {}};
  std::uniform_int_distribution<int> kind(0, 99);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (std::uint32_t s = 0; s < count; ++s) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      const int p = kind(gen);
      double x = 0.0;
      if (p < 55) x = k % 3 == 0 ? -0.0 : 0.0;
      else if (p < 90) x = unit(gen);
      else if (p < 94) x = edge;
      else if (p < 98) x = -std::nextafter(edge, 1.0);
      else if (specials) x = p == 98 ? nan : -inf;
      c.samples.push_back(x);
    }
  }
  for (std::uint64_t i = 0; i < std::uint64_t{rows} * cols * dimension; ++i) {
    c.weights.push_back(tiny_weight(gen));
  }
  return c;
}

struct epoch_params {
  double learning_rate, radius;
};

// Trains the case with the plain epoch and with `kernel` asked to keep
// subnormals apart, the winners searched `mode`, comparing after every
// epoch. Returns how many epochs took that way (those whose rate the
// samples allow).
int check_against_plain(const som::kernels::kernel_entry& kernel, const sparse_case& c,
                        const std::vector<epoch_params>& epochs, search_mode mode) {
  som::sample_matrix samples{const_cast<double*>(c.samples.data()), c.count, c.dimension};
  som::owned_grid plain_memory = som::alloc_weight_grid(c.rows, c.cols, c.dimension, 1);
  som::weight_grid& plain = *plain_memory;
  som::owned_grid fast_memory =
      som::alloc_weight_grid(c.rows, c.cols, c.dimension, som::kernels::tile_lanes);
  som::weight_grid& fast = *fast_memory;
  for (std::size_t n = 0; n < plain.neurons; ++n) {
    for (std::uint32_t k = 0; k < c.dimension; ++k) {
      plain.at(n, k) = c.weights[n * c.dimension + k];
      fast.at(n, k) = c.weights[n * c.dimension + k];
    }
  }
  std::vector<som::assignment> plain_assignments(c.count, som::assignment{0, 0});
  std::vector<som::assignment> fast_assignments = plain_assignments;
  std::vector<std::uint32_t> order(c.dimension);
  int tamed = 0;
  for (std::size_t e = 0; e < epochs.size(); ++e) {
    SCOPED_TRACE("epoch " + std::to_string(e) + ", rate " +
                 std::to_string(epochs[e].learning_rate) + ", radius " +
                 std::to_string(epochs[e].radius));
    const std::uint32_t expected = som::train_epoch_plain(
        samples, plain, plain_assignments.data(), epochs[e].learning_rate, epochs[e].radius);
    const som::epoch_plan plan = som::plan_epoch({.samples = samples,
                                                  .grid = fast,
                                                  .learning_rate = epochs[e].learning_rate,
                                                  .radius = epochs[e].radius,
                                                  .search = mode,
                                                  .subnormals = subnormal_mode::tame});
    som::kernels::epoch_args args =
        som::epoch_args_for(plan, samples, fast, fast_assignments.data());
    EXPECT_EQ(args.epoch.tame, som::kernels::tame_is_exact(samples, epochs[e].learning_rate));
    tamed += args.epoch.tame ? 1 : 0;
    som::kernels::order_components(fast, order.data());
    args.epoch.order = order.data();
    args.slice.assignments = fast_assignments.data();
    EXPECT_EQ(kernel.epoch(args), expected);
    bool differs = false;
    for (std::size_t n = 0; n < plain.neurons && !differs; ++n) {
      for (std::uint32_t k = 0; k < c.dimension && !differs; ++k) {
        differs = !same_weight(fast.at(n, k), plain.at(n, k));
        if (differs) {
          ADD_FAILURE() << "neuron " << n << " component " << k << ": " << fast.at(n, k) << " vs "
                        << plain.at(n, k);
        }
      }
    }
    for (std::uint32_t s = 0; s < c.count; ++s) {
      EXPECT_EQ(fast_assignments[s].row, plain_assignments[s].row) << "sample " << s;
      EXPECT_EQ(fast_assignments[s].col, plain_assignments[s].col) << "sample " << s;
    }
    if (differs) break;  // every later epoch would differ too
  }
  return tamed;
}

class TameKernel : public ::testing::TestWithParam<const som::kernels::kernel_entry*> {
 protected:
  void SetUp() override {
    if (!som::kernels::runs_here(*GetParam())) {
      GTEST_SKIP() << "kernel " << GetParam()->name() << " does not run on this machine";
    }
  }
};

// Rates with ties in m × rate (1/2, 1/4, 3/4), none, the smallest the
// schedule makes, 1 and 0; radii over the whole map, a few neurons, none.
// The samples' smallest sizes allow every rate but 0, or (with NaN and
// infinities) only 1: the edge of the conditions.
TEST_P(TameKernel, MatchesThePlainEpochOnSubnormalWeights) {
  std::mt19937_64 gen(2323);
  struct shape {
    std::uint32_t rows, cols, dimension;
  };
  const shape shapes[] = {{5, 7, 24}, {12, 12, 17}, {3, 3, 3}, {1, 9, 64}};
  for (const shape& s : shapes) {
    for (bool specials : {false, true}) {
      SCOPED_TRACE(std::to_string(s.rows) + "x" + std::to_string(s.cols) + " dim " +
                   std::to_string(s.dimension) + (specials ? ", with NaN and infinity" : ""));
      const double edge = specials ? least_safe : least_safe * 0x1p33;
      const sparse_case c = make_sparse(gen, s.rows, s.cols, s.dimension, 30, specials, edge);
      const double all = static_cast<double>(s.rows * s.rows + s.cols * s.cols) + 1.0;
      // The first epochs meet weights with large significands, where a
      // product rounded twice would go wrong.
      const std::vector<epoch_params> epochs = {{0.9990009990009991, 5.0},
                                                {1.0 / 3.0, all},
                                                {0.5, all},
                                                {0.25, 2.5},
                                                {0.75, all},
                                                {1.0, 2.0},
                                                {0x1p-33, all},
                                                {0.0, all},
                                                {0.5, 0.0},
                                                {0.1, all / 2.0}};
      for (search_mode mode : {search_mode::fused, search_mode::pruned}) {
        SCOPED_TRACE(mode == search_mode::fused ? "fused" : "pruned");
        const int tamed = check_against_plain(*GetParam(), c, epochs, mode);
        EXPECT_EQ(tamed, specials ? 1 : 9);
        if (HasFailure()) return;
      }
    }
  }
}

// The way the weights really get there: ordinary weights, components that
// are 0 in every sample, and hundreds of epochs over the whole map, so that
// weights pass through the subnormal range and stay at its bottom.
TEST_P(TameKernel, MatchesThePlainEpochAsWeightsDecayIntoSubnormals) {
  std::mt19937_64 gen(99);
  sparse_case c = make_sparse(gen, 4, 6, 12, 16, false, 0.01);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (double& w : c.weights) w = unit(gen) * 0x1p-1000;
  for (std::uint32_t s = 0; s < c.count; ++s) {
    for (std::uint32_t k = 0; k < 6; ++k) c.samples[s * c.dimension + k] = 0.0;
  }
  std::vector<epoch_params> epochs;
  for (int e = 0; e < 300; ++e) epochs.push_back({0.05 + 0.2 * (e % 3), e % 4 == 0 ? 3.0 : 60.0});
  for (search_mode mode : {search_mode::fused, search_mode::pruned}) {
    EXPECT_EQ(check_against_plain(*GetParam(), c, epochs, mode), 300);
    if (HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, TameKernel,
                         ::testing::ValuesIn(som::kernels::kernel_table().begin(),
                                             som::kernels::kernel_table().end()),
                         [](const auto& info) { return std::string(info.param->name()); });

// Where the conditions fail, the epoch keeps the plain arithmetic, whatever
// is asked.
TEST(TameEpoch, IsNotTakenWhereItWouldChangeResults) {
  std::vector<double> values = {0.0, 0x1p-1000, 0.5};
  som::sample_matrix samples{values.data(), 1, 3};
  som::owned_grid grid_memory = som::alloc_weight_grid(2, 2, 3, som::kernels::tile_lanes);
  som::weight_grid& grid = *grid_memory;
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < 3; ++k) grid.at(n, k) = 0x1p-1070;
  }
  std::vector<som::assignment> assignments(1, som::assignment{0, 0});
  const auto tamed = [&](double rate, subnormal_mode mode) {
    return som::plan_epoch({.samples = samples,
                            .grid = grid,
                            .learning_rate = rate,
                            .radius = 1.0,
                            .search = search_mode::fused,
                            .subnormals = mode})
        .tame;
  };
  EXPECT_FALSE(tamed(0.5, subnormal_mode::tame));
  EXPECT_FALSE(tamed(0.5, subnormal_mode::plain));
  values[1] = 0.25;
  EXPECT_TRUE(tamed(0.5, subnormal_mode::tame));
  EXPECT_FALSE(tamed(0.5, subnormal_mode::plain));
  EXPECT_FALSE(tamed(nan, subnormal_mode::tame));
  EXPECT_EQ(tamed(0.5, subnormal_mode::automatic), som::kernels::subnormals_slow());
}

}  // namespace
