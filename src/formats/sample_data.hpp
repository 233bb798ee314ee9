// data.txt: one sample per line, `dimension` decimal numbers each. Read twice:
// once to count the samples and check their shape (formats/sample_lines.hpp),
// once for their values.
#pragma once

#include <cstdint>
#include <string>

#include "common/byte_reader.hpp"
#include "formats/sample_lines.hpp"
#include "som/map_storage.hpp"

namespace som {

// The refusal of a data.txt whose line `line` is not a sample of `dimension`
// numbers, as a line.
std::string misshapen_sample_message(std::uint64_t line, std::uint32_t dimension);

// Reads N × dimension numbers as one stream of white-space-separated values
// into the matrix. Returns false at the first value that cannot be read.
bool read_sample_values(byte_reader& reader, sample_matrix& samples);

// Appends one sample as a line of data.txt: each value the shortest decimal
// that reads back to the same double, separated by single spaces, then the
// host's line end. The values must be finite.
void append_sample_line(std::string& out, const double* values, std::uint32_t dimension);

}  // namespace som
