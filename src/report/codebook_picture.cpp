#include "report/codebook_picture.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "report/html_text.hpp"
#include "report/png_image.hpp"
#include "report/scale_numbers.hpp"
#include "report/svg_parts.hpp"

namespace som {

namespace {

// The palette of an image picture: greys 0 (white) to 250 (black), then
// the cells' borders and weights that are not numbers.
constexpr std::uint8_t darkest = 250;
constexpr rgb border_colour = {205, 214, 230};
constexpr rgb line_colour = {31, 95, 168};
constexpr rgb not_a_number_colour = {220, 40, 40};

std::vector<rgb> image_palette() {
  std::vector<rgb> out;
  for (int i = 0; i <= darkest; ++i) {
    const auto v = static_cast<std::uint8_t>(255 - (255 * i + darkest / 2) / darkest);
    out.push_back({v, v, v});
  }
  out.push_back(border_colour);
  out.push_back(not_a_number_colour);
  return out;
}

// A profile picture needs four colours: two bits a pixel.
const std::vector<rgb> profile_palette = {
    {255, 255, 255}, border_colour, line_colour, not_a_number_colour};

struct pens {
  std::uint8_t border, line, not_a_number;
};
constexpr pens image_pens = {darkest + 1, 0, darkest + 2};
constexpr pens profile_pens = {1, 2, 3};

value_range weight_range(const weight_grid& grid, std::uint32_t components) {
  std::vector<double> values;
  values.reserve(grid.neurons * components);
  for (std::size_t n = 0; n < grid.neurons; ++n)
    for (std::uint32_t k = 0; k < components; ++k) values.push_back(grid.at(n, k));
  return finite_range(values);
}

// Where a weight lies between the range's ends, 0 to 1.
double position(double w, const value_range& range) {
  if (!(range.high > range.low)) return 0.5;
  return std::clamp((w - range.low) / (range.high - range.low), 0.0, 1.0);
}

// Pixels of one profile cell: the picture about as large as it is shown
// (`map_side`), at least 4 pixels a cell and at most 64.
std::uint32_t profile_cell(const weight_grid& grid, double map_side) {
  const double longest = std::max(grid.map_rows, grid.map_cols);
  return static_cast<std::uint32_t>(std::clamp(std::floor(map_side / longest) - 1.0, 4.0, 64.0));
}

}  // namespace

bool parse_image_shape(const std::string& text, image_shape& shape) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  auto number = [](const char* from, const char* to, std::uint32_t& out) {
    if (from == to || *from < '0' || *from > '9') return false;
    const auto result = std::from_chars(from, to, out);
    return result.ec == std::errc() && result.ptr == to && out != 0;
  };
  image_shape parsed;
  if (!number(text.data(), text.data() + x, parsed.width) ||
      !number(text.data() + x + 1, text.data() + text.size(), parsed.height))
    return false;
  if (std::uint64_t{parsed.width} * parsed.height > 0xFFFFFFFFu) return false;
  shape = parsed;
  return true;
}

codebook_png draw_codebook(const weight_grid& grid, image_shape shape, double map_side) {
  codebook_png out;
  const std::uint32_t rows = grid.map_rows, cols = grid.map_cols;
  const std::uint32_t components =
      shape.given() ? grid.dimension : std::min(grid.dimension, max_profile_components);
  const value_range range = weight_range(grid, components);
  // Each cell with a border of one pixel on its right and lower side, and
  // one along the picture's left and top edge.
  const std::uint32_t cell_w = shape.given() ? shape.width : profile_cell(grid, map_side);
  const std::uint32_t cell_h = shape.given() ? shape.height : cell_w;
  out.width = cols * (cell_w + 1) + 1;
  out.height = rows * (cell_h + 1) + 1;
  out.pixelated = shape.given();
  const pens pen = shape.given() ? image_pens : profile_pens;
  std::vector<std::uint8_t> pixels(std::size_t{out.width} * out.height, 0);
  for (std::uint32_t y = 0; y < out.height; ++y)
    for (std::uint32_t x = 0; x < out.width; ++x)
      if (x % (cell_w + 1) == 0 || y % (cell_h + 1) == 0)
        pixels[std::size_t{y} * out.width + x] = pen.border;

  auto put = [&](std::uint32_t x, std::uint32_t y, std::uint8_t value) {
    pixels[std::size_t{y} * out.width + x] = value;
  };
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::uint32_t c = 0; c < cols; ++c) {
      const std::size_t n = std::size_t{r} * cols + c;
      const std::uint32_t x0 = c * (cell_w + 1) + 1, y0 = r * (cell_h + 1) + 1;
      if (shape.given()) {
        for (std::uint32_t k = 0; k < components; ++k) {
          const double w = grid.at(n, k);
          const std::uint8_t grey =
              std::isfinite(w) ? static_cast<std::uint8_t>(std::lround(position(w, range) * darkest))
                               : pen.not_a_number;
          put(x0 + k % shape.width, y0 + k / shape.width, grey);
        }
        continue;
      }
      // The profile: component k at a column of its own, joined to the next.
      const double span_x = components > 1 ? static_cast<double>(cell_w - 1) / (components - 1) : 0.0;
      double last_x = 0.0, last_y = 0.0;
      bool joined = false;
      for (std::uint32_t k = 0; k < components; ++k) {
        const double w = grid.at(n, k);
        if (!std::isfinite(w)) {
          put(x0 + static_cast<std::uint32_t>(std::lround(k * span_x)), y0 + cell_h / 2, pen.not_a_number);
          joined = false;
          continue;
        }
        const double px = components > 1 ? k * span_x : static_cast<double>(cell_w - 1);
        const double py = (1.0 - position(w, range)) * (cell_h - 1);
        const double from_x = joined ? last_x : (components > 1 ? px : 0.0);
        const double from_y = joined ? last_y : py;
        const int steps = static_cast<int>(
            std::ceil(std::max(std::abs(px - from_x), std::abs(py - from_y)))) + 1;
        for (int i = 0; i <= steps; ++i) {
          const double t = static_cast<double>(i) / steps;
          put(x0 + static_cast<std::uint32_t>(std::lround(from_x + (px - from_x) * t)),
              y0 + static_cast<std::uint32_t>(std::lround(from_y + (py - from_y) * t)), pen.line);
        }
        last_x = px;
        last_y = py;
        joined = true;
      }
    }
  }
  out.png = shape.given() ? encode_png_indexed(out.width, out.height, pixels, image_palette())
                          : encode_png_indexed(out.width, out.height, pixels, profile_palette, 2);
  return out;
}

