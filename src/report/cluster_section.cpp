#include "report/cluster_section.hpp"

#include <algorithm>
#include <unordered_map>

#include "report/html_text.hpp"
#include "report/label_section.hpp"
#include "som/map/label_map.hpp"

namespace som {

std::string cluster_borders(const std::vector<std::uint32_t>& clusters, std::uint32_t rows,
                            std::uint32_t cols, const box& b) {
  std::string path;
  auto segment = [&](double x1, double y1, double x2, double y2) {
    path += "M" + fixed1(x1) + " " + fixed1(y1) + "L" + fixed1(x2) + " " + fixed1(y2);
  };
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::uint32_t c = 0; c < cols; ++c) {
      const std::size_t n = std::size_t{r} * cols + c;
      // The right and lower edges of each neuron, where the cluster changes.
      if (c + 1 < cols && clusters[n] != clusters[n + 1])
        segment((c + 1) * b.cell, r * b.cell, (c + 1) * b.cell, (r + 1) * b.cell);
      if (r + 1 < rows && clusters[n] != clusters[n + cols])
        segment(c * b.cell, (r + 1) * b.cell, (c + 1) * b.cell, (r + 1) * b.cell);
    }
  }
  if (path.empty()) return {};
  const double width = std::clamp(b.cell * 0.18, 1.5, 4.0);
  return "<g class=\"borders\" fill=\"none\" stroke-linecap=\"square\"><path d=\"" + path +
         "\" stroke=\"#000\" stroke-width=\"" + fixed1(width) + "\"/><path d=\"" + path +
         "\" stroke=\"#fff\" stroke-width=\"" + fixed1(width / 3.0) + "\"/></g>";
}

std::vector<cluster_summary> summarize_clusters(const std::vector<std::uint32_t>& clusters,
                                                std::uint32_t count,
                                                const assignment_table& assignments,
                                                std::uint32_t map_cols,
                                                const sample_labels* labels) {
  std::vector<cluster_summary> out(count);
  for (std::uint32_t cluster : clusters) ++out[cluster - 1].neurons;
  // Per cluster and label, its samples.
  std::unordered_map<std::uint64_t, std::uint64_t> per_label;
  const std::uint64_t kinds = labels != nullptr ? labels->names.size() : 0;
  for (std::uint32_t s = 0; s < assignments.count; ++s) {
    const assignment& at = assignments.records[s];
    const std::uint32_t cluster = clusters[std::size_t{at.row} * map_cols + at.col] - 1;
    ++out[cluster].samples;
    if (labels == nullptr || labels->of_sample[s] == no_label) continue;
    ++out[cluster].labelled;
    ++per_label[std::uint64_t{cluster} * kinds + labels->of_sample[s]];
  }
  for (const auto& [key, samples] : per_label) {
    cluster_summary& c = out[key / kinds];
    const auto label = static_cast<std::uint32_t>(key % kinds);
    if (samples > c.majority_samples || (samples == c.majority_samples && label < c.majority)) {
      c.majority = label;
      c.majority_samples = samples;
    }
  }
  return out;
}

std::string cluster_section(const std::vector<cluster_summary>& clusters,
                            const sample_labels* labels, std::uint64_t samples) {
  const bool labelled = labels != nullptr && labels->present;
  std::string out =
      "<section id=\"shluky\"><h2>Shluky</h2><p class=\"note\">Neurony rozdelene do " +
      int_text(clusters.size()) +
      " souvislych oblasti mapy (Wardovo shlukovani vah, ve kterem se spojuji jen "
      "sousedni shluky; stejne jako som_map --shluky). Hranice shluku jsou vyznaceny "
      "na U-matici";
  out += labelled ? " a na mape popisku." : ".";
  out += " Vzorky: ty, ktere vystup.txt prirazuje neuronum shluku.</p>";
  out +=
      "<table class=\"clusters\"><tr><th>Shluk</th><th>Neuronu</th><th>Vzorku</th><th>Podil "
      "vzorku</th>";
  if (labelled) out += "<th>Nejcastejsi popisek</th><th>Jeho podil</th>";
  out += "</tr>";
  for (std::size_t k = 0; k < clusters.size(); ++k) {
    const cluster_summary& c = clusters[k];
    out += "<tr><td class=\"n\">" + int_text(k + 1) + "</td><td class=\"n\">" +
           int_text(c.neurons) + "</td><td class=\"n\">" + int_text(c.samples) +
           "</td><td class=\"n\">" + percent_text(c.samples, samples) + "</td>";
    if (labelled) {
      if (c.majority == no_label) {
        out += "<td>-</td><td class=\"n\">-</td>";
      } else {
        out += "<td>" + label_swatch(c.majority) + html_text(labels->names[c.majority]) +
               "</td><td class=\"n\">" + percent_text(c.majority_samples, c.labelled) + "</td>";
      }
    }
    out += "</tr>";
  }
  return out + "</table></section>\n";
}

}  // namespace som
