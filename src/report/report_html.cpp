#include "report/report_html.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/messages.hpp"
#include "common/text_format.hpp"
#include "report/cluster_section.hpp"
#include "report/curve_svg.hpp"
#include "report/data_space.hpp"
#include "report/data_space_svg.hpp"
#include "report/html_text.hpp"
#include "report/label_section.hpp"
#include "report/map_measures.hpp"
#include "report/placement_section.hpp"
#include "report/png_image.hpp"
#include "report/progress.hpp"
#include "report/svg_parts.hpp"
#include "som/map/map_clusters.hpp"
#include "som/map/schedule.hpp"

namespace som {

namespace {

const char* const style_sheet =
    "body{font-family:sans-serif;margin:24px;color:#222;background:#fff;max-width:1100px}"
    "h1{font-size:22px}h2{font-size:18px;margin-top:28px;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse}td{padding:3px 12px 3px 0}td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "figure{display:inline-block;margin:0 24px 14px 0;vertical-align:top}"
    "figcaption{font-size:13px;margin:4px 0}figcaption.wide{max-width:600px}"
    // A long name wraps within its picture's width rather than widening it.
    "figcaption,ul.labels{width:0;min-width:100%;overflow-wrap:anywhere}td{overflow-wrap:anywhere}"
    ".pic{position:relative}.pic img{display:block}"
    ".pic svg{position:absolute;left:0;top:0;pointer-events:none}"
    "figcaption .k{color:#666}"
    "svg text{font-family:sans-serif;font-size:12px}"
    "svg.heat text{text-anchor:middle;dominant-baseline:central}"
    "svg .grid{stroke:#e4e4e4}svg .axis{stroke:#444}svg .title{font-weight:bold}"
    ".nan{font-size:12px;margin-left:8px}p.note{color:#555;font-size:14px}"
    "p.progress{font-size:20px;font-weight:bold;margin:8px 0}progress{width:420px;height:18px}"
    "p.warning{color:#a02020;font-size:14px}"
    "ul.labels{list-style:none;padding:0;margin:6px 0;font-size:13px;columns:2}"
    ".swatch{display:inline-block;width:12px;height:12px;margin-right:6px;vertical-align:-1px}"
    "th{text-align:left;font-weight:normal;color:#555;padding:3px 12px 3px 0}tr.total td{font-weight:bold}";

void add_row(std::string& out, const std::string& name, const std::string& value) {
  out += "<tr><td>" + name + "</td><td class=\"n\">" + value + "</td></tr>";
}

std::string progress_section(const run_state& run, const run_progress& progress,
                             const page_extras& extras) {
  const std::uint64_t start = run.setup.Krok;
  std::string out = "<section id=\"prubeh\"><h2>Trenovani probiha</h2>";
  out += "<p class=\"progress\">" + progress_text(progress) + "</p>";
  if (progress.total != 0) {
    out += "<progress value=\"" + int_text(std::min(progress.done, progress.total)) + "\" max=\"" +
           int_text(progress.total) + "\"></progress>";
    out += "<p class=\"note\">Beh zacal na Kroku " + int_text(start) +
           " (setup.txt) a podle sveho rozvrhu skonci po epose, jejiz Radius poprve neni vetsi nez "
           "stop_radius: na Kroku " +
           int_text((start + progress.total) & 0xFFFFFFFFu) + ".</p>";
  } else {
    out +=
        "<p class=\"warning\">Radius podle setup.txt nikdy neklesne na stop_radius: takovy beh by "
        "neskoncil.</p>";
  }
  if (!extras.time_left.empty()) {
    out += "<p class=\"note\" id=\"zbyva\">Odhad: " + extras.time_left +
           " (podle tempa poslednich epoch a poctu epoch, ktere rozvrh jeste zbyva).</p>";
  } else if (progress.total != 0) {
    out += extras.watched ? "<p class=\"note\">Odhad zbyvajiciho casu bude po nekolika dalsich epochach.</p>"
                          : "<p class=\"note\">Odhad zbyvajiciho casu ukazuje som_report --watch.</p>";
  }
  if (!progress.log_fits_setup) {
    out +=
        "<p class=\"warning\">Hodnoty Radius v trenovani.txt neodpovidaji souboru setup.txt (byl "
        "zmenen po zacatku behu?): pocet epoch behu muze byt jiny.</p>";
  }
  out += "<p class=\"note\">";
  if (run.has_map) {
    out += "Obrazky mapy nize ukazuji posledni ulozenou mapu (Krok " + int_text(run.saved.Krok) +
           "), ne mapu, ktera se prave uci; krivky ukazuji epochy tohoto behu.";
  } else {
    out += run.map_note + " Krivky ukazuji epochy tohoto behu.";
  }
  out += " Stranka se sama obnovuje kazdych " + int_text(page_refresh_seconds) +
         " s (prepisuje ji som_report --watch).</p></section>\n";
  return out;
}

// The columns of sloupce.txt: names, centres and scales as the file holds
// them (shortest decimals that read back to the same doubles).
std::string columns_table(const data_columns& columns) {
  bool scaled = false;
  for (const column_scaling& c : columns.columns) scaled = scaled || c.centre != 0.0 || c.scale != 1.0;
  std::string out = "<h3>Sloupce dat (sloupce.txt)</h3><p class=\"note\">";
  out += scaled ? "Hodnota x sloupce tabulky je v data.txt jako (x - stred) / meritko; vaha v "
                  "jednotkach tabulky je vaha x meritko + stred. "
                : "Hodnoty tabulky jsou v data.txt beze zmeny (stred 0, meritko 1). ";
  out += "V jednotkach tabulky jsou roviny slozek a jejich barevne skaly, obrazky vah (--obraz) a "
         "cisla na osach obrazku v prostoru dat; U-matice, chyby, krivky vah a poloha bodu v "
         "prostoru dat jsou v hodnotach data.txt, ve kterych se mapa ucila.</p>";
  out += "<table class=\"columns\"><tr><th>Slozka</th><th>Nazev</th><th>Stred</th><th>Meritko</th></tr>";
  for (std::size_t k = 0; k < columns.columns.size(); ++k) {
    const column_scaling& c = columns.columns[k];
    std::string centre, scale;
    append_shortest(centre, c.centre);
    append_shortest(scale, c.scale);
    out += "<tr><td class=\"n\">" + int_text(k + 1) + "</td><td>" + html_text(c.name) +
           "</td><td class=\"n\">" + centre + "</td><td class=\"n\">" + scale + "</td></tr>";
  }
  return out + "</table>";
}

std::string summary_section(const run_state& run, const run_progress& progress,
                            const page_extras& extras) {
  std::string out = "<section id=\"souhrn\"><h2>Souhrn</h2><table>";
  add_row(out, "Rozmery mapy (radky x sloupce)",
          int_text(run.setup.map_rows) + " x " + int_text(run.setup.map_cols));
  add_row(out, "Dimenze", int_text(run.setup.dimension));
  add_row(out, "Pocet vzorku", int_text(run.samples->count));
  if (run.finished) {
    add_row(out, "Krok", int_text(run.saved.Krok));
    add_row(out, "Seed", int_text(run.saved.seed));
    add_row(out, "Rozdil posledni epochy", int_text(run.saved.Rozdil));
    add_row(out, "Pocet epoch posledniho behu", int_text(run.log.Rozdil.size()));
  } else {
    add_row(out, "Krok (po posledni zapsane epose)",
            int_text((run.setup.Krok + progress.done) & 0xFFFFFFFFu));
    add_row(out, "Rozdil posledni zapsane epochy",
            run.log.Rozdil.empty() ? "-" : int_text(run.log.Rozdil.back()));
    add_row(out, "Pocet epoch tohoto behu",
            progress.total != 0 ? int_text(progress.done) + " z " + int_text(progress.total)
                                : int_text(progress.done));
  }
  add_row(out, "radius_decay / rate_decay / stop_radius",
          int_text(run.setup.radius_decay) + " / " + int_text(run.setup.rate_decay) + " / " +
              int_text(run.setup.stop_radius));
  const bool measured = run.has_map && run.samples->count != 0;
  const map_errors errors = measured ? measure_errors(*run.grid, *run.samples) : map_errors{};
  const std::string of_map = run.finished ? "" : " ulozene mapy";
  auto topographic = [&](double share, std::uint32_t count) {
    return measured && run.grid->neurons > 1 ? number_text(share, 6) + " (" + int_text(count) +
                                                   " z " + int_text(run.samples->count) + " vzorku)"
                                             : std::string("-");
  };
  add_row(out, "Kvantizacni chyba" + of_map, measured ? number_text(errors.quantization, 6) : "-");
  add_row(out, "Topograficka chyba" + of_map + ", 4-okoli",
          topographic(errors.topographic, errors.topographic_count));
  add_row(out, "Topograficka chyba" + of_map + ", 8-okoli",
          topographic(errors.topographic8, errors.topographic8_count));
  out +=
      "</table><p class=\"note\">Kvantizacni chyba: prumerna eukleidovska vzdalenost vzorku od vah jeho "
      "nejblizsiho neuronu. Topograficka chyba: podil vzorku, jejichz nejblizsi a druhy nejblizsi neuron "
      "nejsou sousede v mrizce; ve 4-okoli jsou sousede jen primi (nad, pod, vlevo, vpravo), v 8-okoli i "
      "sikmi. Obe jsou spocteny z data.txt a vahy.bin.</p>";
  if (in_table_units(extras.columns)) out += columns_table(*extras.columns);
  out += "</section>\n";
  return out;
}

// Whether the data lie in [0, 1] in the table's units, up to the rounding
// of undoing the scaling (as colours do): judged by the samples, or by the
// weights where there are no finite samples.
bool table_values_in_unit_range(const run_state& run, const data_columns* columns) {
  constexpr double slack = 1e-12;
  auto inside = [](double x) { return x >= -slack && x <= 1.0 + slack; };
  bool any = false;
  const sample_matrix& samples = *run.samples;
  for (std::uint32_t s = 0; s < samples.count; ++s) {
    const double* row = samples.row(s);
    for (std::uint32_t k = 0; k < 3; ++k) {
      if (!std::isfinite(row[k])) continue;
      if (!inside(table_value(columns, k, row[k]))) return false;
      any = true;
    }
  }
  if (any) return true;
  const weight_grid& grid = *run.grid;
  for (std::size_t n = 0; n < grid.neurons; ++n)
    for (std::uint32_t k = 0; k < 3; ++k)
      if (std::isfinite(grid.at(n, k)) && !inside(table_value(columns, k, grid.at(n, k))))
        return false;
  return true;
}

// The map of a 3-component run in colours: each component as red, green and
// blue. Without sloupce.txt the weights themselves, clamped to [0, 1]; with
// it, in the table's units where the data lie in [0, 1] there (as colours
// do), and otherwise each component stretched from its lowest weight to its
// highest, since weights in other units say nothing as colours.
std::string colour_picture(const run_state& run, const data_columns* columns, double map_side) {
  const weight_grid& grid = *run.grid;
  const bool named = in_table_units(columns);
  const bool table = named && table_values_in_unit_range(run, columns);
  const bool stretched = named && !table;
  std::array<value_range, 3> ranges{};
  if (stretched) {
    for (std::uint32_t k = 0; k < 3; ++k) {
      std::vector<double> plane(grid.neurons);
      for (std::size_t n = 0; n < grid.neurons; ++n) plane[n] = grid.at(n, k);
      ranges[k] = finite_range(plane);
    }
  }
  std::vector<rgb> pixels(grid.neurons);
  for (std::size_t n = 0; n < grid.neurons; ++n) {
    for (std::uint32_t k = 0; k < 3; ++k) {
      double w = table ? table_value(columns, k, grid.at(n, k)) : grid.at(n, k);
      if (stretched) {
        const value_range& r = ranges[k];
        w = r.high > r.low ? (w - r.low) / (r.high - r.low) : 0.5;
      }
      const double clamped = w >= 1.0 ? 1.0 : w > 0.0 ? w : 0.0;
      pixels[n][k] = static_cast<std::uint8_t>(std::lround(clamped * 255.0));
    }
  }
  const std::uint32_t rows = grid.map_rows, cols = grid.map_cols;
  std::string caption;
  if (!named) {
    caption = "Barvy vah: slozky 1, 2, 3 omezene na 0 az 1<br/>jako cervena, zelena, modra";
  } else {
    caption = "Barvy vah: " + html_text(component_name(columns, 0)) + ", " +
              html_text(component_name(columns, 1)) + ", " + html_text(component_name(columns, 2)) +
              "<br/>jako cervena, zelena, modra, ";
    caption += table ? "v jednotkach tabulky omezene na 0 az 1"
                     : "kazda od sve nejnizsi vahy (zadna) po nejvyssi (plna)";
  }
  std::string out = "<figure>";
  out += map_picture(encode_png_rgb(cols, rows, pixels), rows, cols, map_box(rows, cols, map_side),
                     "Barvy vah");
  out += "<figcaption>" + caption + "</figcaption></figure>";
  return out;
}

// Component k's plane: its weights, in the table's units with sloupce.txt.
std::string component_plane(const weight_grid& grid, const data_columns* columns, std::uint32_t k) {
  std::vector<double> plane(grid.neurons);
  for (std::size_t n = 0; n < grid.neurons; ++n) plane[n] = table_value(columns, k, grid.at(n, k));
  const std::string name = html_text(component_name(columns, k));
  heat_map map{name, &viridis, plane, 160.0, {}, {}, {}};
  if (!column_name(columns, k).empty())
    map.caption = name + " <span class=\"k\">(slozka " + int_text(k + 1) + ")</span>";
  return draw_heat_map(map, grid.map_rows, grid.map_cols, "scale-c" + int_text(k + 1),
                       finite_range(plane));
}

std::string map_section(const run_state& run, const page_extras& extras, double map_side) {
  const weight_grid& grid = *run.grid;
  const std::uint32_t rows = grid.map_rows, cols = grid.map_cols;
  const data_columns* columns = extras.columns;
  std::string out = "<section id=\"mapa\"><h2>Mapa";
  if (!run.finished) out += " (posledni ulozena, Krok " + int_text(run.saved.Krok) + ")";
  out +=
      "</h2><p class=\"note\">U-matice: prumerna vzdalenost vah neuronu od vah "
      "jeho primych sousedu (az ctyr); svetla mista oddeluji shluky. Zasahy: pocet vzorku, ktere vystup.txt "
      "prirazuje kazdemu neuronu. Radek 0 je nahore, sloupec 0 vlevo.</p>";
  std::vector<std::uint32_t> clusters;
  std::string borders;
  if (extras.clusters != 0) {
    clusters = map_clusters(grid, extras.clusters);
    borders = cluster_borders(clusters, rows, cols, map_box(rows, cols, map_side));
    out += "<p class=\"note\">Cary: hranice " + int_text(extras.clusters) +
           " shluku (--shluky, viz Shluky nize).</p>";
  }
  const std::vector<double> umatrix = u_matrix(grid);
  out += draw_heat_map({"U-matice", &viridis, umatrix, map_side, {}, {}, borders}, rows, cols,
                       "scale-u", finite_range(umatrix));

  const std::vector<std::uint32_t> hits = hit_counts(rows, cols, *run.assignments);
  std::vector<double> hit_values(hits.begin(), hits.end());
  const bool labels = grid.neurons <= 900 && map_box(rows, cols, map_side).cell >= 14.0;
  value_range hit_range{0.0, 0.0, true};
  for (double h : hit_values) hit_range.high = std::max(hit_range.high, h);
  out += draw_heat_map(
      {"Zasahy", &blues, hit_values, map_side, labels ? hits : std::vector<std::uint32_t>{}, {}, {}},
      rows, cols, "scale-hits", hit_range);

  if (grid.dimension == 3) out += colour_picture(run, columns, map_side);
  out += "</section>\n";

  const bool labelled = extras.labels != nullptr && extras.labels->present;
  if (labelled) {
    const label_map labelled_map = map_labels(rows, cols, *run.assignments, *extras.labels);
    out += label_section(labelled_map, *extras.labels, rows, cols, map_side, borders);
  }
  if (extras.clusters != 0) {
    out += cluster_section(summarize_clusters(clusters, extras.clusters, *run.assignments, cols,
                                              labelled ? extras.labels : nullptr),
                           labelled ? extras.labels : nullptr, run.assignments->count);
  }
  if (extras.placements != nullptr) {
    out += placement_section(*extras.placements, *run.assignments, rows, cols, map_side);
  } else if (extras.placements_present) {
    out += unreadable_placements_section(extras.placements_bad_line);
  }
  out += codebook_section(grid, extras.shape, 2.0 * map_side, columns);

  out += "<section id=\"prostor\"><h2>Mapa v prostoru dat</h2>";
  data_space_view view = make_data_space_view(grid, *run.samples, *run.assignments);
  if (in_table_units(columns)) {
    // The components' names on the axes, and their numbers in the table's units.
    auto units = [&](std::uint32_t k) {
      return data_space_view::axis_units{columns->columns[k].scale, columns->columns[k].centre};
    };
    if (view.kind == space_kind::along_map) {
      view.y_label = component_name(columns, 0);
      view.y_units = units(0);
    } else if (view.kind == space_kind::data_plane) {
      view.x_label = component_name(columns, 0);
      view.y_label = component_name(columns, 1);
      view.x_units = units(0);
      view.y_units = units(1);
    }
  }
  out += draw_data_space(view, rows, cols, run.samples->count, labelled ? extras.labels : nullptr);
  out += "</section>\n";

  out += "<section id=\"slozky\"><h2>Roviny slozek</h2>";
  const std::uint32_t dim = grid.dimension;
  if (dim == 0) {
    out += "<p class=\"note\">Vektory nemaji zadnou slozku.</p>";
  } else if (in_table_units(columns)) {
    out += "<p class=\"note\">Hodnota jedne slozky vah v kazdem neuronu v jednotkach tabulky (vaha x "
           "meritko + stred ze souboru sloupce.txt), kazda rovina ve vlastni skale.</p>";
  } else {
    out +=
        "<p class=\"note\">Hodnota jedne slozky vah v kazdem neuronu, kazda rovina ve vlastni skale.</p>";
  }
  for (std::uint32_t k = 0; k < dim; ++k) out += component_plane(grid, columns, k);
  out += "</section>\n";
  return out;
}

// What the log lacks: lines that hold no epoch, and, for a run that has
// ended, the epochs after its last line (a run ends only at an epoch whose
// Radius is not above stop_radius, and the log's six decimals cannot carry
// a larger Radius to or below that whole number).
std::string damaged_log_notes(const run_state& run) {
  std::string out;
  const training_log& log = run.log;
  if (log.broken_lines != 0) {
    out += "<p class=\"warning\">Radky souboru trenovani.txt, ktere neobsahuji epochu: " +
           int_text(log.broken_lines) + " (prvni je radek " + int_text(log.first_broken_line) +
           "); krivky je vynechavaji.</p>";
  }
  const std::string incomplete =
      "<p class=\"warning\">Zaznam uceni v souboru trenovani.txt je neuplny: ";
  if (run.finished && log.Radius.empty()) {
    out += incomplete + "neobsahuje zadnou epochu.</p>";
  } else if ((run.finished || run.save_interrupted) && !log.Radius.empty() &&
             log.Radius.back() > static_cast<double>(run.setup.stop_radius)) {
    out += incomplete +
           "chybi mu konec behu (posledni zapsana epocha ma Radius vetsi nez stop_radius v "
           "setup.txt).</p>";
  }
  return out;
}

// Where the radius of this map starts and how it falls: S = rows^2 + cols^2
// (in the training's wrapping 32-bit arithmetic) at Krok 0.
std::string radius_start_text(const setup_params& setup) {
  const std::uint64_t rows = setup.map_rows, cols = setup.map_cols;
  const auto size = static_cast<std::uint64_t>(squared_map_size(setup.map_rows, setup.map_cols));
  std::string out = "Na teto mape " + int_text(rows) + " x " + int_text(cols) + " je Radius na Kroku 0 " +
                    int_text(rows) + "^2 + " + int_text(cols) + "^2 = " + int_text(size);
  if (size != rows * rows + cols * cols) out += " (soucet modulo 2^32, jak ho pocita trenovani)";
  return out + " a klesa jako " + int_text(size) + " / (Krok / radius_decay + 1), s radius_decay " +
         int_text(setup.radius_decay) + ".";
}

std::string curves_section(const run_state& run, const run_progress& progress) {
  std::string out = "<section id=\"trenovani\"><h2>Prubeh trenovani</h2>";
  out += damaged_log_notes(run);
  const std::uint64_t epochs = run.log.Rozdil.size();
  if (epochs == 0) {
    out += "<p class=\"note\">Soubor trenovani.txt zatim neobsahuje zadnou epochu.</p></section>\n";
    return out;
  }
  // The log covers one run: a finished run's last epoch left Krok at its
  // final value; a run in progress started at the Krok of setup.txt. Where
  // Krok wrapped within the run, the epochs are counted from 1 instead.
  double first_x = 1.0;
  std::uint64_t run_epochs = epochs;
  std::string x_label = run.finished ? "Epocha posledniho behu" : "Epocha tohoto behu";
  if (run.finished) {
    if (run.saved.Krok >= epochs) {
      first_x = static_cast<double>(run.saved.Krok - epochs + 1);
      x_label = "Krok";
    }
  } else {
    run_epochs = std::max(epochs, progress.total);
    if (std::uint64_t{run.setup.Krok} + run_epochs <= 0xFFFFFFFFu) {
      first_x = static_cast<double>(run.setup.Krok) + 1.0;
      x_label = "Krok";
    }
  }
  const double x_end = first_x + static_cast<double>(run_epochs) - 1.0;
  out += "<p class=\"note\">" + int_text(epochs) + " epoch ze souboru trenovani.txt";
  if (!run.finished && progress.total != 0) {
    out += "; osa konci posledni epochou behu";
  }
  if (epochs > max_curve_points) {
    out += "; kresleny jsou prvni, posledni a nejnizsi a nejvyssi hodnoty useku osy (nejvyse " +
           int_text(max_curve_points) + " bodu)";
  }
  out += ".</p>";
  out +=
      "<p class=\"note\">Rozdil: soucet pres vsechny vzorky ctvercu vzdalenosti v mrizce mezi "
      "vitezem vzorku (nejblizsim neuronem) v teto epose a v epose predchozi; rika, jak moc se "
      "odpovedi mapy jeste hybou (0: zadny vzorek nezmenil svuj neuron). Radius: ctverec polomeru "
      "okoli R, ve kterem epocha posouva neurony (neuron se posune, je-li R vetsi nez ctverec jeho "
      "vzdalenosti v mrizce od viteze vzorku). " + radius_start_text(run.setup) + "</p>";
  std::vector<double> rozdil(run.log.Rozdil.begin(), run.log.Rozdil.end());
  auto curve = [&](const std::string& title, const std::vector<double>& values, const char* colour) {
    return "<div>" +
           svg_img(draw_curve(title, x_label, first_x, x_end, values, colour), "curve",
                   curve_width, curve_height, title) +
           "</div>";
  };
  out += curve("Rozdil", rozdil, "#c0392b");
  out += curve("Radius (ctverec polomeru)", run.log.Radius, "#1f5fa8");
  out += "</section>\n";
  return out;
}

}  // namespace

std::string render_report(const run_state& run, const page_extras& extras) {
  // The folder first: the tabs of several maps' pages tell them apart.
  std::string heading = extras.folder.empty() ? std::string() : html_text(extras.folder) + " - ";
  heading += "Samoorganizujici mapa " + int_text(run.setup.map_rows) + " x " +
             int_text(run.setup.map_cols);
  const run_progress progress = run.finished ? run_progress{} : progress_of(run.setup, run.log);

  std::string out = "<!DOCTYPE html>\n<html lang=\"cs\"><head><meta charset=\"utf-8\"/>";
  if (!run.finished) {
    out += "<meta http-equiv=\"refresh\" content=\"" + int_text(page_refresh_seconds) + "\"/>";
  }
  out += "<title>" + heading;
  if (!run.finished) out += ": " + progress_text(progress);
  out += "</title><style>";
  out += style_sheet;
  out += "</style></head><body>\n<h1>" + heading + "</h1>\n";
  if (run.save_interrupted) {
    // The saved map's files may be a mix of two maps: none is shown.
    out += "<section id=\"ukladani\"><p class=\"warning\">" + std::string(save_interrupted_text) +
           "</p></section>\n" + curves_section(run, progress) + "</body></html>\n";
    return out;
  }
  if (!run.finished) out += progress_section(run, progress, extras);
  out += summary_section(run, progress, extras);
  if (run.has_map) out += map_section(run, extras, 320.0);
  out += curves_section(run, progress);
  out += "</body></html>\n";
  return out;
}

}  // namespace som
