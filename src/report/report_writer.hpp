// One report of the working folder: read the run, build the page and put it
// in place of report.html in one step (a temporary file of this report's own
// renamed over it), so that a browser reloading the page never reads half of
// it, and reports written at the same time never meet.
#pragma once

#include <cstdio>
#include <string>

#include "report/codebook_picture.hpp"
#include "report/run_files.hpp"
#include "report/time_left.hpp"

namespace som {

enum class report_outcome {
  finished,          // report.html shows a finished run
  in_progress,       // report.html shows a run still training
  save_interrupted,  // report.html says that a save was cut off, with the log
  not_started,       // no run has begun training here; nothing written
  failed,            // a message has been printed; report.html is as it was
};

// Writes report.html; the saved map is read through `map` (see load_run),
// with popisky.txt where it is there. `shape`, when given, draws the
// neurons' weights as images of that shape (its pixels must be the
// dimension). For a run in progress, `progress` receives its
// "Epocha K z N (P %)"; a watch passes its `pace`, which this look is added
// to, and then the page and `progress` also say how long the run still needs
// (", zbyva asi 3 min"). `clusters` (--shluky K, 0 for none) draws the
// map's clusters; more than the map has neurons is refused. Where
// zarazeni.txt is there, the page shows som_map's new samples.
report_outcome write_report(std::FILE* console, saved_map_bytes& map, std::string& progress,
                            image_shape shape = {}, pace_history* pace = nullptr,
                            std::uint32_t clusters = 0);

// The message for a shape whose pixels are not the samples' dimension.
std::string shape_mismatch_message(image_shape shape, std::uint32_t dimension);

}  // namespace som
