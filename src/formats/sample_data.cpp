#include "formats/sample_data.hpp"

#include "common/decimal.hpp"
#include "common/text_format.hpp"

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

}  // namespace som
