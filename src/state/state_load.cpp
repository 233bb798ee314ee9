#include "state/state_load.hpp"

#include "common/file_names.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"
#include "formats/assignments_file.hpp"
#include "formats/final_parameters.hpp"
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
                           std::FILE* console, bool* continued) {
  if (continued != nullptr) *continued = false;
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
  std::string message = load_assignments(assignments);
  if (continued != nullptr) *continued = message.empty();
  return message;
}

std::string saved_Krok_warning(std::uint32_t setup_Krok) {
  std::uint32_t saved = 0;
  bool read = false;
  read_input_file(final_parameters_file_name, [&](byte_reader& reader) {
    read = read_final_Krok(reader, saved);
    return std::string();
  });
  if (!read || saved == setup_Krok) return {};
  std::string text = "Pozor: ulozena mapa skoncila na Kroku ";
  append_u32(text, saved);
  text += ", " + std::string(setup_file_name) + " zacina na Kroku ";
  append_u32(text, setup_Krok);
  return text + ".\n";
}

}  // namespace som
