// What zarazeni.txt (formats/placement_file.hpp) says in figures: how well
// the new samples fit the map, and, where they came with their true labels,
// how many of them the map labelled right and which label it gave for which
// (the confusion matrix). som_map prints it; a report can show it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/placement_file.hpp"

namespace som {

struct placement_summary {
  std::uint64_t samples = 0;
  // The mean distance to the best-matching neuron (the quantization error;
  // 0 without samples): the distances summed in sample order, then divided.
  double quantization = 0.0;
  // Samples whose second-best neuron is not a direct grid neighbour of the
  // best, and their share (the topographic error; 0 without samples).
  std::uint64_t topographic_count = 0;
  double topographic = 0.0;
  // Samples labelled from the nearest labelled neuron.
  std::uint64_t borrowed = 0;

  // With true labels: the samples that have one, those labelled with it,
  // and their share (0 without any).
  std::uint64_t judged = 0;
  std::uint64_t correct = 0;
  double accuracy = 0.0;
  // The labels of the matrix: every true label and every label the map gave
  // a sample that has one, in the report's natural order
  // (common/natural_order.hpp), "" (no label given) last.
  std::vector<std::string> matrix_labels;
  // confusion[i][j]: the samples whose true label is matrix_labels[i] and
  // whose given label is matrix_labels[j].
  std::vector<std::vector<std::uint64_t>> confusion;
};

placement_summary summarize_placements(const placement_table& table);

}  // namespace som
