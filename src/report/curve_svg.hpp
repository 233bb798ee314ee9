// The training curves: one value per epoch, drawn against the step counter
// on a logarithmic axis. The radius falls as 1/t, so on a linear axis most of
// a schedule would be squeezed against its left edge.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace som {

// The most points drawn per curve (see curve_points).
inline constexpr std::size_t max_curve_points = 2000;

// The indices of the points of a curve worth drawing, where value i stands
// at x = first_x + i on a logarithmic axis that ends at x_end: all of them up
// to `limit` (at least 4); otherwise the first, the last and, in each of
// (limit - 2) / 2 equally wide stretches of the axis, the lowest and the
// highest point (values that are not finite are never chosen as extremes),
// in increasing order. The stretches are equal on the screen, so the early
// epochs, which the axis spreads wide, keep all their points.
std::vector<std::size_t> curve_points(const std::vector<double>& values, std::size_t limit,
                                      double first_x, double x_end);

// The x values at which the axis from x_low to x_high gets a labelled tick:
// powers of ten; 1, 2 and 5 times them; or every digit times them, whichever
// first gives at least three; evenly spaced "nice" values when even the digits
// give fewer (a stretch well inside one decade).
std::vector<double> log_ticks(double x_low, double x_high);

// The size of a chart, in pixels.
inline constexpr double curve_width = 900.0, curve_height = 230.0;

// One line chart as an SVG element: value i at x = first_x + i (first_x at
// least 1), the axis running from first_x to at least x_end; the line breaks
// where a value is not a number.
std::string draw_curve(const std::string& title, const std::string& x_label, double first_x,
                       double x_end, const std::vector<double>& values, const char* colour);

}  // namespace som
