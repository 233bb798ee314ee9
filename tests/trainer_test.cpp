// Every kernel of the table, alone and on the pool (always, never, with an
// uneven share of the tiles, and as the trainer chooses), against the plain
// epoch on random maps: weights, assignments and Rozdil must match bit for
// bit after every epoch. A kernel that this machine cannot run is reported
// as skipped, by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "som/kernels/kernel_table.hpp"
#include "som/map/map_storage.hpp"
#include "som/map/train_epoch_plain.hpp"
#include "som/training/fast_trainer.hpp"
#include "support/map_values.hpp"

namespace {

using som::kernels::kernel_entry;
using som::kernels::search_mode;
using som::pool::pool_mode;
using som_test::same_weight;

struct map_shape {
  std::uint32_t rows, cols;
};

struct case_data {
  std::vector<double> samples;  // N × dimension
  std::vector<double> weights;  // neurons × dimension, neuron order
  std::vector<som::assignment> assignments;
};

// Values on a coarse grid make equal distances common; `specials` sprinkles
// NaN, infinities and negative zeros among the weights and, more thinly,
// among the samples.
case_data make_case(std::mt19937_64& gen, map_shape shape, std::uint32_t dimension,
                    std::uint32_t samples, bool coarse, bool specials) {
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::uniform_int_distribution<int> step(-4, 4);
  auto value = [&] { return coarse ? step(gen) * 0.25 : uniform(gen); };
  case_data c;
  std::uniform_int_distribution<int> pick(0, 40);
  std::uniform_int_distribution<int> pick_sample(0, 400);
  for (std::uint64_t i = 0; i < std::uint64_t{samples} * dimension; ++i) {
    double x = value();
    if (specials) {
      const int p = pick_sample(gen);
      if (p == 0) x = std::numeric_limits<double>::quiet_NaN();
      if (p == 1) x = std::numeric_limits<double>::infinity();
      if (p == 2) x = -0.0;
    }
    c.samples.push_back(x);
  }
  const std::uint64_t weights = std::uint64_t{shape.rows} * shape.cols * dimension;
  for (std::uint64_t i = 0; i < weights; ++i) {
    double w = value();
    if (specials) {
      const int p = pick(gen);
      if (p == 0) w = std::numeric_limits<double>::quiet_NaN();
      if (p == 1) w = std::numeric_limits<double>::infinity();
      if (p == 2) w = -std::numeric_limits<double>::infinity();
      if (p == 3) w = -0.0;  // must keep its sign wherever it is not moved
    }
    c.weights.push_back(w);
  }
  std::uniform_int_distribution<std::uint32_t> row(0, shape.rows + 2);
  std::uniform_int_distribution<std::uint32_t> col(0, shape.cols + 2);
  for (std::uint32_t s = 0; s < samples; ++s) c.assignments.push_back({row(gen), col(gen)});
  return c;
}

som::owned_grid grid_from(const case_data& c, map_shape shape, std::uint32_t dimension,
                          std::uint32_t lanes) {
  som::owned_grid grid = som::alloc_weight_grid(shape.rows, shape.cols, dimension, lanes);
  for (std::size_t n = 0; n < grid->neurons; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) grid->at(n, k) = c.weights[n * dimension + k];
  }
  return grid;
}

struct epoch_params {
  double learning_rate, radius;
};

std::string describe(map_shape shape, std::uint32_t dimension) {
  return std::to_string(shape.rows) + "x" + std::to_string(shape.cols) + " dim " +
         std::to_string(dimension);
}

// How a trainer runs: its threads, its pool mode, how the pool shares the
// tiles (empty: evenly), how it searches, and whether its epochs run in one
// session, which keeps the weights of blocked epochs from one epoch to the
// next (the grid is then compared once, after the session).
struct team {
  const char* name;
  unsigned threads;
  pool_mode mode;
  std::vector<double> shares;
  search_mode search;
  bool keeps = false;
};

