#include <gtest/gtest.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/text_format.hpp"
#include "formats/training_log.hpp"
#include "som/map/find_bmu.hpp"
#include "som/map/map_storage.hpp"
#include "som/map/schedule.hpp"
#include "som/map/train_epoch_plain.hpp"
#include "som/training/train_map.hpp"

namespace {


std::string fixed6(double value) {
  std::string out;
  som::append_fixed6(out, value);
  return out;
}

std::string shortest(double value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

TEST(Schedule, RadiusAndRateFigures) {
  const double s = som::squared_map_size(10, 10);
  EXPECT_EQ(s, 200.0);
  EXPECT_EQ(fixed6(som::schedule_at(1, 100, 1000, s).radius), "198.019802");
  EXPECT_EQ(fixed6(som::schedule_at(2, 100, 1000, s).radius), "196.078431");
  EXPECT_EQ(fixed6(som::schedule_at(3, 100, 1000, s).radius), "194.174757");
  EXPECT_EQ(som::schedule_at(1, 100, 1000, s).learning_rate, 0.9990009990009991);
  EXPECT_EQ(som::schedule_at(19900, 100, 1000, s).radius, 1.0);
  EXPECT_GT(som::schedule_at(19899, 100, 1000, s).radius, 1.0);
}

TEST(Schedule, DecaysOfZero) {
  const double s = som::squared_map_size(3, 4);
  EXPECT_EQ(s, 25.0);
  // t / 0 is infinite: R = 0 and α = 0.
  EXPECT_EQ(som::schedule_at(5, 0, 0, s).radius, 0.0);
  EXPECT_EQ(som::schedule_at(5, 0, 0, s).learning_rate, 0.0);
  // t = 0 (after the counter wrapped) with a decay of 0: α = 1, R = S, no NaN.
  EXPECT_EQ(som::schedule_at(0, 0, 0, s).radius, 25.0);
  EXPECT_EQ(som::schedule_at(0, 0, 0, s).learning_rate, 1.0);
  EXPECT_EQ(som::schedule_at(0, 7, 9, s).radius, 25.0);
}

TEST(Schedule, SquaredSizeWrapsAs32BitArithmetic) {
  EXPECT_EQ(som::squared_map_size(65536, 0), 0.0);
  EXPECT_EQ(som::squared_map_size(65536, 3), 9.0);
  EXPECT_EQ(som::squared_map_size(1, 2), 5.0);
}

TEST(Schedule, TrainingThatCouldNeverEndIsRecognised) {
  EXPECT_TRUE(som::training_can_end(10, 10, 100, 1));
  EXPECT_FALSE(som::training_can_end(10, 10, 100, 0));  // R stays above 0
  EXPECT_TRUE(som::training_can_end(10, 10, 0, 0));     // R = 0 at once
  EXPECT_TRUE(som::training_can_end(0, 0, 100, 0));     // S = 0
  EXPECT_TRUE(som::training_can_end(65536, 0, 5, 0));   // S wraps to 0
  // 200 / (4294967295 / 4294967295 + 1) = 100.
  EXPECT_TRUE(som::training_can_end(10, 10, 4294967295u, 100));
  EXPECT_FALSE(som::training_can_end(10, 10, 4294967295u, 99));
}

// A grid in the shipped layout, filled neuron by neuron.
som::owned_grid make_grid(std::uint32_t rows, std::uint32_t cols, std::uint32_t dim,
                          const std::vector<double>& values, std::uint32_t lanes) {
  som::owned_grid grid = som::alloc_weight_grid(rows, cols, dim, lanes);
  for (std::size_t n = 0; n < grid->neurons; ++n) {
    for (std::uint32_t k = 0; k < dim; ++k) grid->at(n, k) = values.at(n * dim + k);
  }
  return grid;
}

std::vector<double> grid_values(const som::weight_grid& grid) {
  std::vector<double> out;
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < grid.dimension; ++k) out.push_back(grid.at(n, k));
  }
  return out;
}

