#include "som/best_two_search.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "som/best_two_so_far.hpp"
#include "som/find_bmu.hpp"

namespace som {

namespace {

constexpr double largest = std::numeric_limits<double>::max();

// u · v, and in `error` a bound on its rounding: twice the textbook bound
// d × 2^-53 × Σ|u_k v_k|, plus room for products too small to round relatively.
double key_of(const std::vector<double>& u, const double* v, double& error) {
  double sum = 0.0, magnitude = 0.0;
  for (std::size_t k = 0; k < u.size(); ++k) {
    const double product = u[k] * v[k];
    sum = sum + product;
    magnitude = magnitude + std::abs(product);
  }
  error = static_cast<double>(u.size() + 2) * 0x1p-52 * magnitude + 1e-290;
  return sum;
}

// Whether a neuron at squared distance at least bound² may still be among
// the best two: with room for the rounding of distances and projections.
bool may_matter(double bound, double second) {
  return !(bound > 0.0 && bound * bound * (1.0 - 1e-9) > second);
}

std::uint32_t cell_along(const neuron_index& index, int axis, double key) {
  const double position = std::floor((key - index.low[axis]) / index.cell_size[axis]);
  if (!(position > 0.0)) return 0;
  const double last = static_cast<double>(index.cells[axis] - 1);
  return static_cast<std::uint32_t>(std::min(position, last));
}

}  // namespace

neuron_index index_neurons(const weight_grid& grid,
                           const std::array<std::vector<double>, 2>& axes) {
  neuron_index index;
  index.axes = axes;
  const std::size_t n = grid.neurons;
  std::array<std::vector<double>, 2> keys = {std::vector<double>(n), std::vector<double>(n)};
  std::array<double, 2> high = {0.0, 0.0};
  for (std::size_t i = 0; i < n; ++i) {
    const double* w = grid.block + i * grid.dimension;
    for (std::uint32_t k = 0; k < grid.dimension; ++k)
      if (!std::isfinite(w[k])) index.full_search = true;
    for (int a = 0; a < 2; ++a) {
      double error = 0.0;
      keys[a][i] = key_of(axes[a], w, error);
      if (!std::isfinite(keys[a][i]) || !std::isfinite(error)) index.full_search = true;
      index.key_error[a] = std::max(index.key_error[a], error);
      if (i == 0 || keys[a][i] < index.low[a]) index.low[a] = keys[a][i];
      if (i == 0 || keys[a][i] > high[a]) high[a] = keys[a][i];
    }
  }
  if (index.full_search || n == 0 || n > 0xFFFFFFFFu) {
    index.full_search = true;
    return index;
  }

  // About three neurons to a cell, the cells square where both axes spread.
  const double target = std::max(1.0, static_cast<double>(n) / 3.0);
  const std::array<double, 2> extent = {high[0] - index.low[0], high[1] - index.low[1]};
  std::array<double, 2> count = {1.0, 1.0};
  if (extent[0] > 0.0 && extent[1] > 0.0 && std::isfinite(extent[0] * extent[1])) {
    const double side = std::sqrt(extent[0] * extent[1] / target);
    for (int a = 0; a < 2; ++a) count[a] = std::ceil(extent[a] / side);
  } else {
    for (int a = 0; a < 2; ++a)
      if (extent[a] > 0.0) count[a] = target;
  }
  // Never many more cells than neurons: a map strung out along one axis
  // would otherwise get thousands of empty cells across it, and each sample
  // would walk through their rings.
  const double most_cells = 4.0 * target;
  for (int a = 0; a < 2; ++a) count[a] = std::clamp(count[a], 1.0, 4096.0);
  if (count[0] * count[1] > most_cells) {
    const int wide = count[0] >= count[1] ? 0 : 1;
    count[wide] = std::max(1.0, std::floor(most_cells / count[1 - wide]));
    if (count[0] * count[1] > most_cells)
      count[1 - wide] = std::max(1.0, std::floor(most_cells / count[wide]));
  }
  for (int a = 0; a < 2; ++a) {
    index.cells[a] = static_cast<std::uint32_t>(count[a]);
    index.cell_size[a] = extent[a] > 0.0 ? extent[a] / index.cells[a] : 1.0;
    if (!(index.cell_size[a] > 0.0) || !std::isfinite(index.cell_size[a])) {
      index.cells[a] = 1;
      index.cell_size[a] = 1.0;
    }
    // The rounding of cell numbers and edges is far below this.
    index.slack[a] = 1e-9 * (std::abs(index.low[a]) + std::abs(high[a]) + index.cell_size[a]);
  }

  // The neurons by cell, each cell's in ascending order.
  const std::size_t cells = std::size_t{index.cells[0]} * index.cells[1];
  std::vector<std::uint32_t> cell_of(n);
  index.cell_start.assign(cells + 1, 0);
  for (std::size_t i = 0; i < n; ++i) {
    cell_of[i] =
        cell_along(index, 0, keys[0][i]) * index.cells[1] + cell_along(index, 1, keys[1][i]);
    ++index.cell_start[cell_of[i] + 1];
  }
  for (std::size_t c = 0; c < cells; ++c) index.cell_start[c + 1] += index.cell_start[c];
  std::vector<std::uint32_t> filled(index.cell_start.begin(), index.cell_start.end() - 1);
  index.neurons.resize(n);
  for (std::size_t i = 0; i < n; ++i)
    index.neurons[filled[cell_of[i]]++] = static_cast<std::uint32_t>(i);
  return index;
}

best_two find_best_two(const weight_grid& grid, const neuron_index& index, const double* sample) {
  if (index.full_search) return find_best_two(grid, sample);
  std::array<double, 2> key{}, margin{};
  for (int a = 0; a < 2; ++a) {
    double error = 0.0;
    key[a] = key_of(index.axes[a], sample, error);
    if (!std::isfinite(key[a]) || !std::isfinite(error)) return find_best_two(grid, sample);
    margin[a] = error + index.key_error[a];
  }

  best_two_so_far units;
  auto visit = [&](std::uint32_t i, std::uint32_t j) {
    // The cell's own stretch of the plane bounds its neurons' distance.
    double bound_squared = 0.0;
    const std::uint32_t at[2] = {i, j};
    for (int a = 0; a < 2; ++a) {
      const double from = index.low[a] + static_cast<double>(at[a]) * index.cell_size[a];
      const double to = from + index.cell_size[a];
      const double gap = std::max({0.0, from - key[a], key[a] - to}) - index.slack[a] - margin[a];
      if (gap > 0.0) bound_squared = bound_squared + gap * gap;
    }
    if (!may_matter(std::sqrt(bound_squared), units.second_distance())) return;
    const std::size_t c = std::size_t{i} * index.cells[1] + j;
    for (std::uint32_t k = index.cell_start[c]; k < index.cell_start[c + 1]; ++k) {
      const std::size_t neuron = index.neurons[k];
      units.offer(squared_distance(sample, grid.block + neuron * grid.dimension, grid.dimension),
                  neuron);
    }
  };

  // Rings of cells around the sample's own: every cell of ring r lies at
  // least r - 1 cells away from the sample along one axis.
  const long ci = cell_along(index, 0, key[0]), cj = cell_along(index, 1, key[1]);
  const long rows = index.cells[0], cols = index.cells[1];
  double step = largest;
  for (int a = 0; a < 2; ++a)
    if (index.cells[a] > 1) step = std::min(step, index.cell_size[a]);
  const long rings = std::max({ci, rows - 1 - ci, cj, cols - 1 - cj});
  for (long r = 0; r <= rings; ++r) {
    const double ring_gap = (static_cast<double>(r) - 1.0) * step -
                            std::max(index.slack[0], index.slack[1]) -
                            std::max(margin[0], margin[1]);
    if (!may_matter(ring_gap, units.second_distance())) break;
    const long i_low = std::max(0L, ci - r), i_high = std::min(rows - 1, ci + r);
    const long j_low = std::max(0L, cj - r), j_high = std::min(cols - 1, cj + r);
    for (long i = i_low; i <= i_high; ++i) {
      const bool edge_row = i == ci - r || i == ci + r;
      for (long j = j_low; j <= j_high; ++j) {
        if (!edge_row && j != cj - r && j != cj + r) {
          j = cj + r - 1;  // straight to the ring's right side
          continue;
        }
        visit(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j));
      }
    }
  }

  return units.answer(grid);
}

}  // namespace som