const team teams[] = {
    {"one thread", 1, pool_mode::automatic, {}, search_mode::fused},
    {"one thread, pruned", 1, pool_mode::automatic, {}, search_mode::pruned},
    {"pool", 2, pool_mode::always_pool, {}, search_mode::fused},
    {"pool, uneven split, pruned", 2, pool_mode::always_pool, {0.8, 0.2}, search_mode::pruned},
    {"pool never used, search by radius", 2, pool_mode::always_alone, {}, search_mode::automatic},
    {"pool as timed, search by radius", 2, pool_mode::automatic, {}, search_mode::automatic},
    {"one thread, blocked", 1, pool_mode::automatic, {}, search_mode::blocked},
    {"pool, blocked", 2, pool_mode::always_pool, {}, search_mode::blocked},
    {"one thread, blocked, weights kept", 1, pool_mode::automatic, {}, search_mode::blocked, true},
    {"pool, search by radius, weights kept",
     2,
     pool_mode::automatic,
     {},
     search_mode::automatic,
     true},
};

// Trains the case's map with the plain epoch and with the kernel on every
// team, comparing after every epoch.
void check_case(const kernel_entry* kernel, const case_data& c, map_shape shape,
                std::uint32_t dimension, const std::vector<epoch_params>& epochs) {
  const std::uint32_t count = static_cast<std::uint32_t>(c.assignments.size());
  som::sample_matrix samples{const_cast<double*>(c.samples.data()), count, dimension};
  if (c.samples.empty()) samples.block = nullptr;

  som::owned_grid plain_memory = grid_from(c, shape, dimension, 1);
  som::weight_grid& plain = *plain_memory;
  std::vector<som::assignment> plain_assignments = c.assignments;
  std::vector<std::uint32_t> plain_rozdil;
  std::vector<std::vector<double>> plain_weights;
  for (const epoch_params& e : epochs) {
    plain_rozdil.push_back(som::train_epoch_plain(samples, plain, plain_assignments.data(),
                                                  e.learning_rate, e.radius));
    plain_weights.emplace_back(plain.block, plain.block + plain.neurons * dimension);
  }

  for (const team& t : teams) {
    SCOPED_TRACE(describe(shape, dimension) + ", " + t.name);
    som::owned_grid grid_memory = grid_from(c, shape, dimension, som::kernels::tile_lanes);
    som::weight_grid& grid = *grid_memory;
    std::vector<som::assignment> assignments = c.assignments;
    som::fast_trainer trainer(*kernel, t.threads, t.mode, t.search);
    if (!t.shares.empty()) trainer.set_shares(t.shares);
    std::optional<som::fast_trainer::session> session;
    if (t.keeps) session.emplace(trainer, grid);
    for (std::size_t e = 0; e < epochs.size(); ++e) {
      SCOPED_TRACE("epoch " + std::to_string(e));
      const epoch_params& at = epochs[e];
      const std::uint32_t rozdil =
          session
              ? session->train_epoch(samples, assignments.data(), at.learning_rate, at.radius)
              : trainer.train_epoch(samples, grid, assignments.data(), at.learning_rate, at.radius);
      ASSERT_EQ(rozdil, plain_rozdil[e]);
      if (t.keeps) {
        if (e + 1 < epochs.size()) continue;
        session.reset();
      }
      for (std::size_t n = 0; n < grid.neurons; ++n) {
        for (std::uint32_t k = 0; k < dimension; ++k) {
          const double fast = grid.at(n, k);
          const double expected = plain_weights[e][n * dimension + k];
          ASSERT_TRUE(same_weight(fast, expected))
              << "neuron " << n << " component " << k << ": " << fast << " vs " << expected;
        }
      }
    }
    for (std::uint32_t s = 0; s < count; ++s) {
      ASSERT_EQ(assignments[s].row, plain_assignments[s].row) << "sample " << s;
      ASSERT_EQ(assignments[s].col, plain_assignments[s].col) << "sample " << s;
    }
  }
}

// Radii that reach no neuron, a few, and all; the last epochs shrink like
// the real schedule does.
std::vector<epoch_params> schedule_for(map_shape shape) {
  const double size = static_cast<double>(shape.rows * shape.rows + shape.cols * shape.cols);
  return {{0.9, size + 1.0}, {0.5, 2.5},        {0.7, 2.0}, {0.3, 0.0},
          {0.25, 1.0},       {0.1, size / 3.0}, {0.0, 5.0}, {0.05, 0.5}};
}

