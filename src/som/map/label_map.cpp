#include "som/map/label_map.hpp"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "som/map/best_two.hpp"

namespace som {

label_map map_labels(std::uint32_t map_rows, std::uint32_t map_cols,
                     const assignment_table& assignments,
                     const std::vector<std::uint32_t>& of_sample, std::size_t label_count) {
  const std::size_t neurons = std::size_t{map_rows} * map_cols;
  label_map out;
  out.majority.assign(neurons, no_label);
  out.share.assign(neurons, 0.0);
  out.on_majority.assign(label_count, 0);

  // Per neuron, the count of each label present there: a few labels per
  // neuron on a trained map, so a small map per neuron beats a dense table
  // of neurons × labels (a 200 x 200 map with a thousand labels).
  std::vector<std::unordered_map<std::uint32_t, std::uint32_t>> counts(neurons);
  std::vector<std::uint32_t> labelled_here(neurons, 0);
  for (std::uint32_t s = 0; s < assignments.count && s < of_sample.size(); ++s) {
    const std::uint32_t label = of_sample[s];
    if (label == no_label) continue;
    const assignment& a = assignments.records[s];
    const std::size_t n = std::size_t{a.row} * map_cols + a.col;
    ++counts[n][label];
    ++labelled_here[n];
    ++out.labelled;
  }
  for (std::size_t n = 0; n < neurons; ++n) {
    std::uint32_t best = no_label, best_count = 0;
    for (const auto& [label, count] : counts[n]) {
      // Labels are numbered by overall frequency: the lower number wins a tie.
      if (count > best_count || (count == best_count && label < best)) {
        best = label;
        best_count = count;
      }
    }
    if (best == no_label) continue;
    out.majority[n] = best;
    out.share[n] = static_cast<double>(best_count) / static_cast<double>(labelled_here[n]);
    out.on_majority[best] += best_count;
    out.labelled_on_majority += best_count;
  }
  return out;
}

std::vector<unit_label> unit_labels(const weight_grid& grid, const label_map& labels) {
  std::vector<unit_label> out(grid.neurons);
  // The labelled neurons, in row-major order, as a map of one row.
  std::vector<std::size_t> labelled;
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    out[n].label = labels.majority[n];
    if (labels.majority[n] != no_label) labelled.push_back(n);
  }
  if (labelled.empty() || labelled.size() == grid.neurons) return out;
  const std::uint32_t dim = grid.dimension;
  std::vector<double> weights(labelled.size() * dim);
  for (std::size_t i = 0; i < labelled.size(); ++i)
    std::copy_n(grid.block + labelled[i] * dim, dim, weights.begin() + i * dim);
  weight_grid row;
  row.block = weights.data();
  row.map_rows = 1;
  row.map_cols = static_cast<std::uint32_t>(labelled.size());
  row.dimension = dim;
  row.neurons = labelled.size();
  row.tiles = labelled.size();
  const best_two_finder finder(row);
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    if (out[n].label != no_label) continue;
    const best_two nearest = finder.find(grid.block + n * dim);
    if (!(nearest.best_distance < std::numeric_limits<double>::max())) continue;
    out[n] = {labels.majority[labelled[nearest.best.col]], true};
  }
  return out;
}

}  // namespace som
