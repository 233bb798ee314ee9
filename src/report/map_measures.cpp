#include "report/map_measures.hpp"

#include <cmath>

#include "som/map/find_bmu.hpp"

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

map_errors measure_errors(const weight_grid& grid, const sample_matrix& samples) {
  map_errors out;
  if (samples.count == 0) return out;
  const best_two_finder finder(grid);
  double sum = 0.0;
  for (std::uint32_t s = 0; s < samples.count; ++s) {
    const best_two units = finder.find(samples.row(s));
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