class EveryKernel : public ::testing::TestWithParam<const kernel_entry*> {
 protected:
  void SetUp() override {
    if (!som::kernels::runs_here(*GetParam())) {
      GTEST_SKIP() << "kernel " << GetParam()->name() << " does not run on this machine";
    }
  }
};

TEST_P(EveryKernel, MatchThePlainEpochOnRandomMaps) {
  std::mt19937_64 gen(12345);
  const map_shape shapes[] = {{1, 1}, {1, 9}, {3, 5}, {10, 10}, {7, 13}, {40, 40}};
  const std::uint32_t dimensions[] = {0, 1, 2, 3, 4, 5, 8, 9, 16, 17, 64};
  for (map_shape shape : shapes) {
    for (std::uint32_t dimension : dimensions) {
      const std::uint32_t samples = shape.rows * shape.cols * dimension > 20000 ? 12 : 40;
      const case_data c = make_case(gen, shape, dimension, samples, false, false);
      check_case(GetParam(), c, shape, dimension, schedule_for(shape));
      if (HasFatalFailure()) return;
    }
  }
}

TEST_P(EveryKernel, KeepTheFirstNeuronOnTiesAndSkipNaN) {
  std::mt19937_64 gen(777);
  const map_shape shapes[] = {{1, 9}, {3, 5}, {10, 10}, {7, 13}};
  for (map_shape shape : shapes) {
    for (std::uint32_t dimension : {1u, 2u, 3u, 9u, 20u}) {
      for (bool specials : {false, true}) {
        const case_data c = make_case(gen, shape, dimension, 60, true, specials);
        check_case(GetParam(), c, shape, dimension, schedule_for(shape));
        if (HasFatalFailure()) return;
      }
    }
  }
}

TEST_P(EveryKernel, NoSamplesAndEmptyMaps) {
  std::mt19937_64 gen(5);
  check_case(GetParam(), make_case(gen, {4, 4}, 3, 0, false, false), {4, 4}, 3,
             schedule_for({4, 4}));
  check_case(GetParam(), make_case(gen, {0, 4}, 3, 10, false, false), {0, 4}, 3,
             schedule_for({0, 4}));
}

TEST_P(EveryKernel, WalkTheWholeGridWhereSquaredDistancesWrap) {
  // With the winner at the start of a line of 70000 neurons, (j − bj)² wraps
  // modulo 2^32 and neurons near 65536 come out at g = 0, inside even a small
  // radius; the fast epoch must update exactly those too.
  std::mt19937_64 gen(99);
  for (map_shape shape : {map_shape{1, 70000}, map_shape{70000, 1}}) {
    case_data c = make_case(gen, shape, 1, 6, false, false);
    c.weights[0] = 5.0;
    for (double& x : c.samples) x = 5.0;
    check_case(GetParam(), c, shape, 1, {{0.5, 3.0e9}, {0.5, 1.0e5}, {0.5, 10.0}});
    if (HasFatalFailure()) return;
  }
}

// The pruned search starts from each sample's previous winner: a neuron
// before it at exactly the same distance must still win, whether it lies in
// an earlier tile, earlier in the same tile or only in another thread's
// tiles; a previous winner after it, outside the grid or far away changes
// nothing.
TEST_P(EveryKernel, PrunedSearchKeepsTheFirstOfEqualNeurons) {
  std::mt19937_64 gen(31);
  const map_shape shape{6, 7};
  const std::uint32_t dimension = 24;
  for (const std::uint32_t twin : {0u, 3u, 17u, 40u}) {
    for (const std::uint32_t previous : {41u, 20u, 19u, 5u}) {
      case_data c = make_case(gen, shape, dimension, 30, false, false);
      // Neuron `twin` copies neuron `previous`, and every sample's last
      // winner is `previous` (or outside the grid for every third sample).
      for (std::uint32_t k = 0; k < dimension; ++k) {
        c.weights[twin * dimension + k] = c.weights[previous * dimension + k];
      }
      for (std::uint32_t s = 0; s < c.assignments.size(); ++s) {
        c.assignments[s] = s % 3 == 2
                               ? som::assignment{6, 0}
                               : som::assignment{previous / shape.cols, previous % shape.cols};
        // Half the samples sit right on the twins, which both then win at 0.
        if (s % 2 == 0) {
          for (std::uint32_t k = 0; k < dimension; ++k) {
            c.samples[s * dimension + k] = c.weights[previous * dimension + k];
          }
        }
      }
      SCOPED_TRACE("twin " + std::to_string(twin) + ", previous " + std::to_string(previous));
      // Radius 0 keeps the twins equal for the whole epoch.
      check_case(GetParam(), c, shape, dimension, {{0.5, 0.0}, {0.5, 0.0}});
      if (HasFatalFailure()) return;
    }
  }
}

