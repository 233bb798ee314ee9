#include "mapping/placing.hpp"

#include <cmath>
#include <limits>

#include "common/file_names.hpp"
#include "common/messages.hpp"
#include "common/output_file.hpp"
#include "som/map/best_two.hpp"

namespace som {

namespace {

bool writable(std::string_view label) { return label.find_first_of("\t\r") == std::string_view::npos; }

// `where`: "souboru <name>", or "sloupci <name>" of a table.
std::string unwritable_message(std::string_view label, const std::string& where) {
  return "Popisek \"" + std::string(label) + "\" v " + where +
         " obsahuje tabulator nebo znak CR, ktere soubor " + placement_file_name +
         " v popisku nedovoli, " + placing_not_done + ".\n";
}

}  // namespace

std::string unwritable_label(const trained_map& map, const new_samples& input) {
  for (std::size_t i = 0; i < map.labels.names.size(); ++i) {
    const std::string_view label = map.labels.names[i];
    if (!writable(label)) return unwritable_message(label, std::string("souboru ") + labels_file_name);
  }
  if (input.true_labels) {
    for (const std::string& label : *input.true_labels)
      if (!writable(label)) return unwritable_message(label, input.true_labels_source);
  }
  return {};
}

placement_table place_samples(const trained_map& map, const new_samples& input,
                              const std::vector<std::uint32_t>& clusters) {
  const weight_grid& grid = *map.grid;
  const sample_matrix& samples = *input.samples;
  placement_table table;
  table.labels = map.labels.present;
  table.clusters = !clusters.empty();
  table.true_labels = input.true_labels.has_value();
  table.rows.resize(samples.count);
  const best_two_finder finder(grid);
  for (std::uint32_t s = 0; s < samples.count; ++s) {
    const best_two units = finder.find(samples.row(s));
    placement& row = table.rows[s];
    row.unit = units.best;
    // No neuron at a distance below the largest double: the sample is out
    // of the doubles' reach (its squared distances overflow).
    row.distance = units.best_distance < std::numeric_limits<double>::max()
                       ? std::sqrt(units.best_distance)
                       : std::numeric_limits<double>::infinity();
    row.neighbour = !units.has_second || grid_neighbours(units.best, units.second);
    const std::size_t n = std::size_t{units.best.row} * grid.map_cols + units.best.col;
    if (table.labels) {
      const unit_label& label = map.neuron_labels[n];
      if (label.label != no_label) row.label = map.labels.names[label.label];
      row.borrowed = label.borrowed;
    }
    if (table.clusters) row.cluster = clusters[n];
    if (table.true_labels) row.true_label = (*input.true_labels)[s];
  }
  return table;
}

std::string save_placements(const placement_table& table) {
  output_file out;
  if (!open_output(out, placement_file_name)) return open_failed_message(placement_file_name);
  byte_sink sink = output_sink(out);
  if (!write_placements(table, sink)) {
    discard_output(out);
    return std::string(write_failed_text) + "\n";
  }
  if (!commit_output(out)) return close_failed_message(placement_file_name);
  return {};
}

}  // namespace som
