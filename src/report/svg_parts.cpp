#include "report/svg_parts.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "report/scale_numbers.hpp"

namespace som {

const colour_scale viridis = {{68, 1, 84},    {71, 44, 122},  {59, 81, 139},
                              {44, 113, 142}, {33, 144, 141}, {39, 173, 129},
                              {92, 200, 99},  {170, 220, 50}, {253, 231, 37}};
const colour_scale blues = {
    {247, 251, 255}, {198, 219, 239}, {107, 174, 214}, {33, 113, 181}, {8, 48, 107}};

namespace {

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

std::uint8_t palette_index(double value, const value_range& range) {
  if (!std::isfinite(value)) return not_a_number;
  if (!(range.high > range.low)) return 0;
  const double t = (value - range.low) / (range.high - range.low);
  const long i = std::lround(t * scale_steps);
  return static_cast<std::uint8_t>(std::clamp(i, 0L, long{scale_steps}));
}

// A horizontal colour bar from `range.low` to `range.high`, labelled at its
// ends and, where it fits, in its middle (scale_numbers.hpp).
std::string legend(const std::string& id, const colour_scale& scale, const value_range& range,
                   double width, bool with_nan) {
  const double bar = 14.0;
  const double lo = range.any ? range.low : 0.0;
  const double hi = range.any ? range.high : 0.0;
  width = std::max(width, scale_width_for(lo, hi));
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
  for (const scale_label& label : scale_labels(lo, hi, 10.0, width)) {
    const std::string x = fixed1(label.x);
    out += "<line x1=\"" + x + "\" x2=\"" + x + "\" y1=\"16\" y2=\"20\" stroke=\"#444\"/>";
    out += "<text x=\"" + x + "\" y=\"32\" text-anchor=\"" + label.anchor + "\">" + label.text +
           "</text>";
  }
  out += "</svg>";
  if (with_nan) out += "<span class=\"nan\">seda: hodnota neni cislo</span>";
  return out;
}

}  // namespace

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

std::string number_text(double value, int precision) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
  return std::string(buffer, result.ptr);
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

std::string svg_img(const std::string& svg, const std::string& cls, double width, double height,
                    const std::string& label) {
  static constexpr const char* style =
      "<style>text{font-family:sans-serif;font-size:12px}.grid{stroke:#e4e4e4}"
      ".axis{stroke:#444}.title{font-weight:bold}</style>";
  std::string text = svg;
  const std::size_t opened = text.find('>');
  if (opened != std::string::npos) text.insert(opened + 1, style);
  // The address keeps every byte that needs no escape as it is (paths are
  // digits, letters and blanks): smaller than base64.
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string address = "data:image/svg+xml,";
  address.reserve(address.size() + text.size() + text.size() / 8);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '%' || c == '#' || c == '"' || c == '\'' ||
        c == '<' || c == '>' || c == '&') {
      address += '%';
      address += digits[byte >> 4];
      address += digits[byte & 15];
    } else {
      address += c;
    }
  }
  return "<img class=\"" + cls + "\" alt=\"" + label + "\" style=\"width:" + fixed1(width) +
         "px;height:" + fixed1(height) + "px\" src=\"" + address + "\"/>";
}

std::string png_img(const std::string& png, const std::string& cls, double width, double height,
                    const std::string& label, bool pixelated, const std::string& attributes) {
  return "<img class=\"" + cls + "\"" + attributes + " alt=\"" + label + "\" style=\"width:" +
         fixed1(width) + "px;height:" + fixed1(height) + "px" +
         (pixelated ? ";image-rendering:pixelated" : "") + "\" src=\"data:image/png;base64," +
         base64(png) + "\"/>";
}

std::string map_picture(const std::string& png, std::uint32_t rows, std::uint32_t cols,
                        const box& b, const std::string& label, const std::string& overlay) {
  std::string out = "<div class=\"pic\" style=\"width:" + fixed1(b.width) + "px;height:" +
                    fixed1(b.height) + "px\">";
  out += png_img(png, "cells", b.width, b.height, label, true,
                 " data-rows=\"" + int_text(rows) + "\" data-cols=\"" + int_text(cols) + "\"");
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"heat\" width=\"" + fixed1(b.width) +
         "\" height=\"" + fixed1(b.height) + "\" viewBox=\"0 0 " + fixed1(b.width) + " " +
         fixed1(b.height) + "\" aria-hidden=\"true\">";
  out += overlay;
  out += "<rect x=\"0\" y=\"0\" width=\"" + fixed1(b.width) + "\" height=\"" + fixed1(b.height) +
         "\" fill=\"none\" stroke=\"#444\"/></svg></div>";
  return out;
}

std::string draw_heat_map(const heat_map& map, std::uint32_t rows, std::uint32_t cols,
                          const std::string& legend_id, value_range range) {
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
  std::string counts;
  if (!map.counts.empty()) {
    const double font = std::min(14.0, b.cell * 0.45);
    for (std::uint32_t r = 0; r < rows; ++r) {
      for (std::uint32_t c = 0; c < cols; ++c) {
        const std::size_t n = std::size_t{r} * cols + c;
        if (map.counts[n] == 0) continue;
        const bool dark = indices[n] > scale_steps / 2;
        counts += "<text x=\"" + fixed1((c + 0.5) * b.cell) + "\" y=\"" + fixed1((r + 0.5) * b.cell) +
               "\" font-size=\"" + fixed1(font) + "\" fill=\"" + (dark ? "#fff" : "#000") + "\">" +
               int_text(map.counts[n]) + "</text>";
      }
    }
  }
  std::string out = "<figure>";
  out += map_picture(encode_png_indexed(cols, rows, indices, palette), rows, cols, b, map.label,
                     counts + map.overlay);
  out += "<figcaption>" + (map.caption.empty() ? map.label : map.caption) + "</figcaption>";
  out += legend(legend_id, *map.scale, range, std::max(120.0, std::min(b.width, 300.0)), with_nan);
  out += "</figure>";
  return out;
}

std::string percent_text(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0) return "-";
  return fixed1(100.0 * static_cast<double>(part) / static_cast<double>(whole)) + " %";
}

double tick_step(double span) {
  const double raw = span / 5.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / power;
  return (f < 1.5 ? 1.0 : f < 3.0 ? 2.0 : f < 7.0 ? 5.0 : 10.0) * power;
}

}  // namespace som