// Samples in tight clusters, far apart, and a map that already knows them:
// the pruned search gives the plain results while measuring far less than
// every distance.
TEST_P(EveryKernel, PruningSkipsMostOfTheWorkOnClusteredData) {
  std::mt19937_64 gen(8);
  const map_shape shape{12, 12};
  const std::uint32_t dimension = 32;
  const std::uint32_t count = 200;
  std::normal_distribution<double> noise(0.0, 0.02);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> centres(12 * dimension);
  for (double& v : centres) v = uniform(gen);
  case_data c;
  for (std::uint32_t s = 0; s < count; ++s) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      c.samples.push_back(centres[(s % 12) * dimension + k] + noise(gen));
    }
  }
  // Each cluster has a row of the map, as training would give it.
  for (std::uint32_t n = 0; n < shape.rows * shape.cols; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      c.weights.push_back(centres[(n / 12) * dimension + k] + noise(gen));
    }
  }
  c.assignments.assign(count, som::assignment{0, 0});
  // One plain epoch at radius 0 finds every sample's winner for the start.
  {
    som::sample_matrix samples{c.samples.data(), count, dimension};
    som::owned_grid plain_memory = grid_from(c, shape, dimension, 1);
    som::weight_grid& plain = *plain_memory;
    som::train_epoch_plain(samples, plain, c.assignments.data(), 0.0, 0.0);
  }
  const std::vector<epoch_params> epochs = {{0.05, 2.5}, {0.04, 2.0}, {0.03, 1.5}};
  check_case(GetParam(), c, shape, dimension, epochs);
  if (HasFatalFailure()) return;

  // On a pool too: a thread whose tiles lack the sample's last winner
  // prunes with the bound that the thread which has it offers.
  for (const unsigned threads : {1u, 2u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    som::sample_matrix samples{c.samples.data(), count, dimension};
    som::owned_grid grid_memory = grid_from(c, shape, dimension, som::kernels::tile_lanes);
    som::weight_grid& grid = *grid_memory;
    std::vector<som::assignment> assignments = c.assignments;
    som::trainer_counters counters;
    som::fast_trainer trainer(*GetParam(), threads, pool_mode::always_pool, search_mode::pruned,
                              &counters);
    for (const epoch_params& e : epochs) {
      trainer.train_epoch(samples, grid, assignments.data(), e.learning_rate, e.radius);
    }
    const std::uint64_t every = std::uint64_t{count} * epochs.size() * grid.tiles * dimension;
    // Two threads measure more: a thread may start before the other has
    // offered its bound. Without the offers they measure above 3/4.
    const std::uint64_t most = threads == 1 ? every / 2 : every * 2 / 3;
    EXPECT_LT(counters.searched, most) << "of " << every;
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, EveryKernel,
                         ::testing::ValuesIn(som::kernels::kernel_table().begin(),
                                             som::kernels::kernel_table().end()),
                         [](const ::testing::TestParamInfo<const kernel_entry*>& info) {
                           return std::string(info.param->name());
                         });

TEST(KernelTable, TheBestKernelRunsHereAndTheLastRunsAnywhere) {
  const auto table = som::kernels::kernel_table();
  ASSERT_FALSE(table.empty());
  EXPECT_TRUE(som::kernels::runs_here(som::kernels::best_kernel()));
  EXPECT_TRUE(som::kernels::runs_here(*table.back()));
  // The best is the first that runs: none before it does.
  for (const kernel_entry* kernel : table) {
    if (kernel == &som::kernels::best_kernel()) break;
    EXPECT_FALSE(som::kernels::runs_here(*kernel)) << kernel->name();
  }
  for (const kernel_entry* kernel : table) {
    EXPECT_EQ(som::kernels::find_kernel(kernel->name()), kernel);
  }
  EXPECT_EQ(som::kernels::find_kernel("none"), nullptr);
  // Widest first, as the targets are listed.
  for (std::size_t i = 1; i < table.size(); ++i) {
    EXPECT_LT(som::slot(table[i - 1]->target), som::slot(table[i]->target));
  }
  EXPECT_EQ(table.back()->target, som::target_id::portable);
}

}  // namespace

