// som_report: run in the folder of a training run, it writes report.html with
// the pictures and figures of the map; while the run is still training, with
// how far it has got. With --watch it keeps the page up to date until the
// run has ended. --version prints the release's version (SOM_VERSION, set
// by the build from the project's version).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "common/console_window.hpp"
#include "common/file_names.hpp"
#include "common/messages.hpp"
#include "report/report_html.hpp"
#include "report/report_writer.hpp"
#include "report/run_phase.hpp"
#include "state/map_reading.hpp"

namespace {

using clock_type = std::chrono::steady_clock;

// The least time between two pages while a run goes on, and how often the
// folder is looked at for a change.
constexpr auto least_pause = std::chrono::seconds(2);
constexpr auto look_interval = std::chrono::milliseconds(250);
// How long the saved map's files must stand still before they are read.
constexpr auto map_settling = std::chrono::seconds(1);

std::string written_message() {
  return std::string("Prehled mapy je v souboru ") + som::report_file_name + ".";
}

int report_once(std::FILE* console, som::image_shape shape, std::uint32_t clusters) {
  som::saved_map_bytes map;
  std::string progress;
  switch (som::write_report(console, map, progress, shape, nullptr, clusters)) {
    case som::report_outcome::finished: break;
    case som::report_outcome::in_progress:
      som::print_line(console, "Trenovani probiha: " + progress + ".");
      break;
    case som::report_outcome::save_interrupted:
      som::print_line(console, som::save_interrupted_text);
      break;
    case som::report_outcome::not_started:
      som::print(console, som::open_failed_message(som::training_log_file_name));
      return 1;
    case som::report_outcome::failed: return 1;
  }
  som::print_line(console, written_message());
  return 0;
}

// Rewrites the page whenever the run's files have changed, at most every
// couple of seconds and never taking more than a tenth of the time (a large
// map's page takes a while, and the run needs the processor more), until the
// page shows the finished run. A new saved map (the run has ended) is shown
// as soon as its files have stood still for a second: som_train renames its
// three files one after the other, and none of them may be open here while
// it does (Windows cannot rename over a file that is open). The saved map is
// read once per change, not for every page.
int watch(std::FILE* console, som::image_shape shape, std::uint32_t clusters) {
  som::saved_map_bytes map;
  bool first = true;
  bool said_waiting = false;
  som::folder_stamp written;  // what the folder looked like at the last page
  som::folder_stamp seen = som::stamp_folder();
  auto map_still_since = clock_type::now();
  auto next_page = clock_type::now();
  std::string last_progress;
  som::pace_history pace;
  for (;;) {
    const som::folder_stamp stamp = som::stamp_folder();
    const auto now = clock_type::now();
    if (!(stamp.map == seen.map)) map_still_since = now;
    seen = stamp;
    const bool map_still = now - map_still_since >= map_settling;
    const bool map_changed = !(stamp.map == written.map);
    const bool due = first || map_changed || (!(stamp == written) && now >= next_page);
    if (due && map_still) {
      std::string progress;
      const som::report_outcome outcome = som::write_report(console, map, progress, shape, &pace, clusters);
      const auto took = clock_type::now() - now;
      switch (outcome) {
        case som::report_outcome::failed: return 1;
        case som::report_outcome::finished:
          som::print_line(console, "Trenovani skoncilo. " + written_message());
          return 0;
        case som::report_outcome::save_interrupted:
          // Nothing changes here until som_train runs again.
          som::print_line(console, som::save_interrupted_text);
          som::print_line(console, written_message());
          return 0;
        case som::report_outcome::not_started:
          if (!said_waiting) {
            som::print_line(console, "Cekam, az trenovani zacne zapisovat trenovani.txt.");
            said_waiting = true;
          }
          break;
        case som::report_outcome::in_progress:
          if (progress != last_progress) {
            som::print_line(console, progress);
            last_progress = progress;
          }
          break;
      }
      std::fflush(console);
      first = false;
      written = stamp;
      next_page = clock_type::now() + std::max<clock_type::duration>(least_pause, took * 10);
    }
    std::this_thread::sleep_for(look_interval);
  }
}

int report_main(int argc, char** argv) {
  std::FILE* console = stdout;
  bool watching = false;
  som::image_shape shape;
  std::uint32_t clusters = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--watch") {
      watching = true;
    } else if (std::string_view(argv[i]) == "--version") {
      som::print_line(console, "som_report " SOM_VERSION);
      return 0;
    } else if (std::string_view(argv[i]) == "--obraz" && i + 1 < argc &&
               som::parse_image_shape(argv[i + 1], shape)) {
      ++i;
    } else if (std::string_view(argv[i]) == "--shluky" && i + 1 < argc &&
               som::parse_cluster_count(argv[i + 1], clusters)) {
      ++i;
    } else {
      som::print_line(console, std::string("Neznamy argument ") + argv[i] +
                                   ". Pouziti: som_report [--watch] [--obraz SIRKAxVYSKA] [--shluky K]");
      return 1;
    }
  }
  return watching ? watch(console, shape, clusters) : report_once(console, shape, clusters);
}

}  // namespace

int main(int argc, char** argv) {
  return som::finish_console_program(
      som::with_memory_guard(stdout, [&] { return report_main(argc, argv); }));
}
