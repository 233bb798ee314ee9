#include "report/label_map.hpp"

#include <unordered_map>

namespace som {

label_map map_labels(std::uint32_t map_rows, std::uint32_t map_cols,
                     const assignment_table& assignments, const sample_labels& labels) {
  const std::size_t neurons = std::size_t{map_rows} * map_cols;
  label_map out;
  out.majority.assign(neurons, no_label);
  out.share.assign(neurons, 0.0);
  out.on_majority.assign(labels.names.size(), 0);

  // Per neuron, the count of each label present there: a few labels per
  // neuron on a trained map, so a small map per neuron beats a dense table
  // of neurons × labels (a 200 x 200 map with a thousand labels).
  std::vector<std::unordered_map<std::uint32_t, std::uint32_t>> counts(neurons);
  std::vector<std::uint32_t> labelled_here(neurons, 0);
  for (std::uint32_t s = 0; s < assignments.count && s < labels.of_sample.size(); ++s) {
    const std::uint32_t label = labels.of_sample[s];
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

}  // namespace som
