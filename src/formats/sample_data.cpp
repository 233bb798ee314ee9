#include "formats/sample_data.hpp"

#include "common/decimal.hpp"
#include "common/file_names.hpp"
#include "common/text_format.hpp"
#include "formats/text_encoding.hpp"

namespace som {

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

failure count_sample_lines(byte_reader& reader, std::uint32_t dimension, sample_lines& lines) {
  failure refusal = begin_text(reader, data_file_name);
  if (!refusal) lines = scan_sample_lines(reader, dimension);
  return refusal;
}

failure load_sample_values(byte_reader& reader, sample_matrix& samples) {
  failure refusal = begin_text(reader, data_file_name);
  if (!refusal && !read_sample_values(reader, samples))
    refusal = failure::of(failure_kind::missing_value, data_file_name);
  return refusal;
}

}  // namespace som
