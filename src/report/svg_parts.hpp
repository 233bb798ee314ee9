// The pieces every picture of the report is made of: number formats that
// do not depend on the locale, colour scales, SVG frames and the heat maps.
//
// Every heat map (U-matrix, hits, component planes, the colours of the
// weights, the labels) is one <img> holding an inline PNG with exactly one
// pixel per neuron (width map_cols, height map_rows, row 0 at the top),
// scaled up with crisp edges, under an SVG with its frame (and the hit
// counts). A 200 x 200 map thus costs one small picture per heat map, not
// 40000 SVG elements, and being an <img> the browser can save or copy it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "report/png_image.hpp"

namespace som {

std::string int_text(std::uint64_t value);

// One digit after the point, for SVG coordinates and sizes.
std::string fixed1(double value);

// The share as a percentage with one decimal ("93.5 %"), "-" of nothing.
std::string percent_text(std::uint64_t part, std::uint64_t whole);

// std::to_chars in general notation with `precision` significant digits.
std::string number_text(double value, int precision);

// A colour scale: colours at evenly spaced points from 0 to 1.
using colour_scale = std::vector<rgb>;
extern const colour_scale viridis;
extern const colour_scale blues;

std::string hex(rgb c);

struct value_range {
  double low = 0.0;
  double high = 0.0;
  bool any = false;  // at least one finite value
};

// The lowest and highest finite value; a spread at the level of rounding
// counts as none.
value_range finite_range(const std::vector<double>& values);

// Screen size of a map picture whose longer side is `longest` pixels.
struct box {
  double width;
  double height;
  double cell;
};
box map_box(std::uint32_t rows, std::uint32_t cols, double longest);

std::string svg_open(const std::string& cls, double width, double height, const std::string& label);

// A picture drawn as SVG (the curves, the data space), put on the page as an
// <img> of class `cls` with the SVG inline in its address, so that the
// browser can save or copy it as it can a photo; an SVG within the page it
// cannot. `svg` is a whole <svg> element from svg_open; the style sheet of
// the pictures goes into it, since the page's own does not reach into an
// image. `label` is the image's text (html_text() already applied).
std::string svg_img(const std::string& svg, const std::string& cls, double width, double height,
                    const std::string& label);

// An inline PNG as an <img> of class `cls` shown on `width` × `height`
// pixels, with `label` as its text (html_text() already applied); pixelated:
// each pixel a crisp square.
std::string png_img(const std::string& png, const std::string& cls, double width, double height,
                    const std::string& label, bool pixelated, const std::string& attributes = {});

// A map picture with one pixel per neuron, shown on box `b`: the <img> and,
// over it, an SVG with the frame and `overlay` (SVG elements in the box's
// coordinates). The SVG lets the pointer through, so that the browser's menu
// on the picture is that of the image.
std::string map_picture(const std::string& png, std::uint32_t rows, std::uint32_t cols, const box& b,
                        const std::string& label, const std::string& overlay = {});

struct heat_map {
  std::string label;  // the caption, HTML (html_text() already applied)
  const colour_scale* scale;
  std::vector<double> values;         // row-major
  double longest;                     // screen size of the longer side
  std::vector<std::uint32_t> counts;  // drawn into the cells when not empty
  std::string caption;                // HTML under the picture; the label when empty
  std::string overlay;                // more SVG over the picture (the clusters' borders)
};

// A <figure> with the map, its caption and its colour bar from range.low
// (palette entry 0) to range.high (entry 254); values that are not numbers
// are grey.
std::string draw_heat_map(const heat_map& map, std::uint32_t rows, std::uint32_t cols,
                          const std::string& legend_id, value_range range);

// A "nice" step (1, 2 or 5 times a power of ten) near span / 5.
double tick_step(double span);

}  // namespace som
