#include "som/map/train_epoch_plain.hpp"

#include "som/map/find_bmu.hpp"
#include "som/map/rozdil.hpp"

namespace som {

std::uint32_t train_epoch_plain(const sample_matrix& samples, weight_grid& grid,
                                assignment* assignments, double learning_rate, double radius) {
  const std::uint32_t map_rows = grid.map_rows;
  const std::uint32_t map_cols = grid.map_cols;
  const std::uint32_t dimension = grid.dimension;
  std::uint32_t rozdil = 0;
  for (std::uint32_t s = 0; s < samples.count; ++s) {
    const double* x = samples.row(s);
    const grid_pos bmu = find_bmu(map_rows, map_cols, dimension, x, grid);
    double* weight = grid.block;
    for (std::uint32_t i = 0; i < map_rows; ++i) {
      for (std::uint32_t j = 0; j < map_cols; ++j) {
        const std::uint32_t di = bmu.row - i;
        const std::uint32_t dj = bmu.col - j;
        const std::uint32_t g = di * di + dj * dj;
        if (radius > static_cast<double>(g)) {
          for (std::uint32_t k = 0; k < dimension; ++k) {
            const double difference = x[k] - weight[k];
            const double step = difference * learning_rate;
            weight[k] = step + weight[k];
          }
        }
        weight += dimension;
      }
    }
    rozdil += note_winner(assignments[s], bmu);
  }
  return rozdil;
}

}  // namespace som
