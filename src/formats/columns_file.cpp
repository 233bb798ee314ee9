#include "formats/columns_file.hpp"

#include <cmath>
#include <string_view>

#include "common/text_format.hpp"
#include "formats/text_lines.hpp"

namespace som {

namespace {

// A whole field that is a finite decimal number.
bool parse_number(std::string_view field, double& value) {
  return whole_decimal(field, value) && std::isfinite(value);
}

bool parse_column(std::string_view line, column_scaling& column) {
  const std::size_t first = line.find('\t');
  if (first == std::string_view::npos) return false;
  const std::size_t second = line.find('\t', first + 1);
  if (second == std::string_view::npos || line.find('\t', second + 1) != std::string_view::npos)
    return false;
  column.name = std::string(line.substr(0, first));
  return parse_number(line.substr(first + 1, second - first - 1), column.centre) &&
         parse_number(line.substr(second + 1), column.scale) && column.scale != 0.0;
}

}  // namespace

columns_reading read_columns(byte_reader& reader) {
  columns_reading out;
  std::string line;
  if (!next_line(reader, line) || line != columns_header) {
    out.bad_line = 1;
    return out;
  }
  out.bad_line = read_rows(reader, [&](std::string_view row) {
    column_scaling column;
    if (!parse_column(row, column)) return false;
    out.columns.push_back(std::move(column));
    return true;
  });
  return out;
}

bool write_columns(const std::vector<column_scaling>& columns, byte_sink& sink) {
  std::string text = columns_header;
  text += host_line_end;
  for (const column_scaling& column : columns) {
    text += column.name;
    text += '\t';
    append_shortest(text, column.centre);
    text += '\t';
    append_shortest(text, column.scale);
    text += host_line_end;
  }
  return sink.put(text);
}

}  // namespace som
