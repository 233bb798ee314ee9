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

}  // namespace som
