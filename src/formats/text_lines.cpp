#include "formats/text_lines.hpp"

#include <cstddef>

#include "common/decimal.hpp"

namespace som {

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

bool whole_decimal(std::string_view field, double& value) {
  if (field.empty()) return false;
  const std::ptrdiff_t length = scan_decimal(field.data(), field.data() + field.size(), true);
  if (length <= 0 || static_cast<std::size_t>(length) != field.size()) return false;
  value = convert_decimal(field.data(), field.size());
  return true;
}

bool blank_line(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace som
