#include "formats/sample_data.hpp"

#include "common/decimal.hpp"
#include "common/file_names.hpp"
#include "common/text_format.hpp"

namespace som {

std::string misshapen_sample_message(std::uint64_t line, std::uint32_t dimension) {
  std::string text = std::string("Soubor ") + data_file_name + ", radek ";
  append_u64(text, line);
  text += ": vzorek nema dimenzi ";
  append_u32(text, dimension);
  text += " (cisla s desetinnou teckou, oddelena mezerami), trenovani se neprovede.\n";
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

}  // namespace som
