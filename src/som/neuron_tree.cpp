#include "som/neuron_tree.hpp"

#include <algorithm>
#include <cmath>

#include "som/best_two_so_far.hpp"
#include "som/find_bmu.hpp"

namespace som {

namespace {

constexpr std::uint32_t leaf_size = 8;

// The squared distance from the sample to a box, summed as squared_distance
// sums: in component order, each step rounded on its own. It is never above
// the computed distance of a neuron inside the box, rounding included: for
// such a neuron |sample − w| is at least the gap in every component, and
// rounding to nearest is monotone and symmetric, so the rounded difference,
// its rounded square and each rounded partial sum are each at least the
// box's. So a box whose distance is above the second-best distance holds
// neither of the best two, however close the neurons lie (an early map
// crowds thousands of them within 1e-12 of each other).
double box_distance(const neuron_tree& tree, std::uint32_t node, const double* sample) {
  const double* low = tree.box.data() + std::size_t{node} * 2 * tree.dimension;
  const double* high = low + tree.dimension;
  double sum = 0.0;
  for (std::uint32_t k = 0; k < tree.dimension; ++k) {
    const double gap = sample[k] < low[k] ? low[k] - sample[k]
                       : sample[k] > high[k] ? sample[k] - high[k]
                                             : 0.0;
    sum = sum + gap * gap;
  }
  return sum;
}

// Whether a box at squared distance `bound` may hold one of the best two: at
// an equal distance a neuron earlier in row-major order would still win.
bool may_matter(double bound, double second) { return !(bound > second); }

}  // namespace

neuron_tree build_neuron_tree(const weight_grid& grid) {
  neuron_tree tree;
  tree.dimension = grid.dimension;
  const std::size_t n = grid.neurons;
  if (n == 0 || n > 0xFFFFFFFFu) {
    tree.full_search = true;
    return tree;
  }
  for (std::size_t v = 0; v < n * grid.dimension; ++v) {
    if (!std::isfinite(grid.block[v])) {
      tree.full_search = true;
      return tree;
    }
  }
  tree.order.resize(n);
  for (std::size_t i = 0; i < n; ++i) tree.order[i] = static_cast<std::uint32_t>(i);
  const std::uint32_t dim = grid.dimension;
  auto weight = [&](std::uint32_t neuron, std::uint32_t k) {
    return grid.block[std::size_t{neuron} * dim + k];
  };

  // Nodes are made parent first; a stack holds the ones still to split.
  tree.nodes.push_back({0, static_cast<std::uint32_t>(n), 0, 0});
  std::vector<std::uint32_t> pending = {0};
  while (!pending.empty()) {
    const std::uint32_t at = pending.back();
    pending.pop_back();
    const std::uint32_t begin = tree.nodes[at].begin, end = tree.nodes[at].end;
    tree.box.resize(tree.nodes.size() * 2 * dim);
    double* low = tree.box.data() + std::size_t{at} * 2 * dim;
    double* high = low + dim;
    std::uint32_t widest = 0;
    double widest_spread = -1.0;
    for (std::uint32_t k = 0; k < dim; ++k) {
      low[k] = high[k] = weight(tree.order[begin], k);
      for (std::uint32_t i = begin + 1; i < end; ++i) {
        low[k] = std::min(low[k], weight(tree.order[i], k));
        high[k] = std::max(high[k], weight(tree.order[i], k));
      }
      if (high[k] - low[k] > widest_spread) {
        widest_spread = high[k] - low[k];
        widest = k;
      }
    }
    if (!(widest_spread > 0.0)) {
      // Neurons with equal weights have equal distances to any sample, so
      // of such a group only the first two in row-major order can be among
      // the best two (an early map piles thousands onto one point).
      std::sort(tree.order.begin() + begin, tree.order.begin() + end);
      tree.nodes[at].end = std::min(end, begin + 2);
      continue;
    }
    if (end - begin <= leaf_size) continue;
    const std::uint32_t middle = begin + (end - begin) / 2;
    std::nth_element(tree.order.begin() + begin, tree.order.begin() + middle,
                     tree.order.begin() + end, [&](std::uint32_t a, std::uint32_t b) {
                       return weight(a, widest) < weight(b, widest);
                     });
    const auto left = static_cast<std::uint32_t>(tree.nodes.size());
    tree.nodes.push_back({begin, middle, 0, 0});
    tree.nodes.push_back({middle, end, 0, 0});
    tree.nodes[at].left = left;
    tree.nodes[at].right = left + 1;
    pending.push_back(left);
    pending.push_back(left + 1);
  }
  tree.box.resize(tree.nodes.size() * 2 * dim);
  return tree;
}

best_two find_best_two(const weight_grid& grid, const neuron_tree& tree, const double* sample) {
  if (tree.full_search) return find_best_two(grid, sample);
  for (std::uint32_t k = 0; k < grid.dimension; ++k)
    if (!std::isfinite(sample[k])) return find_best_two(grid, sample);

  best_two_so_far units;
  struct visit {
    std::uint32_t node;
    double bound;
  };
  std::vector<visit> stack;
  stack.reserve(64);
  stack.push_back({0, 0.0});
  while (!stack.empty()) {
    const visit v = stack.back();
    stack.pop_back();
    if (!may_matter(v.bound, units.second_distance())) continue;
    const neuron_tree::node& node = tree.nodes[v.node];
    if (node.left == 0) {
      for (std::uint32_t i = node.begin; i < node.end; ++i) {
        const std::size_t neuron = tree.order[i];
        units.offer(squared_distance(sample, grid.block + neuron * grid.dimension, grid.dimension),
                    neuron);
      }
      continue;
    }
    // The nearer child is searched first: pushed last.
    const double to_left = box_distance(tree, node.left, sample);
    const double to_right = box_distance(tree, node.right, sample);
    if (to_left <= to_right) {
      stack.push_back({node.right, to_right});
      stack.push_back({node.left, to_left});
    } else {
      stack.push_back({node.left, to_left});
      stack.push_back({node.right, to_right});
    }
  }

  return units.answer(grid);
}

}  // namespace som
