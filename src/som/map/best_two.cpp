#include "som/map/best_two.hpp"

#include <algorithm>
#include <atomic>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "som/map/best_two_targets.hpp"
#include "som/map/find_bmu.hpp"
#include "som/map/neuron_groups.hpp"

namespace som {

best_two find_best_two(const weight_grid& grid, const double* sample) {
  best_two out;
  double best = std::numeric_limits<double>::max();
  double second = std::numeric_limits<double>::max();
  const double* weight = grid.block;
  for (std::uint32_t i = 0; i < grid.map_rows; ++i) {
    for (std::uint32_t j = 0; j < grid.map_cols; ++j) {
      const double distance = squared_distance(sample, weight, grid.dimension);
      // Strict comparisons keep the earlier neuron on ties; a neuron pushed
      // down from first place is the earliest of its distance seen so far.
      if (distance < best) {
        if (best < std::numeric_limits<double>::max()) {
          second = best;
          out.second = out.best;
          out.has_second = true;
        }
        best = distance;
        out.best = grid_pos{i, j};
      } else if (distance < second) {
        second = distance;
        out.second = grid_pos{i, j};
        out.has_second = true;
      }
      weight += grid.dimension;
    }
  }
  out.best_distance = best;
  return out;
}

namespace {

// Maps of more neurons than row-major numbers of 32 bits are searched in
// full (their weights alone would take 32 GiB and more).
constexpr std::size_t most_filed_neurons = no_neuron_here;

best_two to_best_two(const lane_answer& a, std::uint32_t map_cols) {
  best_two out;
  out.best_distance = a.distance;
  if (a.best != no_neuron_here) out.best = grid_pos{a.best / map_cols, a.best % map_cols};
  out.has_second = a.second != no_neuron_here;
  if (out.has_second) out.second = grid_pos{a.second / map_cols, a.second % map_cols};
  return out;
}

// One thread's scratch memory for the lane search.
struct lane_scratch {
  aligned_doubles values;
  std::size_t size = 0;
  std::vector<std::uint32_t> alive;
  void fit(const neuron_lanes& lanes) {
    if (lane_scratch_doubles(lanes) > size || size == 0) {
      size = std::max<std::size_t>(1, lane_scratch_doubles(lanes));
      values.assign(size, 0.0);
    }
    alive.resize(std::max<std::size_t>(1, lane_scratch_numbers(lanes)));
  }
};

}  // namespace

struct best_two_finder::filed {
  std::unique_ptr<neuron_groups> groups;  // null: the plain search
  const lane_target* target = nullptr;
};

best_two_finder::best_two_finder(const weight_grid& grid)
    : best_two_finder(grid, lane_target_here()) {}

best_two_finder::best_two_finder(const weight_grid& grid, const lane_target& target,
                                 std::uint32_t group_size)
    : grid_(grid), filed_(std::make_unique<filed>()) {
  if (grid.neurons > most_filed_neurons) return;
  filed_->target = &target;
  filed_->groups = std::make_unique<neuron_groups>(
      grid, group_size != 0 ? group_size : default_group_size(grid.neurons));
}

best_two_finder::~best_two_finder() = default;

best_two best_two_finder::find(const double* sample) const {
  if (filed_->groups == nullptr) return find_best_two(grid_, sample);
  thread_local lane_scratch scratch;
  const neuron_lanes& lanes = filed_->groups->lanes();
  scratch.fit(lanes);
  lane_answer answer;
  filed_->target->search(lanes, sample, 1, &answer, scratch.values.data(), scratch.alive.data());
  return to_best_two(answer, grid_.map_cols);
}

void best_two_finder::find_rows(const double* samples, std::size_t count, best_two* out) const {
  if (filed_->groups == nullptr) {
    for (std::size_t s = 0; s < count; ++s)
      out[s] = find_best_two(grid_, samples + s * grid_.dimension);
    return;
  }
  const neuron_lanes& lanes = filed_->groups->lanes();
  lane_scratch scratch;
  scratch.fit(lanes);
  constexpr std::size_t step = 256;
  lane_answer answers[step];
  for (std::size_t s = 0; s < count; s += step) {
    const std::size_t rows = std::min(step, count - s);
    filed_->target->search(lanes, samples + s * grid_.dimension, rows, answers,
                           scratch.values.data(), scratch.alive.data());
    for (std::size_t i = 0; i < rows; ++i) out[s + i] = to_best_two(answers[i], grid_.map_cols);
  }
}

void best_two_finder::find_all(const sample_matrix& samples, best_two* out,
                               unsigned threads) const {
  // Runs of samples go to whichever thread is free, so that a thread that
  // the machine slows down takes fewer.
  constexpr std::size_t run = 1024;
  const std::size_t count = samples.count;
  const std::size_t runs = (count + run - 1) / run;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  if (threads > runs) threads = static_cast<unsigned>(std::max<std::size_t>(runs, 1));
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (;;) {
      const std::size_t r = next.fetch_add(1, std::memory_order_relaxed);
      if (r >= runs) return;
      const std::size_t first = r * run;
      find_rows(samples.block + first * samples.dimension, std::min(run, count - first),
                out + first);
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // the threads that started, and this one, do the rest
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace som
