#include "report/placement_section.hpp"

#include <algorithm>
#include <vector>

#include "common/file_names.hpp"
#include "formats/placement_summary.hpp"
#include "report/map_measures.hpp"
#include "report/svg_parts.hpp"

namespace som {

namespace {

std::string section_start() {
  return std::string("<section id=\"zarazeni\"><h2>Nove vzorky (") + placement_file_name + ")</h2>";
}

// A hit map of its own scale, from 0 up.
std::string hit_map(const std::string& label, const std::vector<std::uint32_t>& hits,
                    std::uint32_t rows, std::uint32_t cols, double map_side,
                    const std::string& legend_id) {
  std::vector<double> values(hits.begin(), hits.end());
  value_range range{0.0, 0.0, true};
  for (double h : values) range.high = std::max(range.high, h);
  const bool counts = std::size_t{rows} * cols <= 900 && map_box(rows, cols, map_side).cell >= 14.0;
  return draw_heat_map(
      {label, &blues, values, map_side, counts ? hits : std::vector<std::uint32_t>{}, {}, {}}, rows,
      cols, legend_id, range);
}

}  // namespace

std::string placement_section(const placement_table& table, const assignment_table& training,
                              std::uint32_t rows, std::uint32_t cols, double map_side) {
  std::string out = section_start();
  std::vector<std::uint32_t> hits(std::size_t{rows} * cols, 0);
  for (const placement& row : table.rows) {
    if (row.unit.row >= rows || row.unit.col >= cols) {
      return out + "<p class=\"warning\">Soubor " + placement_file_name +
             " patri k jine mape (neuron " + int_text(row.unit.row) + ", " +
             int_text(row.unit.col) + " na teto mape neni); spustte som_map znovu.</p></section>\n";
    }
    ++hits[std::size_t{row.unit.row} * cols + row.unit.col];
  }
  const placement_summary summary = summarize_placements(table);
  out +=
      "<p class=\"note\">Vzorky, ktere som_map zaradil na mapu, vedle vzorku trenovani: "
      "pocet vzorku na kazdem neuronu (kazda mapa ve vlastni skale). Nove vzorky, ktere padaji "
      "tam, kde trenovaci zadne nebyly, mapa nezna.</p>";
  const double side = map_side * 0.75;
  out += hit_map("Zasahy trenovacich vzorku (vystup.txt)", hit_counts(rows, cols, training), rows,
                 cols, side, "scale-hits-training");
  out += hit_map(std::string("Zasahy novych vzorku (") + placement_file_name + ")", hits, rows,
                 cols, side, "scale-hits-new");
  out += "<table>";
  auto row = [&](const std::string& name, const std::string& value, const char* id = nullptr) {
    out += "<tr><td>" + name + "</td><td class=\"n\"" +
           (id != nullptr ? std::string(" id=\"") + id + "\"" : std::string()) + ">" + value +
           "</td></tr>";
  };
  row("Pocet novych vzorku", int_text(summary.samples));
  row("Kvantizacni chyba", summary.samples != 0 ? number_text(summary.quantization, 6) : "-");
  row("Topograficka chyba, 4-okoli", summary.samples != 0
                                         ? number_text(summary.topographic, 6) + " (" +
                                               int_text(summary.topographic_count) + " z " +
                                               int_text(summary.samples) + " vzorku)"
                                         : "-");
  if (table.labels)
    row("Popisek od nejblizsiho neuronu s popiskem", int_text(summary.borrowed) + " vzorku");
  if (table.true_labels) {
    row("Presnost", percent_text(summary.correct, summary.judged), "presnost");
    row("Spravne / se skutecnym popiskem",
        int_text(summary.correct) + " z " + int_text(summary.judged));
  }
  out += "</table>";
  if (!table.true_labels) {
    out += "<p class=\"note\">Presnost ukaze som_map se skutecnymi popisky (--popisky).</p>";
  }
  return out + "</section>\n";
}

std::string unreadable_placements_section(std::uint64_t bad_line) {
  std::string out = section_start() + "<p class=\"warning\">Soubor " + placement_file_name;
  out += bad_line == 0 ? " se nepodarilo precist" : " ma chybny radek " + int_text(bad_line);
  return out + "; nove vzorky se neukazuji.</p></section>\n";
}

}  // namespace som
