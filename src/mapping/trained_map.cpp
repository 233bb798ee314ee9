#include "mapping/trained_map.hpp"

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/platform.hpp"
#include "formats/sample_data.hpp"
#include "formats/sample_lines.hpp"
#include "formats/text_encoding.hpp"
#include "state/map_reading.hpp"

namespace som {

namespace {

std::string out_of_memory_line() { return std::string(out_of_memory_text) + "\n"; }

std::string read_weights_file(trained_map& map) {
  const setup_params& setup = map.setup;
  if (!run_sizes_fit(0, setup.dimension, setup.map_rows, setup.map_cols, 1))
    return out_of_memory_line();
  map.grid = alloc_weight_grid(setup.map_rows, setup.map_cols, setup.dimension, 1);
  if (allocation_failed(*map.grid)) return out_of_memory_line();
  std::string bytes;
  const std::string message =
      file_read_message(read_whole_file(weights_file_name, bytes), weights_file_name);
  if (!message.empty()) return message;
  return message_of(parse_saved_weights(bytes, *map.grid));
}

// The labels of the training samples on their neurons: data.txt's count,
// the assignments of vystup.txt and popisky.txt.
std::string read_training_labels(trained_map& map) {
  const std::uint32_t dimension = map.setup.dimension;
  sample_lines lines;
  std::string message = message_of(read_input_file(data_file_name, [&](byte_reader& reader) {
    failure refusal = begin_text(reader, data_file_name);
    if (!refusal) lines = scan_sample_lines(reader, dimension);
    return refusal;
  }));
  if (!message.empty()) return message;
  if (lines.misshapen_line != 0) return misshapen_sample_message(lines.misshapen_line, dimension);
  message = message_of(read_labels_file(lines.count, map.labels));
  if (!message.empty()) return message;

  owned_assignments assignments = alloc_assignment_table(lines.count);
  if (allocation_failed(*assignments)) return out_of_memory_line();
  std::string bytes;
  message = file_read_message(read_whole_file(assignments_file_name, bytes), assignments_file_name);
  if (!message.empty()) return message;
  message = message_of(parse_saved_assignments(bytes, *assignments, *map.grid));
  if (!message.empty()) return message;
  const weight_grid& grid = *map.grid;
  map.neuron_labels =
      unit_labels(grid, map_labels(grid.map_rows, grid.map_cols, *assignments, map.labels));
  return {};
}

}  // namespace

std::string check_map_at_rest(const reader_lock& lock) {
  switch (lock.state()) {
    case lock_state::held:
      return "Ve slozce prave bezi som_train a mapa se muze zmenit, zarazeni se neprovede. "
             "Spustte som_map, az trenovani skonci.\n";
    case lock_state::unknown: return open_failed_message(run_lock_file_name);
    case lock_state::free:
    case lock_state::no_file: break;
  }
  if (find_file(save_record_file_name) != file_presence::absent)
    return message_of(failure::of(failure_kind::save_interrupted));
  return {};
}

std::string read_trained_map(trained_map& map) {
  std::string message = message_of(read_setup_quietly(map.setup));
  if (!message.empty()) return message;
  if (std::uint64_t{map.setup.map_rows} * map.setup.map_cols == 0)
    return message_of(failure::of(failure_kind::no_neurons));
  message = read_weights_file(map);
  if (!message.empty()) return message;
  message = message_of(read_columns_file(map.setup.dimension, map.columns));
  if (!message.empty()) return message;
  if (find_file(labels_file_name) == file_presence::absent) return {};
  return read_training_labels(map);
}

}  // namespace som
