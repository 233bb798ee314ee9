#include "som/kernels/component_order.hpp"

#include <algorithm>
#include <vector>

namespace som::kernels {

void order_components(const weight_grid& grid, std::uint32_t* order) {
  const std::uint32_t dimension = grid.dimension;
  std::vector<double> sum(dimension, 0.0);
  std::vector<double> squares(dimension, 0.0);
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < dimension; ++k) {
      const double w = grid.block[grid.offset(n, k)];
      sum[k] += w;
      squares[k] += w * w;
    }
  }
  std::vector<double> spread(dimension, 0.0);
  const double count = static_cast<double>(grid.neurons);
  for (std::uint32_t k = 0; k < dimension && grid.neurons != 0; ++k) {
    const double mean = sum[k] / count;
    const double variance = squares[k] / count - mean * mean;
    spread[k] = variance == variance ? variance : 0.0;
  }
  for (std::uint32_t k = 0; k < dimension; ++k) order[k] = k;
  std::stable_sort(order, order + dimension,
                   [&](std::uint32_t a, std::uint32_t b) { return spread[a] > spread[b]; });
}

}  // namespace som::kernels
