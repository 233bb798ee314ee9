// The label a new sample takes from the neuron it falls on: the neuron's
// majority label, or that of the nearest labelled neuron, against a search
// through all of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "som/map/label_map.hpp"
#include "support/map_values.hpp"

namespace {

using som_test::grid_holder;

// The nearest labelled neuron by a plain loop: squared distances summed in
// component order, the first in row-major order on ties, none unless below
// the largest double.
std::vector<som::unit_label> reference_labels(const std::vector<double>& weights,
                                              std::uint32_t dim,
                                              const std::vector<std::uint32_t>& majority) {
  std::vector<som::unit_label> out(majority.size());
  for (std::size_t n = 0; n < majority.size(); ++n) {
    if (majority[n] != som::no_label) {
      out[n] = {majority[n], false};
      continue;
    }
    double best = std::numeric_limits<double>::max();
    for (std::size_t m = 0; m < majority.size(); ++m) {
      if (majority[m] == som::no_label) continue;
      double d = 0.0;
      for (std::uint32_t k = 0; k < dim; ++k) {
        const double diff = weights[n * dim + k] - weights[m * dim + k];
        d = d + diff * diff;
      }
      if (d < best) {
        best = d;
        out[n] = {majority[m], true};
      }
    }
  }
  return out;
}

TEST(UnitLabels, OwnMajorityOrTheNearestLabelledNeuron) {
  std::mt19937 random(5);
  // Up to 16 components the neurons are searched in a k-d tree, above it
  // in their principal plane: both kinds, with coarse weights (many equal
  // distances) and fine ones.
  for (const std::uint32_t dim : {0u, 1u, 3u, 20u}) {
    for (int trial = 0; trial < 40; ++trial) {
      const std::uint32_t rows = 1 + random() % 7, cols = 1 + random() % 7;
      const std::size_t neurons = std::size_t{rows} * cols;
      std::vector<double> weights(neurons * dim);
      for (double& w : weights)
        w = trial % 2 == 0 ? static_cast<double>(random() % 3)
                           : std::uniform_real_distribution<double>(0.0, 1.0)(random);
      // Copied neurons: equal distances to two labelled ones.
      if (neurons > 2 && dim > 0)
        std::copy_n(weights.begin(), dim, weights.begin() + (neurons - 1) * dim);
      std::vector<std::uint32_t> majority(neurons);
      for (std::uint32_t& label : majority)
        label = random() % 3 == 0 ? som::no_label : static_cast<std::uint32_t>(random() % 4);
      const grid_holder grid(rows, cols, dim, weights);
      som::label_map map;
      map.majority = majority;
      SCOPED_TRACE(testing::Message() << rows << " x " << cols << " of dimension " << dim);
      EXPECT_EQ(som::unit_labels(grid.grid, map), reference_labels(weights, dim, majority));
    }
  }
}

TEST(UnitLabels, NoLabelledNeuronOrNoneWithinReach) {
  som::label_map map;
  map.majority = {som::no_label, som::no_label, som::no_label};
  const grid_holder grid(1, 3, 1, {0.0, 1.0, 2.0});
  for (const som::unit_label& label : som::unit_labels(grid.grid, map))
    EXPECT_EQ(label.label, som::no_label);
  // A neuron whose weights are not numbers is near no labelled neuron.
  map.majority = {4, som::no_label, som::no_label};
  const grid_holder odd(1, 3, 1, {0.0, std::nan(""), 2.0});
  const std::vector<som::unit_label> labels = som::unit_labels(odd.grid, map);
  EXPECT_EQ(labels[1].label, som::no_label);
  EXPECT_EQ(labels[2].label, 4u);
  EXPECT_TRUE(labels[2].borrowed);
}

}  // namespace
