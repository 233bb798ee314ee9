#include "report/report_html.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "report/map_measures.hpp"
#include "report/png_image.hpp"

namespace som {

namespace {

std::string int_text(std::uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string fixed1(double value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  return std::string(buffer, result.ptr);
}

// A colour scale: colours at evenly spaced points from 0 to 1.
using colour_scale = std::vector<rgb>;

const colour_scale viridis = {{68, 1, 84},    {71, 44, 122},  {59, 81, 139},
                              {44, 113, 142}, {33, 144, 141}, {39, 173, 129},
                              {92, 200, 99},  {170, 220, 50}, {253, 231, 37}};
const colour_scale blues = {
    {247, 251, 255}, {198, 219, 239}, {107, 174, 214}, {33, 113, 181}, {8, 48, 107}};

constexpr int scale_steps = 254;            // palette entries 0..254 follow the scale
constexpr std::uint8_t not_a_number = 255;  // shown grey
constexpr rgb not_a_number_colour = {160, 160, 160};

rgb scale_colour(const colour_scale& scale, double t) {
  const double position = t * static_cast<double>(scale.size() - 1);
  std::size_t i = static_cast<std::size_t>(position);
  if (i >= scale.size() - 1) return scale.back();
  const double f = position - static_cast<double>(i);
  rgb out{};
  for (int c = 0; c < 3; ++c) {
    const double v = scale[i][c] + (scale[i + 1][c] - scale[i][c]) * f;
    out[c] = static_cast<std::uint8_t>(std::lround(v));
  }
  return out;
}

std::vector<rgb> palette_of(const colour_scale& scale) {
  std::vector<rgb> palette;
  for (int i = 0; i <= scale_steps; ++i)
    palette.push_back(scale_colour(scale, i / double{scale_steps}));
  palette.push_back(not_a_number_colour);
  return palette;
}

std::string hex(rgb c) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out = "#";
  for (std::uint8_t v : c) {
    out += digits[v >> 4];
    out += digits[v & 15];
  }
  return out;
}

struct value_range {
  double low = 0.0;
  double high = 0.0;
  bool any = false;  // at least one finite value
};

value_range finite_range(const std::vector<double>& values) {
  value_range r;
  for (double v : values) {
    if (!std::isfinite(v)) continue;
    if (!r.any || v < r.low) r.low = v;
    if (!r.any || v > r.high) r.high = v;
    r.any = true;
  }
  // Differences at the level of rounding (a uniform map) are no contrast.
  if (r.any && r.high - r.low <= 1e-12 * std::max(std::abs(r.low), std::abs(r.high)))
    r.high = r.low;
  return r;
}

std::uint8_t palette_index(double value, const value_range& range) {
  if (!std::isfinite(value)) return not_a_number;
  if (!(range.high > range.low)) return 0;
  const double t = (value - range.low) / (range.high - range.low);
  const long i = std::lround(t * scale_steps);
  return static_cast<std::uint8_t>(std::clamp(i, 0L, long{scale_steps}));
}

// Screen size of a map picture whose longer side is `longest` pixels.
struct box {
  double width;
  double height;
  double cell;
};

box map_box(std::uint32_t rows, std::uint32_t cols, double longest) {
  const double cell = longest / static_cast<double>(std::max(rows, cols));
  return {std::max(4.0, cell * cols), std::max(4.0, cell * rows), cell};
}

std::string svg_open(const std::string& cls, double width, double height,
                     const std::string& label) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"" + cls + "\" width=\"" +
         fixed1(width) + "\" height=\"" + fixed1(height) + "\" viewBox=\"0 0 " + fixed1(width) +
         " " + fixed1(height) + "\" role=\"img\" aria-label=\"" + label + "\">";
}

// One <image> with one pixel per neuron.
std::string map_image(const std::string& png, std::uint32_t rows, std::uint32_t cols,
                      const box& b) {
  return "<image class=\"cells\" data-rows=\"" + int_text(rows) + "\" data-cols=\"" +
         int_text(cols) + "\" x=\"0\" y=\"0\" width=\"" + fixed1(b.width) + "\" height=\"" +
         fixed1(b.height) +
         "\" preserveAspectRatio=\"none\" style=\"image-rendering:pixelated\" href=\"data:image/png;base64," +
         base64(png) + "\"/>";
}

std::string frame(const box& b) {
  return "<rect x=\"0\" y=\"0\" width=\"" + fixed1(b.width) + "\" height=\"" + fixed1(b.height) +
         "\" fill=\"none\" stroke=\"#444\"/>";
}

// A horizontal colour bar from `range.low` to `range.high` with three labels.
std::string legend(const std::string& id, const colour_scale& scale, const value_range& range,
                   double width, int precision, bool with_nan) {
  const double bar = 14.0;
  std::string out = svg_open("legend", width + 20.0, 40.0, "barevna skala");
  out += "<defs><linearGradient id=\"" + id + "\" x1=\"0\" x2=\"1\" y1=\"0\" y2=\"0\">";
  for (std::size_t i = 0; i < scale.size(); ++i) {
    out += "<stop offset=\"" +
           number_text(static_cast<double>(i) / static_cast<double>(scale.size() - 1), 4) +
           "\" stop-color=\"" + hex(scale[i]) + "\"/>";
  }
  out += "</linearGradient></defs>";
  out += "<rect x=\"10\" y=\"2\" width=\"" + fixed1(width) + "\" height=\"" + fixed1(bar) +
         "\" fill=\"url(#" + id + ")\" stroke=\"#444\"/>";
  const double lo = range.any ? range.low : 0.0;
  const double hi = range.any ? range.high : 0.0;
  const double mid = lo + (hi - lo) / 2.0;
  // Enough digits that the ends of a narrow range read differently.
  while (precision < 15 && lo != hi && number_text(lo, precision) == number_text(hi, precision))
    ++precision;
  const char* anchors[] = {"start", "middle", "end"};
  const double values[] = {lo, mid, hi};
  for (int i = 0; i < 3; ++i) {
    const double x = 10.0 + width * i / 2.0;
    out += "<line x1=\"" + fixed1(x) + "\" x2=\"" + fixed1(x) +
           "\" y1=\"16\" y2=\"20\" stroke=\"#444\"/>";
    out += "<text x=\"" + fixed1(x) + "\" y=\"32\" text-anchor=\"" + anchors[i] + "\">" +
           number_text(values[i], precision) + "</text>";
  }
  out += "</svg>";
  if (with_nan) out += "<span class=\"nan\">seda: hodnota neni cislo</span>";
  return out;
}

struct heat_map {
  std::string label;
  const colour_scale* scale;
  std::vector<double> values;         // row-major
  double longest;                     // screen size of the longer side
  std::vector<std::uint32_t> counts;  // drawn into the cells when not empty
};

std::string draw_heat_map(const heat_map& map, std::uint32_t rows, std::uint32_t cols,
                          const std::string& legend_id, value_range range, int precision) {
  static const std::vector<rgb> viridis_palette = palette_of(viridis);
  static const std::vector<rgb> blues_palette = palette_of(blues);
  const std::vector<rgb>& palette = map.scale == &viridis ? viridis_palette : blues_palette;
  std::vector<std::uint8_t> indices(map.values.size());
  bool with_nan = false;
  for (std::size_t n = 0; n < map.values.size(); ++n) {
    indices[n] = palette_index(map.values[n], range);
    with_nan = with_nan || indices[n] == not_a_number;
  }
  const box b = map_box(rows, cols, map.longest);
  std::string out = "<figure>";
  out += svg_open("heat", b.width, b.height, map.label);
  out += map_image(encode_png_indexed(cols, rows, indices, palette), rows, cols, b);
  if (!map.counts.empty()) {
    const double font = std::min(14.0, b.cell * 0.45);
    for (std::uint32_t r = 0; r < rows; ++r) {
      for (std::uint32_t c = 0; c < cols; ++c) {
        const std::size_t n = std::size_t{r} * cols + c;
        if (map.counts[n] == 0) continue;
        const bool dark = indices[n] > scale_steps / 2;
        out += "<text x=\"" + fixed1((c + 0.5) * b.cell) + "\" y=\"" + fixed1((r + 0.5) * b.cell) +
               "\" font-size=\"" + fixed1(font) + "\" fill=\"" + (dark ? "#fff" : "#000") + "\">" +
               int_text(map.counts[n]) + "</text>";
      }
    }
  }
  out += frame(b);
  out += "</svg><figcaption>" + map.label + "</figcaption>";
  out += legend(legend_id, *map.scale, range, std::max(120.0, std::min(b.width, 300.0)), precision,
                with_nan);
  out += "</figure>";
  return out;
}

// A "nice" step (1, 2 or 5 times a power of ten) near span / 5.
double tick_step(double span) {
  const double raw = span / 5.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / power;
  return (f < 1.5 ? 1.0 : f < 3.0 ? 2.0 : f < 7.0 ? 5.0 : 10.0) * power;
}

// One line chart: x = first_x + i for the i-th value.
std::string draw_curve(const std::string& title, const std::string& x_label, double first_x,
                       const std::vector<double>& values, const char* colour) {
  const double width = 900.0, height = 230.0;
  const double left = 80.0, right = 20.0, top = 28.0, bottom = 46.0;
  const double plot_w = width - left - right, plot_h = height - top - bottom;
  std::string out = svg_open("curve", width, height, title);
  out += "<text class=\"title\" x=\"" + fixed1(left) + "\" y=\"18\">" + title + "</text>";

  const value_range range = finite_range(values);
  double x_lo = first_x, x_hi = first_x + static_cast<double>(values.size()) - 1.0;
  if (!(x_hi > x_lo)) {
    x_lo -= 1.0;
    x_hi += 1.0;
  }
  double y_lo = range.any ? std::min(0.0, range.low) : 0.0;
  double y_hi = range.any ? range.high : 1.0;
  if (!(y_hi > y_lo)) y_hi = y_lo + 1.0;
  const double y_step = tick_step(y_hi - y_lo);
  y_hi = std::ceil(y_hi / y_step) * y_step;
  y_lo = std::floor(y_lo / y_step) * y_step;
  auto px = [&](double x) { return left + (x - x_lo) / (x_hi - x_lo) * plot_w; };
  auto py = [&](double y) { return top + plot_h - (y - y_lo) / (y_hi - y_lo) * plot_h; };

  // Grid, ticks and labels.
  for (double y = y_lo; y <= y_hi + y_step / 2.0; y += y_step) {
    const std::string sy = fixed1(py(y));
    out += "<line class=\"grid\" x1=\"" + fixed1(left) + "\" x2=\"" + fixed1(left + plot_w) +
           "\" y1=\"" + sy + "\" y2=\"" + sy + "\"/>";
    out += "<text x=\"" + fixed1(left - 6.0) + "\" y=\"" + sy +
           "\" text-anchor=\"end\" dominant-baseline=\"middle\">" +
           number_text(std::abs(y) < y_step * 1e-9 ? 0.0 : y, 6) + "</text>";
  }
  const double x_step = std::max(1.0, tick_step(x_hi - x_lo));
  for (double x = std::ceil(x_lo / x_step) * x_step; x <= x_hi; x += x_step) {
    const std::string sx = fixed1(px(x));
    out += "<line x1=\"" + sx + "\" x2=\"" + sx + "\" y1=\"" + fixed1(top + plot_h) + "\" y2=\"" +
           fixed1(top + plot_h + 5.0) + "\" stroke=\"#444\"/>";
    out += "<text x=\"" + sx + "\" y=\"" + fixed1(top + plot_h + 18.0) +
           "\" text-anchor=\"middle\">" + number_text(x, 10) + "</text>";
  }
  out += "<line class=\"axis\" x1=\"" + fixed1(left) + "\" x2=\"" + fixed1(left) + "\" y1=\"" +
         fixed1(top) + "\" y2=\"" + fixed1(top + plot_h) + "\"/>";
  out += "<line class=\"axis\" x1=\"" + fixed1(left) + "\" x2=\"" + fixed1(left + plot_w) +
         "\" y1=\"" + fixed1(top + plot_h) + "\" y2=\"" + fixed1(top + plot_h) + "\"/>";
  out += "<text x=\"" + fixed1(left + plot_w / 2.0) + "\" y=\"" + fixed1(height - 6.0) +
         "\" text-anchor=\"middle\">" + x_label + "</text>";
  out += "<text x=\"14\" y=\"" + fixed1(top + plot_h / 2.0) +
         "\" text-anchor=\"middle\" transform=\"rotate(-90 14 " + fixed1(top + plot_h / 2.0) +
         ")\">" + title + "</text>";

  // The curve itself, broken where a value is not a number.
  std::string points;
  auto flush = [&] {
    if (!points.empty()) {
      out += "<polyline fill=\"none\" stroke=\"" + std::string(colour) +
             "\" stroke-width=\"1.5\" points=\"" + points + "\"/>";
    }
    points.clear();
  };
  for (std::size_t i : curve_points(values, max_curve_points)) {
    if (!std::isfinite(values[i])) {
      flush();
      continue;
    }
    if (!points.empty()) points += ' ';
    points += fixed1(px(first_x + static_cast<double>(i))) + "," + fixed1(py(values[i]));
  }
  if (values.size() == 1 && std::isfinite(values[0])) {
    out += "<circle cx=\"" + fixed1(px(first_x)) + "\" cy=\"" + fixed1(py(values[0])) +
           "\" r=\"3\" fill=\"" + colour + "\"/>";
  }
  flush();
  out += "</svg>";
  return out;
}

const char* const style_sheet =
    "body{font-family:sans-serif;margin:24px;color:#222;background:#fff;max-width:1100px}"
    "h1{font-size:22px}h2{font-size:18px;margin-top:28px;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse}td{padding:3px 12px 3px 0}td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "figure{display:inline-block;margin:0 24px 14px 0;vertical-align:top}"
    "figcaption{font-size:13px;margin:4px 0}"
    "svg text{font-family:sans-serif;font-size:12px}"
    "svg.heat text{text-anchor:middle;dominant-baseline:central}"
    "svg .grid{stroke:#e4e4e4}svg .axis{stroke:#444}svg .title{font-weight:bold}"
    ".nan{font-size:12px;margin-left:8px}p.note{color:#555;font-size:14px}";

void add_row(std::string& out, const std::string& name, const std::string& value) {
  out += "<tr><td>" + name + "</td><td class=\"n\">" + value + "</td></tr>";
}

}  // namespace

