#include "run/sample_data.hpp"

#include "common/decimal.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"
#include "common/text_format.hpp"

namespace som {

sample_lines count_samples(const char* path, std::uint32_t dimension) {
  input_file file;
  if (!file.open(path)) fatal_exit(open_failed_message(path));
  byte_reader reader(file.source());
  const sample_lines lines = scan_sample_lines(reader, dimension);
  if (!file.close()) fatal_exit(close_failed_message(path));
  return lines;
}

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

void load_samples(sample_matrix& samples) {
  input_file file;
  if (!file.open(data_file_name)) fatal_exit(open_failed_message(data_file_name));
  byte_reader reader(file.source());
  if (!read_sample_values(reader, samples))
    fatal_exit(std::string("Chybi hodnota v souboru ") + data_file_name + "!\n");
  if (!file.close()) fatal_exit(close_failed_message(data_file_name));
}

}  // namespace som
