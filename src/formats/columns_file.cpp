#include "formats/columns_file.hpp"

#include <cmath>
#include <string_view>

#include "common/decimal.hpp"
#include "common/text_format.hpp"

namespace som {

namespace {

// The next line without its line end (LF, or CR LF); false at the end.
bool next_line(byte_reader& reader, std::string& line) {
  line.clear();
  if (reader.peek() == -1) return false;
  int c;
  while ((c = reader.peek()) != -1) {
    reader.advance(1);
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// A whole field that is a finite decimal number.
bool parse_number(std::string_view field, double& value) {
  if (field.empty()) return false;
  const std::ptrdiff_t length = scan_decimal(field.data(), field.data() + field.size(), true);
  if (length <= 0 || static_cast<std::size_t>(length) != field.size()) return false;
  value = convert_decimal(field.data(), field.size());
  return std::isfinite(value);
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

bool blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

columns_reading read_columns(byte_reader& reader) {
  columns_reading out;
  std::string line;
  std::uint64_t number = 1;
  if (!next_line(reader, line) || line != columns_header) {
    out.bad_line = 1;
    return out;
  }
  bool ended = false;  // a blank line has been seen: only blank lines may follow
  while (next_line(reader, line)) {
    ++number;
    if (blank(line)) {
      ended = true;
      continue;
    }
    column_scaling column;
    if (ended || !parse_column(line, column)) {
      out.bad_line = number;
      return out;
    }
    out.columns.push_back(std::move(column));
  }
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
