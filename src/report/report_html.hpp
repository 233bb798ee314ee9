// report.html: one self-contained page (inline SVG and CSS, nothing fetched)
// with the pictures and figures of a run: a finished one, or one still
// training, whose page shows how far it has got and reloads itself.
#pragma once

#include <cstdint>
#include <string>

#include "formats/labels_file.hpp"
#include "formats/placement_file.hpp"
#include "report/codebook_picture.hpp"
#include "report/data_columns.hpp"
#include "report/run_files.hpp"

namespace som {

inline constexpr const char* report_file_name = "report.html";

// How often the page of a run in progress reloads itself, in seconds.
inline constexpr int page_refresh_seconds = 5;

// What the page shows beyond the run's own files: the labels of popisky.txt
// (when `labels` is there and present) and the samples' shape as an image.
// For a run in progress, whether a watch writes the page, and the time it
// estimates is left ("zbyva asi 3 min"; empty while it knows no pace). The
// columns of sloupce.txt (when `columns` is there and present) name the
// components and give their units; `folder` is the name of the run's
// folder, for the page's title (none when empty).
struct page_extras {
  const sample_labels* labels = nullptr;
  image_shape shape;
  bool watched = false;
  std::string time_left;
  const data_columns* columns = nullptr;
  std::string folder;
  // --shluky K: the map's clusters (som/map/map_clusters.hpp), their borders
  // and their table; 0 for none.
  std::uint32_t clusters = 0;
  // zarazeni.txt, where it is there: read (`placements`), or a line of it
  // that is not its format (`placements_bad_line`, 0 when it could not be
  // read at all).
  bool placements_present = false;
  const placement_table* placements = nullptr;
  std::uint64_t placements_bad_line = 0;
};

std::string render_report(const run_state& run, const page_extras& extras = {});

}  // namespace som
