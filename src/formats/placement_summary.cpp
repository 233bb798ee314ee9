#include "formats/placement_summary.hpp"

#include <algorithm>
#include <cmath>
#include <map>

#include "formats/text_lines.hpp"

namespace som {

namespace {

bool number_label(const std::string& label, double& value) {
  return whole_decimal(label, value) && !std::isnan(value);
}

}  // namespace

bool natural_label_less(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return !a.empty() && b.empty();
  double va = 0.0, vb = 0.0;
  const bool na = number_label(a, va);
  const bool nb = number_label(b, vb);
  if (na != nb) return na;
  if (na && va != vb) return va < vb;
  return a < b;
}

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
  std::sort(out.matrix_labels.begin(), out.matrix_labels.end(), natural_label_less);
  out.matrix_labels.erase(std::unique(out.matrix_labels.begin(), out.matrix_labels.end()),
                          out.matrix_labels.end());
  const auto place = [&](const std::string& label) {
    return static_cast<std::size_t>(
        std::lower_bound(out.matrix_labels.begin(), out.matrix_labels.end(), label,
                         natural_label_less) -
        out.matrix_labels.begin());
  };
  out.confusion.assign(out.matrix_labels.size(),
                       std::vector<std::uint64_t>(out.matrix_labels.size(), 0));
  for (const auto& [pair, count] : pairs) out.confusion[place(pair.first)][place(pair.second)] = count;
  return out;
}

}  // namespace som
