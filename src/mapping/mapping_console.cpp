#include "mapping/mapping_console.hpp"

#include <algorithm>
#include <vector>

#include "common/file_names.hpp"
#include "common/text_format.hpp"

namespace som {

namespace {

std::string percent(std::uint64_t part, std::uint64_t whole) {
  std::string text;
  append_fixed(text, whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole),
               1);
  return text + " %";
}

std::string count(std::uint64_t value) {
  std::string text;
  append_u64(text, value);
  return text;
}

// The matrix as a table of right-aligned columns: a row per true label, a
// column per label given.
std::string matrix_text(const placement_summary& summary) {
  std::vector<std::string> names;
  for (const std::string& label : summary.matrix_labels)
    names.push_back(label.empty() ? "(zadny)" : label);
  std::size_t width = 1;
  for (const std::string& name : names) width = std::max(width, name.size());
  for (const auto& row : summary.confusion)
    for (std::uint64_t value : row) width = std::max(width, count(value).size());
  const auto cell = [&](const std::string& text) {
    return std::string(width + 2 - std::min(width + 2, text.size()), ' ') + text;
  };
  std::string out = "Matice zamen (radky: skutecny popisek, sloupce: odhad):\n" + cell("");
  for (const std::string& name : names) out += cell(name);
  out += "\n";
  for (std::size_t i = 0; i < names.size(); ++i) {
    out += cell(names[i]);
    for (std::uint64_t value : summary.confusion[i]) out += cell(count(value));
    out += "\n";
  }
  return out;
}

}  // namespace

std::string placing_report(const placement_table& table, const placement_summary& summary,
                           const std::string& input, std::uint32_t map_rows,
                           std::uint32_t map_cols, std::uint32_t clusters) {
  std::string out = "Zarazeno " + count(summary.samples) + " vzorku ze souboru " + input +
                    " na mapu " + count(map_rows) + " x " + count(map_cols) + ".\n";
  out += "Kvantizacni chyba: ";
  append_significant(out, summary.quantization, 6);
  out += " (prumerna vzdalenost vzorku od vah jeho neuronu)\n";
  out += "Topograficka chyba: " + percent(summary.topographic_count, summary.samples) + " (" +
         count(summary.topographic_count) +
         " vzorku ma druhy nejblizsi neuron jinde nez hned vedle nejblizsiho)\n";
  if (summary.borrowed != 0) {
    out += "Popisek od nejblizsiho neuronu s popiskem: " + count(summary.borrowed) +
           " vzorku (jejich neuron nema zadny trenovaci vzorek s popiskem)\n";
  }
  if (table.true_labels && !table.labels) {
    out += std::string("Mapa nema soubor ") + labels_file_name +
           ", popisky neodhaduje a presnost nelze spocitat.\n";
  } else if (table.true_labels) {
    out += "Presnost: " + percent(summary.correct, summary.judged) + " (" + count(summary.correct) +
           " z " + count(summary.judged) + " vzorku se skutecnym popiskem)\n";
    if (summary.matrix_labels.size() <= largest_printed_matrix) {
      out += matrix_text(summary);
    } else {
      out += "Matice zamen ma " + count(summary.matrix_labels.size()) +
             " popisku a na konzoli se nevejde; sloupce popisek a skutecny jsou v souboru " +
             placement_file_name + ".\n";
    }
  }
  if (table.clusters && clusters != 0) {
    std::vector<std::uint64_t> sizes(clusters, 0);
    for (const placement& row : table.rows)
      if (row.cluster != 0 && row.cluster <= clusters) ++sizes[row.cluster - 1];
    out += "Vzorku ve shlucich:";
    for (std::uint32_t c = 0; c < clusters; ++c)
      out += (c == 0 ? " " : ", ") + count(c + 1) + ": " + count(sizes[c]);
    out += "\n";
  }
  return out + "Vysledek je v souboru " + placement_file_name + ".\n";
}

}  // namespace som