std::string codebook_section(const weight_grid& grid, image_shape shape, double map_side,
                             const data_columns* columns) {
  std::string out = "<section id=\"vahy\"><h2>Vahy neuronu</h2><p class=\"note\">";
  const std::uint32_t components =
      shape.given() ? grid.dimension : std::min(grid.dimension, max_profile_components);
  if (grid.dimension == 0) return out + "Vektory nemaji zadnou slozku.</p></section>\n";
  // Images in the table's units: the weights as the table's values.
  const bool table_images = shape.given() && in_table_units(columns);
  std::vector<double> table_weights;
  weight_grid table_grid = grid;
  if (table_images) {
    table_weights.resize(grid.neurons * grid.dimension);
    for (std::size_t n = 0; n < grid.neurons; ++n)
      for (std::uint32_t k = 0; k < grid.dimension; ++k)
        table_weights[n * grid.dimension + k] = table_value(columns, k, grid.at(n, k));
    table_grid.block = table_weights.data();
    table_grid.lanes = 1;
    table_grid.tiles = grid.neurons;
  }
  const weight_grid& drawn = table_images ? table_grid : grid;
  const value_range range = weight_range(drawn, components);
  const double span = range.high - range.low;
  const std::string low = scale_number(range.low, span), high = scale_number(range.high, span);
  if (shape.given()) {
    out += "Vahy kazdeho neuronu jako obrazek " + int_text(shape.width) + " x " +
           int_text(shape.height) + " (som_report --obraz), po radcich; bila je nejnizsi vaha mapy (" +
           low + "), cerna nejvyssi (" + high + ")";
    out += table_images ? ", v jednotkach tabulky (vaha x meritko + stred ze souboru sloupce.txt)."
                        : ".";
  } else {
    out += "Vahy kazdeho neuronu jako krivka: slozky zleva doprava, vsechny neurony ve spolecne "
           "skale od " + low + " (dole) do " + high + " (nahore)";
    out += in_table_units(columns)
               ? " v hodnotach data.txt, ve kterych se mapa ucila; co znamenaji v jednotkach "
                 "tabulky, rika tabulka pod obrazkem."
               : ".";
    if (grid.dimension > components) {
      out += " Zobrazeno prvnich " + int_text(components) + " slozek z " + int_text(grid.dimension) + ".";
    }
    out += " Jsou-li vzorky obrazky, ukaze je som_report --obraz SIRKAxVYSKA (sirka x vyska = dimenze).";
  }
  out += " Cervena: vaha neni cislo.</p>";
  const codebook_png picture = draw_codebook(drawn, shape, map_side);
  // The picture keeps its cells square (images: their pixels square) within
  // the map's usual size.
  const double scale = map_side / std::max(picture.width, picture.height);
  const double width = picture.width * scale, height = picture.height * scale;
  out += "<figure><div class=\"pic\">";
  out += png_img(picture.png, "codebook", width, height, "Vahy neuronu", picture.pixelated);
  out += "</div><figcaption>Vahy neuronu</figcaption></figure>";
  if (!shape.given() && in_table_units(columns)) {
    // What the bottom and the top of each profile's scale are in the table.
    out += "<table class=\"components\"><tr><th>Slozka</th><th>Sloupec</th><th>Dole</th>"
           "<th>Nahore</th></tr>";
    for (std::uint32_t k = 0; k < components; ++k) {
      const double bottom = table_value(columns, k, range.low);
      const double top = table_value(columns, k, range.high);
      const double column_span = top - bottom;
      out += "<tr><td class=\"n\">" + int_text(k + 1) + "</td><td>" +
             html_text(component_name(columns, k)) + "</td><td class=\"n\">" +
             scale_number(bottom, column_span) + "</td><td class=\"n\">" +
             scale_number(top, column_span) + "</td></tr>";
    }
    out += "</table>";
  }
  return out + "</section>\n";
}

}  // namespace som
