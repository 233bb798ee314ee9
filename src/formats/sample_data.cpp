#include "formats/sample_data.hpp"

#include "common/decimal.hpp"
#include "common/file_names.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"
#include "formats/text_encoding.hpp"

namespace som {

std::string misshapen_sample_message(std::uint64_t line, std::uint32_t dimension,
                                     std::string_view file, std::string_view outcome) {
  std::string text = "Soubor ";
  text += file;
  text += ", radek ";
  append_u64(text, line);
  text += ": vzorek nema dimenzi ";
  append_u32(text, dimension);
  text += " (cisla s desetinnou teckou, oddelena mezerami), ";
  text += outcome;
  text += ".\n";
  return text;
}

bool read_sample_values(byte_reader& reader, sample_matrix& samples) {
  for (std::uint32_t i = 0; i < samples.count; ++i) {
    double* row = samples.row(i);
    for (std::uint32_t j = 0; j < samples.dimension; ++j)
      if (!read_decimal(reader, row[j])) return false;
  }
  return true;
}

void append_sample_line(std::string& out, const double* values, std::uint32_t dimension) {
  for (std::uint32_t j = 0; j < dimension; ++j) {
    if (j != 0) out += ' ';
    append_shortest(out, values[j]);
  }
  out += host_line_end;
}

std::string count_sample_lines(byte_reader& reader, std::uint32_t dimension, sample_lines& lines) {
  std::string refusal = begin_text(reader, data_file_name);
  if (refusal.empty()) lines = scan_sample_lines(reader, dimension);
  return refusal;
}

std::string load_sample_values(byte_reader& reader, sample_matrix& samples) {
  std::string refusal = begin_text(reader, data_file_name);
  if (refusal.empty() && !read_sample_values(reader, samples))
    refusal = missing_value_text(data_file_name) + "\n";
  return refusal;
}

}  // namespace som
