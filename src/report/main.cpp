// som_report: run in the folder of a training run, it writes report.html with
// the pictures and figures of the map; while the run is still training, with
// how far it has got. With --watch it keeps the page up to date until the
// run has ended.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "common/file_names.hpp"
#include "common/messages.hpp"
#include "report/report_html.hpp"
#include "report/report_writer.hpp"
#include "report/run_phase.hpp"

namespace {

using clock_type = std::chrono::steady_clock;

// The least time between two pages while a run goes on, and how often the
// folder is looked at for a change.
constexpr auto least_pause = std::chrono::seconds(2);
constexpr auto look_interval = std::chrono::milliseconds(250);

std::string written_message() {
  return std::string("Prehled mapy je v souboru ") + som::report_file_name + ".";
}

int report_once(std::FILE* console) {
  std::string progress;
  switch (som::write_report(console, progress)) {
    case som::report_outcome::finished: break;
    case som::report_outcome::in_progress:
      som::print_line(console, "Trenovani probiha: " + progress + ".");
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
// page shows the finished run. A new saved map (the run has ended, or is
// saving) is shown at once.
int watch(std::FILE* console) {
  bool first = true;
  bool said_waiting = false;
  som::folder_stamp last;
  std::string last_progress;
  auto next_page = clock_type::now();
  for (;;) {
    const som::folder_stamp stamp = som::stamp_folder();
    const bool map_changed = !first && !(stamp.map == last.map);
    if (first || map_changed || (!(stamp == last) && clock_type::now() >= next_page)) {
      const auto started = clock_type::now();
      std::string progress;
      const som::report_outcome outcome = som::write_report(console, progress);
      const auto took = clock_type::now() - started;
      switch (outcome) {
        case som::report_outcome::failed: return 1;
        case som::report_outcome::finished:
          som::print_line(console, "Trenovani skoncilo. " + written_message());
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
      last = stamp;
      next_page = clock_type::now() + std::max<clock_type::duration>(least_pause, took * 10);
    }
    std::this_thread::sleep_for(look_interval);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::FILE* console = stdout;
  bool watching = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--watch") {
      watching = true;
    } else {
      som::print_line(
          console, std::string("Neznamy argument ") + argv[i] + ". Pouziti: som_report [--watch]");
      return 1;
    }
  }
  return watching ? watch(console) : report_once(console);
}
