#include "report/curve_svg.hpp"

#include <algorithm>
#include <cmath>

#include "report/svg_parts.hpp"

namespace som {

namespace {

// Where x stands on the axis from `low` to `high`, from 0 to 1.
struct log_axis {
  double log_low;
  double log_span;
  double at(double x) const { return (std::log(x) - log_low) / log_span; }
};

log_axis make_axis(double low, double high) {
  const double span = std::log(high) - std::log(low);
  return {std::log(low), span > 0.0 ? span : 1.0};
}

}  // namespace

std::vector<std::size_t> curve_points(const std::vector<double>& values, std::size_t limit,
                                      double first_x, double x_end) {
  if (limit < 4) limit = 4;
  const std::size_t n = values.size();
  std::vector<std::size_t> kept;
  if (n <= limit) {
    for (std::size_t i = 0; i < n; ++i) kept.push_back(i);
    return kept;
  }
  const std::size_t runs = (limit - 2) / 2;
  const double last_x = first_x + static_cast<double>(n - 1);
  const log_axis axis = make_axis(first_x, std::max(x_end, last_x));
  auto stretch_of = [&](std::size_t i) {
    const double position = axis.at(first_x + static_cast<double>(i));
    const double stretch = std::floor(position * static_cast<double>(runs));
    return stretch < 0.0 ? std::size_t{0} : std::min(runs - 1, static_cast<std::size_t>(stretch));
  };
  kept.push_back(0);
  // The inner points, stretch by stretch; each stretch keeps its lowest and
  // highest point in their order.
  std::size_t i = 1;
  while (i < n - 1) {
    const std::size_t stretch = stretch_of(i);
    std::size_t low = n, high = n;
    for (; i < n - 1 && stretch_of(i) == stretch; ++i) {
      if (!std::isfinite(values[i])) continue;
      if (low == n || values[i] < values[low]) low = i;
      if (high == n || values[i] > values[high]) high = i;
    }
    if (low == n) continue;
    kept.push_back(std::min(low, high));
    if (low != high) kept.push_back(std::max(low, high));
  }
  kept.push_back(n - 1);
  return kept;
}

std::vector<double> log_ticks(double x_low, double x_high) {
  std::vector<double> ticks;
  if (!(x_low > 0.0) || !(x_high >= x_low) || !std::isfinite(x_high)) return ticks;
  const std::vector<std::vector<double>> factor_sets = {
      {1.0}, {1.0, 2.0, 5.0}, {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0}};
  const int first_power = static_cast<int>(std::floor(std::log10(x_low)));
  const int last_power = static_cast<int>(std::floor(std::log10(x_high)));
  for (const std::vector<double>& factors : factor_sets) {
    ticks.clear();
    for (int p = first_power; p <= last_power; ++p) {
      const double power = std::pow(10.0, p);
      for (double f : factors) {
        const double x = f * power;
        if (x >= x_low * (1.0 - 1e-12) && x <= x_high * (1.0 + 1e-12)) ticks.push_back(x);
      }
    }
    if (ticks.size() >= 3) return ticks;
  }
  ticks.clear();
  const double step = std::max(1.0, tick_step(x_high - x_low));
  for (double x = std::ceil(x_low / step) * step; x <= x_high; x += step) ticks.push_back(x);
  return ticks;
}

std::string draw_curve(const std::string& title, const std::string& x_label, double first_x,
                       double x_end, const std::vector<double>& values, const char* colour) {
  const double width = curve_width, height = curve_height;
  const double left = 80.0, right = 20.0, top = 28.0, bottom = 46.0;
  const double plot_w = width - left - right, plot_h = height - top - bottom;
  std::string out = svg_open("curve", width, height, title);
  out += "<text class=\"title\" x=\"" + fixed1(left) + "\" y=\"18\">" + title + "</text>";

  first_x = std::max(1.0, first_x);
  const value_range range = finite_range(values);
  double x_lo = first_x;
  double x_hi = std::max(x_end, first_x + static_cast<double>(values.size()) - 1.0);
  if (!(x_hi > x_lo)) {
    x_lo = x_lo / 1.5;
    x_hi = x_hi * 1.5;
  }
  double y_lo = range.any ? std::min(0.0, range.low) : 0.0;
  double y_hi = range.any ? range.high : 1.0;
  if (!(y_hi > y_lo)) y_hi = y_lo + 1.0;
  const double y_step = tick_step(y_hi - y_lo);
  y_hi = std::ceil(y_hi / y_step) * y_step;
  y_lo = std::floor(y_lo / y_step) * y_step;
  const log_axis axis = make_axis(x_lo, x_hi);
  auto px = [&](double x) { return left + axis.at(x) * plot_w; };
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
  for (double x : log_ticks(x_lo, x_hi)) {
    const std::string sx = fixed1(px(x));
    out += "<line class=\"grid\" x1=\"" + sx + "\" x2=\"" + sx + "\" y1=\"" + fixed1(top) +
           "\" y2=\"" + fixed1(top + plot_h) + "\"/>";
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
         "\" text-anchor=\"middle\">" + x_label + " (logaritmicka osa)</text>";
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
  for (std::size_t i : curve_points(values, max_curve_points, first_x, x_hi)) {
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

}  // namespace som
