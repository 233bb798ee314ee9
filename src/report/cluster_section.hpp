// The map's clusters on the page (som_report --shluky K, the clustering of
// som/map/map_clusters.hpp that som_map uses): their borders over the U-matrix
// and the label map, and a table of each cluster's neurons, samples and
// most frequent label.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/labels_file.hpp"
#include "report/svg_parts.hpp"
#include "som/map/map_storage.hpp"

namespace som {

// The borders between neighbouring neurons of different clusters (per
// neuron, row-major, as map_clusters gives them), as SVG over a map picture
// on box `b`: a dark line under a light one, seen on every colour.
std::string cluster_borders(const std::vector<std::uint32_t>& clusters, std::uint32_t rows,
                            std::uint32_t cols, const box& b);

// What the table says of one cluster.
struct cluster_summary {
  std::uint64_t neurons = 0;
  std::uint64_t samples = 0;   // the samples vystup.txt puts on its neurons
  std::uint64_t labelled = 0;  // of them, those with a label
  // The most frequent label among them (equal counts: the label more
  // frequent in the whole file), or no_label; and its samples there.
  std::uint32_t majority = 0xFFFFFFFFu;
  std::uint64_t majority_samples = 0;
};

// One per cluster (1 to `count`); `labels` may be null (no popisky.txt).
std::vector<cluster_summary> summarize_clusters(const std::vector<std::uint32_t>& clusters,
                                                std::uint32_t count,
                                                const assignment_table& assignments,
                                                std::uint32_t map_cols,
                                                const sample_labels* labels);

// The section with the table.
std::string cluster_section(const std::vector<cluster_summary>& clusters,
                            const sample_labels* labels, std::uint64_t samples);

}  // namespace som