TEST(FindBmu, NearestFirstInOrder) {
  // 2 × 2 map of dimension 2.
  const std::vector<double> w = {0, 0, 1, 1, 1, 1, 0.5, 0.5};
  som::owned_grid grid_memory = make_grid(2, 2, 2, w, 1);
  som::weight_grid& grid = *grid_memory;
  const double sample[] = {0.9, 0.9};
  EXPECT_EQ(som::find_bmu(2, 2, 2, sample, grid).col, 1u);  // (0,1) ties (1,0): first wins
  EXPECT_EQ(som::find_bmu(2, 2, 2, sample, grid).row, 0u);
  const double exact[] = {0.5, 0.5};
  const som::grid_pos p = som::find_bmu(2, 2, 2, exact, grid);
  EXPECT_EQ(p.row, 1u);
  EXPECT_EQ(p.col, 1u);
  // Dimension 0: every distance is 0 and (0, 0) wins.
  const som::grid_pos zero = som::find_bmu(2, 2, 0, sample, grid);
  EXPECT_EQ(zero.row + zero.col, 0u);
}

TEST(FindBmu, NoAnswerGivesOrigin) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  som::owned_grid grid_memory = make_grid(1, 3, 1, {nan, inf, nan}, 1);
  som::weight_grid& grid = *grid_memory;
  const double sample[] = {0.0};
  const som::grid_pos p = som::find_bmu(1, 3, 1, sample, grid);
  EXPECT_EQ(p.row + p.col, 0u);
  // A NaN distance never wins, a later finite one does.
  som::owned_grid second_memory = make_grid(1, 3, 1, {nan, 5.0, 1.0}, 1);
  som::weight_grid& second = *second_memory;
  EXPECT_EQ(som::find_bmu(1, 3, 1, sample, second).col, 2u);
  som::owned_grid empty_memory = som::alloc_weight_grid(0, 5, 1, 1);
  som::weight_grid& empty = *empty_memory;
  EXPECT_EQ(som::find_bmu(0, 5, 1, sample, empty).col, 0u);
}

// Which neurons of a 5 × 5 map one update with the unit at (2, 2) moves.
std::vector<int> updated_neurons(double radius) {
  std::vector<double> w(25, 0.0);
  som::owned_grid grid_memory = make_grid(5, 5, 1, w, 1);
  som::weight_grid& grid = *grid_memory;
  std::vector<double> x = {1.0};
  som::sample_matrix samples{x.data(), 1, 1};
  som::assignment record{};
  // Put the unit at (2, 2) by making it the nearest neuron.
  grid.at(12, 0) = 0.5;
  som::train_epoch_plain(samples, grid, &record, 0.5, radius);
  std::vector<int> moved;
  for (int n = 0; n < 25; ++n) {
    if (grid.at(static_cast<std::size_t>(n), 0) != (n == 12 ? 0.5 : 0.0)) moved.push_back(n);
  }
  return moved;
}

TEST(TrainEpoch, NeighbourhoodIsStrictlyInsideTheRadius) {
  EXPECT_EQ(updated_neurons(2.5), (std::vector<int>{6, 7, 8, 11, 12, 13, 16, 17, 18}));
  EXPECT_EQ(updated_neurons(2.0), (std::vector<int>{7, 11, 12, 13, 17}));
  EXPECT_EQ(updated_neurons(0.0), (std::vector<int>{}));
  EXPECT_EQ(updated_neurons(0.5), (std::vector<int>{12}));
}

struct training_outcome {
  std::vector<double> weights;
  std::vector<som::assignment> assignments;
  std::uint32_t krok;
  std::uint32_t rozdil;
  std::string log;
};

training_outcome train(std::uint32_t rows, std::uint32_t cols, std::uint32_t dim,
                       std::vector<double> weights, std::vector<double> samples,
                       std::vector<som::assignment> assignments, std::uint32_t krok,
                       std::uint32_t radius_decay, std::uint32_t rate_decay,
                       std::uint32_t stop_radius,
                       const som::training_engine& engine = som::shipped_engine()) {
  som::owned_grid grid_memory = make_grid(rows, cols, dim, weights, som::grid_lanes(engine));
  som::weight_grid& grid = *grid_memory;
  const auto n = static_cast<std::uint32_t>(dim == 0 ? assignments.size() : samples.size() / dim);
  som::sample_matrix matrix{samples.data(), n, dim};
  som::assignment_table table{assignments.data(), n};
  training_outcome out;
  out.krok = krok;
  out.rozdil = 12345;
  som::training_params params;
  params.radius_decay = radius_decay;
  params.rate_decay = rate_decay;
  params.stop_radius = stop_radius;
  params.engine = engine;
  // The log's lines as the run writes them.
  som::epoch_sink log;
  log.context = &out.log;
  log.record = [](void* context, std::uint32_t Rozdil, double Radius) {
    som::append_log_line(*static_cast<std::string*>(context), Rozdil, Radius);
  };
  som::train_map(log, params, matrix, grid, table, out.krok, out.rozdil);
  out.weights = grid_values(grid);
  out.assignments = assignments;
  return out;
}

