#include "som/best_two.hpp"

#include <array>
#include <limits>

#include "som/best_two_search.hpp"
#include "som/find_bmu.hpp"
#include "som/neuron_tree.hpp"
#include "som/principal_components.hpp"

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

struct best_two_finder::filed {
  bool by_tree = false;
  neuron_tree tree;
  neuron_index index;
};

best_two_finder::best_two_finder(const weight_grid& grid) : grid_(grid), filed_(std::make_unique<filed>()) {
  filed_->by_tree = grid.dimension <= tree_search_dimensions;
  if (filed_->by_tree) {
    filed_->tree = build_neuron_tree(grid);
    return;
  }
  std::array<std::vector<double>, 2> axes = {std::vector<double>(grid.dimension, 0.0),
                                             std::vector<double>(grid.dimension, 0.0)};
  if (grid.neurons <= 0xFFFFFFFFu) {
    const sample_matrix neurons{grid.block, static_cast<std::uint32_t>(grid.neurons),
                                grid.dimension};
    axes = principal_components(neurons).axes;
  }
  filed_->index = index_neurons(grid, axes);
}

best_two_finder::~best_two_finder() = default;

best_two best_two_finder::find(const double* sample) const {
  return filed_->by_tree ? find_best_two(grid_, filed_->tree, sample)
                         : find_best_two(grid_, filed_->index, sample);
}

}  // namespace som