namespace {

// The blocked search: the plain results on every team (check_case), and on
// one thread alone the count of epochs that took it, `blocked` of them
// (the others fall back on the pruned search).
void check_blocked(const kernel_entry* kernel, const case_data& c, map_shape shape,
                   std::uint32_t dimension, const std::vector<epoch_params>& epochs,
                   std::uint32_t blocked) {
  check_case(kernel, c, shape, dimension, epochs);
  if (::testing::Test::HasFatalFailure()) return;
  const std::uint32_t count = static_cast<std::uint32_t>(c.assignments.size());
  som::sample_matrix samples{const_cast<double*>(c.samples.data()), count, dimension};
  som::owned_grid grid_memory = grid_from(c, shape, dimension, som::kernels::tile_lanes);
  som::weight_grid& grid = *grid_memory;
  std::vector<som::assignment> assignments = c.assignments;
  som::trainer_counters counters;
  som::fast_trainer trainer(*kernel, 1, pool_mode::automatic, search_mode::blocked, &counters);
  for (const epoch_params& e : epochs) {
    trainer.train_epoch(samples, grid, assignments.data(), e.learning_rate, e.radius);
  }
  EXPECT_EQ(counters.blocked_epochs, blocked);
}

// Small radii, as late in a schedule, and one that moves nothing; more
// epochs than the blocks keep their centres at most.
std::vector<epoch_params> late_schedule() {
  std::vector<epoch_params> epochs;
  for (int e = 0; e < 36; ++e) {
    epochs.push_back({0.2 / (e + 1), e == 5 ? 0.0 : std::max(1.5, 8.0 - e * 0.5)});
  }
  return epochs;
}

// Samples in tight clusters around random centres, and a map whose rows
// already know them (clustered), or uniform samples and weights.
case_data clustered_case(std::mt19937_64& gen, map_shape shape, std::uint32_t dimension,
                         std::uint32_t count, double spread) {
  std::normal_distribution<double> noise(0.0, spread);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> centres(std::size_t{shape.rows} * dimension);
  for (double& v : centres) v = uniform(gen);
  case_data c;
  for (std::uint32_t s = 0; s < count; ++s) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      c.samples.push_back(centres[(s % shape.rows) * dimension + k] + noise(gen));
    }
  }
  for (std::uint32_t n = 0; n < shape.rows * shape.cols; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      c.weights.push_back(centres[(n / shape.cols) * dimension + k] + noise(gen));
    }
  }
  c.assignments.assign(count, som::assignment{0, 0});
  return c;
}

}  // namespace

TEST_P(EveryKernel, BlockedSearchMatchesOnClusteredAndUniformMaps) {
  std::mt19937_64 gen(2024);
  const map_shape shapes[] = {{1, 1}, {1, 9}, {5, 3}, {9, 7}, {12, 12}, {20, 21}};
  for (map_shape shape : shapes) {
    for (std::uint32_t dimension : {1u, 7u, 8u, 9u, 32u, 33u}) {
      SCOPED_TRACE(describe(shape, dimension));
      const std::vector<epoch_params> epochs = late_schedule();
      const auto runs = static_cast<std::uint32_t>(epochs.size());
      check_blocked(GetParam(), clustered_case(gen, shape, dimension, 90, 0.02), shape, dimension,
                    epochs, runs);
      if (HasFatalFailure()) return;
      check_blocked(GetParam(), make_case(gen, shape, dimension, 50, false, false), shape,
                    dimension, epochs, runs);
      if (HasFatalFailure()) return;
    }
  }
}