std::string lines(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += som::host_line_end;
    } else {
      out += c;
    }
  }
  return out;
}

TEST(TrainMap, WorkedRunFromASavedOneByThreeMap) {
  for (const som::training_engine& engine : {som::plain_engine(), som::shipped_engine()}) {
    SCOPED_TRACE(engine.kernel != nullptr ? engine.kernel->name() : "plain");
    const training_outcome out =
        train(1, 3, 2, {0, 0, 0.5, 0.5, 1, 1}, {0.1, 0.2, 0.9, 0.8, 0.4, 0.6},
              {{0, 0}, {0, 0}, {0, 0}}, 0, 2, 4, 2, engine);
    EXPECT_EQ(out.log, lines("4\t6.666667\n0\t5.000000\n1\t4.000000\n0\t3.333333\n"
                             "0\t2.857143\n0\t2.500000\n0\t2.222222\n0\t2.000000\n"));
    EXPECT_EQ(out.krok, 8u);
    EXPECT_EQ(out.rozdil, 0u);
    ASSERT_EQ(out.assignments.size(), 3u);
    EXPECT_EQ(out.assignments[0].col, 0u);
    EXPECT_EQ(out.assignments[1].col, 2u);
    EXPECT_EQ(out.assignments[2].col, 1u);
    std::vector<std::string> text;
    for (double w : out.weights) text.push_back(shortest(w));
    EXPECT_EQ(text, (std::vector<std::string>{"0.28293790429548005", "0.4438194197870965",
                                              "0.49536302686079237", "0.5806246998090279",
                                              "0.5953275244022719", "0.6781117028874605"}));
  }
}

TEST(TrainMap, NineteenThousandNineHundredEpochsToStopRadiusOne) {
  const training_outcome out =
      train(10, 10, 1, std::vector<double>(100, 0.0), {}, {}, 0, 100, 1000, 1);
  EXPECT_EQ(out.krok, 19900u);
  const std::string last = lines("0\t1.000000\n");
  EXPECT_EQ(out.log.substr(out.log.size() - last.size()), last);
  EXPECT_EQ(std::count(out.log.begin(), out.log.end(), '\n'), 19900);
  EXPECT_EQ(out.log.substr(0, 12), lines("0\t198.019802\n").substr(0, 12));
}

TEST(TrainMap, DegenerateSchedules) {
  // R already at stop_radius: one epoch.
  training_outcome one = train(2, 2, 1, {0, 1, 2, 3}, {2.9}, {{0, 0}}, 0, 1, 1, 100);
  EXPECT_EQ(one.krok, 1u);
  EXPECT_EQ(one.rozdil, 2u);  // unit (1, 1) against (0, 0)
  // radius_decay 0: R = 0, nothing moves, the assignment still changes.
  training_outcome frozen = train(2, 2, 1, {0, 1, 2, 3}, {2.9}, {{0, 0}}, 0, 0, 1, 0);
  EXPECT_EQ(frozen.krok, 1u);
  EXPECT_EQ(frozen.weights, (std::vector<double>{0, 1, 2, 3}));
  EXPECT_EQ(frozen.assignments[0].row, 1u);
  EXPECT_EQ(frozen.log, lines("2\t0.000000\n"));
  // rate_decay 0: α = 0, finite weights stay, the schedule goes on.
  training_outcome still = train(2, 2, 1, {0, 1, 2, 3}, {2.9}, {{0, 0}}, 0, 1, 0, 4);
  EXPECT_EQ(still.krok, 1u);
  EXPECT_EQ(still.weights, (std::vector<double>{0, 1, 2, 3}));
  // No samples: Rozdil 0 every epoch until R ≤ stop_radius (8 / (t + 1) ≤ 2 at t = 3).
  training_outcome empty = train(2, 2, 1, {0, 1, 2, 3}, {}, {}, 0, 1, 1, 2);
  EXPECT_EQ(empty.krok, 3u);
  EXPECT_EQ(empty.log, lines("0\t4.000000\n0\t2.666667\n0\t2.000000\n"));
  // Krok wraps: t = 0 with both decays 0 gives α = 1, R = S = 8, then R = 0.
  training_outcome wrapped = train(2, 2, 1, {0, 1, 2, 3}, {2.5}, {{0, 0}}, 4294967295u, 0, 0, 0);
  EXPECT_EQ(wrapped.krok, 1u);
  // The unit is (1, 0) first; once every neuron sits on the sample, (0, 0).
  EXPECT_EQ(wrapped.log, lines("1\t8.000000\n1\t0.000000\n"));
  // α = 1 moved every neuron onto the sample in the first epoch.
  EXPECT_EQ(wrapped.weights, (std::vector<double>{2.5, 2.5, 2.5, 2.5}));
}

