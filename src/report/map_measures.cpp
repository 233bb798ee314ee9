#include "report/map_measures.hpp"

#include <cmath>
#include <limits>

#include "report/best_two_search.hpp"
#include "report/neuron_tree.hpp"
#include "report/principal_components.hpp"
#include "som/find_bmu.hpp"

namespace som {

namespace {

double distance_between(const weight_grid& grid, std::size_t a, std::size_t b) {
  const double* wa = grid.block + a * grid.dimension;
  const double* wb = grid.block + b * grid.dimension;
  return std::sqrt(squared_distance(wa, wb, grid.dimension));
}

}  // namespace

std::vector<double> u_matrix(const weight_grid& grid) {
  std::vector<double> values(grid.neurons, 0.0);
  const std::size_t cols = grid.map_cols;
  for (std::size_t r = 0; r < grid.map_rows; ++r) {
    for (std::size_t c = 0; c < cols; ++c) {
      const std::size_t n = r * cols + c;
      double sum = 0.0;
      unsigned count = 0;
      auto add = [&](std::size_t other) {
        sum = sum + distance_between(grid, n, other);
        ++count;
      };
      if (r > 0) add(n - cols);
      if (c > 0) add(n - 1);
      if (c + 1 < cols) add(n + 1);
      if (r + 1 < grid.map_rows) add(n + cols);
      values[n] = count == 0 ? 0.0 : sum / static_cast<double>(count);
    }
  }
  return values;
}

std::vector<std::uint32_t> hit_counts(std::uint32_t map_rows, std::uint32_t map_cols,
                                      const assignment_table& assignments) {
  std::vector<std::uint32_t> hits(std::size_t{map_rows} * map_cols, 0);
  for (std::uint32_t s = 0; s < assignments.count; ++s) {
    const assignment& a = assignments.records[s];
    ++hits[std::size_t{a.row} * map_cols + a.col];
  }
  return hits;
}

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

map_errors measure_errors(const weight_grid& grid, const sample_matrix& samples) {
  map_errors out;
  if (samples.count == 0) return out;
  // Few components: a k-d tree over the neurons, which divides any map.
  // More: the neurons filed by their place in their own principal plane,
  // where they spread the most (a tree's boxes prune little there).
  const bool by_tree = grid.dimension <= tree_search_dimensions;
  neuron_tree tree;
  neuron_index index;
  if (by_tree) {
    tree = build_neuron_tree(grid);
  } else {
    std::array<std::vector<double>, 2> axes = {std::vector<double>(grid.dimension, 0.0),
                                               std::vector<double>(grid.dimension, 0.0)};
    if (grid.neurons <= 0xFFFFFFFFu) {
      const sample_matrix neurons{grid.block, static_cast<std::uint32_t>(grid.neurons),
                                  grid.dimension};
      axes = principal_components(neurons).axes;
    }
    index = index_neurons(grid, axes);
  }
  double sum = 0.0;
  for (std::uint32_t s = 0; s < samples.count; ++s) {
    const best_two units = by_tree ? find_best_two(grid, tree, samples.row(s))
                                   : find_best_two(grid, index, samples.row(s));
    const double* weight =
        grid.block +
        (std::size_t{units.best.row} * grid.map_cols + units.best.col) * grid.dimension;
    sum = sum + std::sqrt(squared_distance(samples.row(s), weight, grid.dimension));
    if (units.has_second && !grid_neighbours(units.best, units.second)) ++out.topographic_count;
    if (units.has_second && !grid_neighbours8(units.best, units.second)) ++out.topographic8_count;
  }
  const double count = static_cast<double>(samples.count);
  out.quantization = sum / count;
  out.topographic = static_cast<double>(out.topographic_count) / count;
  out.topographic8 = static_cast<double>(out.topographic8_count) / count;
  return out;
}

}  // namespace som
