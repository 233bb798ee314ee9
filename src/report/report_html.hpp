// report.html: one self-contained page (inline SVG and CSS, nothing fetched)
// with the pictures and figures of a run: a finished one, or one still
// training, whose page shows how far it has got and reloads itself.
#pragma once

#include <cstdint>
#include <string>

#include "report/run_files.hpp"

namespace som {

inline constexpr const char* report_file_name = "report.html";

// The most component planes drawn; the page says when there are more.
inline constexpr std::uint32_t max_component_planes = 16;

// How often the page of a run in progress reloads itself, in seconds.
inline constexpr int page_refresh_seconds = 5;

std::string render_report(const run_state& run);

}  // namespace som
