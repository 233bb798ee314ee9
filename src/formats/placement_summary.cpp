#include "formats/placement_summary.hpp"

#include <algorithm>
#include <cmath>
#include <map>

#include "common/natural_order.hpp"

namespace som {

namespace {

// The labels of the matrix in natural order, "" (no label given) last.
bool matrix_less(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return !a.empty() && b.empty();
  return natural_less(a, b);
}

}  // namespace

placement_summary summarize_placements(const placement_table& table) {
  placement_summary out;
  out.samples = table.rows.size();
  double sum = 0.0;
  for (const placement& row : table.rows) {
    sum = sum + row.distance;
    if (!row.neighbour) ++out.topographic_count;
    if (table.labels && row.borrowed) ++out.borrowed;
  }
  if (out.samples != 0) {
    const double count = static_cast<double>(out.samples);
    out.quantization = sum / count;
    out.topographic = static_cast<double>(out.topographic_count) / count;
  }
  if (!table.true_labels) return out;

  std::map<std::pair<std::string, std::string>, std::uint64_t> pairs;
  for (const placement& row : table.rows) {
    if (row.true_label.empty()) continue;
    ++out.judged;
    if (row.label == row.true_label) ++out.correct;
    ++pairs[{row.true_label, row.label}];
  }
  if (out.judged != 0)
    out.accuracy = static_cast<double>(out.correct) / static_cast<double>(out.judged);
  for (const auto& [pair, count] : pairs) {
    out.matrix_labels.push_back(pair.first);
    out.matrix_labels.push_back(pair.second);
  }
  std::sort(out.matrix_labels.begin(), out.matrix_labels.end(), matrix_less);
  out.matrix_labels.erase(std::unique(out.matrix_labels.begin(), out.matrix_labels.end()),
                          out.matrix_labels.end());
  const auto place = [&](const std::string& label) {
    return static_cast<std::size_t>(
        std::lower_bound(out.matrix_labels.begin(), out.matrix_labels.end(), label,
                         matrix_less) -
        out.matrix_labels.begin());
  };
  out.confusion.assign(out.matrix_labels.size(),
                       std::vector<std::uint64_t>(out.matrix_labels.size(), 0));
  for (const auto& [pair, count] : pairs) out.confusion[place(pair.first)][place(pair.second)] = count;
  return out;
}

}  // namespace som
