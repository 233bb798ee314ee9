#include "som/map/map_storage.hpp"

#include <cstring>
#include <limits>

namespace som {

namespace {

constexpr std::size_t alignment = 64;
constexpr std::uint64_t max_bytes = static_cast<std::uint64_t>(
    std::numeric_limits<std::ptrdiff_t>::max() < std::numeric_limits<std::size_t>::max()
        ? static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())
        : std::numeric_limits<std::size_t>::max());

// a × b, or 0 with `overflow` set when it does not fit.
std::uint64_t multiply(std::uint64_t a, std::uint64_t b, bool& overflow) {
  if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) {
    overflow = true;
    return 0;
  }
  return a * b;
}

// Room for `count` elements of `size` bytes plus alignment slack.
bool fits(std::uint64_t count, std::uint64_t size) {
  bool overflow = false;
  const std::uint64_t bytes = multiply(count, size, overflow);
  return !overflow && bytes <= max_bytes - alignment;
}

std::uint64_t grid_tiles(std::uint64_t neurons, std::uint32_t lanes) {
  return neurons / lanes + (neurons % lanes != 0 ? 1 : 0);
}

}  // namespace

bool run_sizes_fit(std::uint32_t samples, std::uint32_t dimension, std::uint32_t map_rows,
                   std::uint32_t map_cols, std::uint32_t lanes) {
  bool overflow = false;
  const std::uint64_t neurons = std::uint64_t{map_rows} * map_cols;
  const std::uint64_t grid_values =
      multiply(multiply(grid_tiles(neurons, lanes), lanes, overflow), dimension, overflow);
  return !overflow && fits(std::uint64_t{samples} * dimension, sizeof(double)) &&
         fits(grid_values, sizeof(double)) && fits(samples, sizeof(assignment)) &&
         neurons <= std::numeric_limits<std::size_t>::max();
}

owned_samples alloc_sample_matrix(std::uint32_t dimension, std::uint32_t samples) {
  sample_matrix matrix;
  matrix.count = samples;
  matrix.dimension = dimension;
  const std::size_t values = std::size_t{samples} * dimension;
  block_ptr<std::byte> memory = acquire_array<std::byte>(values * sizeof(double));
  matrix.block = reinterpret_cast<double*>(memory.get());
  return owned_samples(matrix, std::move(memory));
}

owned_grid alloc_weight_grid(std::uint32_t map_rows, std::uint32_t map_cols,
                             std::uint32_t dimension, std::uint32_t lanes) {
  weight_grid grid;
  grid.map_rows = map_rows;
  grid.map_cols = map_cols;
  grid.dimension = dimension;
  grid.lanes = lanes;
  grid.neurons = std::size_t{map_rows} * map_cols;
  grid.tiles = static_cast<std::size_t>(grid_tiles(grid.neurons, lanes));
  const std::size_t values = grid.tiles * lanes * dimension;
  if (values == 0) return owned_grid(grid, nullptr);
  block_ptr<std::byte> memory = acquire_array<std::byte>(values * sizeof(double) + alignment);
  if (memory == nullptr) return owned_grid(grid, nullptr);
  const auto address = reinterpret_cast<std::uintptr_t>(memory.get());
  grid.block =
      reinterpret_cast<double*>((address + alignment - 1) & ~std::uintptr_t{alignment - 1});
  // Lanes past the last neuron stay NaN for good.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t n = grid.neurons; n < grid.tiles * lanes; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) grid.at(n, k) = nan;
  }
  return owned_grid(grid, std::move(memory));
}

owned_assignments alloc_assignment_table(std::uint32_t samples) {
  assignment_table table;
  table.count = samples;
  block_ptr<std::byte> memory = acquire_array<std::byte>(std::size_t{samples} * sizeof(assignment));
  if (memory != nullptr) std::memset(memory.get(), 0, std::size_t{samples} * sizeof(assignment));
  table.records = reinterpret_cast<assignment*>(memory.get());
  return owned_assignments(table, std::move(memory));
}

bool allocation_failed(const sample_matrix& matrix) {
  return matrix.block == nullptr && std::size_t{matrix.count} * matrix.dimension != 0;
}

bool allocation_failed(const weight_grid& grid) {
  return grid.block == nullptr && grid.tiles * grid.lanes * grid.dimension != 0;
}

bool allocation_failed(const assignment_table& table) {
  return table.records == nullptr && table.count != 0;
}

void init_random_weights(weight_grid& grid, random_generator& gen) {
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < grid.dimension; ++k)
      grid.at(n, k) = random_weight(draw_random(gen));
  }
}

}  // namespace som
