#include "state/results_file.hpp"

#include <string>

#include "common/byte_reader.hpp"
#include "common/decimal.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"

namespace som {

bool read_assignments(byte_reader& reader, assignment_table& assignments) {
  for (std::uint32_t s = 0; s < assignments.count; ++s) {
    assignment& record = assignments.records[s];
    if (!read_u32(reader, record.row) || !read_u32(reader, record.col)) return false;
  }
  return true;
}

void load_assignments(assignment_table& assignments) {
  input_file file;
  if (!file.open(assignments_file_name)) fatal_exit(open_failed_message(assignments_file_name));
  byte_reader reader(file.source());
  if (!read_assignments(reader, assignments)) {
    fatal_exit(std::string("Chybi hodnota v souboru ") + assignments_file_name + "!");
  }
  if (!file.close()) fatal_exit(close_failed_message(assignments_file_name));
}

bool write_assignments(const assignment_table& assignments, byte_sink& sink) {
  std::string text;
  constexpr std::size_t chunk = std::size_t{1} << 16;
  for (std::uint32_t s = 0; s < assignments.count; ++s) {
    append_u32(text, assignments.records[s].row);
    text += '\t';
    append_u32(text, assignments.records[s].col);
    text += host_line_end;
    if (text.size() >= chunk) {
      if (!sink.put(text)) return false;
      text.clear();
    }
  }
  return sink.put(text);
}

bool write_final_parameters(std::uint32_t Krok, std::uint32_t seed, std::uint32_t Rozdil,
                            byte_sink& sink) {
  std::string text;
  append_u32(text, Krok);
  text += "\tKrok";
  text += host_line_end;
  append_u32(text, seed);
  text += "\tSeed for random number generator";
  text += host_line_end;
  append_u32(text, Rozdil);
  text += "\tRozdil";
  text += host_line_end;
  return sink.put(text);
}

}  // namespace som
