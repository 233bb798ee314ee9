#include "state/state_load.hpp"

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "formats/assignments_file.hpp"
#include "formats/weights_file.hpp"

namespace som {

namespace {

std::string load_assignments(assignment_table& assignments) {
  return read_input_file(assignments_file_name, [&](byte_reader& reader) {
    if (read_assignments(reader, assignments).result == assignments_reading::outcome::read)
      return std::string();
    return missing_value_text(assignments_file_name);
  });
}

}  // namespace

std::string load_saved_map(weight_grid& grid, assignment_table& assignments, random_generator& gen,
                           std::FILE* console) {
  input_file file;
  // Only a map that is not there is no map: one that cannot be opened (or a
  // folder in its place) would otherwise be replaced by random weights.
  const bool opened = file.open(weights_file_name);
  if (!opened && !file.missing()) return open_failed_message(weights_file_name);
  if (!opened) {
    std::string text = open_failed_message(weights_file_name);
    text.back() = ' ';
    print(console, text);
    print_line(console, "Sit se bude ucit z nahodnych vah.");
    init_random_weights(grid, gen);
    return {};
  }
  byte_reader reader(file.source());
  const weights_read read = read_weights(reader, grid);
  if (reader.read_failed()) return read_failed_message(weights_file_name);
  if (reader.out_of_memory()) return std::string(out_of_memory_text) + "\n";
  if (read == weights_read::too_short) return std::string(read_failed_text) + "\n";
  if (read == weights_read::too_long) return std::string(weights_too_long_text) + "\n";
  if (!file.close()) return close_failed_message(weights_file_name);
  return load_assignments(assignments);
}

}  // namespace som
