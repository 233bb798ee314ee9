// report.html: one self-contained page (inline SVG and CSS) with the pictures
// and figures of a finished run.
//
// Every heat map (U-matrix, hits, component planes, the colours of the
// weights) is one SVG <image> holding an inline PNG with exactly one pixel per
// neuron (width map_cols, height map_rows, row 0 at the top), scaled up with
// crisp edges. A 200 x 200 map thus costs one small picture per heat map, not
// 40000 SVG elements.
#pragma once

#include <cstddef>
#include <string>

#include "report/run_files.hpp"

namespace som {

inline constexpr const char* report_file_name = "report.html";

// The most component planes drawn; the page says when there are more.
inline constexpr std::uint32_t max_component_planes = 16;

// The most points drawn per training curve (see curve_points).
inline constexpr std::size_t max_curve_points = 2000;

// Formats a double with std::to_chars in general notation (locale-independent).
std::string number_text(double value, int precision);

std::string render_report(const run_state& run);

}  // namespace som
