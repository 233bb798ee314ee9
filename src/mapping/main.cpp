// som_map: run in the folder of a trained map, it places new samples on the
// map. For each sample, in the order of its file, zarazeni.txt gets its
// best-matching neuron, the distance to it, whether the second-best neuron
// is a direct neighbour, and where the map has them the label and cluster
// of that neuron; the console gets how many were placed, how well they fit,
// and with true labels the accuracy and the confusion matrix. The map is
// read under the folder's lock taken shared and never changed: som_map
// writes nothing but zarazeni.txt. --version prints the release's version
// (SOM_VERSION, set by the build from the project's version).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/console_window.hpp"
#include "common/messages.hpp"
#include "common/platform.hpp"
#include "common/text_format.hpp"
#include "formats/placement_summary.hpp"
#include "mapping/mapping_console.hpp"
#include "mapping/new_samples.hpp"
#include "mapping/new_table.hpp"
#include "mapping/placing.hpp"
#include "mapping/trained_map.hpp"
#include "som/map/map_clusters.hpp"
#include "state/map_reading.hpp"
#include "state/run_lock.hpp"
#include "table/table_options.hpp"

namespace {

constexpr const char* usage =
    "Pouziti: som_map SOUBOR [--popisky SOUBOR|SLOUPEC] [--shluky K] "
    "[--hlavicka ano|ne] [--oddelovac carka|strednik|tabulator|mezery] [--desetinna tecka|carka]";

struct options {
  std::string input;
  // --popisky as the system gave it (a file's path) and in UTF-8 (a
  // table's column, matched against its names).
  std::optional<std::string> labels;
  std::optional<std::string> labels_utf8;
  std::uint32_t clusters = 0;    // 0: none asked for
  som::dialect_request dialect;  // of a table
};

int place(std::FILE* console, const options& given) {
  std::string message;
  auto fail = [&] {
    som::print(console, message);
    return 1;
  };
  // Held to the end: no run can start, and so none can save a new map,
  // until zarazeni.txt is written.
  const som::reader_lock lock(true);
  message = som::check_map_at_rest(lock);
  if (!message.empty()) return fail();
  som::trained_map map;
  message = som::read_trained_map(map);
  if (!message.empty()) return fail();
  message = som::message_of(som::cluster_count_refusal(given.clusters, map.grid->neurons));
  if (!message.empty()) return fail();
  som::new_samples input;
  if (map.columns.present) {
    message = som::read_table_samples(given.input, map.columns.columns, given.dialect,
                                      given.labels_utf8, input);
  } else {
    message = som::read_new_samples(given.input, map.setup.dimension, given.labels, input);
  }
  if (!message.empty()) return fail();
  message = som::unwritable_label(map, input);
  if (!message.empty()) return fail();

  std::vector<std::uint32_t> clusters;
  if (given.clusters != 0) clusters = som::map_clusters(*map.grid, given.clusters);
  const som::placement_table table = som::place_samples(map, input, clusters);
  input.samples.reset();
  message = som::save_placements(table);
  if (!message.empty()) return fail();
  som::print(console, som::placing_report(table, som::summarize_placements(table), given.input,
                                          map.setup.map_rows, map.setup.map_cols, given.clusters));
  return 0;
}

int map_main(int argc, char** argv) {
  std::FILE* console = stdout;
  options given;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    const bool has_value = i + 1 < argc;
    if (argument == "--version") {
      som::print_line(console, "som_map " SOM_VERSION);
      return 0;
    } else if (argument == "--popisky" && has_value && !given.labels) {
      given.labels = argv[++i];
      given.labels_utf8 = som::argument_as_utf8(argv[i]);
    } else if (argument == "--shluky" && has_value &&
               som::parse_cluster_count(argv[i + 1], given.clusters)) {
      ++i;
    } else if (has_value && som::read_dialect_option(argument, argv[i + 1], given.dialect)) {
      ++i;
    } else if (given.input.empty() && !argument.empty() && !argument.starts_with("--")) {
      given.input = argument;
    } else {
      som::print_line(console, "Neznamy argument " + som::argument_as_utf8(argv[i]) + ". " + usage);
      return 1;
    }
  }
  if (given.input.empty()) {
    som::print_line(console, std::string("Chybi soubor se vzorky. ") + usage);
    return 1;
  }
  const std::string conflict = som::dialect_conflict(given.dialect);
  if (!conflict.empty()) {
    som::print_line(console, conflict);
    return 1;
  }
  return place(console, given);
}

}  // namespace

int main(int argc, char** argv) {
  return som::finish_console_program(
      som::with_memory_guard(stdout, [&] { return map_main(argc, argv); }));
}
