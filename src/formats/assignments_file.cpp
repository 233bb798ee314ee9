#include "formats/assignments_file.hpp"

#include <string>

#include "common/decimal.hpp"
#include "common/text_format.hpp"

namespace som {

assignments_reading read_assignments(byte_reader& reader, assignment_table& assignments,
                                     std::optional<grid_pos> map) {
  using outcome = assignments_reading::outcome;
  for (std::uint32_t s = 0; s < assignments.count; ++s) {
    assignment& record = assignments.records[s];
    if (only_white_space_left(reader)) return {outcome::ended, s + 1};
    if (!read_u32(reader, record.row) || !read_u32(reader, record.col))
      return {outcome::malformed, s + 1};
    if (map && (record.row >= map->row || record.col >= map->col)) return {outcome::outside, s + 1};
  }
  return {};
}

bool only_white_space_left(byte_reader& reader) {
  int c;
  while ((c = reader.peek()) != -1 && is_space(c)) reader.advance(1);
  return c == -1;
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

}  // namespace som