// Equal distances everywhere: neurons copied from others, samples repeated
// and sitting on neurons, values on a coarse grid, and a map whose neurons
// all coincide (every neuron ties, so the first one wins every sample).
TEST_P(EveryKernel, BlockedSearchKeepsTheFirstOfEqualNeurons) {
  std::mt19937_64 gen(4321);
  const map_shape shape{7, 9};
  const std::uint32_t dimension = 12;
  const std::vector<epoch_params> epochs = {{0.5, 0.0}, {0.3, 2.0}, {0.2, 0.0}, {0.1, 1.5}};
  const auto runs = static_cast<std::uint32_t>(epochs.size());
  case_data c = make_case(gen, shape, dimension, 60, true, false);
  for (std::uint32_t n = 20; n < 40; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      c.weights[n * dimension + k] = c.weights[(n + 17) % 63 * dimension + k];
    }
  }
  for (std::uint32_t s = 0; s < 60; ++s) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      if (s % 3 == 1) c.samples[s * dimension + k] = c.samples[(s - 1) * dimension + k];
      if (s % 3 == 2) c.samples[s * dimension + k] = c.weights[(s + 20) % 63 * dimension + k];
    }
    c.assignments[s] = {static_cast<std::uint32_t>(s % 9), static_cast<std::uint32_t>(s % 11)};
  }
  check_blocked(GetParam(), c, shape, dimension, epochs, runs);
  if (HasFatalFailure()) return;
  for (std::uint32_t n = 1; n < shape.rows * shape.cols; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      c.weights[n * dimension + k] = c.weights[k];
    }
  }
  check_blocked(GetParam(), c, shape, dimension, epochs, runs);
}

// Neurons that hold the same values in other orders: exactly as far from a
// sample whose components are all equal, their sums in component order
// differ only by rounding, and the winner is the smallest of those sums.
// Summed in another order (the screen's) they compare otherwise, which the
// screen's bounds must allow for.
TEST_P(EveryKernel, BlockedSearchComparesSumsInComponentOrder) {
  std::mt19937_64 gen(99);
  const map_shape shape{6, 7};
  const std::uint32_t dimension = 29;
  std::uniform_real_distribution<double> uniform(0.5, 2.0);
  std::vector<double> values(dimension);
  for (double& v : values) v = uniform(gen);
  case_data c;
  for (std::uint32_t n = 0; n < shape.rows * shape.cols; ++n) {
    std::shuffle(values.begin(), values.end(), gen);
    c.weights.insert(c.weights.end(), values.begin(), values.end());
  }
  const std::uint32_t count = 40;
  for (std::uint32_t s = 0; s < count; ++s) {
    c.samples.insert(c.samples.end(), dimension, s % 4 == 0 ? 0.0 : 0.01 * s);
    c.assignments.push_back({s % shape.rows, s * 5 % shape.cols});
  }
  // No neuron moves in most epochs, so the neurons stay orderings of
  // each other; where some move, those stay orderings of one another.
  const std::vector<epoch_params> epochs = {{0.5, 0.0}, {0.5, 0.0}, {0.1, 1.0}, {0.3, 0.0}};
  check_blocked(GetParam(), c, shape, dimension, epochs, static_cast<std::uint32_t>(epochs.size()));
}

// Magnitudes from the subnormals to 2^480 take the blocked search; larger
// ones, NaN and infinities fall back on the pruned search, with the same
// results either way.
TEST_P(EveryKernel, BlockedSearchAtTheEndsOfTheRange) {
  std::mt19937_64 gen(77);
  const map_shape shape{8, 10};
  const std::uint32_t dimension = 10;
  const std::vector<epoch_params> epochs = {{0.3, 3.0}, {0.2, 2.0}, {0.1, 1.0}};
  const auto runs = static_cast<std::uint32_t>(epochs.size());
  struct scaled {
    double scale;
    bool blocked;
  };
  // Float's largest and smallest normal and its smallest subnormal among
  // them: the search has no float copy, but the bounds must hold there too.
  const scaled scales[] = {{0x1p-1060, true}, {0x1p-1000, true}, {0x1p-149, true},
                           {0x1p-126, true},  {0x1p127, true},   {0x1p479, true},
                           {0x1p482, false},  {0x1p1000, false}};
  for (const scaled& s : scales) {
    SCOPED_TRACE("scale " + std::to_string(std::log2(s.scale)));
    case_data c = clustered_case(gen, shape, dimension, 40, 0.01);
    for (double& x : c.samples) x *= s.scale;
    for (double& w : c.weights) w *= s.scale;
    check_blocked(GetParam(), c, shape, dimension, epochs, s.blocked ? runs : 0);
    if (HasFatalFailure()) return;
  }
  // Every value just below 2^480: the weights that a kept layout carries
  // from epoch to epoch are looked at again before each one.
  {
    std::uniform_real_distribution<double> below(0.0, 0x1p-30);
    case_data c = clustered_case(gen, shape, dimension, 40, 0.01);
    for (double& x : c.samples) x = 0x1p480 * (1.0 - below(gen));
    for (double& w : c.weights) w = 0x1p480 * (1.0 - below(gen));
    check_blocked(GetParam(), c, shape, dimension, epochs, runs);
    if (HasFatalFailure()) return;
  }
  // One sample value or one weight not a number or infinite.
  for (const double special :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    for (const bool in_samples : {true, false}) {
      case_data c = clustered_case(gen, shape, dimension, 40, 0.01);
      (in_samples ? c.samples[77] : c.weights[333]) = special;
      check_blocked(GetParam(), c, shape, dimension, epochs, 0);
      if (HasFatalFailure()) return;
    }
  }
}

