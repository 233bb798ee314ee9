// The fast trainer's plan of an epoch: which search, on how many threads,
// which rows an update reaches, and where subnormal weights are kept apart,
// from the map, the samples, the schedule's step and what was asked for.
#include "som/training/epoch_plan.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>
#include <string>
#include <vector>

namespace {

using som::kernels::epoch_search;
using som::kernels::search_mode;
using som::kernels::subnormal_mode;

struct plan_case {
  const char* name;
  std::uint32_t rows, cols, dimension;
  double learning_rate, radius;
  search_mode search;
  unsigned threads;
  // Expected:
  epoch_search planned;
  bool blocked;
  bool whole_grid;
  unsigned plan_threads;
};

constexpr auto automatic = search_mode::automatic;
constexpr auto fused = epoch_search::fused;
constexpr auto pruned = epoch_search::pruned;

const plan_case plan_cases[] = {
    // A quarter of the rows within reach: 40 rows, 2 × 4 + 1 = 9 of them at
    // R = 17 (4² < 17), 11 at R = 26.
    {"small neighbourhood", 40, 40, 32, 0.1, 17.0, automatic, 2, pruned, true, false, 2},
    {"a quarter and more", 40, 40, 32, 0.1, 26.0, automatic, 2, fused, false, false, 2},
    {"whole map in reach", 40, 40, 32, 0.9, 3200.0, automatic, 2, fused, false, false, 2},
    {"no update", 40, 40, 32, 0.1, 0.0, automatic, 1, pruned, true, false, 1},
    // Too few components for a check before the last one.
    {"dimension 8", 40, 40, 8, 0.1, 2.0, automatic, 1, fused, false, false, 1},
    {"dimension 9", 40, 40, 9, 0.1, 2.0, automatic, 1, pruned, true, false, 1},
    // The blocked search's bounds need 0 <= alpha <= 1.
    {"rate above 1", 40, 40, 32, 1.5, 2.0, automatic, 1, pruned, false, false, 1},
    {"rate not a number", 40, 40, 32, std::numeric_limits<double>::quiet_NaN(), 2.0, automatic, 1,
     pruned, false, false, 1},
    // Asked for one way whatever the radius.
    {"fused asked", 40, 40, 32, 0.1, 2.0, search_mode::fused, 2, fused, false, false, 2},
    {"pruned asked", 40, 40, 32, 0.9, 3200.0, search_mode::pruned, 2, pruned, false, false, 2},
    {"blocked asked", 40, 40, 4, 0.9, 3200.0, search_mode::blocked, 2, pruned, true, false, 2},
    // Squared distances that wrap modulo 2^32: every tile is tested, and
    // neither the pruned nor the blocked search is taken unless asked.
    {"wrapping line", 1, 70000, 16, 0.5, 10.0, automatic, 2, fused, false, true, 2},
    {"wrapping line, blocked asked", 1, 70000, 16, 0.5, 10.0, search_mode::blocked, 2, pruned,
     false, true, 2},
    {"no pool", 40, 40, 32, 0.9, 3200.0, automatic, 0, fused, false, false, 1},
};

class PlanEpoch : public ::testing::TestWithParam<plan_case> {};

TEST_P(PlanEpoch, ChoosesTheSearchAndItsThreads) {
  const plan_case& c = GetParam();
  som::owned_grid grid =
      som::alloc_weight_grid(c.rows, c.cols, c.dimension, som::kernels::tile_lanes);
  ASSERT_NE(grid->block, nullptr);
  for (std::size_t n = 0; n < grid->neurons; ++n) {
    for (std::uint32_t k = 0; k < c.dimension; ++k) grid->at(n, k) = 0.5;
  }
  std::vector<double> values(std::size_t{4} * c.dimension, 0.25);
  const som::sample_matrix samples{values.data(), 4, c.dimension};
  const som::epoch_plan plan = som::plan_epoch({.samples = samples,
                                                .grid = *grid,
                                                .learning_rate = c.learning_rate,
                                                .radius = c.radius,
                                                .search = c.search,
                                                .subnormals = subnormal_mode::plain,
                                                .threads = c.threads});
  EXPECT_EQ(plan.search, c.planned);
  EXPECT_EQ(plan.blocked, c.blocked);
  EXPECT_EQ(plan.whole_grid, c.whole_grid);
  EXPECT_EQ(plan.threads, c.plan_threads);
  EXPECT_EQ(plan.updates, c.radius > 0.0);
  EXPECT_EQ(plan.lane_masks, plan.updates && !c.whole_grid);
  EXPECT_FALSE(plan.tame);

  // The kernels' arguments carry the plan out.
  const som::kernels::epoch_args args = som::epoch_args_for(plan, samples, *grid, nullptr);
  EXPECT_EQ(args.epoch.search, plan.search);
  EXPECT_EQ(args.epoch.whole_grid, plan.whole_grid);
  EXPECT_EQ(args.slice.tile_end, grid->tiles);
  EXPECT_EQ(args.epoch.prune_widening, plan.search == pruned ? 1.0 + c.dimension * 0x1p-51 : 1.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlanEpoch, ::testing::ValuesIn(plan_cases),
                         [](const ::testing::TestParamInfo<plan_case>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c != '\0'; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

// The rows and columns an update can reach: the farthest d with d² < R,
// along each side of the map.
TEST(PlanEpochReach, IsTheFarthestRowStrictlyInsideTheRadius) {
  som::owned_grid grid = som::alloc_weight_grid(30, 5, 2, som::kernels::tile_lanes);
  const std::vector<double> values(2, 0.0);
  const som::sample_matrix samples{const_cast<double*>(values.data()), 1, 2};
  struct reach_case {
    double radius;
    std::uint32_t rows, cols;
  };
  for (const reach_case& c : {reach_case{0.5, 0, 0},
                              {1.0, 0, 0},
                              {1.5, 1, 1},
                              {4.0, 1, 1},
                              {4.5, 2, 2},
                              {26.0, 5, 5},
                              {1e9, 30, 5}}) {
    SCOPED_TRACE("radius " + std::to_string(c.radius));
    const som::epoch_plan plan = som::plan_epoch({.samples = samples,
                                                  .grid = *grid,
                                                  .learning_rate = 0.5,
                                                  .radius = c.radius,
                                                  .subnormals = subnormal_mode::plain});
    EXPECT_EQ(plan.reach, c.rows);
    EXPECT_EQ(plan.col_reach, c.cols);
  }
}

// Subnormal weights kept apart: never where that is not exact, and never
// with the blocked search unless it is asked for (it has no such build).
TEST(PlanEpochTame, LeavesTheBlockedSearchOutUnlessAsked) {
  som::owned_grid grid = som::alloc_weight_grid(40, 40, 16, som::kernels::tile_lanes);
  for (std::size_t n = 0; n < grid->neurons; ++n) {
    for (std::uint32_t k = 0; k < 16; ++k) grid->at(n, k) = k == 0 ? 0x1p-1070 : 0.5;
  }
  std::vector<double> values(16, 0.0);
  values[1] = 0.25;
  const som::sample_matrix samples{values.data(), 1, 16};
  const auto plan = [&](search_mode search, double rate) {
    return som::plan_epoch({.samples = samples,
                            .grid = *grid,
                            .learning_rate = rate,
                            .radius = 2.0,
                            .search = search,
                            .subnormals = subnormal_mode::tame});
  };
  EXPECT_TRUE(plan(automatic, 0.5).tame);
  EXPECT_FALSE(plan(automatic, 0.5).blocked);
  EXPECT_EQ(plan(automatic, 0.5).search, pruned);
  EXPECT_TRUE(plan(search_mode::blocked, 0.5).blocked);
  // 0.25 × 2^-980 is below 2^-968: not exact, so not kept apart, and the
  // blocked search is taken again.
  EXPECT_FALSE(plan(automatic, 0x1p-980).tame);
  EXPECT_TRUE(plan(automatic, 0x1p-980).blocked);
}

}  // namespace