TEST(TrainMap, AssignmentsOutsideTheGridOnlyEnterTheFirstRozdil) {
  // Loaded from a larger grid: (70000, 3) against the unit (0, 1), wrapping.
  const training_outcome out = train(1, 2, 1, {0, 1}, {1.0}, {{70000, 3}}, 0, 0, 1, 0);
  const std::uint32_t d = 70000u;
  EXPECT_EQ(out.rozdil, d * d + 4u);
  EXPECT_EQ(out.assignments[0].row, 0u);
  EXPECT_EQ(out.assignments[0].col, 1u);
}

TEST(TrainMap, EmptyMapStillAssignsAndCounts) {
  for (const auto& size : {std::pair{0u, 3u}, std::pair{3u, 0u}}) {
    const training_outcome out =
        train(size.first, size.second, 2, {}, {0.5, 0.5}, {{1, 2}}, 0, 0, 1, 0);
    EXPECT_EQ(out.rozdil, 5u);
    EXPECT_EQ(out.assignments[0].row + out.assignments[0].col, 0u);
  }
}

TEST(MapStorage, RandomWeightsInNeuronOrderAndEmptyBlocks) {
  EXPECT_EQ(som::random_weight(0), -0.5);
  EXPECT_EQ(som::random_weight(32767), 0.499969482421875);
  EXPECT_EQ(som::random_weight(16384), 0.0);

  som::random_generator gen;
  som::seed_random(gen, 1);
  EXPECT_EQ(som::draw_random(gen), 41u);
  EXPECT_EQ(som::draw_random(gen), 18467u);
  EXPECT_EQ(som::draw_random(gen), 6334u);

  // Draws go to the weights in neuron order, whatever the layout in memory.
  for (const std::uint32_t lanes : {1u, 8u}) {
    som::owned_grid tiled_memory = som::alloc_weight_grid(3, 3, 2, lanes);
    som::weight_grid& tiled = *tiled_memory;
    som::seed_random(gen, 1);
    som::init_random_weights(tiled, gen);
    EXPECT_EQ(tiled.at(0, 0), som::random_weight(41));
    EXPECT_EQ(tiled.at(0, 1), som::random_weight(18467));
    EXPECT_EQ(tiled.at(1, 0), som::random_weight(6334));
    // Lanes past the last neuron hold NaN.
    if (lanes == 8) {
      EXPECT_TRUE(std::isnan(tiled.block[tiled.offset(9, 0)]));
    }
  }
  EXPECT_EQ(som::alloc_sample_matrix(3, 0)->block, nullptr);
  EXPECT_EQ(som::alloc_assignment_table(0)->records, nullptr);
}

// The memory goes with its owner: a moved-from owner, or one reset, keeps no
// pointer into memory that is no longer its own.
TEST(MapStorage, AnOwnerGivesItsMemoryAwayWhole) {
  som::owned_assignments first = som::alloc_assignment_table(4);
  ASSERT_NE(first->records, nullptr);
  EXPECT_EQ(first->records[3].row + first->records[3].col, 0u);  // zero-filled
  const som::assignment* records = first->records;
  som::owned_assignments second = std::move(first);
  EXPECT_EQ(second->records, records);
  EXPECT_EQ(second->count, 4u);
  EXPECT_EQ(first->records, nullptr);
  EXPECT_EQ(first->count, 0u);
  first = std::move(second);
  EXPECT_EQ(first->records, records);
  first.reset();
  EXPECT_EQ(first->records, nullptr);
  EXPECT_FALSE(som::allocation_failed(*first));
}

}  // namespace