std::string number_text(double value, int precision) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
  return std::string(buffer, result.ptr);
}

std::string render_report(const run_state& run) {
  const weight_grid& grid = run.grid;
  const std::uint32_t rows = grid.map_rows, cols = grid.map_cols, dim = grid.dimension;
  const std::vector<double> umatrix = u_matrix(grid);
  const std::vector<std::uint32_t> hits = hit_counts(rows, cols, run.assignments);
  const map_errors errors = measure_errors(grid, run.samples);
  const std::string sizes = int_text(rows) + " x " + int_text(cols);
  const double map_side = 320.0;  // the longer side of the main pictures

  std::string out = "<!DOCTYPE html>\n<html lang=\"cs\"><head><meta charset=\"utf-8\"/>";
  out += "<title>Samoorganizujici mapa " + sizes + "</title><style>";
  out += style_sheet;
  out += "</style></head><body>\n<h1>Samoorganizujici mapa " + sizes + "</h1>\n";

  out += "<section id=\"souhrn\"><h2>Souhrn</h2><table>";
  add_row(out, "Rozmery mapy (radky x sloupce)", sizes);
  add_row(out, "Dimenze", int_text(dim));
  add_row(out, "Pocet vzorku", int_text(run.samples.count));
  add_row(out, "Krok", int_text(run.final.Krok));
  add_row(out, "Seed", int_text(run.final.seed));
  add_row(out, "Rozdil posledni epochy", int_text(run.final.Rozdil));
  add_row(out, "Epoch posledniho behu", int_text(run.log.Rozdil.size()));
  add_row(out, "radius_decay / rate_decay / stop_radius",
          int_text(run.setup.radius_decay) + " / " + int_text(run.setup.rate_decay) + " / " +
              int_text(run.setup.stop_radius));
  const bool measured = run.samples.count != 0;
  add_row(out, "Kvantizacni chyba", measured ? number_text(errors.quantization, 6) : "-");
  add_row(out, "Topograficka chyba",
          measured && grid.neurons > 1
              ? number_text(errors.topographic, 6) + " (" + int_text(errors.topographic_count) +
                    " z " + int_text(run.samples.count) + " vzorku)"
              : "-");
  out +=
      "</table><p class=\"note\">Kvantizacni chyba: prumerna eukleidovska vzdalenost vzorku od vah jeho "
      "nejblizsiho neuronu. Topograficka chyba: podil vzorku, jejichz nejblizsi a druhy nejblizsi neuron "
      "nejsou primi sousede v mrizce. Obe jsou spocteny z data.txt a vahy.bin.</p></section>\n";

  out +=
      "<section id=\"mapa\"><h2>Mapa</h2><p class=\"note\">U-matice: prumerna vzdalenost vah neuronu od vah "
      "jeho primych sousedu (az ctyr); svetla mista oddeluji shluky. Zasahy: pocet vzorku, ktere vystup.txt "
      "prirazuje kazdemu neuronu. Radek 0 je nahore, sloupec 0 vlevo.</p>";
  out += draw_heat_map({"U-matice", &viridis, umatrix, map_side, {}}, rows, cols, "scale-u",
                       finite_range(umatrix), 4);

  std::vector<double> hit_values(hits.begin(), hits.end());
  const bool labels = grid.neurons <= 900 && map_box(rows, cols, map_side).cell >= 14.0;
  value_range hit_range{0.0, 0.0, true};
  for (double h : hit_values) hit_range.high = std::max(hit_range.high, h);
  out += draw_heat_map(
      {"Zasahy", &blues, hit_values, map_side, labels ? hits : std::vector<std::uint32_t>{}}, rows,
      cols, "scale-hits", hit_range, 10);

  if (dim == 3) {
    std::vector<rgb> pixels(grid.neurons);
    for (std::size_t n = 0; n < grid.neurons; ++n) {
      for (std::uint32_t k = 0; k < 3; ++k) {
        const double w = grid.at(n, k);
        const double clamped = w >= 1.0 ? 1.0 : w > 0.0 ? w : 0.0;
        pixels[n][k] = static_cast<std::uint8_t>(std::lround(clamped * 255.0));
      }
    }
    const box b = map_box(rows, cols, map_side);
    out += "<figure>";
    out += svg_open("heat", b.width, b.height, "Barvy vah");
    out += map_image(encode_png_rgb(cols, rows, pixels), rows, cols, b);
    out += frame(b);
    out +=
        "</svg><figcaption>Barvy vah: slozky 1, 2, 3 omezene na 0 az 1<br/>jako cervena, zelena, modra"
        "</figcaption></figure>";
  }
  out += "</section>\n";

  out += "<section id=\"slozky\"><h2>Roviny slozek</h2>";
  const std::uint32_t planes = std::min(dim, max_component_planes);
  if (dim > planes) {
    out += "<p class=\"note\">Zobrazeno prvnich " + int_text(planes) + " slozek z " +
           int_text(dim) + ".</p>";
  } else if (dim == 0) {
    out += "<p class=\"note\">Vektory nemaji zadnou slozku.</p>";
  } else {
    out +=
        "<p class=\"note\">Hodnota jedne slozky vah v kazdem neuronu, kazda rovina ve vlastni skale.</p>";
  }
  for (std::uint32_t k = 0; k < planes; ++k) {
    std::vector<double> plane(grid.neurons);
    for (std::size_t n = 0; n < grid.neurons; ++n) plane[n] = grid.at(n, k);
    out += draw_heat_map({"Slozka " + int_text(k + 1), &viridis, plane, 160.0, {}}, rows, cols,
                         "scale-c" + int_text(k + 1), finite_range(plane), 4);
  }
  out += "</section>\n";

  out += "<section id=\"trenovani\"><h2>Prubeh trenovani</h2>";
  const std::size_t epochs = run.log.Rozdil.size();
  if (epochs == 0) {
    out += "<p class=\"note\">Soubor trenovani.txt neobsahuje zadnou epochu.</p>";
  } else {
    // The log covers the last run, whose last epoch left Krok at its final value.
    double first_x = 1.0;
    std::string x_label = "Epocha posledniho behu";
    if (run.final.Krok >= epochs) {
      first_x = static_cast<double>(run.final.Krok - epochs + 1);
      x_label = "Krok";
    }
    out += "<p class=\"note\">" + int_text(epochs) + " epoch ze souboru trenovani.txt";
    if (epochs > max_curve_points) {
      out += "; kresleny jsou prvni, posledni a nejnizsi a nejvyssi hodnoty useku (nejvyse " +
             int_text(max_curve_points) + " bodu)";
    }
    out += ".</p>";
    std::vector<double> rozdil(run.log.Rozdil.begin(), run.log.Rozdil.end());
    out += "<div>" + draw_curve("Rozdil", x_label, first_x, rozdil, "#c0392b") + "</div>";
    out += "<div>" + draw_curve("Radius", x_label, first_x, run.log.Radius, "#1f5fa8") + "</div>";
  }
  out += "</section>\n</body></html>\n";
  return out;
}

}  // namespace som