// Two sessions on one trainer, each on a grid of its own (of the same
// shape): the weights that the blocked layout keeps for one grid are written
// back to it before the other's epoch, and never taken for the other's.
TEST_P(EveryKernel, SessionsOnOneTrainerKeepTheirGridsApart) {
  std::mt19937_64 gen(606);
  const map_shape shape{8, 9};
  const std::uint32_t dimension = 12;
  const case_data first = clustered_case(gen, shape, dimension, 40, 0.02);
  const case_data second = clustered_case(gen, shape, dimension, 40, 0.02);
  const std::vector<epoch_params> epochs = {{0.3, 2.0}, {0.2, 1.5}, {0.1, 1.0}};
  struct trained {
    som::owned_grid grid;
    std::vector<som::assignment> assignments;
  };
  const auto start = [&](const case_data& c, std::uint32_t lanes) {
    return trained{grid_from(c, shape, dimension, lanes), c.assignments};
  };
  const auto samples_of = [&](const case_data& c) {
    return som::sample_matrix{const_cast<double*>(c.samples.data()),
                              static_cast<std::uint32_t>(c.assignments.size()), dimension};
  };
  // The plain loops: every epoch on the first grid, one on the second.
  trained plain_first = start(first, 1);
  trained plain_second = start(second, 1);
  for (const epoch_params& e : epochs) {
    som::train_epoch_plain(samples_of(first), *plain_first.grid, plain_first.assignments.data(),
                           e.learning_rate, e.radius);
  }
  som::train_epoch_plain(samples_of(second), *plain_second.grid, plain_second.assignments.data(),
                         epochs[0].learning_rate, epochs[0].radius);

  trained fast_first = start(first, som::kernels::tile_lanes);
  trained fast_second = start(second, som::kernels::tile_lanes);
  som::trainer_counters counters;
  som::fast_trainer trainer(*GetParam(), 1, pool_mode::automatic, search_mode::blocked, &counters);
  {
    som::fast_trainer::session session(trainer, *fast_first.grid);
    for (std::size_t e = 0; e < epochs.size(); ++e) {
      session.train_epoch(samples_of(first), fast_first.assignments.data(), epochs[e].learning_rate,
                          epochs[e].radius);
      if (e == 0) {
        trainer.train_epoch(samples_of(second), *fast_second.grid, fast_second.assignments.data(),
                            epochs[0].learning_rate, epochs[0].radius);
      }
    }
  }
  EXPECT_EQ(counters.blocked_epochs, 4u);
  for (const auto& [fast, plain] :
       {std::pair{&fast_first, &plain_first}, std::pair{&fast_second, &plain_second}}) {
    for (std::size_t n = 0; n < fast->grid->neurons; ++n) {
      for (std::uint32_t k = 0; k < dimension; ++k) {
        ASSERT_TRUE(same_weight(fast->grid->at(n, k), plain->grid->at(n, k)))
            << (fast == &fast_first ? "first" : "second") << " grid, neuron " << n;
      }
    }
    for (std::size_t s = 0; s < fast->assignments.size(); ++s) {
      EXPECT_EQ(fast->assignments[s].row, plain->assignments[s].row);
      EXPECT_EQ(fast->assignments[s].col, plain->assignments[s].col);
    }
  }
}
