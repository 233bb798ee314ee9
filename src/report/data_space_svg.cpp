#include "report/data_space_svg.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "report/html_text.hpp"
#include "report/label_section.hpp"
#include "report/scale_numbers.hpp"
#include "report/svg_parts.hpp"

namespace som {

namespace {

constexpr double plot_px = 520.0;
constexpr double units_per_px = 4.0;
constexpr double plot_units = plot_px * units_per_px;
constexpr double left_px = 64.0, top_px = 10.0, bottom_px = 44.0, right_px = 16.0;

// SVG path data in whole units, each point relative to the one before.
struct relative_path {
  std::string text;
  long x = 0, y = 0;
  char command = 0;  // the last command letter written
  bool after_number = false;

  void number(long v) {
    // A minus sign separates two numbers by itself.
    if (v < 0) {
      text += '-';
    } else if (after_number) {
      text += ' ';
    }
    text += int_text(static_cast<std::uint64_t>(v < 0 ? -v : v));
    after_number = true;
  }
  void letter(char c) {
    text += c;
    command = c;
    after_number = false;
  }
  void move_to(long to_x, long to_y) {
    if (text.empty()) {
      letter('M');
      number(to_x);
      number(to_y);
    } else {
      letter('m');
      number(to_x - x);
      number(to_y - y);
    }
    x = to_x;
    y = to_y;
  }
  void line_to(long to_x, long to_y) {
    if (command != 'l') letter('l');
    number(to_x - x);
    number(to_y - y);
    x = to_x;
    y = to_y;
  }
  // A line of length 0: a round dot where the path's caps are round.
  void dot() {
    letter('h');
    number(0);
  }
};

// One axis of the plot: the value at its middle and half the value range it shows.
struct axis_scale {
  double centre = 0.0;
  double half = 1.0;
  // Halves first, so that a range as wide as the doubles themselves does not overflow.
  long units(double v, bool upwards) const {
    double t = (v / 2.0 - centre / 2.0) / half + 0.5;
    if (upwards) t = 1.0 - t;
    return std::lround(t * plot_units);
  }
};

axis_scale scale_of(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> all(a);
  all.insert(all.end(), b.begin(), b.end());
  const value_range r = finite_range(all);
  axis_scale s;
  if (r.any) {
    s.centre = r.low / 2.0 + r.high / 2.0;
    s.half = r.high / 2.0 - r.low / 2.0;
  }
  return s;
}

// A dot or line width in units: `per_cell` of the room a neuron has on the
// screen, between `least` and `most` pixels.
double width_units(std::uint32_t rows, std::uint32_t cols, double per_cell, double least,
                   double most) {
  const double cell = plot_px / static_cast<double>(std::max({rows, cols, 1u}));
  return std::clamp(cell * per_cell, least, most) * units_per_px;
}

// Without labels the samples are grey and the neurons red on blue links;
// with them the samples take the labels' colours, and the map is drawn in
// black and grey so that it stands apart from every one of them.
constexpr const char* sample_grey = "#7a7a7a";
constexpr const char* many_samples_grey = "#9a9a9a";
constexpr const char* unlabelled_grey = "#c4c4c4";
constexpr const char* neuron_red = "#c0392b";
constexpr const char* link_blue = "#2f5f9e";
constexpr const char* labelled_neuron = "#333333";
constexpr const char* labelled_link = "#a0a0a0";

std::string caption(const data_space_view& view, std::uint32_t sample_count,
                    std::size_t neurons_left_out, bool labelled) {
  std::string out =
      labelled
          ? "Mapa v prostoru dat: tecky jsou vzorky v barve sveho popisku (popisky.txt, jako na "
            "mape popisku; svetle sede bez popisku), tmave sede tecky neurony v mistech svych vah, svetle sede "
            "cary spojuji kazdy neuron s jeho pravym a dolnim sousedem v mrizce."
          : "Mapa v prostoru dat: sede tecky jsou vzorky, cervene tecky neurony v mistech svych "
            "vah, cary spojuji kazdy neuron s jeho pravym a dolnim sousedem v mrizce.";
  switch (view.kind) {
    case space_kind::along_map:
      out += " Vektory maji jednu slozku: vaha kazdeho neuronu proti jeho " +
             std::string(view.x_label == "radek neuronu" ? "radku" : "sloupci") +
             " v mape; vzorek stoji u neuronu, ktery mu prirazuje vystup.txt.";
      break;
    case space_kind::data_plane:
      out += " Rovina dat (slozky 1 a 2)";
      if (view.x_units.scale != 1.0 || view.x_units.centre != 0.0 || view.y_units.scale != 1.0 ||
          view.y_units.centre != 0.0) {
        out += "; body stoji podle hodnot data.txt, ve kterych se mapa ucila, cisla na osach jsou "
               "v jednotkach tabulky (sloupce.txt)";
      }
      out += ".";
      break;
    case space_kind::principal:
      if (view.plane.kind == plane_kind::principal) {
        out += " Rovina prvnich dvou hlavnich komponent dat: drzi " +
               fixed1(view.plane.share * 100.0) + " % rozptylu dat";
        if (view.plane.rows_used < sample_count) {
          out += " (spocteno z " + int_text(view.plane.rows_used) + " rovnomerne vybranych vzorku)";
        }
        out += ".";
      } else if (view.plane.kind == plane_kind::too_wide) {
        out += " Hlavni komponenty se pocitaji nejvyse pro " + int_text(max_principal_dimension) +
               " slozek: zobrazeny jsou slozky 1 a 2.";
      } else {
        out +=
            " Data nemaji zadny rozptyl (nebo mene nez dva konecne vzorky): zobrazeny jsou "
            "slozky 1 a 2.";
      }
      break;
    case space_kind::none: break;
  }
  if (view.sample_step > 1) {
    out += " Zobrazen je kazdy " + int_text(view.sample_step) + ". vzorek (" +
           int_text(view.sample_x.size()) + " z " + int_text(sample_count) + ").";
  }
  if (view.samples_not_finite != 0) {
    out += " Vzorku s hodnotou, ktera neni konecne cislo, nezobrazeno: " +
           int_text(view.samples_not_finite) + ".";
  }
  if (neurons_left_out != 0) {
    out +=
        " Neuronu s vahou, ktera neni konecne cislo, nezobrazeno: " + int_text(neurons_left_out) +
        ".";
  }
  return out;
}

}  // namespace

std::string draw_data_space(const data_space_view& view, std::uint32_t map_rows,
                            std::uint32_t map_cols, std::uint32_t sample_count,
                            const sample_labels* labels) {
  if (view.kind == space_kind::none) return "<p class=\"note\">Vektory nemaji zadnou slozku.</p>";
  axis_scale sx = scale_of(view.neuron_x, view.sample_x);
  axis_scale sy = scale_of(view.neuron_y, view.sample_y);
  if (view.same_scale) sx.half = sy.half = std::max(sx.half, sy.half);
  for (axis_scale* s : {&sx, &sy}) {
    if (!(s->half > 0.0)) s->half = std::max(1.0, std::abs(s->centre) * 0.1);
    s->half = s->half * 1.05;  // a margin around the outermost points
  }

  // The samples: one path, or with labels one per colour (see the header):
  // group 0 without a label, 1 "jine", 2 + l label l.
  const bool labelled = labels != nullptr && labels->present;
  const std::size_t coloured =
      labelled ? std::min<std::size_t>(labels->names.size(), max_label_colours) : 0;
  std::vector<relative_path> samples(labelled ? coloured + 2 : 1);
  for (std::size_t i = 0; i < view.sample_x.size(); ++i) {
    std::size_t group = 0;
    if (labelled) {
      const std::uint32_t label = labels->of_sample[view.sample_index[i]];
      group = label == no_label ? 0 : label < coloured ? 2 + label : 1;
    }
    samples[group].move_to(sx.units(view.sample_x[i], false), sy.units(view.sample_y[i], true));
    samples[group].dot();
  }
  relative_path links, neurons;
  auto finite = [&](std::size_t n) { return !std::isnan(view.neuron_x[n]); };
  auto at_x = [&](std::size_t n) { return sx.units(view.neuron_x[n], false); };
  auto at_y = [&](std::size_t n) { return sy.units(view.neuron_y[n], true); };
  // Along each row, then down each column: one line per pair of neighbours.
  for (int pass = 0; pass < 2; ++pass) {
    const std::uint32_t lines = pass == 0 ? map_rows : map_cols;
    const std::uint32_t length = pass == 0 ? map_cols : map_rows;
    for (std::uint32_t a = 0; a < lines; ++a) {
      bool drawing = false;
      for (std::uint32_t b = 0; b < length; ++b) {
        const std::size_t n =
            pass == 0 ? std::size_t{a} * map_cols + b : std::size_t{b} * map_cols + a;
        if (!finite(n)) {
          drawing = false;
          continue;
        }
        if (drawing) {
          links.line_to(at_x(n), at_y(n));
        } else {
          links.move_to(at_x(n), at_y(n));
          drawing = true;
        }
      }
    }
  }
  std::size_t left_out = 0;
  for (std::size_t n = 0; n < view.neuron_x.size(); ++n) {
    if (!finite(n)) {
      ++left_out;
      continue;
    }
    neurons.move_to(at_x(n), at_y(n));
    neurons.dot();
  }

  // Evenly spaced "nice" values along each axis: a faint line across the
  // plot (in the plot's own units, under the samples) and a tick with its
  // value outside it.
  std::string grid_lines = "<path class=\"grid\" stroke=\"#ececec\" stroke-width=\"" +
                           fixed1(units_per_px) + "\" d=\"";
  std::string tick_marks;
  for (int axis = 0; axis < 2; ++axis) {
    const auto& scale = axis == 0 ? sx : sy;
    // The ticks stand at "nice" numbers of the axis' units.
    const data_space_view::axis_units& unit = axis == 0 ? view.x_units : view.y_units;
    const double ends[2] = {(scale.centre - scale.half) * unit.scale + unit.centre,
                            (scale.centre + scale.half) * unit.scale + unit.centre};
    const double low = std::min(ends[0], ends[1]), high = std::max(ends[0], ends[1]);
    if (!(high > low) || !std::isfinite(high - low)) continue;
    const double step = tick_step(high - low);
    int ticks = 0;
    for (double t = std::ceil(low / step) * step; t <= high + step * 1e-9 && ticks < 20;
         t += step, ++ticks) {
      const long at = scale.units((t - unit.centre) / unit.scale, axis == 1);
      const double px = static_cast<double>(at) / units_per_px;
      if (axis == 0) {
        grid_lines += "M" + int_text(static_cast<std::uint64_t>(std::max(0L, at))) + " 0v" +
                      int_text(static_cast<std::uint64_t>(plot_units));
        const std::string x = fixed1(left_px + px);
        tick_marks += "<line class=\"axis\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"" +
                      fixed1(top_px + plot_px) + "\" y2=\"" + fixed1(top_px + plot_px + 5.0) +
                      "\"/><text x=\"" + x + "\" y=\"" + fixed1(top_px + plot_px + 17.0) +
                      "\" text-anchor=\"middle\">" + tick_number(t, step) + "</text>";
      } else {
        grid_lines += "M0 " + int_text(static_cast<std::uint64_t>(std::max(0L, at))) + "h" +
                      int_text(static_cast<std::uint64_t>(plot_units));
        const std::string y = fixed1(top_px + px);
        tick_marks += "<line class=\"axis\" x1=\"" + fixed1(left_px - 5.0) + "\" x2=\"" +
                      fixed1(left_px) + "\" y1=\"" + y + "\" y2=\"" + y + "\"/><text x=\"" +
                      fixed1(left_px - 7.0) + "\" y=\"" + fixed1(top_px + px + 4.0) +
                      "\" text-anchor=\"end\">" + tick_number(t, step) +
                      "</text>";
      }
    }
  }
  grid_lines += "\"/>";

  const double width = left_px + plot_px + right_px, height = top_px + plot_px + bottom_px;
  std::string out = svg_open("space", width, height, "Mapa v prostoru dat");
  out += "<rect x=\"" + fixed1(left_px) + "\" y=\"" + fixed1(top_px) + "\" width=\"" +
         fixed1(plot_px) + "\" height=\"" + fixed1(plot_px) + "\" fill=\"#fff\" stroke=\"#444\"/>";
  out += "<svg x=\"" + fixed1(left_px) + "\" y=\"" + fixed1(top_px) + "\" width=\"" +
         fixed1(plot_px) + "\" height=\"" + fixed1(plot_px) + "\" viewBox=\"0 0 " +
         int_text(static_cast<std::uint64_t>(plot_units)) + " " +
         int_text(static_cast<std::uint64_t>(plot_units)) +
         "\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">";
  // Few samples are drawn larger and darker, so that they still show; with
  // labels larger still, so that their colours show.
  const bool few = view.sample_x.size() <= 2000;
  const double sample_dot = (few ? (labelled ? 4.5 : 3.0) : (labelled ? 2.2 : 1.6)) * units_per_px;
  out += grid_lines;
  if (!labelled) {
    out += std::string("<path class=\"samples\" stroke=\"") + (few ? sample_grey : many_samples_grey) +
           "\" stroke-width=\"" + fixed1(sample_dot) + "\" d=\"" + samples[0].text + "\"/>";
  } else {
    out += "<g class=\"samples\" stroke-width=\"" + fixed1(sample_dot) + "\">";
    for (std::size_t group = 0; group < samples.size(); ++group) {
      if (samples[group].text.empty()) continue;
      const std::string colour =
          group == 0 ? std::string(unlabelled_grey)
                     : hex(label_colour(group == 1 ? max_label_colours
                                                   : static_cast<std::uint32_t>(group - 2)));
      out += "<path class=\"label\" stroke=\"" + colour + "\" d=\"" + samples[group].text + "\"/>";
    }
    out += "</g>";
  }
  out += std::string("<path class=\"links\" stroke=\"") + (labelled ? labelled_link : link_blue) +
         "\" stroke-width=\"" +
         fixed1(width_units(map_rows, map_cols, 0.08, 0.3, 1.5)) + "\" d=\"" + links.text + "\"/>";
  out += std::string("<path class=\"neurons\" stroke=\"") +
         (labelled ? labelled_neuron : neuron_red) + "\" stroke-width=\"" +
         fixed1((labelled ? width_units(map_rows, map_cols, 0.2, 1.0, 5.0)
                            : width_units(map_rows, map_cols, 0.3, 1.0, 7.0))) + "\" d=\"" + neurons.text + "\"/>";
  out += "</svg>";
  // Ticks with their values along both axes, and the axes' names.
  out += tick_marks;
  const double bottom = top_px + plot_px;
  out += "<text x=\"" + fixed1(left_px + plot_px / 2.0) + "\" y=\"" + fixed1(bottom + 34.0) +
         "\" text-anchor=\"middle\">" + html_text(view.x_label) + "</text>";
  const std::string middle = fixed1(top_px + plot_px / 2.0);
  out += "<text x=\"20\" y=\"" + middle + "\" text-anchor=\"middle\" transform=\"rotate(-90 20 " +
         middle + ")\">" + html_text(view.y_label) + "</text>";
  out += "</svg>";
  std::string figure = "<figure>" + svg_img(out, "space", width, height, "Mapa v prostoru dat");
  figure += "<figcaption class=\"wide\">" + caption(view, sample_count, left_out, labelled) +
            "</figcaption>";
  if (labelled) figure += label_legend(*labels);
  return figure + "</figure>";
}

}  // namespace som
