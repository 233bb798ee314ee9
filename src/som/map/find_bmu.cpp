#include "som/map/find_bmu.hpp"

#include <limits>

namespace som {

grid_pos find_bmu(std::uint32_t map_rows, std::uint32_t map_cols, std::uint32_t dimension,
                  const double* sample, const weight_grid& grid) {
  double best = std::numeric_limits<double>::max();
  grid_pos chosen{0, 0};
  const double* weight = grid.block;
  for (std::uint32_t i = 0; i < map_rows; ++i) {
    for (std::uint32_t j = 0; j < map_cols; ++j) {
      const double distance = squared_distance(sample, weight, dimension);
      if (distance < best) {
        best = distance;
        chosen = grid_pos{i, j};
      }
      weight += dimension;
    }
  }
  return chosen;
}

}  // namespace som
