#pragma once

#include <string>
#include <vector>

#include "formats/labels_file.hpp"

namespace som_test {

// The label names, each as a string of its own, for comparisons in tests.
inline std::vector<std::string> names_of(const som::sample_labels& labels) {
  std::vector<std::string> names;
  for (std::size_t l = 0; l < labels.names.size(); ++l) names.emplace_back(labels.names[l]);
  return names;
}

}  // namespace som_test
