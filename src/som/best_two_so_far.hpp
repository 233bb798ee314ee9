// The best two units that a search has measured so far, in the order
// find_best_two keeps them: the smaller squared distance first, and among
// equal distances the neuron earlier in row-major order, whatever order the
// search measures them in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "som/best_two.hpp"
#include "som/map_storage.hpp"

namespace som {

class best_two_so_far {
 public:
  // find_bmu counts only distances below the largest finite double.
  void offer(double distance, std::size_t neuron) {
    if (!(distance < largest)) return;
    if (before(distance, neuron, best_)) {
      second_ = best_;
      best_ = {distance, neuron};
    } else if (before(distance, neuron, second_)) {
      second_ = {distance, neuron};
    }
  }

  // The distance a unit must reach (or tie) to be among the two.
  double second_distance() const { return second_.distance; }

  best_two answer(const weight_grid& grid) const {
    best_two out;
    if (best_.neuron != none) out.best = position(grid, best_.neuron);
    out.best_distance = best_.distance;
    out.has_second = second_.neuron != none;
    if (out.has_second) out.second = position(grid, second_.neuron);
    return out;
  }

 private:
  static constexpr double largest = std::numeric_limits<double>::max();
  static constexpr std::size_t none = static_cast<std::size_t>(-1);
  struct unit {
    double distance = largest;
    std::size_t neuron = none;
  };

  static bool before(double distance, std::size_t neuron, const unit& u) {
    return distance < u.distance || (distance == u.distance && neuron < u.neuron);
  }
  static grid_pos position(const weight_grid& grid, std::size_t neuron) {
    return grid_pos{static_cast<std::uint32_t>(neuron / grid.map_cols),
                    static_cast<std::uint32_t>(neuron % grid.map_cols)};
  }

  unit best_;
  unit second_;
};

}  // namespace som
